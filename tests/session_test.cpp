// Opening, closing and cancelling a session, the trace convention and the host's hooks.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "session/runtime.h"
#include "tests/support/library_fixture.h"
#include "tests/support/line_peer.h"

namespace {

using namespace testsupport;

class SessionTest : public LibraryTest {};

TEST_F(SessionTest, AnOpenThatFailsLeavesNoSession) {
  enum Setup { kNone, kSilentLine, kHeldLine, kConfigureFails };
  const struct {
    const char* device;
    const char* baud;
    Setup setup;
    uint32_t error;
    uint32_t portOpens;
    const char* trace;
  } rows[] = {
      {"LPT1", "9600", kNone, KXERR_NOT_OPEN, 0, "KXOpen Failed - Invalid DeviceName \n"},
      {"com3", "usb", kNone, KXERR_NO_SCANNER, 0, nullptr},  // a USB instrument with serial number com3
      {"COM1", "9600", kNone, KXERR_PORT_UNAVAILABLE, 1, nullptr},
      {"com1", "9600", kNone, KXERR_PORT_UNAVAILABLE, 1, nullptr},
      {"COM:/dev/kxlib-no-such-port", "9600", kNone, KXERR_PORT_UNAVAILABLE, 1, nullptr},
      {"COM:/dev/null", "9600 ", kNone, KXERR_BAD_BAUD, 0, "KXOpen Failed - Bad Baud Rate\n"},
      {"COM:/dev/null", "", kNone, KXERR_BAD_BAUD, 0, "KXOpen Failed - Bad Baud Rate\n"},
      {"COM:/dev/null", "115200", kNone, KXERR_BAD_BAUD, 0, "KXOpen Failed - Bad Baud Rate\n"},
      {"COM:/dev/null", "096", kNone, KXERR_BAD_BAUD, 0, "KXOpen Failed - Bad Baud Rate\n"},
      {"COM:/dev/null", "9600\n", kNone, KXERR_BAD_BAUD, 0, "KXOpen Failed - Bad Baud Rate\n"},
      {nullptr, "9600", kHeldLine, KXERR_PORT_IN_USE, 1, nullptr},
      {nullptr, "9600", kConfigureFails, platform::kErrorGenFailure, 1, nullptr},
      {nullptr, "57600", kSilentLine, KXERR_NO_SCANNER, 1, nullptr},
  };
  setenv("KXLIB_COM1", "/nonexistent/kxlib-port", 1);
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.device ? r.device : "a line") + " at [" + r.baud + "]");
    Restart();
    KXSetDebugLevel(DBG_TRACE);
    LinePeer peer;
    // Another open of the port holds it exclusively, as another program would.
    const int held = r.setup == kHeldLine ? open(peer.ComName().substr(4).c_str(), O_RDWR | O_NOCTTY) : -1;
    if (held >= 0) { ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0); }
    if (r.setup == kConfigureFails) platform::InjectFailure(platform::SysCall::Configure, EINVAL);
    if (r.setup == kSilentLine) platform::SetClockSpeed(20);
    SelectTransport(SerialTransport());  // a stale value must not survive the failure
    const uint32_t opens = platform::SysCallCount(platform::SysCall::Open);
    uint32_t error = 123;
    EXPECT_EQ(KXOpen(r.device ? r.device : peer.ComName().c_str(), r.baud, &error), 0);
    EXPECT_EQ(error, r.error);
    EXPECT_EQ(UseCount, 0u);
    EXPECT_EQ(OpenDeviceType, DEVICE_NONE);
    EXPECT_EQ(ComPortIsOpen, 0u);
    EXPECT_EQ(platform::SysCallCount(platform::SysCall::Open) - opens, r.portOpens);
    if (held >= 0) close(held);
    if (r.error > 0x20000000) { EXPECT_STRNE(pxErrorMsg(r.error), pxErrorMsg(0)); }  // a library code has its text
    if (r.trace) {
      // The error trace, last: the line, the code's text, a bare line break.
      const auto t = Traces();
      ASSERT_GE(t.size(), 3u);
      EXPECT_EQ(std::vector<std::string>(t.end() - 3, t.end()),
                (std::vector<std::string>{r.trace, pxErrorMsg(r.error), "\n"}));
      EXPECT_EQ(CountTrace(r.trace), 1);
    }
    if (r.setup == kSilentLine) {
      // Only the settings request went out, once per tolerated failure, and no notify.
      const auto frames = ParseFrames(peer.Read(100));
      ASSERT_EQ(frames.size(), 2u);
      for (const auto& f : frames) EXPECT_EQ(Head(f.data, 12), Head(Message(14, 2, 0, {0x02, 0x04}), 12));
    }
  }
  unsetenv("KXLIB_COM1");
  // Codes without a text: none, the newer-PDF code, card codes, anything else.
  for (uint32_t code : {0u, 0x2000002Cu, KXERR_CARD_BASE + 5, 0x200003EEu, 0xFFFFFFFFu}) {
    EXPECT_STREQ(pxErrorMsg(code), "Unknown Internal Error") << std::hex << code;
  }
}

TEST_F(SessionTest, CloseEndsTheSessionOnceAndCancelIsClearedByOpen) {
  LinePeer peer;
  OpenLink(peer.ComName());
  KXSetDebugLevel(DBG_TRACE);
  KXCancel();
  EXPECT_EQ(CancelRequested.load(), 1u);
  KXClose();
  EXPECT_EQ(CancelRequested.load(), 0u);
  EXPECT_EQ(UseCount, 0u);
  EXPECT_EQ(OpenDeviceType, DEVICE_COM);  // left as it was
  EXPECT_EQ(ComPortIsOpen, 0u);
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);  // break on, break off
  ClearTraces();
  KXClose();
  EXPECT_EQ(Traces(), (std::vector<std::string>{"KXClose():\n", "KXClose Warning - No Open device!\n"}));
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);

  UseCount = 1;
  SelectTransportForType(0x1234);
  KXClose();
  EXPECT_EQ(CountTrace("Error! Current Open device type is undefined!\n"), 1);
  EXPECT_EQ(UseCount, 0u);

  KXCancel();
  uint32_t error = 0;
  KXOpen("COM:/dev/kxlib-no-such-port", "9600", &error);
  EXPECT_EQ(CancelRequested.load(), 0u);
}

TEST_F(SessionTest, TracesAreWrittenOnlyWithTheTraceBitAndNeverPastTheBuffer) {
  uint32_t error = 0;
  KXOpen("LPT1", "9600", &error);
  KXClose();
  KXCancel();
  EXPECT_EQ(Traces(), (std::vector<std::string>{"\n"}));  // only the error trace's line break

  KXSetDebugLevel(DBG_TRACE);
  const std::string name = "LPT" + std::string(600, 'x');
  KXOpen(name.c_str(), "9600", &error);
  bool sawCut = false;
  for (const auto& line : Traces()) {
    EXPECT_LE(line.size(), 255u);
    if (line.rfind("KXOpen LPTxxx", 0) == 0) sawCut = line.size() == 255u;
  }
  EXPECT_TRUE(sawCut);
}

TEST_F(SessionTest, AFailedAllocationIsTracedAndRecorded) {
  KXSetDebugLevel(DBG_TRACE);
  platform::InjectFailure(platform::SysCall::Alloc, ENOMEM);
  HGLOBAL handle = nullptr;
  void* pointer = reinterpret_cast<void*>(1);
  EXPECT_EQ(AllocLocked(&handle, &pointer, 100), 0);
  EXPECT_EQ(LastError, KXERR_NO_MEMORY);
  EXPECT_EQ(CountTrace(" GlobalAlloc Failure \n"), 1);
  EXPECT_EQ(CountTrace(pxErrorMsg(KXERR_NO_MEMORY)), 1);
  ASSERT_EQ(AllocLocked(&handle, &pointer, 100), 1);
  EXPECT_EQ(Bytes(static_cast<const uint8_t*>(pointer), static_cast<const uint8_t*>(pointer) + 100), Bytes(100, 0));
  FreeLocked(handle);
}

TEST_F(SessionTest, TheHostsHooksReceiveTracesAndMessageBoxes) {
  // The trace hook presses cancel when it sees the open fail; KXCancel traces in turn.
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

  std::string seen;
  KXSetMessageBoxHook([](const char* title, const char* text, void* s) {
    *static_cast<std::string*>(s) = std::string(title) + "|" + text;
  }, &seen);
  platform::ShowMessageBox("Warning", "Baud rate too high");
  EXPECT_EQ(seen, "Warning|Baud rate too high");

  // A wait runs the pump hook while it lasts, and lasts at least its time.
  int pumps = 0;
  KXSetPumpHook([](void* n) { ++*static_cast<int*>(n); }, &pumps);
  const uint32_t t0 = platform::TickCount();
  WaitPumping(20);
  KXSetPumpHook(nullptr, nullptr);
  EXPECT_GE(pumps, 1);
  EXPECT_GE(platform::TickCount() - t0, 20u);
}

}  // namespace
