// Faults the simulator's wire injects: each kind does what it says, rules fire when
// and as often as asked, and a seed repeats a run exactly.
#include <gtest/gtest.h>

#include "sim/faults.h"
#include "sim/scripted_instrument.h"
#include "sim/serial_wire.h"
#include "sim/wire_format.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::FaultKind;
using kxsim::FaultPlan;
using kxsim::LineDirection;
using kxsim::ScriptedInstrument;
using kxsim::SerialWire;
using kxsim::WireOptions;
using simtest::HostFrame;
using simtest::Message;
using simtest::TakeApart;

// A record read of `type` and the reply the model gives: headers echoed, Status OK,
// 100 bytes of record data.
Bytes ReadOf(uint16_t type) { return simtest::RecordMessage(2, type, 0); }
std::optional<Bytes> RecordReply(const Bytes& request) {
  Bytes reply = request;
  reply[4] = 1;
  const Bytes data = simtest::Pattern(100);
  reply.insert(reply.end(), data.begin(), data.end());
  return reply;
}

struct Exchange {
  ScriptedInstrument model{&RecordReply};
  SerialWire wire;
  uint32_t now = 0;
  explicit Exchange(FaultPlan plan, uint64_t seed = 1)
      : wire(model, WireOptions{seed, std::move(plan), 0, {}, 64}) {}
  // Sends one request frame and returns everything the instrument answered, ACKing
  // each reply packet.
  Bytes Ask(const Bytes& request) {
    const Bytes frame = HostFrame(0x2300, request);
    wire.Receive(frame.data(), frame.size(), now);
    Bytes out = wire.TakeOutput(now);
    const uint8_t ack = kxsim::kAck;
    wire.Receive(&ack, 1, now);
    return out;
  }
  size_t Fired(FaultKind k) const { return wire.Stats().faultsInjected[static_cast<size_t>(k)]; }
};

TEST(SimFaults, LineFaultsChangeExactlyOneByteOfWhatTheInstrumentSends) {
  const Bytes clean = Exchange({}).Ask(ReadOf(131));

  Exchange corrupt(FaultPlan().Add(kxsim::FaultNext(FaultKind::kCorruptByte, 1, 20)));
  const Bytes c = corrupt.Ask(ReadOf(131));
  ASSERT_EQ(c.size(), clean.size());
  size_t differ = 0;
  for (size_t i = 0; i < c.size(); ++i) differ += c[i] != clean[i];
  EXPECT_EQ(differ, 1u);
  EXPECT_NE(c[20], clean[20]) << "the 21st byte, after skipping 20";
  EXPECT_FALSE(TakeApart(c).frames.at(0).crcOk);

  Exchange drop(FaultPlan().Add(kxsim::FaultNext(FaultKind::kDropByte, 1, 5)));
  Bytes d = drop.Ask(ReadOf(131));
  ASSERT_EQ(d.size() + 1, clean.size());
  Bytes expected = clean;
  expected.erase(expected.begin() + 5);
  EXPECT_EQ(d, expected);

  Exchange insert(FaultPlan().Add(kxsim::FaultNext(FaultKind::kInsertByte, 1, 5)));
  Bytes in = insert.Ask(ReadOf(131));
  ASSERT_EQ(in.size(), clean.size() + 1);
  in.erase(in.begin() + 5);
  EXPECT_EQ(in, clean);
  EXPECT_EQ(insert.Fired(FaultKind::kInsertByte), 1u);
}

TEST(SimFaults, LineFaultsFromTheHostSpoilItsFrames) {
  Exchange ex(FaultPlan().Add([] {
    auto r = kxsim::FaultNext(FaultKind::kCorruptByte, 1, 12);
    r.direction = LineDirection::kFromHost;
    return r;
  }()));
  const Bytes out = ex.Ask(ReadOf(131));
  EXPECT_EQ(TakeApart(out).order, "N");
  EXPECT_EQ(ex.wire.Stats().framesBadCrc, 1u);
  EXPECT_EQ(TakeApart(ex.Ask(ReadOf(131))).order, "AF");

  // A rule for the host's direction leaves the instrument's bytes alone.
  Exchange other(FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kDropByte, 1.0, LineDirection::kFromHost)));
  EXPECT_TRUE(other.Ask(ReadOf(131)).empty());
  EXPECT_EQ(other.model.RequestCount(), 0u);
}

TEST(SimFaults, FrameFaults) {
  Exchange nak(FaultPlan().Add(kxsim::FaultNext(FaultKind::kNakGoodFrame, 2)));
  EXPECT_EQ(TakeApart(nak.Ask(ReadOf(131))).order, "N");
  EXPECT_EQ(TakeApart(nak.Ask(ReadOf(131))).order, "N");
  EXPECT_EQ(TakeApart(nak.Ask(ReadOf(131))).order, "AF");
  EXPECT_EQ(nak.model.RequestCount(), 1u) << "a NAKed frame is not taken";

  Exchange withhold(FaultPlan().Add(kxsim::FaultNext(FaultKind::kWithholdAck, 1)));
  auto got = TakeApart(withhold.Ask(ReadOf(131)));
  EXPECT_EQ(got.order, "F") << "taken and answered, but never acknowledged";
  EXPECT_EQ(withhold.model.RequestCount(), 1u);
}

TEST(SimFaults, ReplyFaultsChangeTheNamedField) {
  struct Case {
    FaultKind kind;
    size_t offset;
    uint16_t expected;
  };
  const Case cases[] = {
      {FaultKind::kWrongClass, 0, 15},
      {FaultKind::kWrongType, 2, 3},
      {FaultKind::kWrongRecordType, 10, 132},
      {FaultKind::kBadStatus, 4, 2},
  };
  for (const Case& c : cases) {
    Exchange ex(FaultPlan().Add(kxsim::FaultNext(c.kind)));
    auto first = TakeApart(ex.Ask(ReadOf(131)));
    ASSERT_EQ(first.frames.size(), 1u) << kxsim::FaultKindName(c.kind);
    EXPECT_TRUE(first.frames[0].crcOk);
    EXPECT_EQ(simtest::Get16(first.frames[0].data, c.offset), c.expected) << kxsim::FaultKindName(c.kind);
    Bytes expected = *RecordReply(ReadOf(131));
    simtest::Put16(expected, c.offset, c.expected);
    EXPECT_EQ(first.frames[0].data, expected) << "nothing else changes";
    auto second = TakeApart(ex.Ask(ReadOf(131)));
    EXPECT_EQ(second.frames.at(0).data, *RecordReply(ReadOf(131))) << "one time only";
  }
  kxsim::FaultRule status = kxsim::FaultNext(FaultKind::kBadStatus);
  status.status = 251;
  Exchange ex(FaultPlan().Add(status));
  EXPECT_EQ(simtest::Get16(TakeApart(ex.Ask(ReadOf(131))).frames.at(0).data, 4), 251);
}

TEST(SimFaults, DelayAndDropOfReplies) {
  kxsim::FaultRule delay = kxsim::FaultNext(FaultKind::kDelayReply);
  delay.delayMs = 700;
  Exchange ex(FaultPlan().Add(delay).Add(kxsim::FaultNext(FaultKind::kDropReply, 1, 1)));
  const Bytes frame = HostFrame(0x2300, ReadOf(131));
  ex.wire.Receive(frame.data(), frame.size(), 0);
  EXPECT_EQ(TakeApart(ex.wire.TakeOutput(0)).order, "A");
  ex.wire.Tick(699);
  EXPECT_FALSE(ex.wire.HasOutput());
  ex.wire.Tick(700);
  EXPECT_EQ(TakeApart(ex.wire.TakeOutput(700)).order, "F");
  const uint8_t ack = kxsim::kAck;
  ex.wire.Receive(&ack, 1, 701);
  // The second request is handled but gets no reply.
  ex.now = 800;
  EXPECT_EQ(TakeApart(ex.Ask(ReadOf(131))).order, "A");
  EXPECT_EQ(ex.model.RequestCount(), 2u);
  ex.wire.Tick(5000);
  EXPECT_FALSE(ex.wire.HasOutput());
}

TEST(SimFaults, PredicatesPickTheRequests) {
  Exchange ex(FaultPlan().Add(kxsim::FaultWhen(
      FaultKind::kBadStatus, [](const Bytes& req) { return simtest::Get16(req, 10) == 3841; })));
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(simtest::Get16(TakeApart(ex.Ask(ReadOf(131))).frames.at(0).data, 4), 1);
    EXPECT_EQ(simtest::Get16(TakeApart(ex.Ask(ReadOf(3841))).frames.at(0).data, 4), 2);
  }
  // Byte faults can be aimed at the replies to some requests too.
  kxsim::FaultRule corrupt = kxsim::FaultWhen(
      FaultKind::kCorruptByte, [](const Bytes& req) { return simtest::Get16(req, 10) == 772; });
  Exchange bytes(FaultPlan().Add(corrupt));
  EXPECT_TRUE(TakeApart(bytes.Ask(ReadOf(131))).frames.at(0).crcOk);
  const auto spoiled = TakeApart(bytes.Ask(ReadOf(772)));
  EXPECT_TRUE(spoiled.frames.empty() || !spoiled.frames[0].crcOk);
}

TEST(SimFaults, SkipCountAndRateDecideWhichOccasionsFire) {
  kxsim::FaultInjector f(9);
  FaultPlan plan;
  plan.Add(kxsim::FaultNext(FaultKind::kDropReply, 2, 3));
  f.SetPlan(plan);
  std::string fired;
  const Bytes any = {1};
  for (int i = 0; i < 8; ++i) fired += f.Fire(FaultKind::kDropReply, &any) ? 'x' : '.';
  EXPECT_EQ(fired, "...xx...");
  EXPECT_EQ(f.Fire(FaultKind::kBadStatus, &any), nullptr);

  kxsim::FaultInjector r(42);
  r.SetPlan(FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kCorruptByte, 0.01)));
  size_t hits = 0;
  for (int i = 0; i < 100000; ++i) hits += r.Fire(FaultKind::kCorruptByte, nullptr) != nullptr;
  EXPECT_GT(hits, 850u);
  EXPECT_LT(hits, 1150u);
  EXPECT_EQ(r.Fired()[static_cast<size_t>(FaultKind::kCorruptByte)], hits);

  kxsim::FaultInjector never(1);
  never.SetPlan(FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kCorruptByte, 0.0)));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(never.Fire(FaultKind::kCorruptByte, nullptr), nullptr);
}

TEST(SimFaults, TheSameSeedRepeatsARunAndAnotherSeedDoesNot) {
  auto run = [](uint64_t seed) {
    FaultPlan plan;
    plan.Add(kxsim::FaultAtRate(FaultKind::kCorruptByte, 0.02))
        .Add(kxsim::FaultAtRate(FaultKind::kDropByte, 0.02))
        .Add(kxsim::FaultAtRate(FaultKind::kInsertByte, 0.02));
    Exchange ex(plan, seed);
    Bytes all;
    for (uint16_t t = 0; t < 20; ++t) {
      Bytes out = ex.Ask(ReadOf(t));
      all.insert(all.end(), out.begin(), out.end());
    }
    return all;
  };
  EXPECT_EQ(run(5), run(5));
  EXPECT_NE(run(5), run(6));
}

TEST(SimFaults, KindNamesGoBothWays) {
  for (size_t k = 0; k < kxsim::kFaultKindCount; ++k) {
    FaultKind kind = FaultKind::kCount;
    ASSERT_TRUE(kxsim::FaultKindFromName(kxsim::FaultKindName(static_cast<FaultKind>(k)), &kind));
    EXPECT_EQ(kind, static_cast<FaultKind>(k));
  }
  FaultKind kind;
  EXPECT_FALSE(kxsim::FaultKindFromName("nonsense", &kind));
}

}  // namespace
