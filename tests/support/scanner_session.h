// Test support: the simulated Scanner served on a line (a pseudo-terminal, or the USB
// pipes of a device folder that the project's enumerator module lists), and a library
// session opened on it. A fixture over each line takes the line as its parameter
// (OverEachLine).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "sim/usb_transport.h"
#include "tests/support/library_fixture.h"

namespace testsupport {

enum class Line { kSerial, kUsb };

constexpr const char* kScannerSerial = "KX000000001";  // the simulated Scanner's by default

inline std::string LineName(const testing::TestParamInfo<Line>& info) {
  return info.param == Line::kSerial ? "Serial" : "Usb";
}

// A private device folder for simulated USB instruments, listed for the enumerator
// module (KXDEVAPI_DEVICES) that the library loads (KXLIB_DEVAPI); removed at the end.
class UsbFolders {
 public:
  UsbFolders() {
    char pattern[] = "/tmp/kxlib-usb-XXXXXX";
    if (mkdtemp(pattern) != nullptr) root_ = pattern;
    setenv("KXLIB_DEVAPI", KXDEVAPI_PATH, 1);
  }
  ~UsbFolders() { std::filesystem::remove_all(root_); }
  // The path of device `name`; with `listed`, the enumerator finds it (in the order listed).
  std::string Device(const std::string& name, bool listed = true) {
    const std::string path = root_ + "/" + name;
    if (listed) {
      list_ += (list_.empty() ? "" : ":") + path;
      setenv("KXDEVAPI_DEVICES", list_.c_str(), 1);
    }
    return path;
  }

 private:
  std::string root_, list_;
};

class ScannerSessionTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    // The port-settings record as the instrument keeps it: 9600 baud (code 5) in byte 3.
    scanner.PutRecord(kxsim::kRecPortSettings, 0, {0x11, 0x22, 0x33, 5, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99});
    kxsim::ServerOptions options;
    options.lineSpeedCheck = true;
    Configure(options);
    if (TheLine() == Line::kUsb) {
      usbServer = std::make_unique<kxsim::UsbServer>(scanner, folders.Device("scanner"), options);
      served = usbServer.get();
    } else {
      server = std::make_unique<kxsim::PtyServer>(scanner, options);
      served = server.get();
    }
    served->Start();
  }
  void TearDown() override {
    KXClose();
    if (served) served->Stop();
    LibraryTest::TearDown();
  }
  // Lets a test change the server's options before it starts.
  virtual void Configure(kxsim::ServerOptions&) {}
  // The line the session runs on: the serial line, unless a fixture over each line says.
  virtual Line TheLine() const { return Line::kSerial; }

  // Opens the session: the serial line at `baud`, or USB by the Scanner's serial number.
  uint32_t Open(const char* baud = "9600") {
    uint32_t error = 0;
    const bool usb = TheLine() == Line::kUsb;
    EXPECT_EQ(KXOpen(usb ? kScannerSerial : server->ComName().c_str(), usb ? "USB" : baud, &error), 1)
        << std::hex << error;
    return error;
  }

  kxsim::Scanner scanner;
  UsbFolders folders;
  std::unique_ptr<kxsim::PtyServer> server;       // the serial line's
  std::unique_ptr<kxsim::UsbServer> usbServer;    // the USB pipes'
  kxsim::InstrumentServer* served = nullptr;      // whichever serves the Scanner
};

// A session fixture run over each line: the test's parameter is the line.
template <class Fixture>
class OverEachLine : public Fixture, public testing::WithParamInterface<Line> {
 protected:
  Line TheLine() const override { return this->GetParam(); }
};

}  // namespace testsupport
