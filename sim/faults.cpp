#include "sim/faults.h"

#include <cstring>

namespace kxsim {
namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {FaultKind::kCorruptByte, "corrupt"},
    {FaultKind::kDropByte, "drop"},
    {FaultKind::kInsertByte, "insert"},
    {FaultKind::kNakGoodFrame, "nak"},
    {FaultKind::kWithholdAck, "withhold-ack"},
    {FaultKind::kDelayReply, "delay"},
    {FaultKind::kDropReply, "no-reply"},
    {FaultKind::kWrongClass, "wrong-class"},
    {FaultKind::kWrongType, "wrong-type"},
    {FaultKind::kWrongRecordType, "wrong-record-type"},
    {FaultKind::kBadStatus, "bad-status"},
    {FaultKind::kDuplicatePacket, "duplicate-packet"},
    {FaultKind::kBadFrameHeader, "bad-header"},
    {FaultKind::kEmptyFrame, "empty-frame"},
    {FaultKind::kSplitFrame, "split-frame"},
};

bool IsLineFault(FaultKind kind) {
  return kind == FaultKind::kCorruptByte || kind == FaultKind::kDropByte ||
         kind == FaultKind::kInsertByte;
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

bool FaultKindFromName(const char* name, FaultKind* kind) {
  for (const KindName& k : kKindNames) {
    if (std::strcmp(k.name, name) == 0) {
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

FaultRule FaultAtRate(FaultKind kind, double rate, LineDirection direction) {
  FaultRule rule;
  rule.kind = kind;
  rule.rate = rate;
  rule.direction = direction;
  return rule;
}

FaultRule FaultNext(FaultKind kind, uint32_t count, uint32_t skip) {
  FaultRule rule;
  rule.kind = kind;
  rule.count = count;
  rule.skip = skip;
  return rule;
}

FaultRule FaultWhen(FaultKind kind, std::function<bool(const Bytes&)> when, uint32_t count) {
  FaultRule rule;
  rule.kind = kind;
  rule.when = std::move(when);
  rule.count = count;
  return rule;
}

void FaultInjector::SetPlan(FaultPlan plan) {
  rules_.clear();
  undetectableDamage_ = plan.undetectableDamage;
  for (FaultRule& rule : plan.rules) rules_.push_back(RuleState{std::move(rule), 0, 0});
}

bool FaultInjector::HasKind(FaultKind kind) const {
  for (const RuleState& r : rules_) {
    if (r.rule.kind == kind) return true;
  }
  return false;
}

const FaultRule* FaultInjector::Fire(FaultKind kind, const Bytes* subject,
                                     LineDirection direction) {
  for (RuleState& r : rules_) {
    const FaultRule& rule = r.rule;
    if (rule.kind != kind) continue;
    if (IsLineFault(kind) && rule.direction != LineDirection::kBoth &&
        rule.direction != direction) {
      continue;
    }
    if (rule.when && (subject == nullptr || !rule.when(*subject))) continue;
    ++r.occasions;
    if (r.occasions <= rule.skip) continue;
    if (rule.count != 0 && r.fired >= rule.count) continue;
    if (rule.rate < 1.0) {
      // 53 random bits as a fraction in [0, 1).
      double draw = static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
      if (!(draw < rule.rate)) continue;
    }
    ++r.fired;
    ++fired_[static_cast<size_t>(kind)];
    return &rule;
  }
  return nullptr;
}

uint64_t FaultInjector::Next() {
  // splitmix64: small, fast and the same on every platform and library.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace kxsim
