// The USB transport: frames written and read through the pipe files of a device folder
// whose instrument end the test plays (PipePeer), the enumerator module and the calls
// that enumerate, and sessions opened by serial number on simulated instruments.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <tuple>

#include "platform/platform.h"
#include "session/state.h"
#include "tests/support/frames.h"
#include "tests/support/link_helpers.h"
#include "tests/support/programs.h"
#include "tests/support/scanner_session.h"
#include "usb/usb_transport.h"

namespace {

using namespace testsupport;

// A frame as the instrument sends one, built here from the layout: the complement of
// the length, the length, a zero word, the message.
Bytes UsbFrameOf(const Bytes& message, int check = -1) {
  Bytes f(6, 0);
  PutU16(f, 0, static_cast<uint16_t>(check < 0 ? ~message.size() : static_cast<size_t>(check)));
  PutU16(f, 2, static_cast<uint16_t>(message.size()));
  return Cat(f, message);
}

// A device folder with the two FIFOs, whose instrument end the test plays: it takes what
// the host wrote and sends writes, each once the host has read the one before.
class PipePeer {
 public:
  PipePeer() {
    char pattern[] = "/tmp/kxlib-pipes-XXXXXX";
    path = mkdtemp(pattern);
    for (const char* name : {"/PIPE00", "/PIPE01"}) mkfifo((path + name).c_str(), 0600);
    fromHost_ = open((path + "/PIPE00").c_str(), O_RDWR | O_NONBLOCK);
    toHost_ = open((path + "/PIPE01").c_str(), O_RDWR | O_NONBLOCK);
  }
  ~PipePeer() {
    if (feeder_.joinable()) feeder_.join();
    HangUp();
    std::filesystem::remove_all(path);
  }
  Bytes Taken() {
    Bytes all(70000);
    return all.resize(static_cast<size_t>(std::max<ssize_t>(read(fromHost_, all.data(), all.size()), 0))), all;
  }
  void Send(std::vector<Bytes> writes) {
    feeder_ = std::thread([this, writes = std::move(writes)] {
      for (const Bytes& w : writes) {
        for (int waiting = 1; ioctl(toHost_, FIONREAD, &waiting) == 0 && waiting > 0;) platform::PauseBriefly();
        if (write(toHost_, w.data(), w.size()) != static_cast<ssize_t>(w.size())) return;
      }
    });
  }
  // The instrument end goes away: the host's in pipe reports a hang-up.
  void HangUp() {
    if (fromHost_ >= 0) close(fromHost_), close(toHost_);
    fromHost_ = toHost_ = -1;
  }
  std::string path;

 private:
  int fromHost_ = -1, toHost_ = -1;
  std::thread feeder_;
};

class UsbPipeTest : public LibraryTest {
 protected:
  // A new device folder and the session opened on it, traces on, the seam's counts cleared.
  void NewDevice(uint32_t clockSpeed = 1) {
    Restart();
    peer = std::make_unique<PipePeer>();
    uint32_t error = 0;
    ASSERT_EQ(KXOpenUSBDevice(peer->path.c_str(), &error), 1) << std::hex << error;
    platform::SetClockSpeed(clockSpeed);
    platform::ClearInjectedFailures();
    KXSetDebugLevel(DBG_TRACE);
  }
  std::unique_ptr<PipePeer> peer;
};

// A message goes out as one frame, in writes of the largest step the frame exceeds.
TEST_F(UsbPipeTest, AMessageIsWrittenAsOneFrameInWritesOfTheRightSizes) {
  const struct { uint32_t length; std::vector<size_t> writes; } rows[] = {
      {10, {16}}, {4090, {4096}}, {4091, {4096, 1}}, {16378, {12288, 4096}}, {20000, {16384, 3622}}, {65536, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.length);
    NewDevice();
    const Bytes message = Pattern(r.length, r.length);
    EXPECT_EQ(KXWriteUSBData(message.data(), r.length), r.writes.empty() ? 0 : 1);
    EXPECT_EQ(platform::SysCallSizes(platform::SysCall::PipeWrite), r.writes);
    const Bytes wire = peer->Taken();
    EXPECT_EQ(wire, r.writes.empty() ? Bytes{} : UsbFrameOf(message));
    if (r.length == 10) { EXPECT_EQ(Head(wire, 4), (Bytes{0xF5, 0xFF, 0x0A, 0x00})); }
  }
}

// writes: what the instrument sends, one write after the other; firstRead: what the first
// read asks for (0: no read at all).
struct ReadRow { const char* name; std::vector<Bytes> writes; uint32_t capacity; int32_t attempts; int16_t result;
                 uint32_t error; uint32_t size; uint32_t firstRead; };

TEST_F(UsbPipeTest, AFrameIsReadWholeFromItsPiecesAndNeverPastTheBuffer) {
  const Bytes m10 = Pattern(10, 1), f10 = UsbFrameOf(m10), m59 = Pattern(59, 2), m300 = Pattern(300, 3), f300 = UsbFrameOf(m300);
  const ReadRow rows[] = {
      {"one piece", {f10}, 200, 3, 1, 0, 10, 200},
      {"3 bytes, then the rest", {Head(f10, 3), Bytes(f10.begin() + 3, f10.end())}, 5000, 3, 1, 0, 10, 4096},
      {"an empty frame is skipped", {UsbFrameOf({}), f10}, 1025, 3, 1, 0, 10, 1024},
      {"a bad header uses an attempt", {UsbFrameOf(m59, 0x1234), f10}, 2049, 2, 1, 0, 10, 2048},
      {"a bad header with the only attempt", {UsbFrameOf(m59, 0x1234), f10}, 2049, 1, 0, 0, 0, 2048},
      {"capacity 64 is refused", {f10}, 64, 3, 0, KXERR_INVALID_FUNCTION, 0, 0},
      {"capacity 65 is read", {UsbFrameOf(m59)}, 65, 3, 1, 0, 59, 65},
      {"longer than the buffer", {f300, f10}, 100, 3, 0, 0, 0, 100},
      {"in pieces, longer than the buffer", {Head(f300, 50), Bytes(f300.begin() + 50, f300.end())}, 100, 3, 0, 0, 0, 100},
  };
  for (const ReadRow& r : rows) {
    SCOPED_TRACE(r.name);
    NewDevice(20);
    peer->Send(r.writes);
    Bytes buffer(r.capacity + 16u, 0xEE);
    uint32_t size = r.capacity, error = 7;
    EXPECT_EQ(std::tuple(KXReadUSBData(buffer.data(), &size, r.attempts, &error), error),
              std::tuple(r.result, r.error));
    const std::vector<size_t> reads = platform::SysCallSizes(platform::SysCall::PipeRead);
    EXPECT_EQ(reads.empty() ? 0u : reads.front(), r.firstRead);
    EXPECT_EQ(Bytes(buffer.begin() + r.capacity, buffer.end()), Bytes(16, 0xEE));
    EXPECT_EQ(size, r.result ? r.size : r.capacity);
    if (r.result) { EXPECT_EQ(Head(buffer, size), r.size == 10 ? m10 : m59); }
    if (r.capacity == 100) {
      EXPECT_EQ(Head(buffer, 100), Head(m300, 100));
      uint32_t next = 200;
      EXPECT_EQ(KXReadUSBData(buffer.data(), &next, 1, &error), r.writes.size() == 2 && r.writes[1] == f10)
          << "the long frame was read to its end";
    }
  }
}

// No data: each attempt waits a second of library time, and the wait sleeps rather than
// spins, whether the instrument is silent or has gone (its pipes closed).
TEST_F(UsbPipeTest, ASilentInstrumentCostsOneSecondPerAttemptAndLittleCpu) {
  for (bool gone : {false, true}) {
    SCOPED_TRACE(gone);
    NewDevice(8);
    if (gone) peer->HangUp();
    uint8_t buffer[200];
    uint32_t size = sizeof buffer;
    const uint32_t took = SleepingWaitMs([&] { EXPECT_EQ(KXWaitMessage(buffer, &size), 0); });  // 3 attempts on USB
    EXPECT_TRUE(took >= 3000u && took < 5000u) << took;  // loose: a loaded machine stretches library time
    const std::string start = gone ? "ReadFile Returned FALSE" : "\nReadFile timed out";
    const auto traces = Traces();
    EXPECT_EQ(std::count_if(traces.begin(), traces.end(), [&](const std::string& t) { return t.rfind(start, 0) == 0; }), 3);
  }
}

// Failed writes are retried up to the count, each but the last counted as a send error;
// a flush drops one pending frame, and without one it fails after its single attempt.
TEST_F(UsbPipeTest, FailedWritesAreRetriedAndCountedAndAFlushDropsOneFrame) {
  const Bytes m = Pattern(10, 9);
  for (const auto& [failures, sent, errors] : {std::tuple{2u, 1, 2u}, {3u, 0, 2u}}) {
    NewDevice(20);
    platform::InjectFailure(platform::SysCall::PipeWrite, EIO, 0, failures);
    EXPECT_EQ(KXSendMessage(0, m.data(), 10), sent);
    uint32_t send = 9, receive = 9;
    KXGetUSBErrors(&send, &receive);
    EXPECT_EQ(std::tuple(send, receive, LastUsbStatus), std::tuple(errors, 0u, sent ? 0u : KXERR_SYS_FILE_NOT_FOUND));
    EXPECT_EQ(peer->Taken(), sent ? UsbFrameOf(m) : Bytes{});
  }
  peer->Send({UsbFrameOf(m)});
  EXPECT_EQ(KXFlushUSB(), 1);
  EXPECT_EQ(KXFlushUSB(), 0);
}

// The enumerator module: loaded once, whether it is missing, lacks its call, or works.
TEST_F(UsbPipeTest, TheEnumeratorIsLoadedOnceAndWhatIsMissingIsReported) {
  const struct { const char* module; uint32_t first, second; } rows[] = {
      {"/nonexistent/libkxdevapi.so", KXERR_NO_SCANNER, KXERR_NO_SCANNER},
      {"libm.so.6", KXERR_INVALID_FUNCTION, KXERR_NO_SCANNER},  // a module without the call
      {KXDEVAPI_PATH, KXERR_NO_SCANNER, KXERR_NO_SCANNER},                   // no devices listed
  };
  unsetenv("KXDEVAPI_DEVICES");
  for (const auto& r : rows) {
    SCOPED_TRACE(r.module);
    Restart();
    setenv("KXLIB_DEVAPI", r.module, 1);
    uint32_t error = 0;
    EXPECT_EQ(std::tuple(KXGetVexaUSBCount(&error), error), std::tuple(0, r.first));
    EXPECT_EQ(std::tuple(KXOpen("KX000000001", "usb", &error), error), std::tuple(0, r.second));
    EXPECT_EQ(platform::SysCallCount(platform::SysCall::LoadModule), 1u);
  }
  uint32_t error = 5;
  EXPECT_EQ(std::tuple(KXOpen("", "USB", &error), error), std::tuple(0, 0u));  // an empty serial number: no code
}

// Three simulated instruments, each a kxsim serving its own device folder, and a listed
// folder that nothing serves: the count, the list in blocks of each size, and the open by
// serial number each find the right one.
class UsbInstrumentsTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    for (int i = 0; i < 3; ++i) {
      paths[i] = folders.Device("scanner" + std::to_string(i));
      if (i == 0) std::filesystem::create_directory(folders.Device("unplugged"));
      kxsims[i] = std::make_unique<BackgroundKxsim>(std::vector<std::string>{"--usb", paths[i], "--serial", kSerials[i]});
      ASSERT_EQ(kxsims[i]->ComName(), paths[i]);
    }
  }
  static constexpr const char* kSerials[] = {"KX000000311", "KX000000422", "KX000000533"};
  UsbFolders folders;
  std::string paths[3];
  std::unique_ptr<BackgroundKxsim> kxsims[3];
};

TEST_F(UsbInstrumentsTest, CountListAndOpenBySerialNumber) {
  uint32_t error = 1;
  EXPECT_EQ(std::tuple(KXGetVexaUSBCount(&error), error), std::tuple(3, 0u));
  const struct { size_t bytes; uint32_t count; uint32_t error; } lists[] = {
      {600, 2, 0}, {4 * 276, 3, 0}, {275, 0, KXERR_BAD_MEMORY_HANDLE}, {0, 0, KXERR_BAD_MEMORY_HANDLE}};
  for (const auto& l : lists) {
    SCOPED_TRACE(l.bytes);
    void* block = KXGlobalAlloc(KX_GMEM_MOVEABLE | KX_GMEM_ZEROINIT, l.bytes);
    ASSERT_NE(block, nullptr);
    auto* bytes = static_cast<uint8_t*>(KXGlobalLock(block));
    if (bytes) std::fill(bytes, bytes + l.bytes, 0xEE);
    EXPECT_EQ(KXGlobalUnlock(block), 0);
    EXPECT_EQ(std::tuple(KXGetVexaUSBConnections(block, &error), error), std::tuple(l.count, l.error));
    bytes = static_cast<uint8_t*>(KXGlobalLock(block));
    for (uint32_t i = 0; i < l.count; ++i) {
      const uint8_t* entry = bytes + i * 276;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry)), paths[i]);
      EXPECT_EQ(Bytes(entry + 256, entry + 268), Bytes(kSerials[i], kSerials[i] + 12));  // 11 characters and a zero
      EXPECT_EQ(Bytes(entry + 268, entry + 276), Bytes(8, 0xEE));                      // the rest as it was
    }
    if (bytes) { EXPECT_EQ(Bytes(bytes + l.count * 276, bytes + l.bytes), Bytes(l.bytes - l.count * 276, 0xEE)); }
    EXPECT_EQ(KXGlobalFree(block), nullptr);
  }

  for (int i : {1, 2, 0}) {
    EXPECT_EQ(KXOpen(kSerials[i], "USB", &error), 1) << std::hex << error;
    EXPECT_EQ(std::tuple(std::string(UsbDevicePath), std::string(ConnectedSerial)),
              std::tuple(paths[i], std::string(kSerials[i])));
    KXClose();
    EXPECT_EQ(UsbDevicePath[0], '\0') << "the path is cleared on close";
  }
  // The code left by the folder nothing serves; none matched.
  EXPECT_EQ(std::tuple(KXOpen("KX000000999", "USB", &error), error, UseCount), std::tuple(0, KXERR_NOT_OPEN, 0u));
  // Listed last, an instrument that opens but never gives its serial number: asked twice
  // (a flush between), then closed with the code of a failed exchange.
  BackgroundKxsim mute({"--usb", folders.Device("mute"), "-f", "no-reply=1"});
  platform::SetClockSpeed(10);
  EXPECT_EQ(std::tuple(KXOpen("KX000000999", "USB", &error), error, UseCount), std::tuple(0, KXERR_COMM, 0u));
  platform::SetClockSpeed(1);
}

}  // namespace
