// The serial port driver on a pseudo-terminal, and the names it accepts for a port.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"
#include "tests/support/library_fixture.h"
#include "tests/support/line_peer.h"

namespace {

using namespace testsupport;

TEST(PortNames, ResolveToDevicePathsOrAreRefused) {
  setenv("KXLIB_COM3", "/dev/ttyACM2", 1);
  const struct {
    const char* name;
    size_t room;
    const char* path;  // null: refused
  } rows[] = {
      {"COM:/dev/pts/7", 64, "/dev/pts/7"}, {"com:/dev/ttyUSB0", 64, "/dev/ttyUSB0"}, {"COM4", 64, "/dev/ttyS3"},
      {"com1", 64, "/dev/ttyS0"}, {"com3", 64, "/dev/ttyACM2"}, {"COM0", 64, nullptr}, {"COM", 64, nullptr},
      {"COMx", 64, nullptr}, {"LPT1", 64, nullptr}, {"COM:", 64, nullptr},
      {"COM:/dev/a-path-longer-than-the-room", 16, nullptr},  // refused, never cut
  };
  for (const auto& r : rows) {
    char path[64] = {};
    EXPECT_EQ(platform::ResolvePortName(r.name, path, r.room), r.path != nullptr) << r.name;
    if (r.path) { EXPECT_STREQ(path, r.path) << r.name; }
  }
  unsetenv("KXLIB_COM3");
}

TEST(SerialPort, CarriesEveryByteAndReadsWithoutWaiting) {
  ResetLibraryForTests();
  uint8_t buffer[64];
  EXPECT_EQ(ComPortClose(), 0);  // nothing open
  LinePeer peer;
  uint32_t error = 0;
  ASSERT_EQ(ComPortOpen(peer.ComName().c_str(), "57600", &error), 1);
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(ComPortRead(buffer, sizeof buffer), 0);
  EXPECT_LT(platform::TickCount() - t0, 50u);

  // Every byte value, including the ones a cooked terminal would swallow or translate.
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  ComPortWrite(all.data(), static_cast<int16_t>(all.size()));
  EXPECT_EQ(peer.Read(2000, all.size()), all);
  peer.Write(all);
  Bytes got;
  for (int pass = 0; pass < 2000 && got.size() < all.size(); ++pass) {
    const int n = ComPortRead(buffer, pass % 2 ? sizeof buffer : 0);  // an empty read takes nothing
    got.insert(got.end(), buffer, buffer + n);
    if (n == 0) ComPortAwaitInput();
  }
  EXPECT_EQ(got, all);

  peer.Write({1, 2, 3});
  platform::SleepMs(20);
  platform::InjectFailure(platform::SysCall::Read, EIO);
  EXPECT_EQ(ComPortRead(buffer, sizeof buffer), 0);  // a failed read reads as nothing
  EXPECT_EQ(ComPortRead(buffer, sizeof buffer), 3);

  peer.Write(Bytes(1000, 0x55));
  platform::SleepMs(50);
  ComPortDrain();
  EXPECT_EQ(ComPortRead(buffer, 1), 0);

  const uint32_t t1 = platform::TickCount();
  ComPortBreak();
  EXPECT_GE(platform::TickCount() - t1, 57u);
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);  // on, then off
  EXPECT_EQ(ComPortClose(), 1);
  EXPECT_EQ(ComPortClose(), 0);
}

}  // namespace
