// The instrument's side of the serial link, as a pure engine: bytes from the host go in,
// bytes for the host come out, and time is a millisecond clock value passed in. No I/O,
// no threads, no clock of its own, so it can be driven byte by byte in tests and fuzzed.
//
// Receiving. Bytes are matched against the frame tag "PACKET\0" (letters in any case);
// bytes that cannot start a tag are skipped, and a mismatch part-way through the tag
// resynchronises on the next byte. A complete frame with a good CRC is answered with
// ACK, one with a bad CRC with NAK. A frame announcing more data than the receive buffer
// holds is answered with NAK and skipped. A frame that the line damaged in a way its CRC
// does not show fails the check all the same (see FaultPlan::undetectableDamage). A frame
// that stops part-way (past its tag) is
// dropped after `frameSilenceMs` without a byte, and answered with NAK, so the host
// sends it again. An ACK or NAK byte outside a frame answers the packet being sent.
//
// Messages. Good packets are put together: a packet with the Start flag begins a message
// (dropping an unfinished one), packets without Start before any start are dropped, and
// the End flag completes the message, which goes to the instrument model.
//
// Replies. The model's reply is cut into packets of at most 600 data bytes, flagged
// 0x0300 (first), 0x0200 (middle) and 0x2200 (last), or 0x2300 for a single packet,
// and sent one at a time: the next packet goes only after the host's ACK. A NAK sends
// the same packet again, up to `maxTransmissions` in all, after which the reply is
// abandoned. When neither ACK nor NAK comes within `ackTimeoutMs` of the packet leaving,
// the first packet of a reply (flag Start) is sent again, within the same limit: if the
// host lost it, it gets it now, and if only the ACK was lost, a second copy of a first
// packet just starts the host's message afresh. A later packet is never sent again on
// silence, since a host that holds it would take a second copy as more data: the reply
// is abandoned instead. The duplicate-packet fault does just that on purpose: it takes
// the host's ACK of a packet as lost and sends the packet again on the time-out, as an
// instrument does, so the host appends the same bytes twice. A new request (a packet
// with the Start flag) also abandons any reply still going out or waiting, together with
// its unsent bytes: the host has given up on it, and a late reply would be taken as the
// answer to the new request.
//
// Answering in turn (WireOptions::answerInTurn), as an instrument that serves its
// requests one after the other does: a request that arrives while a reply is still going
// out or waiting abandons nothing; it is handled at once and its reply follows when the
// reply before it is done (acknowledged or given up). A host that streams its requests
// then gets every reply, late ones included, in the order it asked.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/faults.h"
#include "sim/instrument.h"
#include "sim/wire_format.h"

namespace kxsim {

struct WireTimings {
  // How long a reply packet waits for the host's ACK or NAK after its last byte left.
  // Longer than the host's receive time-out (a little over one second of silence, after
  // which it NAKs a partly received frame), so that NAK, when it comes, comes first;
  // shorter than two such time-outs, so a host waiting with its default two attempts is
  // still listening when a lost first packet is sent again.
  uint32_t ackTimeoutMs = 1500;
  // Transmissions of one reply packet in all (first + resends on NAK or silence): as
  // many as the host's most patient record services wait for packets (10), so on a
  // noisy line the instrument does not give up before the host does.
  uint32_t maxTransmissions = 10;
  // Silence after which a frame that stopped part-way is dropped and NAKed. The host
  // writes a frame in one go, so a one-second gap means bytes were lost.
  uint32_t frameSilenceMs = 1000;
};

struct WireOptions {
  WireTimings timings;
  size_t requestsKept = 256;    // how many received requests WireStats keeps
  bool answerInTurn = false;    // a new request waits for the reply in hand (see above)
};

struct WireStats {
  uint64_t bytesIn = 0;          // bytes received from the host (after line faults)
  uint64_t bytesOut = 0;         // bytes queued for the host (after line faults)
  uint64_t skippedBytes = 0;     // bytes outside any frame (resynchronisation)
  uint64_t framesGood = 0;       // intact frames (ACKed, or NAKed/withheld by a fault)
  uint64_t framesBadCrc = 0;
  uint64_t framesOversize = 0;   // announced Length beyond the receive buffer
  uint64_t framesTimedOut = 0;   // stopped part-way and dropped after the silence
  uint64_t acksSent = 0;
  uint64_t naksSent = 0;
  uint64_t acksReceived = 0;
  uint64_t naksReceived = 0;
  uint64_t strayAckNaks = 0;     // ACK/NAK bytes with no reply packet waiting
  uint64_t packetsDropped = 0;   // packets without a started message
  uint64_t secondStarts = 0;     // start packets that dropped an unfinished message
  uint64_t messagesTooLong = 0;  // messages beyond the largest one the instrument takes
  uint64_t messagesReceived = 0;
  uint64_t packetsSent = 0;      // reply packet transmissions, resends included
  uint64_t packetResends = 0;
  uint64_t repliesSent = 0;      // replies whose every packet was acknowledged
  uint64_t repliesAbandoned = 0;
  uint64_t repliesQueued = 0;    // replies that waited for an earlier one (answering in turn)
  uint64_t ackTimeouts = 0;
  uint64_t notifies = 0;         // messages the model did not answer (or whose reply a fault dropped)
  // Frames damaged on the line whose CRC still held, either way (sim/faults.h, FaultPlan::
  // undetectableDamage): kept off the line, or let through when the plan says so.
  uint64_t undetectableDamage = 0;
  std::array<uint64_t, kFaultKindCount> faultsInjected{};
  std::vector<Bytes> requests;   // the most recent requests received, oldest first
  Bytes lastRequest;
};

class SerialWire {
 public:
  // The line and frame faults come from `faults` (none when null); the reply faults are
  // the model's own (sim/faulty_instrument.h), as is any delay of a reply (TakeBusyMs).
  explicit SerialWire(Instrument& model, WireOptions options = {}, FaultInjector* faults = nullptr);
  SerialWire(const SerialWire&) = delete;
  SerialWire& operator=(const SerialWire&) = delete;

  // Bytes that arrived from the host at `nowMs`.
  void Receive(const uint8_t* bytes, size_t count, uint32_t nowMs);
  // Runs the timers (delayed replies, ACK time-outs, frames that stopped part-way).
  void Tick(uint32_t nowMs);

  bool HasOutput() const { return outPos_ < out_.size(); }
  size_t PendingOutput() const { return out_.size() - outPos_; }
  // Takes up to `max` bytes for the line; `nowMs` is when they leave (the ACK time-out
  // of a reply packet runs from the moment its last byte has been taken).
  Bytes TakeOutput(uint32_t nowMs, size_t max = SIZE_MAX);

  // True while a timer is running (so the caller should call Tick again soon).
  bool Busy() const;

  const WireStats& Stats() const { return stats_; }
  void ResetStats();

 private:
  enum class TxState { kIdle, kDelayed, kAwaitAck };

  void ReceiveByte(uint8_t byte, uint32_t nowMs);
  void ParseByte(uint8_t byte, uint32_t nowMs);
  void Resynchronise(uint32_t nowMs);
  void CompleteFrame(uint32_t nowMs);
  void OnPacket(uint16_t flags, const uint8_t* data, size_t length, uint32_t nowMs);
  void OnMessage(uint32_t nowMs);
  void OnAckNak(uint8_t byte, uint32_t nowMs);
  // Starts sending `reply` to `request`, after `delayMs`.
  void StartReply(Bytes request, Bytes reply, uint32_t delayMs, uint32_t nowMs);
  // Starts the next reply that waits its turn, if any, once the sender is idle.
  void StartQueuedReply(uint32_t nowMs);
  void SendPacket(uint32_t nowMs);
  void EmitFrame(const Bytes& frame);
  void AbandonReply();
  void Emit(uint8_t byte);
  void EmitAll(const Bytes& bytes) {
    for (uint8_t b : bytes) Emit(b);
  }

  Instrument& model_;
  WireOptions options_;
  FaultInjector noFaults_;
  FaultInjector& faults_;
  WireStats stats_;

  // Receiver.
  Bytes frame_;                 // bytes of the frame being received
  bool frameDamaged_ = false;   // a line fault touched frame_ (or a byte lost from it)
  bool byteDamaged_ = false;    // a line fault touched the byte being parsed
  uint32_t lastRxMs_ = 0;
  Bytes message_;               // message being put together
  bool messageStarted_ = false;

  // Sender.
  Bytes out_;                   // bytes for the host; out_[outPos_..] not yet taken
  size_t outPos_ = 0;
  TxState tx_ = TxState::kIdle;
  Bytes reply_;
  Bytes answering_;             // the request the current reply answers
  struct QueuedReply {
    Bytes request;
    Bytes reply;
    uint32_t delayMs;
  };
  std::deque<QueuedReply> queued_;  // replies waiting their turn (answerInTurn)
  size_t packetIndex_ = 0;
  size_t packetCount_ = 0;
  uint32_t transmissions_ = 0;
  uint32_t dueMs_ = 0;          // when a delayed reply goes out
  bool ackArmed_ = false;       // the packet has left; its ACK time-out is running
  bool duplicating_ = false;    // the packet's ACK was taken as lost: it goes again
  uint32_t ackSinceMs_ = 0;
  size_t packetStartInOut_ = 0; // out_ positions of the current packet's bytes
  size_t packetEndInOut_ = 0;
};

}  // namespace kxsim
