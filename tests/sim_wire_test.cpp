// The simulator's serial wire, driven byte by byte with a hand-made clock.
#include <gtest/gtest.h>

#include "sim/faulty_instrument.h"
#include "sim/scripted_instrument.h"
#include "sim/serial_wire.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::kAck;
using kxsim::kNak;
using kxsim::WireOptions;
using simtest::Frame;
using simtest::Message;
using simtest::Pattern;
using simtest::TakeApart;

// The host's request of Class 14, Type 5 travels as exactly these 22 bytes.
const Bytes kSerialNumberFrame = {0x50, 0x41, 0x43, 0x4B, 0x45, 0x54, 0x00, 0x23, 0x0A, 0x00, 0x0E,
                                  0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0xDF};

struct SimWire : ::testing::Test {
  kxsim::ScriptedInstrument model;
  kxsim::FaultyInstrument faulty{model};
  std::unique_ptr<kxsim::SerialWire> wire;
  uint32_t now = 1000;

  void SetUp() override { Make({}); }
  void Make(WireOptions options) { wire = std::make_unique<kxsim::SerialWire>(faulty, std::move(options)); }
  void Feed(const Bytes& b) { wire->Receive(b.data(), b.size(), now); }
  Bytes Out() { return wire->TakeOutput(now); }
  void Advance(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) wire->Tick(++now);
  }
};

TEST(SimWireFormat, CrcAndTheExampleFrame) {
  const auto* digits = reinterpret_cast<const uint8_t*>("123456789");
  EXPECT_EQ(kxsim::FrameCrc(digits, 9), 0x29B1);
  EXPECT_EQ(kxsim::BuildFrame(0x2300, Message(14, 5)), kSerialNumberFrame);
}

// Each case goes to a fresh wire: what it answers, and which request reaches the model.
// Whatever came before, the next good frame is taken.
TEST_F(SimWire, FramesAreTakenOrRefused) {
  const Bytes request = Message(14, 2), frame = Frame(0x2300, request);
  Bytes badCrc = frame;
  badCrc[12] ^= 0x40;
  Bytes garbage = {'x', 'P', 'A', 'C', 'P', 0xFF, 'p'};  // begins like a tag, then a stray 'P'
  garbage.insert(garbage.end(), frame.begin(), frame.end());
  const Bytes largest = Message(7, 1, Pattern(4084 - 10));
  struct Case {
    const char* name;
    Bytes bytes;
    bool byteByByte;
    const char* order;  // the answer at once | the answer after a second of silence
    Bytes taken;  // the request the model gets (none when empty)
  };
  const Case cases[] = {
      {"the 22-byte example", kSerialNumberFrame, false, "AF|", Message(14, 5)},
      {"lower-case tag, a byte every 3 ms", Frame(0x2300, request, "packet"), true, "AF|", request},
      {"mixed-case tag", Frame(0x2300, request, "PaCkEt"), false, "AF|", request},
      {"garbage before the frame", garbage, false, "AF|", request},
      {"flags' low byte not 0 (CRC right)", Frame(0x2301, request), false, "|", {}},
      {"bad CRC", badCrc, false, "N|", {}},
      {"Length past the receive buffer", {'P', 'A', 'C', 'K', 'E', 'T', 0, 0x23, 0xF5, 0x0F}, false, "N|", {}},
      {"the largest frame that fits", Frame(0x2300, largest), false, "AF|", largest},
      {"a frame that stops part-way", Bytes(frame.begin(), frame.begin() + 15), false, "|N", {}},
      {"less than a tag", {'P', 'A', 'C'}, false, "|", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Make({});
    const size_t before = model.RequestCount();
    if (!c.byteByByte) Feed(c.bytes);
    for (size_t i = 0; c.byteByByte && i < c.bytes.size(); ++i) {
      Feed({c.bytes[i]});
      Advance(3);
    }
    Advance(999);
    const auto got = TakeApart(Out());
    Advance(1);
    EXPECT_EQ(got.order + "|" + TakeApart(Out()).order, c.order);
    EXPECT_EQ(model.RequestCount(), before + (c.taken.empty() ? 0 : 1));
    if (!c.taken.empty() && got.frames.size() == 1) {
      EXPECT_EQ(model.Requests().back(), c.taken);
      EXPECT_EQ(wire->Stats().lastRequest, c.taken);
      Bytes echo = c.taken;
      echo[4] = 1;  // the scripted model's reply: the request with Status OK
      echo.resize(std::min<size_t>(echo.size(), 600));
      EXPECT_EQ(got.frames[0].data, echo);
      EXPECT_EQ(got.frames[0].flags, echo.size() < 600 ? 0x2300 : 0x0300);
      EXPECT_TRUE(got.frames[0].crcOk);
    }
    Feed(frame);
    EXPECT_EQ(TakeApart(Out()).order, "AF") << "the frame after";
  }
}

TEST_F(SimWire, PacketsArePutTogetherIntoMessages) {
  model.SetHandler([](const Bytes&) { return std::nullopt; });
  const Bytes a = Pattern(600, 1), b = Pattern(600, 2), c = Pattern(50, 3);
  const auto joined = [](Bytes x, const Bytes& y) {
    x.insert(x.end(), y.begin(), y.end());
    return x;
  };
  Feed(Frame(0x0300, a));
  Feed(Frame(0x0200, b));
  Feed(Frame(0x2200, c));
  EXPECT_EQ(TakeApart(Out()).order, "AAA");
  ASSERT_EQ(model.RequestCount(), 1u);
  EXPECT_EQ(model.Requests()[0], joined(joined(a, b), c));

  // A packet without a start is dropped; the next start begins the message.
  Feed(Frame(0x2200, c));
  Feed(Frame(0x2300, a));
  ASSERT_EQ(model.RequestCount(), 2u);
  EXPECT_EQ(model.Requests()[1], a);

  // A second start without an end drops what came before it.
  Feed(Frame(0x0300, a));
  Feed(Frame(0x0300, b));
  Feed(Frame(0x2200, c));
  ASSERT_EQ(model.RequestCount(), 3u);
  EXPECT_EQ(model.Requests()[2], joined(b, c));
  Advance(5000);
  EXPECT_EQ(TakeApart(Out()).order, "AAAAA") << "messages without reply get only their ACKs";
  EXPECT_FALSE(wire->Busy());
}

TEST_F(SimWire, ALongReplyGoesPacketByPacketEachAfterTheHostsAck) {
  const Bytes reply = Pattern(1250);
  model.SetHandler([&](const Bytes&) { return reply; });
  Feed(Frame(0x2300, Message(14, 2)));
  Bytes out = wire->TakeOutput(now, 20);  // the ACK and part of the first packet
  Feed({kAck});                            // ... which this ACK cannot answer
  EXPECT_EQ(wire->Stats().strayAckNaks, 1u);
  const Bytes rest = Out();
  out.insert(out.end(), rest.begin(), rest.end());
  auto got = TakeApart(out);
  EXPECT_EQ(got.order, "AF");
  Bytes joined;
  const struct { uint16_t flags; size_t size; } packets[] = {{0x0300, 600}, {0x0200, 600}, {0x2200, 50}};
  for (const auto& p : packets) {
    ASSERT_EQ(got.frames.size(), 1u) << p.flags;
    EXPECT_EQ(got.frames[0].flags, p.flags);
    EXPECT_EQ(got.frames[0].data.size(), p.size);
    EXPECT_TRUE(got.frames[0].crcOk);
    joined.insert(joined.end(), got.frames[0].data.begin(), got.frames[0].data.end());
    Advance(100);
    EXPECT_TRUE(Out().empty()) << "nothing more before the ACK";
    Feed({kAck});
    got = TakeApart(Out());
  }
  EXPECT_EQ(got.order, "");
  EXPECT_EQ(joined, reply);
  EXPECT_EQ(wire->Stats().repliesSent, 1u);
  EXPECT_FALSE(wire->Busy());
}

// A NAK brings the same packet again, and so does silence after a first packet (flag
// Start), ten transmissions in all. A later packet is never sent again on silence,
// since a host that holds it would take a second copy as more data: that reply is
// abandoned.
TEST_F(SimWire, NakAndSilenceSendAPacketAgainUpToTheLimit) {
  model.SetHandler([](const Bytes&) { return Pattern(700); });
  Feed(Frame(0x2300, Message(14, 2)));
  Advance(5000);  // the time-out runs from the moment the packet left, not from when it was queued
  const auto first = TakeApart(Out());
  ASSERT_EQ(first.order, "AF");
  for (int i = 1; i < 10; ++i) {
    if (i < 5) {
      Feed({kNak});
    } else {
      Advance(1499);
      EXPECT_TRUE(Out().empty()) << i;
      Advance(1);
    }
    const auto again = TakeApart(Out());
    ASSERT_EQ(again.order, "F") << i;
    EXPECT_EQ(again.frames[0].data, first.frames[0].data);
    EXPECT_EQ(again.frames[0].flags, 0x0300);
  }
  Advance(1500);
  EXPECT_TRUE(Out().empty());
  EXPECT_FALSE(wire->Busy());
  Feed({kAck});
  EXPECT_EQ(wire->Stats().strayAckNaks, 1u) << "a late ACK answers nothing";

  Feed(Frame(0x2300, Message(14, 2)));
  EXPECT_EQ(TakeApart(Out()).order, "AF");
  Feed({kAck});
  EXPECT_EQ(TakeApart(Out()).frames.at(0).flags, 0x2200);
  Advance(1500);
  EXPECT_TRUE(Out().empty());
  EXPECT_FALSE(wire->Busy());
  EXPECT_EQ(wire->Stats().repliesAbandoned, 2u);
}

TEST_F(SimWire, ANewRequestAbandonsTheReplyInHandWithItsUnsentBytes) {
  model.SetHandler([](const Bytes& req) { return Pattern(400, req[2]); });  // a reply for each Type
  Feed(Frame(0x2300, Message(14, 2)));
  (void)wire->TakeOutput(now, 30);  // part of the first reply has left
  Feed(Frame(0x2300, Message(14, 3)));
  auto got = TakeApart(Out());
  EXPECT_EQ(got.order, "AF");
  EXPECT_EQ(got.frames.at(0).data, Pattern(400, 3)) << "no stale bytes of the first reply";
  EXPECT_EQ(wire->Stats().repliesAbandoned, 1u);

  // Also a delayed reply that has not gone yet; the delay holds the reply back.
  faulty.SetReplyDelay(500);
  Make({});
  Feed(Frame(0x2300, Message(14, 2)));
  Advance(100);
  Feed(Frame(0x2300, Message(14, 4)));
  Advance(499);
  EXPECT_EQ(TakeApart(Out()).order, "AA");
  Advance(1);
  got = TakeApart(Out());
  EXPECT_EQ(got.order, "F");
  EXPECT_EQ(got.frames.at(0).data, Pattern(400, 4));
}

// Random bytes with good frames among them: every frame is found, nothing runs past a
// buffer (the sanitizers watch), the engine never blocks up, and the requests it keeps
// for tests stay bounded.
TEST_F(SimWire, FramesAreFoundAmongRandomBytes) {
  model.SetHandler([](const Bytes&) { return std::nullopt; });
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0xFF; };
  Bytes payload;
  for (uint32_t round = 0; round < 300; ++round) {
    Bytes noise(next() % 40);
    for (auto& b : noise) b = next() % 8 == 0 ? 'P' : static_cast<uint8_t>(next());
    Feed(noise);
    payload = Pattern(10 + next() % 200, round);
    Feed(Frame(0x2300, payload));
    ASSERT_EQ(model.RequestCount(), round + 1) << "round " << round;
    EXPECT_EQ(model.Requests().back(), payload);
    (void)Out();
  }
  EXPECT_EQ(wire->Stats().requests.size(), 256u);
  EXPECT_EQ(wire->Stats().requests.back(), payload);
  for (int i = 0; i < 20000; ++i) {  // pure noise, long enough to hold every kind of half frame
    Feed({static_cast<uint8_t>(next())});
    if (i % 97 == 0) Advance(1100);
  }
  Advance(1100);
  EXPECT_FALSE(wire->Busy());
}

}  // namespace
