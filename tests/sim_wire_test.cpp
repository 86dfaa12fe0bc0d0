// The simulator's serial wire, driven byte by byte with a hand-made clock.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/scripted_instrument.h"
#include "sim/serial_wire.h"
#include "sim/wire_format.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::ScriptedInstrument;
using kxsim::SerialWire;
using kxsim::WireOptions;
using simtest::HostFrame;
using simtest::Message;
using simtest::TakeApart;

// The host's request of Class 14, Type 5 travels as exactly these 22 bytes.
const Bytes kSerialNumberFrame = {0x50, 0x41, 0x43, 0x4B, 0x45, 0x54, 0x00, 0x23, 0x0A, 0x00, 0x0E,
                                  0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0xDF};

struct SimWire : ::testing::Test {
  ScriptedInstrument model;
  std::unique_ptr<SerialWire> wire;
  uint32_t now = 1000;

  void SetUp() override { Make({}); }
  void Make(WireOptions options) { wire = std::make_unique<SerialWire>(model, std::move(options)); }
  void Feed(const Bytes& b) { wire->Receive(b.data(), b.size(), now); }
  Bytes Out() { return wire->TakeOutput(now); }
  void Advance(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) {
      ++now;
      wire->Tick(now);
    }
  }
};

TEST(SimWireFormat, CrcAndTheExampleFrame) {
  const char* digits = "123456789";
  EXPECT_EQ(kxsim::FrameCrc(reinterpret_cast<const uint8_t*>(digits), 9), 0x29B1);
  EXPECT_EQ(simtest::TableCrc(reinterpret_cast<const uint8_t*>(digits), 9), 0x29B1);
  // Continuing a running value is the same as one pass.
  uint16_t crc = kxsim::FrameCrc(reinterpret_cast<const uint8_t*>(digits), 4);
  EXPECT_EQ(kxsim::FrameCrc(reinterpret_cast<const uint8_t*>(digits) + 4, 5, crc), 0x29B1);

  EXPECT_EQ(kxsim::BuildFrame(0x2300, Message(14, 5)), kSerialNumberFrame);
  const Bytes five = {1, 2, 3, 4, 5};
  const Bytes frame = kxsim::BuildFrame(0x2300, five);
  EXPECT_EQ(frame.size(), 17u);
  EXPECT_EQ(frame, HostFrame(0x2300, five));
}

TEST_F(SimWire, AcknowledgesTheExampleFrameAndRepliesInOnePacket) {
  Feed(kSerialNumberFrame);
  auto got = TakeApart(Out());
  EXPECT_EQ(got.order, "AF");
  ASSERT_EQ(got.frames.size(), 1u);
  EXPECT_EQ(got.frames[0].flags, 0x2300);
  EXPECT_TRUE(got.frames[0].crcOk);
  Bytes expected = Message(14, 5);
  expected[4] = 1;  // the echo model sets Status OK
  EXPECT_EQ(got.frames[0].data, expected);
  ASSERT_EQ(model.RequestCount(), 1u);
  EXPECT_EQ(model.Requests()[0], Message(14, 5));
  EXPECT_EQ(wire->Stats().lastRequest, Message(14, 5));

  Feed({kxsim::kAck});
  EXPECT_EQ(wire->Stats().repliesSent, 1u);
  EXPECT_FALSE(wire->Busy());
}

TEST_F(SimWire, FrameArrivingOneByteAtATimeAndInLowerCase) {
  for (const char* tag : {"PACKET", "packet", "PaCkEt"}) {
    const Bytes frame = HostFrame(0x2300, Message(14, 2), tag);
    for (uint8_t b : frame) {
      Feed({b});
      Advance(3);
    }
    auto got = TakeApart(Out());
    EXPECT_EQ(got.order, "AF") << tag;
    Feed({kxsim::kAck});
  }
  EXPECT_EQ(model.RequestCount(), 3u);
}

TEST_F(SimWire, FlagsWithANonZeroLowByteAreNeverAFrame) {
  Bytes frame = HostFrame(0x2300, Message(14, 2));
  frame[6] = 0x01;
  // Fix the CRC so that only the flags are wrong.
  const uint16_t crc = simtest::TableCrc(frame.data(), frame.size() - 2);
  frame[frame.size() - 2] = static_cast<uint8_t>(crc);
  frame[frame.size() - 1] = static_cast<uint8_t>(crc >> 8);
  Feed(frame);
  Advance(3000);
  EXPECT_TRUE(Out().empty());
  EXPECT_EQ(model.RequestCount(), 0u);
  EXPECT_EQ(wire->Stats().framesGood, 0u);
}

TEST_F(SimWire, GarbageBeforeAFrameIsSkipped) {
  // Garbage that begins like a tag, a stray 'P', then the frame.
  Bytes bytes = {'x', 'P', 'A', 'C', 'P', 0xFF, 'p'};
  const Bytes frame = HostFrame(0x2300, Message(14, 4));
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  Feed(bytes);
  auto got = TakeApart(Out());
  EXPECT_EQ(got.order, "AF");
  EXPECT_EQ(model.RequestCount(), 1u);
  EXPECT_GT(wire->Stats().skippedBytes, 0u);
}

TEST_F(SimWire, BadCrcIsAnsweredWithNakAndTheResentFrameTaken) {
  Bytes frame = HostFrame(0x2300, Message(14, 2));
  Bytes bad = frame;
  bad[12] ^= 0x40;
  Feed(bad);
  EXPECT_EQ(TakeApart(Out()).order, "N");
  EXPECT_EQ(model.RequestCount(), 0u);
  Feed(frame);
  EXPECT_EQ(TakeApart(Out()).order, "AF");
  EXPECT_EQ(model.RequestCount(), 1u);
  EXPECT_EQ(wire->Stats().framesBadCrc, 1u);
  EXPECT_EQ(wire->Stats().naksSent, 1u);
}

TEST_F(SimWire, AFrameThatStopsIsNakedAfterASecondOfSilence) {
  Bytes frame = HostFrame(0x2300, Message(14, 2));
  frame.resize(15);  // tag, flags, length and a little data
  Feed(frame);
  Advance(999);
  EXPECT_TRUE(Out().empty());
  Advance(1);
  EXPECT_EQ(TakeApart(Out()).order, "N");
  EXPECT_EQ(wire->Stats().framesTimedOut, 1u);

  // Less than a tag is not a frame: dropped without a word.
  Feed({'P', 'A', 'C'});
  Advance(2000);
  EXPECT_TRUE(Out().empty());

  // The complete frame afterwards is taken.
  Feed(HostFrame(0x2300, Message(14, 2)));
  EXPECT_EQ(TakeApart(Out()).order, "AF");
}

TEST_F(SimWire, AFrameLongerThanTheReceiveBufferIsRefused) {
  Bytes header = {'P', 'A', 'C', 'K', 'E', 'T', 0x00, 0x23};
  simtest::Put16(header, 8, 4085);
  Feed(header);
  EXPECT_EQ(TakeApart(Out()).order, "N");
  EXPECT_EQ(wire->Stats().framesOversize, 1u);
  // The largest frame that fits is taken.
  Bytes big = Message(7, 1, simtest::Pattern(4084 - 10));
  Feed(HostFrame(0x2300, big));
  EXPECT_EQ(TakeApart(Out()).order.substr(0, 1), "A");
  EXPECT_EQ(model.Requests().back(), big);
}

TEST_F(SimWire, PacketsArePutTogetherIntoMessages) {
  model.SetHandler([](const Bytes&) { return std::nullopt; });
  const Bytes a = simtest::Pattern(600, 1), b = simtest::Pattern(600, 2), c = simtest::Pattern(50, 3);
  Feed(HostFrame(0x0300, a));
  Feed(HostFrame(0x0200, b));
  Feed(HostFrame(0x2200, c));
  EXPECT_EQ(TakeApart(Out()).order, "AAA");
  ASSERT_EQ(model.RequestCount(), 1u);
  Bytes whole = a;
  whole.insert(whole.end(), b.begin(), b.end());
  whole.insert(whole.end(), c.begin(), c.end());
  EXPECT_EQ(model.Requests()[0], whole);

  // A packet without a start is dropped; the next start begins the message.
  Feed(HostFrame(0x2200, c));
  Feed(HostFrame(0x2300, a));
  ASSERT_EQ(model.RequestCount(), 2u);
  EXPECT_EQ(model.Requests()[1], a);
  EXPECT_EQ(wire->Stats().packetsDropped, 1u);

  // A second start without an end drops what came before it.
  Feed(HostFrame(0x0300, a));
  Feed(HostFrame(0x0300, b));
  Feed(HostFrame(0x2200, c));
  ASSERT_EQ(model.RequestCount(), 3u);
  Bytes second = b;
  second.insert(second.end(), c.begin(), c.end());
  EXPECT_EQ(model.Requests()[2], second);
  EXPECT_EQ(wire->Stats().secondStarts, 1u);
  EXPECT_EQ(wire->Stats().messagesReceived, 3u);
  EXPECT_EQ(wire->Stats().notifies, 3u);
}

TEST_F(SimWire, ALongReplyGoesPacketByPacketEachAfterTheHostsAck) {
  const Bytes reply = simtest::Pattern(1250);
  model.SetHandler([&](const Bytes&) { return reply; });
  Feed(HostFrame(0x2300, Message(14, 2)));
  auto got = TakeApart(Out());
  EXPECT_EQ(got.order, "AF");
  Advance(100);
  EXPECT_TRUE(Out().empty()) << "no second packet before the ACK";

  std::vector<simtest::Frame> frames = got.frames;
  Feed({kxsim::kAck});
  got = TakeApart(Out());
  ASSERT_EQ(got.order, "F");
  frames.push_back(got.frames[0]);
  Feed({kxsim::kAck});
  got = TakeApart(Out());
  ASSERT_EQ(got.order, "F");
  frames.push_back(got.frames[0]);
  Feed({kxsim::kAck});
  EXPECT_TRUE(Out().empty());

  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].flags, 0x0300);
  EXPECT_EQ(frames[1].flags, 0x0200);
  EXPECT_EQ(frames[2].flags, 0x2200);
  EXPECT_EQ(frames[0].data.size(), 600u);
  EXPECT_EQ(frames[1].data.size(), 600u);
  EXPECT_EQ(frames[2].data.size(), 50u);
  Bytes joined;
  for (auto& f : frames) {
    EXPECT_TRUE(f.crcOk);
    joined.insert(joined.end(), f.data.begin(), f.data.end());
  }
  EXPECT_EQ(joined, reply);
  EXPECT_EQ(wire->Stats().repliesSent, 1u);
  EXPECT_EQ(wire->Stats().packetsSent, 3u);
}

TEST_F(SimWire, NakResendsThePacketUntilTheLimit) {
  WireOptions options;
  options.timings.maxTransmissions = 3;
  Make(options);
  Feed(HostFrame(0x2300, Message(14, 2)));
  const auto first = TakeApart(Out());
  ASSERT_EQ(first.frames.size(), 1u);
  for (int i = 0; i < 2; ++i) {
    Feed({kxsim::kNak});
    auto again = TakeApart(Out());
    ASSERT_EQ(again.order, "F");
    EXPECT_EQ(again.frames[0].data, first.frames[0].data);
    EXPECT_EQ(again.frames[0].flags, first.frames[0].flags);
  }
  Feed({kxsim::kNak});  // third NAK: three transmissions were all there are
  EXPECT_TRUE(Out().empty());
  EXPECT_EQ(wire->Stats().repliesAbandoned, 1u);
  EXPECT_EQ(wire->Stats().packetResends, 2u);
  EXPECT_EQ(wire->Stats().naksReceived, 3u);
  EXPECT_FALSE(wire->Busy());
}

TEST_F(SimWire, SilenceAfterAFirstPacketSendsItAgain) {
  model.SetHandler([](const Bytes&) { return simtest::Pattern(400); });
  Feed(HostFrame(0x2300, Message(14, 2)));
  // The time-out runs from the moment the packet left, not from when it was queued.
  Advance(5000);
  const auto first = TakeApart(Out());
  ASSERT_EQ(first.order, "AF");
  Advance(1499);
  EXPECT_TRUE(Out().empty());
  Advance(1);
  auto again = TakeApart(Out());
  ASSERT_EQ(again.order, "F");
  EXPECT_EQ(again.frames[0].data, first.frames[0].data);
  EXPECT_EQ(again.frames[0].flags, 0x2300);
  // Ten transmissions in all, then the reply is given up.
  for (int i = 0; i < 8; ++i) {
    Advance(1500);
    EXPECT_EQ(TakeApart(Out()).order, "F");
  }
  Advance(1500);
  EXPECT_TRUE(Out().empty());
  EXPECT_FALSE(wire->Busy());
  EXPECT_EQ(wire->Stats().ackTimeouts, 10u);
  EXPECT_EQ(wire->Stats().repliesAbandoned, 1u);
  // A late ACK is stray.
  Feed({kxsim::kAck});
  EXPECT_EQ(wire->Stats().strayAckNaks, 1u);
}

TEST_F(SimWire, SilenceAfterALaterPacketAbandonsTheReply) {
  model.SetHandler([](const Bytes&) { return simtest::Pattern(700); });
  Feed(HostFrame(0x2300, Message(14, 2)));
  EXPECT_EQ(TakeApart(Out()).order, "AF");
  Feed({kxsim::kAck});
  EXPECT_EQ(TakeApart(Out()).frames.at(0).flags, 0x2200);
  Advance(1500);
  EXPECT_TRUE(Out().empty()) << "a host that holds it would take a second copy as more data";
  EXPECT_FALSE(wire->Busy());
  EXPECT_EQ(wire->Stats().repliesAbandoned, 1u);
}

TEST_F(SimWire, AnAckBeforeThePacketHasLeftIsNotItsAnswer) {
  model.SetHandler([](const Bytes&) { return simtest::Pattern(1000); });
  Feed(HostFrame(0x2300, Message(14, 2)));
  Bytes part = wire->TakeOutput(now, 20);  // the ACK and part of the first packet
  Feed({kxsim::kAck});
  EXPECT_EQ(wire->Stats().strayAckNaks, 1u);
  part = Out();
  Feed({kxsim::kAck});
  EXPECT_EQ(TakeApart(Out()).frames.at(0).flags, 0x2200);
}

TEST_F(SimWire, ReplyDelayHoldsTheReplyBack) {
  WireOptions options;
  options.replyDelayMs = 300;
  Make(options);
  Feed(HostFrame(0x2300, Message(14, 2)));
  EXPECT_EQ(TakeApart(Out()).order, "A");
  Advance(299);
  EXPECT_TRUE(Out().empty());
  Advance(1);
  EXPECT_EQ(TakeApart(Out()).order, "F");
}

TEST_F(SimWire, ANewRequestAbandonsTheReplyInHandWithItsUnsentBytes) {
  int n = 0;
  model.SetHandler([&](const Bytes& req) {
    Bytes reply = simtest::Pattern(400, static_cast<uint32_t>(++n));
    reply[0] = req[2];
    return reply;
  });
  Feed(HostFrame(0x2300, Message(14, 2)));
  (void)wire->TakeOutput(now, 30);  // part of the first reply has left
  Feed(HostFrame(0x2300, Message(14, 3)));
  auto got = TakeApart(Out());
  EXPECT_EQ(got.order, "AF");
  ASSERT_EQ(got.frames.size(), 1u);
  EXPECT_EQ(got.frames[0].data[0], 3);
  EXPECT_EQ(got.frames[0].data, [] { Bytes r = simtest::Pattern(400, 2); r[0] = 3; return r; }());
  EXPECT_EQ(got.other, 0u) << "no stale bytes of the first reply";
  EXPECT_EQ(wire->Stats().repliesAbandoned, 1u);

  // Also a delayed reply that has not gone yet.
  WireOptions options;
  options.replyDelayMs = 500;
  Make(options);
  Feed(HostFrame(0x2300, Message(14, 2)));
  Advance(100);
  Feed(HostFrame(0x2300, Message(14, 4)));
  Advance(500);
  got = TakeApart(Out());
  EXPECT_EQ(got.order, "AAF");
  EXPECT_EQ(got.frames.at(0).data[0], 4);
}

TEST_F(SimWire, NotificationsGetOnlyTheirAck) {
  model.SetHandler([](const Bytes&) { return std::nullopt; });
  Feed(HostFrame(0x2300, Message(5, 0x402, Bytes(70, 0))));
  EXPECT_EQ(TakeApart(Out()).order, "A");
  Advance(5000);
  EXPECT_TRUE(Out().empty());
  EXPECT_FALSE(wire->Busy());
}

TEST_F(SimWire, RequestsKeptAreBounded) {
  WireOptions options;
  options.requestsKept = 3;
  Make(options);
  for (uint16_t t = 0; t < 5; ++t) {
    Feed(HostFrame(0x2300, Message(14, t)));
    (void)Out();
    Feed({kxsim::kAck});
  }
  const auto& kept = wire->Stats().requests;
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept.front(), Message(14, 2));
  EXPECT_EQ(kept.back(), Message(14, 4));
}

// Random bytes, with good frames among them: every frame is found, nothing runs past a
// buffer (the sanitizers watch), and the engine never blocks up.
TEST_F(SimWire, FramesAreFoundAmongRandomBytes) {
  model.SetHandler([](const Bytes&) { return std::nullopt; });
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0xFF; };
  size_t sent = 0;
  for (int round = 0; round < 300; ++round) {
    Bytes noise(next() % 40);
    for (auto& b : noise) {
      b = static_cast<uint8_t>(next());
      if (next() % 8 == 0) b = 'P';
    }
    Feed(noise);
    Bytes payload = simtest::Pattern(10 + next() % 200, static_cast<uint32_t>(round));
    Feed(HostFrame(0x2300, payload));
    ++sent;
    ASSERT_EQ(model.RequestCount(), sent) << "round " << round;
    EXPECT_EQ(model.Requests().back(), payload);
    (void)Out();
  }
  // Pure noise, long enough to contain every kind of half frame.
  for (int i = 0; i < 20000; ++i) {
    uint8_t b = static_cast<uint8_t>(next());
    Feed({b});
    if (i % 97 == 0) Advance(1100);
  }
  Advance(1100);
  EXPECT_FALSE(wire->Busy());
}

}  // namespace
