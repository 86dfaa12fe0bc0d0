// The message layer: messages cut into packets and packets put back together, on a
// pseudo-terminal whose far end the test drives.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "platform/platform.h"
#include "tests/support/line_peer.h"

namespace {

using namespace testsupport;

using MessageTest = PeerTest;

struct SendRow {
  const char* name;
  uint32_t length;
  int32_t retries;           // 0: KXSendMessage with the default
  std::vector<size_t> naks;  // frames answered with NAK; every other one gets ACK
  bool cancelFirst;
  int16_t result;
  std::vector<uint16_t> flags;  // of every frame sent, in order
  int syncs;                    // KXSync calls (one per failed packet)
};

TEST_F(MessageTest, SendingCutsIntoPacketsAndRetries) {
  const SendRow rows[] = {
      {"three packets", 1250, 0, {}, false, 1, {0x0300, 0x0200, 0x2200}, 0},
      {"exactly one packet", 600, 0, {}, false, 1, {0x2300}, 0},
      {"empty", 0, 0, {}, false, 0, {}, 0},
      {"never acknowledged", 10, 0, {0, 1, 2, 3, 4, 5}, false, 0, {0x2300, 0x2300, 0x2300, 0x2300}, 2},
      {"a failed packet sent again", 700, 3, {1, 2}, false, 1, {0x0300, 0x2200, 0x2200, 0x2200}, 1},
      {"cancelled before", 1250, 0, {}, true, 0, {0x0300}, 0},
  };
  for (const SendRow& r : rows) {
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

struct ReceiveRow {
  const char* name;
  std::vector<Bytes> frames;  // each sent once the one before is acknowledged
  uint32_t capacity;
  int32_t retries;  // 0: KXWaitMessage with the default
  enum { kNone, kCancelLater, kCancelInPump } cancel;
  int16_t result;
  int64_t size;  // reported afterwards (-1: not checked)
  Bytes data;
  int failedWaits;  // packet waits that failed
};

TEST_F(MessageTest, ReceivingPutsPacketsTogether) {
  const Bytes a = Pattern(100, 1), b = Pattern(200, 2), c = Pattern(30, 3), d = Pattern(60, 4);
  const ReceiveRow rows[] = {
      {"start, middle, end", {Frame(0x0100, a), Frame(0, b), Frame(0x2000, c)}, 1000, 0, ReceiveRow::kNone, 1, 330,
       Cat(Cat(a, b), c), 0},
      {"no start: dropped", {Frame(0x2200, a), Frame(0x2300, d)}, 200, 0, ReceiveRow::kNone, 1, 60, d, 0},
      {"a second start restarts", {Frame(0x0300, a), Frame(0x0300, d), Frame(0x2200, c)}, 500, 0, ReceiveRow::kNone, 1,
       90, Cat(d, c), 0},
      {"a second start cut by the room left", {Frame(0x0300, Bytes(600, 'A')), Frame(0x2300, Pattern(700, 5))}, 1024, 0,
       ReceiveRow::kNone, 0, -1, {}, 0},
      {"the last packet cut to the buffer", {Frame(0x0300, d), Frame(0x2200, c)}, 80, 0, ReceiveRow::kNone, 1, 80,
       Cat(d, Head(c, 20)), 0},
      {"outgrows the buffer before its end", {Frame(0x0300, d), Frame(0x0200, d), Frame(0x2200, c)}, 100, 0,
       ReceiveRow::kNone, 0, -1, {}, 0},
      {"nothing comes", {}, 100, 0, ReceiveRow::kNone, 0, 0, {}, 2},
      {"cancel ends the retries", {}, 100, 10, ReceiveRow::kCancelLater, 0, -1, {}, 1},
      {"cancel inside the last packet", {Frame(0x2300, c)}, 200, 0, ReceiveRow::kCancelInPump, 0, 30, {}, 0},
  };
  for (const ReceiveRow& r : rows) {
    SCOPED_TRACE(r.name);
    NewLine();
    if (r.frames.empty() && r.cancel == ReceiveRow::kNone) platform::SetClockSpeed(20);
    std::atomic<int> pumps{0};
    // The host's pump hook presses cancel in the packet receiver's first pass.
    if (r.cancel == ReceiveRow::kCancelInPump) {
      KXSetPumpHook([](void* n) {
        if (++*static_cast<std::atomic<int>*>(n) == 2) KXCancel();
      }, &pumps);
    }
    std::thread sender([&] {
      if (r.cancel == ReceiveRow::kCancelLater) {
        platform::SleepMs(100);
        KXCancel();
      }
      for (const Bytes& f : r.frames) {
        peer->Write(f);
        peer->Read(2000, 1);
      }
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
    EXPECT_EQ(CountTrace(" WaitMessage Warning - Second Start with no End \n"), &r == rows + 2 || &r == rows + 3);
  }
}

TEST_F(MessageTest, WithoutASerialTransportBothDirectionsFail) {
  for (uint32_t device : {DEVICE_NONE, DEVICE_USB}) {
    Restart();
    KXSetDebugLevel(DBG_TRACE);
    UseCount = device != DEVICE_NONE;
    SelectTransportForType(device);
    const uint8_t byte = 1;
    uint8_t buffer[4];
    uint32_t size = 4;
    EXPECT_EQ(KXSendMessage(0, &byte, 1) + KXWaitMessage(buffer, &size), 0);
    const int traced = device == DEVICE_NONE;
    EXPECT_EQ(CountTrace(" SendMessage Error - Invalid \"OPEN\" COM device...\n"), traced);
    EXPECT_EQ(CountTrace(" WaitMessage Error - Invalid \"OPEN\" COM device...\n"), traced);
    UseCount = 0;
  }
}

}  // namespace
