// Opening a serial session against the simulated Scanner over a pseudo-terminal.
#include <gtest/gtest.h>

#include <thread>

#include "platform/platform.h"
#include "link/message.h"
#include "services/record.h"
#include "wire/byte_order.h"
#include "tests/support/line_peer.h"
#include "tests/support/scanner_session.h"

using testsupport::Bytes;

namespace {

class SerialOpenTest : public testsupport::ScannerSessionTest {};

TEST_F(SerialOpenTest, At9600TheSettingsAreReadAndNoNotifyIsSent) {
  Open("9600");
  EXPECT_EQ(UseCount, 1u);
  EXPECT_EQ(OpenDeviceType, DEVICE_COM);
  EXPECT_TRUE(scanner.Notifies().empty());
  const auto stats = server->Stats();
  EXPECT_EQ(stats.messagesReceived, 1u);
  EXPECT_EQ(GetU16(stats.lastRequest.data() + kOffRecordType), PORT_SETTINGS_REC);
  // The port was closed and opened again: a break went out only once, before the read.
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Open), 2u);
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);
}

TEST_F(SerialOpenTest, At57600TheNewRateIsSentBackBeforeTheReopen) {
  Open("57600");
  const auto notifies = scanner.Notifies();
  ASSERT_EQ(notifies.size(), 1u);
  const Bytes& n = notifies[0];
  ASSERT_EQ(n.size(), 80u);
  EXPECT_EQ(GetU16(n.data()), CLASS_NOTIFY);
  EXPECT_EQ(GetU16(n.data() + 2), PORT_SETTINGS_REC);
  EXPECT_EQ(GetU16(n.data() + kOffRecordType), PORT_SETTINGS_REC);
  EXPECT_EQ(GetU16(n.data() + kOffRecordLength), 10);
  // Byte 3 carries the code of 57600; every other byte goes back as it was read.
  EXPECT_EQ(Bytes(n.begin() + 70, n.end()), (Bytes{0x11, 0x22, 0x33, 8, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99}));
  EXPECT_EQ(scanner.LineBaud(), 57600u);

  // Both ends now run at 57600: a record read goes through the speed-checked line.
  scanner.PutRecord(VERSION_INFO, 0, Bytes(24, 'v'));
  uint16_t number = 0, length = 24;
  uint8_t buffer[24];
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), 1) << std::hex << error;
  EXPECT_EQ(server->Stats().hostBaud, 57600u);
}

TEST_F(SerialOpenTest, ASecondOpenIsRefusedAndTheFirstSessionKeepsWorking) {
  Open("9600");
  uint32_t error = 0;
  EXPECT_EQ(KXOpen(server->ComName().c_str(), "9600", &error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  EXPECT_EQ(UseCount, 1u);
  EXPECT_EQ(OpenDeviceType, DEVICE_COM);
  uint32_t freeSpace = 0;
  EXPECT_EQ(KXGetVEXADBaseFreeSpace(&freeSpace, &error), 1);
  EXPECT_EQ(freeSpace, scanner.FreeSpace());
}

TEST_F(SerialOpenTest, AfterCloseEveryServiceReportsItsNotOpenCode) {
  Open("9600");
  KXClose();
  uint8_t buffer[16] = {};
  uint16_t number = 0, length = 16;
  uint32_t error = 0;
  auto expectNotOpen = [&](int16_t result, uint32_t code, const char* what) {
    EXPECT_EQ(result, 0) << what;
    EXPECT_EQ(error, code) << what;
    error = 0;
  };
  expectNotOpen(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), KXERR_NOT_OPEN, "read");
  expectNotOpen(KXReadRecordBySize(VERSION_INFO, &number, buffer, &length, &error), KXERR_NOT_OPEN, "by size");
  expectNotOpen(KXReadRecordNormalPersistence(VERSION_INFO, &number, buffer, &length, &error), KXERR_NOT_OPEN,
                "normal");
  expectNotOpen(KXReadRecordWithKey(VERSION_INFO, &number, buffer, &length, &error, "k", 1, 0), KXERR_NOT_OPEN,
                "with key");
  expectNotOpen(KXReadRecByKeyWithRetry(VERSION_INFO, &number, buffer, &length, &error, nullptr, 0, 0, 3),
                KXERR_NOT_OPEN, "by key retry");
  expectNotOpen(KXReadRecBySizeWithRetry(VERSION_INFO, &number, buffer, &length, &error, nullptr, 0, 0, 3),
                KXERR_NOT_OPEN, "by size retry");
  expectNotOpen(KXWriteRecord(VERSION_INFO, buffer, 4, &error), KXERR_NOT_OPEN, "write");
  expectNotOpen(KXUpdateRecord(VERSION_INFO, 0, buffer, 4, &error), KXERR_NOT_OPEN, "update");
  expectNotOpen(KXDeleteRecord(VERSION_INFO, 0, &error), KXERR_NOT_OPEN, "delete");
  expectNotOpen(KXNotify(VERSION_INFO, buffer, 4, &error), KXERR_NOT_OPEN, "notify");
  uint32_t freeSpace = 7;
  expectNotOpen(KXGetVEXADBaseFreeSpace(&freeSpace, &error), KXERR_DEVICE_NOT_OPEN, "free space");
  EXPECT_EQ(freeSpace, 0u);
  EXPECT_EQ(KXGetFlashCoalesceStatus(10, 0, &error), 1u);  // a failed query counts as full
  EXPECT_EQ(error, KXERR_DEVICE_NOT_OPEN);
  EXPECT_EQ(server->Stats().messagesReceived, 1u);  // nothing went out after the close
}

TEST_F(SerialOpenTest, ReopeningAfterCloseWorks) {
  Open("19200");
  KXClose();
  Open("38400");
  EXPECT_EQ(scanner.LineBaud(), 38400u);
  EXPECT_EQ(scanner.Notifies().size(), 2u);
}

class SlowScannerOpenTest : public testsupport::ScannerSessionTest {
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

class SilentLineOpenTest : public testsupport::LibraryTest {};

TEST_F(SilentLineOpenTest, NoInstrumentAnsweringAt9600IsNoScannerFound) {
  platform::SetClockSpeed(20);
  testsupport::LinePeer peer;  // a line with nothing on it
  uint32_t error = 0;
  EXPECT_EQ(KXOpen(peer.ComName().c_str(), "57600", &error), 0);
  EXPECT_EQ(error, KXERR_NO_SCANNER);
  EXPECT_EQ(UseCount, 0u);
  EXPECT_EQ(ComPortIsOpen, 0u);
  EXPECT_EQ(OpenDeviceType, DEVICE_NONE);
  // Only the settings request went out, once per tolerated failure (2), and no notify.
  const auto frames = testsupport::ParseFrames(peer.Read(100));
  ASSERT_EQ(frames.size(), 2u);
  for (const auto& f : frames) {
    ASSERT_EQ(f.data.size(), 70u);
    EXPECT_EQ(GetU16(f.data.data() + 2), DB_READ_RECORD);
    EXPECT_EQ(GetU16(f.data.data() + kOffRecordType), PORT_SETTINGS_REC);
  }
}

}  // namespace
