#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "session/runtime.h"
#include "tests/support/library_fixture.h"
#include "tests/support/line_peer.h"

using testsupport::LibraryTest;

namespace {

class SessionTest : public LibraryTest {};

TEST_F(SessionTest, NameThatIsNeitherComNorUsbIsRefused) {
  KXSetDebugLevel(DBG_TRACE);
  SelectTransport(SerialTransport());  // a stale value must not survive the failure
  uint32_t error = 123;
  EXPECT_EQ(KXOpen("LPT1", "9600", &error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  EXPECT_EQ(OpenDeviceType, DEVICE_NONE);
  EXPECT_EQ(UseCount, 0u);
  EXPECT_EQ(CountTrace("KXOpen Failed - Invalid DeviceName \n"), 1);
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Open), 0u);
}

TEST_F(SessionTest, UsbBaudIsTestedBeforeTheDeviceName) {
  // "com3" with baud "usb" looks for a USB instrument with serial number com3:
  // the serial port is never touched.
  uint32_t error = 0;
  EXPECT_EQ(KXOpen("com3", "usb", &error), 0);
  EXPECT_EQ(error, KXERR_NO_SCANNER);
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Open), 0u);
  EXPECT_EQ(OpenDeviceType, DEVICE_NONE);
}

TEST_F(SessionTest, ComNamesInAnyCaseTakeTheSerialPath) {
  for (const char* name : {"COM1", "com1"}) {
    ResetLibraryForTests();
    setenv("KXLIB_COM1", "/nonexistent/kxlib-port", 1);
    uint32_t error = 0;
    EXPECT_EQ(KXOpen(name, "9600", &error), 0) << name;
    EXPECT_EQ(error, KXERR_PORT_UNAVAILABLE) << name;
    EXPECT_EQ(platform::SysCallCount(platform::SysCall::Open), 1u) << name;
  }
  unsetenv("KXLIB_COM1");
}

TEST_F(SessionTest, BadBaudStringsAreRefusedBeforeThePortIsTouched) {
  KXSetDebugLevel(DBG_TRACE);
  for (const char* baud : {"9600 ", "", "115200", "096", "9600\n"}) {
    uint32_t error = 0;
    EXPECT_EQ(KXOpen("COM:/dev/null", baud, &error), 0) << "[" << baud << "]";
    EXPECT_EQ(error, KXERR_BAD_BAUD) << "[" << baud << "]";
  }
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Open), 0u);
  EXPECT_EQ(CountTrace("KXOpen Failed - Bad Baud Rate\n"), 5);
  EXPECT_EQ(CountTrace("The device's baud rate is unsupported."), 5);
}

TEST_F(SessionTest, MissingPortIsUnavailable) {
  uint32_t error = 0;
  EXPECT_EQ(KXOpen("COM:/dev/kxlib-no-such-port", "9600", &error), 0);
  EXPECT_EQ(error, KXERR_PORT_UNAVAILABLE);
  EXPECT_EQ(UseCount, 0u);
  EXPECT_EQ(OpenDeviceType, DEVICE_NONE);
}

TEST_F(SessionTest, PortHeldByAnotherProcessIsInUse) {
  testsupport::LinePeer peer;
  const std::string path = peer.ComName().substr(4);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
    (void)!write(ready[1], &ok, 1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');

  uint32_t error = 0;
  EXPECT_EQ(KXOpen(peer.ComName().c_str(), "9600", &error), 0);
  EXPECT_EQ(error, KXERR_PORT_IN_USE);
  EXPECT_EQ(UseCount, 0u);

  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(SessionTest, OtherSetupFailuresGiveTheSystemCode) {
  testsupport::LinePeer peer;
  platform::InjectFailure(platform::SysCall::Configure, EINVAL);
  uint32_t error = 0;
  EXPECT_EQ(ComPortOpen(peer.ComName().c_str(), "9600", &error), 0);
  EXPECT_EQ(error, platform::kErrorGenFailure);
  EXPECT_EQ(ComPortIsOpen, 0u);
}

TEST_F(SessionTest, CloseTwiceOnlyWarnsTheSecondTime) {
  testsupport::LinePeer peer;
  OpenLink(peer.ComName());
  KXSetDebugLevel(DBG_TRACE);
  KXClose();
  EXPECT_EQ(UseCount, 0u);
  EXPECT_EQ(OpenDeviceType, DEVICE_COM);  // left as it was
  EXPECT_EQ(ComPortIsOpen, 0u);
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);  // break on, break off
  ClearTraces();
  KXClose();
  EXPECT_EQ(Traces(), (std::vector<std::string>{"KXClose():\n", "KXClose Warning - No Open device!\n"}));
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);
}

TEST_F(SessionTest, CloseWithAnUndefinedDeviceTypeOnlyTraces) {
  UseCount = 1;
  SelectTransportForType(0x1234);
  KXSetDebugLevel(DBG_TRACE);
  KXClose();
  EXPECT_EQ(CountTrace("Error! Current Open device type is undefined!\n"), 1);
  EXPECT_EQ(UseCount, 0u);
}

TEST_F(SessionTest, WithoutTraceBitOnlyTheErrorTraceLineBreakIsWritten) {
  uint32_t error = 0;
  KXOpen("LPT1", "9600", &error);
  KXClose();
  KXCancel();
  EXPECT_EQ(Traces(), (std::vector<std::string>{"\n"}));
}

TEST_F(SessionTest, ErrorTraceIsLineThenTextThenBreak) {
  KXSetDebugLevel(DBG_TRACE);
  uint32_t error = 0;
  KXOpen("LPT1", "9600", &error);
  const auto t = Traces();
  ASSERT_GE(t.size(), 3u);
  EXPECT_EQ(t[t.size() - 3], "KXOpen Failed - Invalid DeviceName \n");
  EXPECT_EQ(t[t.size() - 2], "Invalid port or file handle");
  EXPECT_EQ(t[t.size() - 1], "\n");
}

TEST_F(SessionTest, LongTraceLinesAreCutAtTheBuffer) {
  KXSetDebugLevel(DBG_TRACE);
  const std::string name = "LPT" + std::string(600, 'x');
  uint32_t error = 0;
  KXOpen(name.c_str(), "9600", &error);
  bool sawCut = false;
  for (const auto& line : Traces()) {
    EXPECT_LE(line.size(), 255u);
    if (line.rfind("KXOpen LPTxxx", 0) == 0) sawCut = line.size() == 255u;
  }
  EXPECT_TRUE(sawCut);
}

TEST_F(SessionTest, CancelRaisesTheFlagAndOpenClearsIt) {
  KXCancel();
  EXPECT_EQ(CancelRequested.load(), 1u);
  uint32_t error = 0;
  KXOpen("COM:/dev/kxlib-no-such-port", "9600", &error);
  EXPECT_EQ(CancelRequested.load(), 0u);
}

TEST_F(SessionTest, FailedAllocationIsTracedAndRecorded) {
  KXSetDebugLevel(DBG_TRACE);
  platform::InjectFailure(platform::SysCall::Alloc, ENOMEM);
  HGLOBAL handle = nullptr;
  void* pointer = reinterpret_cast<void*>(1);
  EXPECT_EQ(AllocLocked(&handle, &pointer, 100), 0);
  EXPECT_EQ(LastError, KXERR_NO_MEMORY);
  EXPECT_EQ(CountTrace(" GlobalAlloc Failure \n"), 1);
  EXPECT_EQ(CountTrace("Unable to allocate memory"), 1);

  ASSERT_EQ(AllocLocked(&handle, &pointer, 100), 1);
  const auto* bytes = static_cast<const uint8_t*>(pointer);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(platform::GlobalBlockSize(handle), 100u);
  FreeLocked(handle);
}

TEST_F(SessionTest, WaitPumpingPumpsUntilTheTimeHasPassed) {
  int pumps = 0;
  KXSetPumpHook([](void* n) { ++*static_cast<int*>(n); }, &pumps);
  const uint32_t t0 = platform::TickCount();
  WaitPumping(20);
  EXPECT_GT(platform::TickCount() - t0, 20u);
  EXPECT_GT(pumps, 1);
  KXSetPumpHook(nullptr, nullptr);
}

TEST_F(SessionTest, ATraceHookMayCallBackIntoTheLibrary) {
  // The hook presses cancel when it sees the open fail; KXCancel traces in turn.
  static thread_local bool inHook = false;
  KXSetTraceHook([](const char* text, void*) {
    if (inHook || std::string(text) != "KXOpen Failed - Invalid DeviceName \n") return;
    inHook = true;
    KXCancel();
    inHook = false;
  }, nullptr);
  KXSetDebugLevel(DBG_TRACE);
  uint32_t error = 0;
  EXPECT_EQ(KXOpen("LPT1", "9600", &error), 0);
  EXPECT_EQ(CancelRequested.load(), 1u);
}

TEST_F(SessionTest, MessageBoxGoesToTheHostHook) {
  std::string seen;
  KXSetMessageBoxHook([](const char* title, const char* text, void* s) {
    *static_cast<std::string*>(s) = std::string(title) + "|" + text;
  }, &seen);
  platform::ShowMessageBox("Warning", "Baud rate too high");
  EXPECT_EQ(seen, "Warning|Baud rate too high");
}

}  // namespace
