// Faults the simulator injects on request, so tests can drive every error path of a host
// against a misbehaving instrument or line. Every random choice comes from one seeded
// generator, so a run with the same seed and the same host behaviour repeats exactly.
//
// A FaultPlan is a list of rules. Each rule names a fault kind and when it applies:
//   rate   chance per occasion (1.0 = every occasion)
//   skip   occasions to let pass untouched before the rule may fire
//   count  how many times the rule fires at most (0 = no limit)
//   when   optional predicate; only occasions for which it holds are counted
// An occasion depends on the kind:
//   line faults (corrupt, drop, insert a byte): each byte crossing the line in the
//     rule's direction; `when` sees the request being answered (bytes going to the host
//     before any request has arrived, and bytes coming from the host, never match a rule
//     that has a predicate);
//   frame faults (NAK a good frame, withhold its ACK): each intact frame received;
//     `when` sees that frame's data;
//   reply faults (delay, drop, wrong class / type / record type, other status): each
//     reply the instrument is about to send; `when` sees the request;
//   packet faults (send a reply packet twice): each reply packet the host acknowledges;
//     `when` sees the request being answered;
//   USB frame faults (a spoilt header, an empty frame first, a frame split in two
//     writes): each reply frame the USB transport is about to send; `when` sees the
//     request.
// So "the next 3 frames" is {kind, rate 1, skip 0, count 3}, "1 byte in 1000" is
// {kind, rate 0.001}, and "whenever record type 3841 is read" is a predicate.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/instrument.h"

namespace kxsim {

enum class FaultKind : uint8_t {
  kCorruptByte,      // a byte is changed (XOR with a random non-zero value)
  kDropByte,         // a byte is lost
  kInsertByte,       // a random byte is inserted before this one
  kNakGoodFrame,     // an intact frame is answered with NAK and discarded
  kWithholdAck,      // an intact frame is taken but its ACK is never sent
  kDelayReply,       // the reply goes out `delayMs` later
  kDropReply,        // the request is handled but no reply is sent
  kWrongClass,       // the reply's Class is changed (+1)
  kWrongType,        // the reply's Type is changed (+1)
  kWrongRecordType,  // the reply's RecordType is changed (+1)
  kBadStatus,        // the reply's Status is replaced by `status`
  kDuplicatePacket,  // the host's ACK of a reply packet is taken as lost: the packet goes
                     // again after the acknowledgement time-out, as an instrument sends it
  kBadFrameHeader,   // USB: the reply frame's LengthCheck is not the complement of Length
  kEmptyFrame,       // USB: an empty frame (Length 0) goes before the reply frame
  kSplitFrame,       // USB: the reply frame goes in two writes, its first 3 bytes and the rest
  kCount
};
inline constexpr size_t kFaultKindCount = static_cast<size_t>(FaultKind::kCount);

// Name used on kxsim's command line and in statistics ("corrupt", "drop", ...).
const char* FaultKindName(FaultKind kind);
bool FaultKindFromName(const char* name, FaultKind* kind);

enum class LineDirection : uint8_t { kToHost, kFromHost, kBoth };

struct FaultRule {
  FaultKind kind = FaultKind::kCorruptByte;
  double rate = 1.0;
  uint32_t skip = 0;
  uint32_t count = 0;  // 0 = no limit
  LineDirection direction = LineDirection::kToHost;  // line faults only
  uint32_t delayMs = 0;                             // kDelayReply
  uint16_t status = 2;                              // kBadStatus
  std::function<bool(const Bytes&)> when;
};

// Shorthands for the usual rules.
FaultRule FaultAtRate(FaultKind kind, double rate,
                      LineDirection direction = LineDirection::kToHost);
FaultRule FaultNext(FaultKind kind, uint32_t count = 1, uint32_t skip = 0);
FaultRule FaultWhen(FaultKind kind, std::function<bool(const Bytes&)> when,
                    uint32_t count = 0);

struct FaultPlan {
  std::vector<FaultRule> rules;
  // Line damage a receiver's frame check cannot see (a frame shifted or damaged twice
  // whose CRC still holds, about one in 65536 of them) is what a 16-bit CRC leaves to
  // chance, and no host can tell such a frame from an intact one. By default the serial
  // wire keeps it off the line: a frame for the host is damaged afresh, and a frame from
  // the host fails the instrument's check. A soak that measures the protocol's own limit
  // lets it through.
  bool undetectableDamage = false;
  FaultPlan& Add(FaultRule rule) {
    rules.push_back(std::move(rule));
    return *this;
  }
  bool empty() const { return rules.empty(); }
};

// Decides, occasion by occasion, which rule fires. Not thread-safe: owned by one served
// instrument (sim/faulty_instrument.h), whose transport draws from it too.
class FaultInjector {
 public:
  explicit FaultInjector(uint64_t seed = 1) : state_(seed) {}

  void SetPlan(FaultPlan plan);
  bool HasKind(FaultKind kind) const;
  bool LetsUndetectableDamageThrough() const { return undetectableDamage_; }

  // Offers one occasion of `kind` to the rules in order; returns the first rule that
  // fires, or null. `subject` is what a predicate sees (null: rules with a predicate
  // do not match); `direction` is the line direction for line faults.
  const FaultRule* Fire(FaultKind kind, const Bytes* subject,
                        LineDirection direction = LineDirection::kToHost);

  // Next value of the generator (also used to pick corrupt and insert values).
  uint64_t Next();
  uint8_t NextNonZeroByte() { return static_cast<uint8_t>(1 + Next() % 255); }

  // Times each kind has fired.
  const std::array<uint64_t, kFaultKindCount>& Fired() const { return fired_; }

 private:
  struct RuleState {
    FaultRule rule;
    uint64_t occasions = 0;
    uint64_t fired = 0;
  };
  std::vector<RuleState> rules_;
  bool undetectableDamage_ = false;
  uint64_t state_;
  std::array<uint64_t, kFaultKindCount> fired_{};
};

}  // namespace kxsim
