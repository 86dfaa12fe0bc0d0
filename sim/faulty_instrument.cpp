#include "sim/faulty_instrument.h"

#include "sim/wire_format.h"

namespace kxsim {
namespace {

void Bump(Bytes& message, size_t offset) {
  PutU16(message, offset, static_cast<uint16_t>(GetU16(message, offset) + 1));
}

}  // namespace

FaultyInstrument::FaultyInstrument(Instrument& inner, uint64_t seed, FaultPlan plan,
                                   uint32_t replyDelayMs)
    : inner_(inner), faults_(seed), replyDelayMs_(replyDelayMs) {
  faults_.SetPlan(std::move(plan));
}

// The rules are offered in a fixed order (drop, delay, then the fields), each once per
// reply, so a seed draws the same values run after run.
std::optional<Bytes> FaultyInstrument::HandleMessage(const Bytes& request) {
  std::optional<Bytes> reply = inner_.HandleMessage(request);
  faultDelayMs_ = 0;
  if (!reply) return reply;
  if (faults_.Fire(FaultKind::kDropReply, &request)) return std::nullopt;
  if (const FaultRule* rule = faults_.Fire(FaultKind::kDelayReply, &request)) {
    faultDelayMs_ = rule->delayMs;
  }
  Bytes& r = *reply;
  if (faults_.Fire(FaultKind::kWrongClass, &request)) Bump(r, kClassOffset);
  if (faults_.Fire(FaultKind::kWrongType, &request)) Bump(r, kTypeOffset);
  if (faults_.Fire(FaultKind::kWrongRecordType, &request)) Bump(r, kRecordTypeOffset);
  if (const FaultRule* rule = faults_.Fire(FaultKind::kBadStatus, &request)) {
    PutU16(r, kStatusOffset, rule->status);
  }
  return reply;
}

uint32_t FaultyInstrument::TakeBusyMs() {
  const uint32_t ms = inner_.TakeBusyMs() + replyDelayMs_ + faultDelayMs_;
  faultDelayMs_ = 0;
  return ms;
}

}  // namespace kxsim
