// Test support: a session open on a scripted instrument, whose every reply the test
// chooses (the request comes back as its own OK reply unless the test says otherwise).
#pragma once

#include <memory>

#include "sim/pty_server.h"
#include "sim/scripted_instrument.h"
#include "tests/support/library_fixture.h"

namespace testsupport {

class ScriptedLinkTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    server = std::make_unique<kxsim::PtyServer>(instrument);
    server->Start();
    OpenLink(server->ComName());
  }
  void TearDown() override {
    KXClose();
    server->Stop();
    LibraryTest::TearDown();
  }
  kxsim::ScriptedInstrument instrument;
  std::unique_ptr<kxsim::PtyServer> server;
};

}  // namespace testsupport
