// Opening a serial session against the simulated Scanner over a pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/platform.h"
#include "tests/support/frames.h"
#include "tests/support/scanner_session.h"

namespace {

using namespace testsupport;

class SerialOpenTest : public ScannerSessionTest {};

// The settings record is read at 9600 baud; any other rate goes back to the instrument
// in byte 3 of it (its code: the rate's place among 300, 600, ... 57600), and the line
// reopens at that rate.
TEST_F(SerialOpenTest, EachRateIsAgreedWithTheInstrument) {
  const Bytes settings = {0x11, 0x22, 0x33, 5, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
  const struct {
    const char* baud;
    uint32_t rate;
    int code;  // -1: no notify
  } rows[] = {{"9600", 9600, -1}, {"57600", 57600, 8}, {"19200", 19200, 6}, {"300", 300, 0}, {"38400", 38400, 7}};
  scanner.PutRecord(kVersionRec, 0, Bytes(24, 'v'));
  for (const auto& r : rows) {
    SCOPED_TRACE(r.baud);
    server->ResetStats();
    const size_t notifies = scanner.Notifies().size();
    const uint32_t opens = platform::SysCallCount(platform::SysCall::Open);
    const uint32_t breaks = platform::SysCallCount(platform::SysCall::Break);
    Open(r.baud);
    EXPECT_EQ(OpenDeviceType, DEVICE_COM);
    EXPECT_EQ(server->Stats().messagesReceived, r.code < 0 ? 1u : 2u);
    EXPECT_EQ(U16(server->Stats().lastRequest, kAtRecType), kPortSettingsRec);
    // The port was closed and opened again; a break (on, off) went out only before the read.
    EXPECT_EQ(platform::SysCallCount(platform::SysCall::Open) - opens, 2u);
    EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break) - breaks, 2u);
    ASSERT_EQ(scanner.Notifies().size(), notifies + (r.code >= 0));
    Bytes sent = settings;
    sent[3] = static_cast<uint8_t>(r.code);
    if (r.code >= 0) { EXPECT_EQ(scanner.Notifies().back(), RecordMessage(0x402, 0x402, 10, 0, sent, kClassNotify)); }
    EXPECT_EQ(scanner.LineBaud(), r.rate);

    // A second open is refused and the first session keeps working at the new rate.
    uint32_t error = 0, freeSpace = 0;
    EXPECT_EQ(KXOpen(server->ComName().c_str(), "9600", &error), 0);
    EXPECT_EQ(error, KXERR_NOT_OPEN);
    EXPECT_EQ(UseCount, 1u);
    EXPECT_EQ(KXGetVEXADBaseFreeSpace(&freeSpace, &error), 1);
    EXPECT_EQ(freeSpace, scanner.FreeSpace());
    uint16_t number = 0, length = 24;
    uint8_t buffer[24];
    EXPECT_EQ(KXReadRecord(kVersionRec, &number, buffer, &length, &error), 1) << std::hex << error;
    EXPECT_EQ(server->Stats().hostBaud, r.rate);
    KXClose();
  }
}

TEST_F(SerialOpenTest, APortThatWillNotReopenAtTheNewRateIsNoScanner) {
  platform::InjectFailure(platform::SysCall::Open, EBUSY, 1);  // the first open works, the second fails
  uint32_t error = 0;
  EXPECT_EQ(KXOpen(server->ComName().c_str(), "57600", &error), 0);
  EXPECT_EQ(error, KXERR_NO_SCANNER);
  EXPECT_EQ(UseCount, 0u);
  EXPECT_EQ(ComPortIsOpen, 0u);
  EXPECT_EQ(OpenDeviceType, DEVICE_NONE);
}

class SlowScannerOpenTest : public ScannerSessionTest {
  void Configure(kxsim::ServerOptions& options) override { options.replyDelayMs = 400; }
};

TEST_F(SlowScannerOpenTest, CancelDuringTheSettingsReadIsReported) {
  std::thread canceller([] {
    platform::SleepMs(100);
    KXCancel();
  });
  uint32_t error = 0;
  EXPECT_EQ(KXOpen(server->ComName().c_str(), "9600", &error), 0);
  canceller.join();
  EXPECT_EQ(error, KXERR_CANCELED);
  EXPECT_EQ(UseCount, 0u);
  EXPECT_EQ(ComPortIsOpen, 0u);
  EXPECT_EQ(OpenDeviceType, DEVICE_NONE);
}

}  // namespace
