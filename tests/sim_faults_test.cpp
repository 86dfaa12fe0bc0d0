// Faults the simulator injects: each kind does what it says, rules fire when and as
// often as asked, and a seed repeats a run exactly. Reply faults come from the wrapped
// instrument, line and frame faults from the wire, all drawn from one generator.
#include <gtest/gtest.h>

#include <type_traits>

#include "sim/faults.h"
#include "sim/faulty_instrument.h"
#include "sim/scripted_instrument.h"
#include "sim/serial_wire.h"
#include "tests/support/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::FaultKind;
using kxsim::FaultNext;
using kxsim::FaultPlan;
using kxsim::FaultRule;
using simtest::GetU16;
using simtest::ReadOf;
using simtest::TakeApart;

// The model's reply to a record read: the headers echoed, Status OK, 100 bytes of data.
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
  explicit Exchange(FaultRule rule, uint64_t seed = 1) : Exchange(FaultPlan().Add(std::move(rule)), seed) {}
  Exchange(FaultPlan plan, uint64_t seed)
      : faulty(model, seed, std::move(plan)), wire(faulty, kxsim::WireOptions{{}, 64}, &faulty.Injector()) {}
  uint32_t now = 0;
  // Sends a read of `type` and returns everything the instrument answered at once, ACKing
  // it; then, `waitMs` later, what came meanwhile (not ACKed).
  Bytes Ask(uint16_t type, uint32_t waitMs = 0) {
    const Bytes frame = simtest::Frame(0x2300, ReadOf(type));
    wire.Receive(frame.data(), frame.size(), now);
    Bytes out = wire.TakeOutput(now);
    wire.Receive(&kxsim::kAck, 1, now);
    if (waitMs == 0) return out;
    wire.Tick(now += waitMs);
    return simtest::Join({out, wire.TakeOutput(now)});
  }
};

FaultRule FromHost(FaultRule rule) {
  rule.direction = kxsim::LineDirection::kFromHost;
  return rule;
}
std::function<bool(const Bytes&)> Reads(uint16_t type) {
  return [type](const Bytes& request) { return GetU16(request, 10) == type; };
}

// A byte fault after skipping 20 bytes: the output is the clean one with that byte
// changed, gone, or one more before it.
TEST(SimFaults, ByteFaultsTouchOneByteGoingToTheHost) {
  const Bytes clean = Exchange(FaultPlan(), 1).Ask(131);
  for (const auto& [kind, sizeChange] : {std::pair{FaultKind::kCorruptByte, 0}, {FaultKind::kDropByte, -1}, {FaultKind::kInsertByte, 1}}) {
    SCOPED_TRACE(kxsim::FaultKindName(kind));
    Bytes out = Exchange(FaultNext(kind, 1, 20)).Ask(131);
    ASSERT_EQ(out.size(), clean.size() + sizeChange);
    EXPECT_TRUE(sizeChange != 0 || out[20] != clean[20]) << "the byte changed";
    if (sizeChange == 0) out[20] = clean[20];
    if (sizeChange > 0) out.erase(out.begin() + 20);
    if (sizeChange < 0) out.insert(out.begin() + 20, clean[20]);
    EXPECT_EQ(out, clean) << "every other byte as it was";
  }
}

// A rule with one field changed.
template <typename T>
FaultRule With(FaultRule rule, T FaultRule::*field, std::type_identity_t<T> value) {
  rule.*field = value;
  return rule;
}

// Each case: one rule, then reads of record types and what comes back at once for each
// (items as TakeApart names them; every reply packet the model's reply with the field at
// `at` set to `value`, the same packet each time), and the requests the model got.
TEST(SimFaults, FrameReplyAndHostFaultsFireWhereTheRuleSays) {
  struct Ask {
    uint16_t type;
    const char* order;
    uint16_t value = 1;  // at `at` of each reply packet (by default Status OK)
    size_t at = 4;
    uint32_t waitMs = 0;  // also take what comes this much later
  };
  const struct {
    const char* name;
    FaultRule rule;
    std::vector<Ask> asks;
    size_t taken;
  } cases[] = {
      {"NAK two good frames", FaultNext(FaultKind::kNakGoodFrame, 2), {{131, "N"}, {131, "N"}, {131, "AO"}}, 1},
      {"withhold an ACK", FaultNext(FaultKind::kWithholdAck), {{131, "O"}, {131, "AO"}}, 2},
      {"drop a reply", FaultNext(FaultKind::kDropReply), {{131, "A"}, {131, "AO"}}, 2},
      {"spoil a byte from the host", FromHost(FaultNext(FaultKind::kCorruptByte, 1, 12)), {{131, "N"}, {131, "AO"}}, 1},
      {"lose every byte from the host", FromHost(kxsim::FaultAtRate(FaultKind::kDropByte, 1.0)), {{131, ""}}, 0},
      {"a status for one record type", kxsim::FaultWhen(FaultKind::kBadStatus, Reads(3841)),
       {{131, "AO"}, {3841, "AO", 2}, {131, "AO"}, {3841, "AO", 2}}, 4},
      {"another status, once", With(FaultNext(FaultKind::kBadStatus), &FaultRule::status, 251),
       {{131, "AO", 251}, {131, "AO"}}, 2},
      {"a wrong class, once", FaultNext(FaultKind::kWrongClass), {{131, "AO", 15, 0}, {131, "AO", 14, 0}}, 2},
      {"a wrong type", FaultNext(FaultKind::kWrongType), {{131, "AO", 3, 2}, {131, "AO", 2, 2}}, 2},
      {"a wrong record type", FaultNext(FaultKind::kWrongRecordType), {{131, "AO", 132, 10}, {131, "AO", 131, 10}}, 2},
      {"a reply held back", With(FaultNext(FaultKind::kDelayReply), &FaultRule::delayMs, 700), {{131, "A", 1, 4, 699}}, 1},
      {"a reply held back until due", With(FaultNext(FaultKind::kDelayReply), &FaultRule::delayMs, 700),
       {{131, "AO", 1, 4, 700}}, 1},
      // The ACK of the packet is taken as lost: the same packet comes again on the time-out, once.
      {"send a reply packet twice", FaultNext(FaultKind::kDuplicatePacket), {{131, "AOO", 1, 4, 1500}, {131, "AO", 1, 4, 2000}},
       2},
      {"not before the time-out, and not after a new request", FaultNext(FaultKind::kDuplicatePacket),
       {{131, "AO", 1, 4, 1499}, {131, "AO", 1, 4, 2000}}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Exchange ex(c.rule);
    for (const Ask& ask : c.asks) {
      const auto got = TakeApart(ex.Ask(ask.type, ask.waitMs));
      EXPECT_EQ(got.order, ask.order);
      Bytes expected = *RecordReply(ReadOf(ask.type));
      kxsim::PutU16(expected, ask.at, ask.value);
      for (const auto& frame : got.frames) EXPECT_EQ(frame.data, expected) << "that field and nothing else";
    }
    EXPECT_EQ(ex.model.RequestCount(), c.taken);
  }
  // Byte faults can be aimed at the replies to some requests too.
  Exchange aimed(kxsim::FaultWhen(FaultKind::kCorruptByte, Reads(772)));
  EXPECT_TRUE(TakeApart(aimed.Ask(131)).frames.at(0).crcOk);
  const auto spoiled = TakeApart(aimed.Ask(772));
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
    for (auto kind : {FaultKind::kCorruptByte, FaultKind::kDropByte, FaultKind::kInsertByte, FaultKind::kBadStatus}) {
      plan.Add(kxsim::FaultAtRate(kind, 0.02));
    }
    Exchange ex(plan, seed);
    Bytes all;
    for (uint16_t t = 0; t < 20; ++t) all = simtest::Join({all, ex.Ask(t)});
    return all;
  };
  EXPECT_EQ(run(5), run(5));
  EXPECT_NE(run(5), run(6));
}

}  // namespace
