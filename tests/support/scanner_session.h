// Test support: the simulated Scanner served on a pseudo-terminal, and a library
// session opened on it.
#pragma once

#include <memory>
#include <string>

#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "tests/support/library_fixture.h"

namespace testsupport {

class ScannerSessionTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    // The port-settings record as the instrument keeps it: 9600 baud (code 5) in byte 3.
    scanner.PutRecord(kxsim::kRecPortSettings, 0, {0x11, 0x22, 0x33, 5, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99});
    kxsim::ServerOptions options;
    options.lineSpeedCheck = true;
    Configure(options);
    server = std::make_unique<kxsim::PtyServer>(scanner, options);
    server->Start();
  }
  void TearDown() override {
    KXClose();
    if (server) server->Stop();
    LibraryTest::TearDown();
  }
  // Lets a test change the server's options before it starts.
  virtual void Configure(kxsim::ServerOptions&) {}

  uint32_t Open(const char* baud = "9600") {
    uint32_t error = 0;
    EXPECT_EQ(KXOpen(server->ComName().c_str(), baud, &error), 1) << std::hex << error;
    return error;
  }

  kxsim::Scanner scanner;
  std::unique_ptr<kxsim::PtyServer> server;
};

}  // namespace testsupport
