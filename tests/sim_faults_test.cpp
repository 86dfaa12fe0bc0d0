// Faults the simulator's wire injects: each kind does what it says, rules fire when
// and as often as asked, and a seed repeats a run exactly.
#include <gtest/gtest.h>

#include "sim/faults.h"
#include "sim/faulty_instrument.h"
#include "sim/scripted_instrument.h"
#include "sim/serial_wire.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::FaultKind;
using kxsim::FaultNext;
using kxsim::FaultPlan;
using simtest::GetU16;
using simtest::TakeApart;

// A record read of `type`, and the reply the model gives: headers echoed, Status OK,
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
  kxsim::ScriptedInstrument model{&RecordReply};
  kxsim::FaultyInstrument faulty;
  kxsim::SerialWire wire;
  uint32_t now = 0;
  explicit Exchange(FaultPlan plan, uint64_t seed = 1)
      : faulty(model, seed, std::move(plan)), wire(faulty, kxsim::WireOptions{{}, 64}, &faulty.Injector()) {}
  // Sends one request frame and returns everything the instrument answered, ACKing
  // each reply packet.
  Bytes Ask(const Bytes& request) {
    const Bytes frame = simtest::Frame(0x2300, request);
    wire.Receive(frame.data(), frame.size(), now);
    Bytes out = wire.TakeOutput(now);
    wire.Receive(&kxsim::kAck, 1, now);
    return out;
  }
  Bytes ReplyTo(uint16_t type) { return TakeApart(Ask(ReadOf(type))).frames.at(0).data; }
};

TEST(SimFaults, LineFaultsChangeExactlyOneByteInTheirDirection) {
  const Bytes clean = Exchange({}).Ask(ReadOf(131));
  Bytes changed = Exchange(FaultPlan().Add(FaultNext(FaultKind::kCorruptByte, 1, 20))).Ask(ReadOf(131));
  ASSERT_EQ(changed.size(), clean.size());
  EXPECT_NE(changed[20], clean[20]) << "the 21st byte, after skipping 20";
  changed[20] = clean[20];
  EXPECT_EQ(changed, clean);

  Bytes dropped = clean;
  dropped.erase(dropped.begin() + 5);
  EXPECT_EQ(Exchange(FaultPlan().Add(FaultNext(FaultKind::kDropByte, 1, 5))).Ask(ReadOf(131)), dropped);

  Bytes inserted = Exchange(FaultPlan().Add(FaultNext(FaultKind::kInsertByte, 1, 5))).Ask(ReadOf(131));
  ASSERT_EQ(inserted.size(), clean.size() + 1);
  inserted.erase(inserted.begin() + 5);
  EXPECT_EQ(inserted, clean);

  // Faults in the host's direction spoil what the host sends, not what it hears.
  kxsim::FaultRule fromHost = FaultNext(FaultKind::kCorruptByte, 1, 12);
  fromHost.direction = kxsim::LineDirection::kFromHost;
  Exchange ex(FaultPlan().Add(fromHost));
  EXPECT_EQ(TakeApart(ex.Ask(ReadOf(131))).order, "N");
  EXPECT_EQ(ex.Ask(ReadOf(131)), clean);

  Exchange dropAll(FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kDropByte, 1.0, kxsim::LineDirection::kFromHost)));
  EXPECT_TRUE(dropAll.Ask(ReadOf(131)).empty());
  EXPECT_EQ(dropAll.model.RequestCount(), 0u);
}

TEST(SimFaults, FrameFaults) {
  Exchange nak(FaultPlan().Add(FaultNext(FaultKind::kNakGoodFrame, 2)));
  EXPECT_EQ(TakeApart(nak.Ask(ReadOf(131))).order, "N");
  EXPECT_EQ(TakeApart(nak.Ask(ReadOf(131))).order, "N");
  EXPECT_EQ(TakeApart(nak.Ask(ReadOf(131))).order, "AF");
  EXPECT_EQ(nak.model.RequestCount(), 1u) << "a NAKed frame is not taken";

  Exchange withhold(FaultPlan().Add(FaultNext(FaultKind::kWithholdAck)));
  EXPECT_EQ(TakeApart(withhold.Ask(ReadOf(131))).order, "F") << "taken and answered, never acknowledged";
}

TEST(SimFaults, ReplyFaultsChangeTheNamedFieldOnce) {
  const struct {
    FaultKind kind;
    size_t offset;
    uint16_t expected;
  } cases[] = {
      {FaultKind::kWrongClass, 0, 15},
      {FaultKind::kWrongType, 2, 3},
      {FaultKind::kWrongRecordType, 10, 132},
      {FaultKind::kBadStatus, 4, 251},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(kxsim::FaultKindName(c.kind));
    kxsim::FaultRule rule = FaultNext(c.kind);
    rule.status = 251;
    Exchange ex(FaultPlan().Add(rule));
    Bytes expected = *RecordReply(ReadOf(131));
    kxsim::PutU16(expected, c.offset, c.expected);
    EXPECT_EQ(ex.ReplyTo(131), expected) << "that field and nothing else";
    EXPECT_EQ(ex.ReplyTo(131), *RecordReply(ReadOf(131))) << "one time only";
  }
}

TEST(SimFaults, DelayedReplies) {
  kxsim::FaultRule delay = FaultNext(FaultKind::kDelayReply);
  delay.delayMs = 700;
  Exchange ex(FaultPlan().Add(delay));
  EXPECT_EQ(TakeApart(ex.Ask(ReadOf(131))).order, "A");
  ex.wire.Tick(699);
  EXPECT_FALSE(ex.wire.HasOutput());
  ex.wire.Tick(700);
  EXPECT_EQ(TakeApart(ex.wire.TakeOutput(700)).order, "F");
}

TEST(SimFaults, PredicatesPickTheRequests) {
  const auto reads = [](uint16_t type) { return [type](const Bytes& req) { return GetU16(req, 10) == type; }; };
  Exchange ex(FaultPlan().Add(kxsim::FaultWhen(FaultKind::kBadStatus, reads(3841))));
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(GetU16(ex.ReplyTo(131), 4), 1);
    EXPECT_EQ(GetU16(ex.ReplyTo(3841), 4), 2);
  }
  // Byte faults can be aimed at the replies to some requests too.
  Exchange bytes(FaultPlan().Add(kxsim::FaultWhen(FaultKind::kCorruptByte, reads(772))));
  EXPECT_TRUE(TakeApart(bytes.Ask(ReadOf(131))).frames.at(0).crcOk);
  const auto spoiled = TakeApart(bytes.Ask(ReadOf(772)));
  EXPECT_TRUE(spoiled.frames.empty() || !spoiled.frames[0].crcOk);
}

TEST(SimFaults, SkipCountAndRateDecideWhichOccasionsFire) {
  kxsim::FaultInjector f(9);
  f.SetPlan(FaultPlan().Add(FaultNext(FaultKind::kDropReply, 2, 3)));
  std::string fired;
  const Bytes any = {1};
  for (int i = 0; i < 8; ++i) fired += f.Fire(FaultKind::kDropReply, &any) ? 'x' : '.';
  EXPECT_EQ(fired, "...xx...");
  EXPECT_EQ(f.Fire(FaultKind::kBadStatus, &any), nullptr);

  for (const double rate : {0.0, 0.01}) {
    kxsim::FaultInjector r(42);
    r.SetPlan(FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kCorruptByte, rate)));
    size_t hits = 0;
    for (int i = 0; i < 100000; ++i) hits += r.Fire(FaultKind::kCorruptByte, nullptr) != nullptr;
    EXPECT_NEAR(static_cast<double>(hits), rate * 100000, 150) << rate;
    EXPECT_EQ(r.Fired()[static_cast<size_t>(FaultKind::kCorruptByte)], hits);
  }
}

TEST(SimFaults, TheSameSeedRepeatsARunAndAnotherSeedDoesNot) {
  const auto run = [](uint64_t seed) {
    FaultPlan plan;
    for (auto kind : {FaultKind::kCorruptByte, FaultKind::kDropByte, FaultKind::kInsertByte}) {
      plan.Add(kxsim::FaultAtRate(kind, 0.02));
    }
    Exchange ex(plan, seed);
    Bytes all;
    for (uint16_t t = 0; t < 20; ++t) {
      const Bytes out = ex.Ask(ReadOf(t));
      all.insert(all.end(), out.begin(), out.end());
    }
    return all;
  };
  EXPECT_EQ(run(5), run(5));
  EXPECT_NE(run(5), run(6));
}

}  // namespace
