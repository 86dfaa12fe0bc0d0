#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "tests/support/library_fixture.h"
#include "tests/support/line_peer.h"

using testsupport::Bytes;
using testsupport::LibraryTest;

namespace {

TEST(PortNames, ResolveToDevicePaths) {
  char path[64];
  ASSERT_TRUE(platform::ResolvePortName("COM:/dev/pts/7", path, sizeof path));
  EXPECT_STREQ(path, "/dev/pts/7");
  ASSERT_TRUE(platform::ResolvePortName("com:/dev/ttyUSB0", path, sizeof path));
  EXPECT_STREQ(path, "/dev/ttyUSB0");
  ASSERT_TRUE(platform::ResolvePortName("COM4", path, sizeof path));
  EXPECT_STREQ(path, "/dev/ttyS3");
  ASSERT_TRUE(platform::ResolvePortName("com1", path, sizeof path));
  EXPECT_STREQ(path, "/dev/ttyS0");

  setenv("KXLIB_COM3", "/dev/ttyACM2", 1);
  ASSERT_TRUE(platform::ResolvePortName("com3", path, sizeof path));
  EXPECT_STREQ(path, "/dev/ttyACM2");
  unsetenv("KXLIB_COM3");

  EXPECT_FALSE(platform::ResolvePortName("COM0", path, sizeof path));
  EXPECT_FALSE(platform::ResolvePortName("COM", path, sizeof path));
  EXPECT_FALSE(platform::ResolvePortName("COMx", path, sizeof path));
  EXPECT_FALSE(platform::ResolvePortName("LPT1", path, sizeof path));
  EXPECT_FALSE(platform::ResolvePortName("COM:", path, sizeof path));
  // A path that does not fit is refused, never cut.
  EXPECT_FALSE(platform::ResolvePortName("COM:/dev/a-very-long-device-path-name-that-goes-on-and-on", path, 16));
}

TEST(ErrnoMapping, GivesWindowsStyleCodes) {
  EXPECT_EQ(platform::WinErrorFromErrno(ENOENT), 2u);
  EXPECT_EQ(platform::WinErrorFromErrno(ENXIO), 2u);
  EXPECT_EQ(platform::WinErrorFromErrno(ENOTDIR), 2u);
  EXPECT_EQ(platform::WinErrorFromErrno(EBUSY), 5u);
  EXPECT_EQ(platform::WinErrorFromErrno(EWOULDBLOCK), 5u);
  EXPECT_EQ(platform::WinErrorFromErrno(EACCES), 5u);
  EXPECT_EQ(platform::WinErrorFromErrno(ENOMEM), 8u);
  EXPECT_EQ(platform::WinErrorFromErrno(ENOSPC), 112u);
  EXPECT_EQ(platform::WinErrorFromErrno(EINVAL), 31u);
}

TEST(BaudTable, NineRatesWithTheirCodesAndAnEmptyRow) {
  const char* names[] = {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600"};
  for (int i = 0; i < 9; ++i) {
    const BaudRow* row = FindBaud(names[i]);
    ASSERT_NE(row, nullptr) << names[i];
    EXPECT_EQ(row->code, i);
  }
  EXPECT_EQ(FindBaud(""), nullptr);  // the empty tenth row is no rate
  EXPECT_EQ(FindBaud("115200"), nullptr);
  EXPECT_EQ(FindBaud(nullptr), nullptr);
  EXPECT_STREQ(BaudTable[9].name, "");
}

class SerialPortTest : public LibraryTest {};

TEST_F(SerialPortTest, ReadOnAnEmptyLineReturnsZeroAtOnce) {
  testsupport::LinePeer peer;
  OpenLink(peer.ComName());
  uint8_t buffer[16];
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(ComPortRead(buffer, sizeof buffer), 0);
  EXPECT_LT(platform::TickCount() - t0, 50u);
}

TEST_F(SerialPortTest, CloseWithNoPortOpenReturnsZero) {
  EXPECT_EQ(ComPortClose(), 0);
  testsupport::LinePeer peer;
  OpenLink(peer.ComName());
  EXPECT_EQ(ComPortClose(), 1);
  EXPECT_EQ(ComPortClose(), 0);
}

TEST_F(SerialPortTest, BytesTravelBothWaysUnchanged) {
  testsupport::LinePeer peer;
  OpenLink(peer.ComName(), "57600");
  // Every byte value, including the ones a cooked terminal would swallow or translate.
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  ComPortWrite(all.data(), static_cast<int16_t>(all.size()));
  EXPECT_EQ(peer.Read(2000, all.size()), all);

  peer.Write(all);
  Bytes got;
  for (int pass = 0; pass < 2000 && got.size() < all.size(); ++pass) {
    uint8_t buffer[64];
    const int n = ComPortRead(buffer, sizeof buffer);
    got.insert(got.end(), buffer, buffer + n);
    if (n == 0) ComPortAwaitInput();
  }
  EXPECT_EQ(got, all);
}

TEST_F(SerialPortTest, DrainDiscardsEverythingReceived) {
  testsupport::LinePeer peer;
  OpenLink(peer.ComName());
  peer.Write(Bytes(1000, 0x55));
  platform::SleepMs(50);
  ComPortDrain();
  uint8_t byte;
  EXPECT_EQ(ComPortRead(&byte, 1), 0);
}

TEST_F(SerialPortTest, BreakLastsAtLeast57Milliseconds) {
  testsupport::LinePeer peer;
  OpenLink(peer.ComName());
  const uint32_t t0 = platform::TickCount();
  ComPortBreak();
  EXPECT_GE(platform::TickCount() - t0, 57u);
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);
}

TEST_F(SerialPortTest, AFailedReadReadsAsNothing) {
  testsupport::LinePeer peer;
  OpenLink(peer.ComName());
  peer.Write({1, 2, 3});
  platform::SleepMs(20);
  platform::InjectFailure(platform::SysCall::Read, EIO);
  uint8_t buffer[8];
  EXPECT_EQ(ComPortRead(buffer, sizeof buffer), 0);
  EXPECT_EQ(ComPortRead(buffer, sizeof buffer), 3);
}

}  // namespace
