// Opening, closing and cancelling a session (on a bare line and against the simulated
// Scanner), the trace convention, the host's hooks, and the shared library as a host
// loads it: exactly the public calls exported, the trace sent where KXLIB_TRACE says.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "session/runtime.h"
#include "tests/support/line_peer.h"
#include "tests/support/link_helpers.h"
#include "tests/support/scanner_session.h"

namespace {

using namespace testsupport;

using SessionTest = LibraryTest;

TEST_F(SessionTest, AnOpenThatFailsLeavesNoSession) {
  enum Setup { kNone, kSilentLine, kHeldLine, kConfigureFails };
  const std::string longName = "LPT" + std::string(600, 'x');  // its trace line is cut to 255 bytes
  const struct { const char* device, *baud; Setup setup; uint32_t error, portOpens; const char* trace; } rows[] = {
      {"LPT1", "9600", kNone, KXERR_NOT_OPEN, 0, "KXOpen Failed - Invalid DeviceName \n"},
      {longName.c_str(), "9600", kNone, KXERR_NOT_OPEN, 0, "KXOpen Failed - Invalid DeviceName \n"},
      {"com3", "usb", kNone, KXERR_NO_SCANNER, 0, nullptr},  // a USB instrument with serial number com3
      {"COM:/dev/kxlib-no-such-port", "9600", kNone, KXERR_PORT_UNAVAILABLE, 1, nullptr},
      {"COM:/dev/null", "9600 ", kNone, KXERR_BAD_BAUD, 0, "KXOpen Failed - Bad Baud Rate\n"},
      {"COM:/dev/null", "115200", kNone, KXERR_BAD_BAUD, 0, "KXOpen Failed - Bad Baud Rate\n"},
      {nullptr, "9600", kHeldLine, KXERR_PORT_IN_USE, 1, nullptr},
      {nullptr, "9600", kConfigureFails, platform::kErrorGenFailure, 1, nullptr},
      {nullptr, "57600", kSilentLine, KXERR_NO_SCANNER, 1, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.device ? r.device : "a line").substr(0, 30) + " at [" + r.baud + "]");
    Restart();
    KXSetDebugLevel(DBG_TRACE);
    LinePeer peer;
    // Another open of the port holds it exclusively, as another program would.
    const int held = r.setup == kHeldLine ? open(peer.ComName().substr(4).c_str(), O_RDWR | O_NOCTTY) : -1;
    if (held >= 0) { ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0); }
    if (r.setup == kConfigureFails) platform::InjectFailure(platform::SysCall::Configure, EINVAL);
    if (r.setup == kSilentLine) platform::SetClockSpeed(20);
    SelectTransport(SerialTransport());  // a stale value must not survive the failure
    uint32_t error = 123;
    EXPECT_EQ(KXOpen(r.device ? r.device : peer.ComName().c_str(), r.baud, &error), 0);
    EXPECT_EQ(std::tuple(error, UseCount, OpenDeviceType, ComPortIsOpen, platform::SysCallCount(platform::SysCall::Open)),
              std::tuple(r.error, 0u, DEVICE_NONE, 0u, r.portOpens));
    if (held >= 0) close(held);
    if (r.error > 0x20000000) { EXPECT_STRNE(pxErrorMsg(r.error), pxErrorMsg(0)); }  // a library code has its text
    for (const auto& t : Traces()) EXPECT_LE(t.size(), 255u);
    EXPECT_EQ(CountTrace("KXOpen " + longName.substr(0, 248)), r.device == longName.c_str());
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
  // The device type is left as it was; break on, break off.
  EXPECT_EQ(std::tuple(CancelRequested.load(), UseCount, OpenDeviceType, ComPortIsOpen,
                       platform::SysCallCount(platform::SysCall::Break)), std::tuple(0u, 0u, DEVICE_COM, 0u, 2u));
  KXClose();
  EXPECT_EQ(platform::SysCallCount(platform::SysCall::Break), 2u);
  UseCount = 1;
  SelectTransportForType(0x1234);
  KXClose();
  EXPECT_EQ(UseCount, 0u);
  KXCancel();
  uint32_t error = 0;
  KXOpen("COM:/dev/kxlib-no-such-port", "9600", &error);
  EXPECT_EQ(CancelRequested.load(), 0u);
}

// The failure's code stays in LastError until the next service call clears it (with or
// without a session).
TEST_F(SessionTest, AFailedAllocationIsTracedAndRecorded) {
  KXSetDebugLevel(DBG_TRACE);
  platform::InjectFailure(platform::SysCall::Alloc, ENOMEM);
  HGLOBAL handle = nullptr;
  void* pointer = reinterpret_cast<void*>(1);
  EXPECT_EQ((std::tuple{AllocLocked(&handle, &pointer, 100), LastError, CountTrace(" GlobalAlloc Failure \n"),
                        CountTrace(pxErrorMsg(KXERR_NO_MEMORY))}), std::tuple(0, KXERR_NO_MEMORY, 1, 1));
  ASSERT_EQ(AllocLocked(&handle, &pointer, 100), 1);
  EXPECT_EQ(Bytes(static_cast<const uint8_t*>(pointer), static_cast<const uint8_t*>(pointer) + 100), Bytes(100, 0));
  FreeLocked(handle);
  uint32_t error = 0;
  EXPECT_EQ((std::tuple{KXDeleteRecord(1, 0, &error), error, LastError}), std::tuple(0, KXERR_NOT_OPEN, 0u));
}

TEST_F(SessionTest, TheHostsHooksReceiveTracesAndPumps) {
  // The trace hook presses cancel when it sees the open fail; KXCancel traces in turn.
  static thread_local bool inHook = false;
  KXSetTraceHook([](const char* text, void*) {
    if (!inHook && std::string(text) == "KXOpen Failed - Invalid DeviceName \n") inHook = true, KXCancel(), inHook = false;
  }, nullptr);
  KXSetDebugLevel(DBG_TRACE);
  uint32_t error = 0;
  EXPECT_EQ(KXOpen("LPT1", "9600", &error), 0);
  EXPECT_EQ(CancelRequested.load(), 1u);
  // A wait runs the pump hook while it lasts, lasts at least its time, and sleeps.
  int pumps = 0;
  KXSetPumpHook([](void* n) { ++*static_cast<int*>(n); }, &pumps);
  EXPECT_GE(SleepingWaitMs([] { WaitPumping(20); }), 20u);
  EXPECT_GE(pumps, 1);
}

using SerialOpenTest = ScannerSessionTest;

// The settings record is read at 9600 baud; any other rate goes back to the instrument
// in byte 3 of it (its code: the rate's place among 300, 600, ... 57600), and the line
// reopens at that rate.
TEST_F(SerialOpenTest, EachRateIsAgreedWithTheInstrument) {
  const Bytes settings = {0x11, 0x22, 0x33, 5, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
  const struct { const char* baud; uint32_t rate; int code; } rows[] = {  // code -1: no notify
      {"9600", 9600, -1}, {"57600", 57600, 8}, {"300", 300, 0}};
  scanner.PutRecord(kVersionRec, 0, Bytes(24, 'v'));
  for (const auto& r : rows) {
    SCOPED_TRACE(r.baud);
    server->ResetStats();
    const size_t notifies = scanner.Notifies().size();
    platform::ClearInjectedFailures();  // and the counts of the port's calls
    Open(r.baud);
    // The port was closed and opened again; a break (on, off) went out only before the read.
    EXPECT_EQ(std::tuple(OpenDeviceType, server->Stats().messagesReceived, U16(server->Stats().lastRequest, kAtRecType),
                         platform::SysCallCount(platform::SysCall::Open), platform::SysCallCount(platform::SysCall::Break),
                         scanner.LineBaud()),
              std::tuple(DEVICE_COM, r.code < 0 ? 1u : 2u, kPortSettingsRec, 2u, 2u, r.rate));
    ASSERT_EQ(scanner.Notifies().size(), notifies + (r.code >= 0));
    Bytes sent = settings;
    sent[3] = static_cast<uint8_t>(r.code);
    if (r.code >= 0) { EXPECT_EQ(scanner.Notifies().back(), RecordMessage(0x402, 0x402, 10, 0, sent, kClassNotify)); }
    // A second open is refused and the first session keeps working at the new rate.
    uint32_t error = 0;
    EXPECT_EQ(std::tuple(KXOpen(server->ComName().c_str(), "9600", &error), error, UseCount),
              std::tuple(0, KXERR_NOT_OPEN, 1u));
    uint16_t number = 0, length = 24;
    uint8_t buffer[24];
    EXPECT_EQ(KXReadRecord(kVersionRec, &number, buffer, &length, &error), 1) << std::hex << error;
    EXPECT_EQ(server->Stats().hostBaud, r.rate);
    KXClose();
  }
}

// The first open works, then the reopen at the new rate fails at one of its steps, or the
// host cancels while the settings record is read: no session, and no handle left on the
// port (another program can take it at once).
TEST_F(SerialOpenTest, AnOpenThatFailsPartWayLeavesThePortFree) {
  const platform::SysCall steps[] = {platform::SysCall::Open, platform::SysCall::Lock, platform::SysCall::Configure};
  const auto openFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const auto filesBefore = openFiles();
  for (int row = 0; row < 4; ++row) {  // a step of the reopen fails; the last row cancels
    SCOPED_TRACE(row);
    scanner.SetLineBaud(9600);  // where the instrument stands before each first open
    std::thread canceller;
    if (row < 3) {
      platform::InjectFailure(steps[row], EBUSY, 1);
    } else {
      kxsim::FaultRule delay = kxsim::FaultNext(kxsim::FaultKind::kDelayReply);
      delay.delayMs = 400;
      server->SetFaults(kxsim::FaultPlan().Add(delay));
      canceller = std::thread([] { platform::SleepMs(100), KXCancel(); });
    }
    uint32_t error = 0;
    EXPECT_EQ(KXOpen(server->ComName().c_str(), "57600", &error), 0);
    if (canceller.joinable()) canceller.join();
    if (row < 3) {
      EXPECT_EQ(platform::SysCallCount(steps[row]), 2u) << "the reopen reached the failing step";
    }
    EXPECT_EQ(std::tuple(error, UseCount, ComPortIsOpen, OpenDeviceType),
              std::tuple(row < 3 ? KXERR_NO_SCANNER : KXERR_CANCELED, 0u, 0u, DEVICE_NONE));
    const int fd = open(server->ComName().substr(4).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
    EXPECT_EQ(openFiles(), filesBefore) << "a descriptor left open";
    platform::ClearInjectedFailures();
  }
}

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The shared library exports every call the public header declares, and nothing else.
TEST(Exports, SharedLibraryExportsExactlyThePublicCalls) {
  const std::string header = Contents(std::string(KXLIB_SOURCE_DIR) + "/include/kxlib32.h");
  const std::regex declaration(R"(KXAPI [^;(]*KXAPI_CALL\s+(\w+)\s*\()");
  std::set<std::string> declared, exported;
  for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) declared.insert((*it)[1]);
  FILE* pipe = popen(("nm -D --defined-only '" + std::string(KXLIB_SHARED_LIBRARY_PATH) + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512], name[400];
  while (std::fgets(line, sizeof line, pipe)) {
    if (std::sscanf(line, "%*s %*c %399s", name) == 1) exported.insert(name);  // "<address> <type> <name>"
  }
  pclose(pipe);
  EXPECT_GT(declared.size(), 40u);
  EXPECT_EQ(exported, declared);
}

// A host process loads the library with KXLIB_TRACE set (or not) and fails an open at trace
// level 1 or 0: the trace reaches standard error, the file named, or nothing ("line": holds
// the failure's trace line).
TEST(Exports, TheTraceGoesWhereKxlibTraceSaysAtLoad) {
  const std::string file = testing::TempDir() + "kxlib-trace.log", err = testing::TempDir() + "kxlib-stderr.log";
  const struct { const char* target; uint16_t level; std::string toStderr, toFile; } rows[] = {
      {"stderr", 1, "line", ""}, {file.c_str(), 1, "", "line"}, {file.c_str(), 0, "", "\n"}, {nullptr, 1, "", ""}};
  for (const auto& r : rows) {
    std::remove(file.c_str());
    const pid_t child = fork();
    if (child == 0) {
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      r.target ? setenv("KXLIB_TRACE", r.target, 1) : unsetenv("KXLIB_TRACE");
      void* library = dlopen(KXLIB_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
      if (library == nullptr) _exit(2);
      reinterpret_cast<void (*)(uint16_t)>(dlsym(library, "KXSetDebugLevel"))(r.level);
      uint32_t error = 0;
      reinterpret_cast<int16_t (*)(const char*, const char*, uint32_t*)>(dlsym(library, "KXOpen"))("LPT1", "9", &error);
      _exit(error == KXERR_NOT_OPEN ? 0 : 3);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    for (const auto& [text, wanted] : {std::pair{Contents(err), r.toStderr}, std::pair{Contents(file), r.toFile}}) {
      EXPECT_TRUE(wanted == "line" ? text.find("KXOpen Failed - Invalid DeviceName \n") != std::string::npos : text == wanted)
          << (r.target ? r.target : "unset") << " " << r.level << ": " << text;
    }
  }
}

}  // namespace
