// The instrument as a host meets it, whatever transport carries the messages: the
// model's replies with the reply faults of a FaultPlan applied (a reply dropped, delayed,
// or one of its fields changed), and every reply held back by a set delay.
//
// It owns the one seeded FaultInjector of a served instrument. A transport draws the
// faults only it can make (bytes on a serial line, frames) from Injector(), so one seed
// repeats a whole run, and every transport gets the reply faults without knowing them.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/faults.h"
#include "sim/instrument.h"

namespace kxsim {

class FaultyInstrument : public Instrument {
 public:
  explicit FaultyInstrument(Instrument& inner, uint64_t seed = 1, FaultPlan plan = {},
                            uint32_t replyDelayMs = 0);

  void SetPlan(FaultPlan plan) { faults_.SetPlan(std::move(plan)); }
  void SetReplyDelay(uint32_t ms) { replyDelayMs_ = ms; }
  FaultInjector& Injector() { return faults_; }

  // The inner model's reply, with the reply faults that fire for `request`.
  std::optional<Bytes> HandleMessage(const Bytes& request) override;
  uint32_t LineBaud() const override { return inner_.LineBaud(); }
  void LineBreak() override { inner_.LineBreak(); }
  // The inner model's busy time, the set reply delay and a delay fault's time.
  uint32_t TakeBusyMs() override;

 private:
  Instrument& inner_;
  FaultInjector faults_;
  uint32_t replyDelayMs_;
  uint32_t faultDelayMs_ = 0;  // of the last reply, until taken
};

}  // namespace kxsim
