// The link on a pseudo-terminal whose far end the test drives byte by byte: port names,
// the serial port driver, packets and their answers, messages cut into packets and put
// back together, and the sync.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <tuple>

#include "platform/platform.h"
#include "tests/support/line_peer.h"
#include "tests/support/link_helpers.h"

namespace {

using namespace testsupport;

using LinkTest = PeerTest;

TEST(PortNames, ResolveToDevicePathsOrAreRefused) {
  setenv("KXLIB_COM3", "/dev/ttyACM2", 1);
  const struct { const char* name; size_t room; const char* path; } rows[] = {  // path null: refused
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

enum Setup { kPlain, kStaleAcks, kSendOnly, kFlood };
// answers: to frame i (the last one repeats), 0 is silence; errors: CommErrorCount (one
// trace each); the library time the call takes (an answered packet well under the 3 s
// time-out); wire: the exact bytes sent, when given.
struct PacketSendRow { uint16_t flags; Bytes data, answers; Setup setup; int16_t result; size_t frames;
                       uint32_t errors, minMs, maxMs; Bytes wire; };

TEST_F(LinkTest, PacketSendingAndItsAnswers) {
  const char *kNakTrace = " SendPacket Received a NACK, retrying... \n", *kTimedOut = " SendPacket Timed Out. \n";
  const PacketSendRow rows[] = {
      {0, Message(14, 5, 0), {kAck}, kPlain, 1, 1, 0, 0, 3000, kSerialNumberFrame},
      {0x2300, {9, 8, 7}, {kNak, kAck}, kPlain, 1, 2, 1, 0, 3000, {}},
      {0x2300, {9, 8, 7}, {kNak}, kPlain, 0, 2, 2, 0, 3000, {}},
      {0, {1}, {kNak}, kStaleAcks, 0, 2, 2, 0, 3000, {}},  // stale answers are drained first
      {0, {1, 2}, {0}, kPlain, 0, 1, 1, 3000, 5000, {}},   // no retransmission after silence
      {0, {1, 2}, {0}, kFlood, 0, 1, 1, 3000, 5000, {}},   // other bytes do not stretch the wait
      {0, {1, 2}, {0}, kSendOnly, 1, 1, 0, 0, 3000, {}},
  };
  for (const PacketSendRow& r : rows) {
    SCOPED_TRACE(&r - rows);
    NewLine(r.minMs ? 10 : 1);  // a silent line at ten times real time, an answered one in real time
    if (r.setup == kStaleAcks) peer->Write({kAck, kAck, kAck});
    platform::SleepMs(20);
    SendOnlyMode = r.setup == kSendOnly;
    peer->AutoAnswer([&r](size_t i) { return r.answers[std::min(i, r.answers.size() - 1)]; });
    std::atomic<bool> flooding{r.setup == kFlood};
    // The flood fills the line once the library stops reading.
    std::thread flood([&] { while (flooding) peer->WriteSome(Bytes(64, 0x55)); });
    const uint32_t t0 = platform::TickCount();
    EXPECT_EQ(KXSendPacket(r.flags, r.data.data(), static_cast<uint16_t>(r.data.size())), r.result);
    const uint32_t took = platform::TickCount() - t0;
    flooding = false;
    flood.join();
    platform::SleepMs(50);
    peer->StopAutoAnswer();
    EXPECT_EQ(peer->Frames().size(), r.frames);
    for (const auto& f : peer->Frames()) EXPECT_EQ(f.data, r.data);
    EXPECT_EQ(std::tuple(CommErrorCount, CountTrace(kNakTrace) + CountTrace(kTimedOut), CountTrace(kTimedOut)),
              std::tuple(r.errors, static_cast<int>(r.errors), r.minMs > 0 ? 1 : 0));
    EXPECT_TRUE(took >= r.minMs && took < r.maxMs) << took;
    if (!r.wire.empty()) { EXPECT_EQ(peer->Received(), r.wire); }
  }
}

// wire, resend: on the line before the call, and written once the library answers with
// NAK; data: expected at the start of the buffer; answers: the control bytes sent back.
struct PacketReceiveRow { Bytes wire, resend; uint16_t capacity; int16_t result; Bytes data, answers; uint32_t errors; };

TEST_F(LinkTest, PacketReceivingAndItsAnswers) {
  const Bytes big = Pattern(4084, 3), twenty = Pattern(20, 4), four = {10, 20, 30, 40};
  Bytes badCrc = Frame(0x2300, {1, 2, 3});
  badCrc[11] ^= 0x01;
  const PacketReceiveRow rows[] = {
      {Frame(0x2300, {7}, "packet"), {}, 16, 1, {7}, {kAck}, 0},
      {Cat({0xAA, 0x55}, Frame(0x2300, four)), {}, 8, 1, four, {kAck}, 0},  // found after stray bytes
      {Frame(0x2301, {1, 2, 3}), {}, 8, 0, {}, {}, 0},  // a flag word's low byte is never set
      {badCrc, Frame(0x2300, {1, 2, 3}), 8, 1, {1, 2, 3}, {kNak, kAck}, 0},
      {Frame(0x2300, twenty), {}, 4, 1, Head(twenty, 4), {kAck}, 0},
      {{}, {}, 16, 0, {}, {}, 0},
      {Head(Frame(0x2300, twenty), 15), {}, 16, 0, {}, {kNak}, 1},
      {Frame(0x2300, Bytes(4085, 0x11)), {}, 5000, 0, {}, {kNak}, 1},  // beyond the 4096-byte buffer
      {Frame(0x2300, big), {}, 4084, 1, big, {kAck}, 0},
  };
  for (const PacketReceiveRow& r : rows) {
    SCOPED_TRACE(&r - rows);
    NewLine(20);
    peer->Write(r.wire);
    Bytes seen;
    std::thread instrument([&] {
      if (r.resend.empty()) return;
      seen = peer->Read(2000, 1);
      if (seen == Bytes{kNak}) peer->Write(r.resend);
    });
    uint8_t header[10] = {};
    Bytes buffer(r.capacity + 1u, 0xEE);
    const int16_t result = KXWaitPacket(header, buffer.data(), r.capacity);
    instrument.join();
    EXPECT_EQ(std::tuple(result, CommErrorCount, buffer[r.capacity]), std::tuple(r.result, r.errors, uint8_t{0xEE}));
    EXPECT_EQ(Head(buffer, r.data.size()), r.data);
    const Bytes& frame = r.resend.empty() ? r.wire : r.resend;
    if (result) { EXPECT_NE(std::search(frame.begin(), frame.end(), header, header + 10), frame.end()); }
    EXPECT_EQ(Cat(seen, peer->Read(150, r.answers.size() - seen.size())), r.answers);
  }
}

// Waits with nothing to take sleep rather than spin: the share of CPU time of the wait.
TEST_F(LinkTest, WaitsOnAQuietLineSleep) {
  for (int line : {0, 1, 2}) {  // silent, a frame larger than the buffer, hung up
    NewLine(4);
    if (line == 1) peer->Write(Frame(0x2300, Bytes(4500, 0x11)));
    if (line == 2) peer.reset();  // the far end closes: the line reports a hang-up
    uint8_t header[10], buffer[8];
    EXPECT_GE(SleepingWaitMs([&] { EXPECT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 0); }), 1000u) << line;
  }
}

// Without an open serial line nothing is sent or awaited; the sync acknowledges and
// drains only an open serial line.
TEST_F(LinkTest, SyncAndMessagesOnlyOnAnOpenSerialLine) {
  for (int s : {0, 1, 2, 3}) {  // no session, USB, serial, nested in another sync
    SCOPED_TRACE(s);
    NewLine(1);
    UseCount = s != 0;
    SelectTransportForType(s == 0 ? DEVICE_NONE : s == 1 ? DEVICE_USB : DEVICE_COM);
    SyncDepth = s == 3;
    if (s < 2) {
      const uint8_t one = 1;
      uint8_t four[4];
      uint32_t size = 4;
      EXPECT_EQ(KXSendMessage(0, &one, 1) + KXWaitMessage(four, &size), 0);
      const std::string invalid = " Error - Invalid \"OPEN\" COM device...\n";  // traced by each call without a line
      EXPECT_EQ(std::tuple(CountTrace(" SendMessage" + invalid), CountTrace(" WaitMessage" + invalid)),
                s == 0 ? std::tuple(1, 1) : std::tuple(0, 0));
    }
    peer->Write(Bytes(300, 0x33));
    platform::SleepMs(10);
    ResendAllowed = 0;
    LastError = 5;
    EXPECT_EQ(KXSync(), 0);
    uint8_t byte;
    EXPECT_EQ(std::tuple(LastError, ResendAllowed, SyncDepth, ComPortRead(&byte, 1)),  // the line drained
              std::tuple(0u, s == 2 ? 1u : 0u, s == 3 ? 2u : 0u, s == 2 ? 0 : 1));
    EXPECT_EQ(peer->Read(150, 1), s == 2 ? Bytes{kAck} : Bytes{});
    UseCount = 0;
  }
}

// retries 0: KXSendMessage with the default; naks: frames answered with NAK, every other
// one gets ACK; flags: of every frame sent, in order; syncs: one per failed packet.
struct MessageSendRow { const char* name; uint32_t length; int32_t retries; std::vector<size_t> naks; bool cancelFirst;
                        int16_t result; std::vector<uint16_t> flags; int syncs; };

TEST_F(LinkTest, MessageSendingCutsIntoPacketsAndRetries) {
  const MessageSendRow rows[] = {
      {"three packets", 1250, 0, {}, false, 1, {0x0300, 0x0200, 0x2200}, 0},
      {"exactly one packet", 600, 0, {}, false, 1, {0x2300}, 0},
      {"empty", 0, 0, {}, false, 0, {}, 0},
      {"never acknowledged", 10, 0, {0, 1, 2, 3, 4, 5}, false, 0, {0x2300, 0x2300, 0x2300, 0x2300}, 2},
      {"a failed packet sent again", 700, 3, {1, 2}, false, 1, {0x0300, 0x2200, 0x2200, 0x2200}, 1},
      {"cancelled before", 1250, 0, {}, true, 0, {0x0300}, 0},
  };
  for (const MessageSendRow& r : rows) {
    SCOPED_TRACE(r.name);
    NewLine();
    const std::vector<size_t> naks = r.naks;
    peer->AutoAnswer([naks](size_t i) { return std::count(naks.begin(), naks.end(), i) ? kNak : kAck; });
    if (r.cancelFirst) KXCancel();
    const Bytes message = Pattern(r.length + 1, r.length);
    const int16_t result = r.retries ? KXSendMessageWithRetry(0, message.data(), r.length, r.retries)
                                     : KXSendMessage(0, message.data(), r.length);
    EXPECT_EQ(result, r.result);
    platform::SleepMs(30);
    peer->StopAutoAnswer();
    const auto frames = peer->Frames();
    std::vector<uint16_t> flags;
    Bytes acked;
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_TRUE(frames[i].crcOk);
      flags.push_back(frames[i].flags);
      if (!std::count(naks.begin(), naks.end(), i)) acked = Cat(acked, frames[i].data);
    }
    EXPECT_EQ(flags, r.flags);
    if (r.result) { EXPECT_EQ(acked, Head(message, r.length)); }
    EXPECT_EQ(std::tuple(CountTrace("KXSync\n"), CountTrace(" SendMessage Error - SendPacket Failed \n"),
                         CountTrace(" SendMessage Error - Length <= 0 \n"), CommErrorCount),
              std::tuple(r.syncs, r.syncs, r.length == 0 ? 1 : 0,
                         uint32_t(std::count_if(naks.begin(), naks.end(), [&](size_t i) { return i < frames.size(); }))));
  }
}

// frames: each sent once the one before is acknowledged; retries 0: KXWaitMessage with the
// default; size: reported afterwards (-1: not checked); data: expected at the start of the
// buffer; failedWaits: packet waits that failed.
enum Cancel { kNoCancel, kCancelLater, kCancelInPump };
struct MessageReceiveRow { const char* name; std::vector<Bytes> frames; uint32_t capacity; int32_t retries;
                           Cancel cancel; int16_t result; int64_t size; Bytes data; int failedWaits; };

TEST_F(LinkTest, MessageReceivingPutsPacketsTogether) {
  const Bytes a = Pattern(100, 1), b = Pattern(200, 2), c = Pattern(30, 3), d = Pattern(60, 4);
  const auto spoilt = [](const Bytes& data) {
    Bytes frame = Frame(0, data);
    frame[12] ^= 0x20;
    return frame;
  };
  const MessageReceiveRow rows[] = {
      {"start, middle, end", {Frame(0x0100, a), Frame(0, b), Frame(0x2000, c)}, 1000, 0, kNoCancel, 1, 330, Cat(Cat(a, b), c), 0},
      {"no start: dropped", {Frame(0x2200, a), Frame(0x2300, d)}, 200, 0, kNoCancel, 1, 60, d, 0},
      {"a second start restarts", {Frame(0x0300, a), Frame(0x0300, d), Frame(0x2200, c)}, 500, 0, kNoCancel, 1, 90, Cat(d, c), 0},
      {"a second start past the room", {Frame(0x0300, Bytes(600, 'A')), Frame(0x2300, Pattern(700, 5))}, 1024, 0, kNoCancel, 0, -1, {}, 0},
      {"the last packet cut to the buffer", {Frame(0x0300, d), Frame(0x2200, c)}, 80, 0, kNoCancel, 1, 80, Cat(d, Head(c, 20)), 0},
      {"outgrows the buffer", {Frame(0x0300, d), Frame(0x0200, d), Frame(0x2200, c)}, 100, 0, kNoCancel, 0, -1, {}, 0},
      {"nothing comes", {}, 100, 0, kNoCancel, 0, 0, {}, 2},
      {"cancel ends the retries", {}, 100, 10, kCancelLater, 0, -1, {}, 1},
      {"cancel inside the last packet", {Frame(0x2300, c)}, 200, 0, kCancelInPump, 0, 30, {}, 0},
      {"cancel inside a first packet", {Frame(0x0300, d)}, 200, 0, kCancelInPump, 0, -1, {}, 0},
      // The instrument a packet ahead: our NAK of b brings c again, and b never comes.
      {"a packet refused, the next twice", {Frame(0x0300, a), spoilt(b), Frame(0, c), Frame(0, c), Frame(0x2000, d)},
       1000, 0, kNoCancel, 0, -1, a, 0},
      {"a packet refused and sent again", {Frame(0x0300, a), spoilt(b), Frame(0, b), Frame(0x2000, b)}, 1000, 0,
       kNoCancel, 1, 500, Cat(Cat(a, b), b), 0},
      {"a packet refused, then the first again", {Frame(0x0300, a), spoilt(b), Frame(0x0300, a), Frame(0x2000, c)},
       1000, 0, kNoCancel, 1, 130, Cat(a, c), 0},
      {"the same packet twice, none refused", {Frame(0x0300, a), Frame(0, c), Frame(0, c), Frame(0x2000, d)}, 1000,
       0, kNoCancel, 1, 220, Cat(Cat(a, c), Cat(c, d)), 0},
  };
  for (const MessageReceiveRow& r : rows) {
    SCOPED_TRACE(r.name);
    NewLine();
    if (r.frames.empty() && r.cancel == kNoCancel) platform::SetClockSpeed(20);
    std::atomic<int> pumps{0};
    // The host's pump hook presses cancel in the packet receiver's first pass.
    if (r.cancel == kCancelInPump) {
      KXSetPumpHook([](void* n) { if (++*static_cast<std::atomic<int>*>(n) == 2) KXCancel(); }, &pumps);
    }
    std::thread sender([&] {
      if (r.cancel == kCancelLater) platform::SleepMs(100), KXCancel();
      for (const Bytes& f : r.frames) peer->Write(f), peer->Read(2000, 1);
    });
    Bytes buffer(r.capacity + 16, 0xEE);
    uint32_t size = r.capacity;
    const int16_t result =
        r.retries ? KXWaitMessageWithRetry(buffer.data(), &size, r.retries) : KXWaitMessage(buffer.data(), &size);
    sender.join();
    KXSetPumpHook(nullptr, nullptr);
    EXPECT_EQ(std::tuple(result, r.size >= 0 ? int64_t{size} : -1), std::tuple(r.result, r.size));
    EXPECT_EQ(Head(buffer, r.data.size()), r.data);
    EXPECT_EQ(Bytes(buffer.begin() + r.capacity, buffer.end()), Bytes(16, 0xEE));
    EXPECT_EQ(CountTrace(" KXWaitMessage Error - Failure in WaitPacket \n"), r.failedWaits);
  }
}

}  // namespace
