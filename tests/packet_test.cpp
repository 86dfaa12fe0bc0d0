// The packet layer on a pseudo-terminal whose far end the test drives byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <thread>
#include <tuple>

#include "platform/platform.h"
#include "tests/support/line_peer.h"

namespace {

using namespace testsupport;

using PacketTest = PeerTest;

enum Setup { kPlain, kStaleAcks, kSendOnly, kFlood };
struct SendRow {
  uint16_t flags;
  Bytes data, answers;  // answers: to frame i (the last one repeats); 0 is silence
  Setup setup;
  int16_t result;
  size_t frames;
  uint32_t errors, minMs, maxMs;  // CommErrorCount (one trace each); library time the call takes:
                                  // an answered packet well under the 3 s time-out
  Bytes wire;                     // the exact bytes sent, when given
};

TEST_F(PacketTest, SendingAndItsAnswers) {
  const char *kNakTrace = " SendPacket Received a NACK, retrying... \n", *kTimedOut = " SendPacket Timed Out. \n";
  const SendRow rows[] = {
      {0, {1, 2, 3, 4, 5}, {kAck}, kPlain, 1, 1, 0, 0, 3000, Frame(0x2300, {1, 2, 3, 4, 5})},
      {0, Message(14, 5, 0), {kAck}, kPlain, 1, 1, 0, 0, 3000, {0x50, 0x41, 0x43, 0x4B, 0x45, 0x54, 0x00, 0x23,
       0x0A, 0x00, 0x0E, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0xDF}},
      {0x2300, {9, 8, 7}, {kNak, kAck}, kPlain, 1, 2, 1, 0, 3000, {}},
      {0x2300, {9, 8, 7}, {kNak}, kPlain, 0, 2, 2, 0, 3000, {}},
      {0, {1}, {kNak}, kStaleAcks, 0, 2, 2, 0, 3000, {}},  // stale answers are drained first
      {0, {1, 2}, {0}, kPlain, 0, 1, 1, 3000, 5000, {}},   // no retransmission after silence
      {0, {1, 2}, {0}, kFlood, 0, 1, 1, 3000, 5000, {}},   // other bytes do not stretch the wait
      {0, {1, 2}, {0}, kSendOnly, 1, 1, 0, 0, 3000, {}},
  };
  for (const SendRow& r : rows) {
    SCOPED_TRACE(&r - rows);
    NewLine(r.minMs ? 10 : 1);  // a silent line at ten times real time, an answered one in real time
    if (r.setup == kStaleAcks) peer->Write({kAck, kAck, kAck});
    platform::SleepMs(20);
    SendOnlyMode = r.setup == kSendOnly;
    peer->AutoAnswer([&r](size_t i) { return r.answers[std::min(i, r.answers.size() - 1)]; });
    std::atomic<bool> flooding{r.setup == kFlood};
    std::thread flood([&] {
      while (flooding) peer->WriteSome(Bytes(64, 0x55));  // fills the line once the library stops reading
    });
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

struct ReceiveRow {
  Bytes wire, resend;  // on the line before the call; written once the library answers with NAK
  uint16_t capacity;
  int16_t result;
  Bytes data, answers;  // expected at the start of the buffer; the control bytes sent back
  uint32_t errors;
  const char* trace;
};

TEST_F(PacketTest, ReceivingAndItsAnswers) {
  const Bytes big = Pattern(4084, 3), twenty = Pattern(20, 4), four = {10, 20, 30, 40};
  Bytes badCrc = Frame(0x2300, {1, 2, 3});
  badCrc[11] ^= 0x01;
  const ReceiveRow rows[] = {
      {Frame(0x2300, four), {}, 16, 1, four, {kAck}, 0, nullptr},
      {Frame(0x2300, {7}, "packet"), {}, 16, 1, {7}, {kAck}, 0, nullptr},
      {Cat({0xAA, 0x55}, Frame(0x2300, four)), {}, 8, 1, four, {kAck}, 0, " WaitPacket Failure - Bad alignment \n"},
      {Frame(0x2301, {1, 2, 3}), {}, 8, 0, {}, {}, 0, nullptr},  // a flag word's low byte is never set
      {badCrc, Frame(0x2300, {1, 2, 3}), 8, 1, {1, 2, 3}, {kNak, kAck}, 0, " WaitPacket - Checksum failure \n"},
      {Frame(0x2300, twenty), {}, 4, 1, Head(twenty, 4), {kAck}, 0,
       " KXWaitPacket - Insufficient Space in Buffer. 20 > 4 \n"},
      {{}, {}, 16, 0, {}, {}, 0, nullptr},
      {Head(Frame(0x2300, twenty), 15), {}, 16, 0, {}, {kNak}, 1, " WaitPacket Failure - Timeout\n"},
      {Frame(0x2300, Bytes(4085, 0x11)), {}, 5000, 0, {}, {kNak}, 1, nullptr},  // beyond the 4096-byte buffer
      {Frame(0x2300, big), {}, 4084, 1, big, {kAck}, 0, nullptr},
  };
  for (const ReceiveRow& r : rows) {
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
    if (r.trace) { EXPECT_EQ(CountTrace(r.trace), 1); }
  }
}

// Waits with nothing to take sleep rather than spin: the share of CPU time of the wait.
TEST_F(PacketTest, WaitsOnAQuietLineSleep) {
  for (int line : {0, 1, 2}) {  // silent, a frame larger than the buffer, hung up
    NewLine(4);
    if (line == 1) peer->Write(Frame(0x2300, Bytes(4500, 0x11)));
    if (line == 2) peer.reset();  // the far end closes: the line reports a hang-up
    uint8_t header[10], buffer[8];
    const std::clock_t cpu0 = std::clock();
    const uint32_t t0 = platform::TickCount();
    EXPECT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 0);
    const uint32_t took = platform::TickCount() - t0;
    EXPECT_GE(took, 1000u);
    EXPECT_LT(1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC, 0.5 * took / platform::ClockSpeed())
        << line;
  }
}

TEST_F(PacketTest, SyncAcknowledgesAndDrainsOnlyOnAnOpenSerialLine) {
  for (int s : {0, 1, 2, 3}) {  // no session, USB, serial, nested in another sync
    SCOPED_TRACE(s);
    NewLine(1);
    UseCount = s != 0;
    SelectTransportForType(s == 1 ? DEVICE_USB : DEVICE_COM);
    SyncDepth = s == 3;
    peer->Write(Bytes(300, 0x33));
    platform::SleepMs(10);
    ResendAllowed = 0;
    LastError = 5;
    EXPECT_EQ(KXSync(), 0);
    uint8_t byte;
    EXPECT_EQ(std::tuple(LastError, ResendAllowed, SyncDepth, ComPortRead(&byte, 1)),  // the line drained
              std::tuple(0u, s == 2 ? 1u : 0u, s == 3 ? 2u : 0u, s == 2 ? 0 : 1));
    EXPECT_EQ(CountTrace("KXSync Error - KXLIB not currently open\n"), s < 2);
    EXPECT_EQ(CountTrace("KXSync recursive Call!\n"), s == 3);
    EXPECT_EQ(peer->Read(150, 1), s == 2 ? Bytes{kAck} : Bytes{});
    UseCount = 0;
  }
}

}  // namespace
