#include "sim/serial_wire.h"

#include <algorithm>

namespace kxsim {
namespace {

// True once `timeoutMs` have passed since `sinceMs` (wrap-safe for spans below 49 days).
bool Expired(uint32_t nowMs, uint32_t sinceMs, uint32_t timeoutMs) {
  return static_cast<uint32_t>(nowMs - sinceMs) >= timeoutMs;
}

// True once the clock has reached `dueMs` (wrap-safe).
bool Reached(uint32_t nowMs, uint32_t dueMs) { return static_cast<int32_t>(nowMs - dueMs) >= 0; }

bool SameLetter(uint8_t byte, uint8_t letter) { return (byte | 0x20) == (letter | 0x20); }

}  // namespace

SerialWire::SerialWire(Instrument& model, WireOptions options, FaultInjector* faults)
    : model_(model), options_(std::move(options)), faults_(faults != nullptr ? *faults : noFaults_) {
  frame_.reserve(kReceiveBufferSize);
}

void SerialWire::ResetStats() { stats_ = WireStats{}; }

bool SerialWire::Busy() const { return tx_ != TxState::kIdle || !frame_.empty(); }

// ---- Receiving ---------------------------------------------------------------------------

void SerialWire::Receive(const uint8_t* bytes, size_t count, uint32_t nowMs) {
  for (size_t i = 0; i < count; ++i) ReceiveByte(bytes[i], nowMs);
  stats_.faultsInjected = faults_.Fired();
}

void SerialWire::ReceiveByte(uint8_t byte, uint32_t nowMs) {
  if (faults_.Fire(FaultKind::kDropByte, nullptr, LineDirection::kFromHost)) {
    if (!frame_.empty()) frameDamaged_ = true;
    return;
  }
  if (faults_.Fire(FaultKind::kInsertByte, nullptr, LineDirection::kFromHost)) {
    ++stats_.bytesIn;
    byteDamaged_ = true;
    ParseByte(static_cast<uint8_t>(faults_.Next()), nowMs);
  }
  byteDamaged_ = faults_.Fire(FaultKind::kCorruptByte, nullptr, LineDirection::kFromHost) != nullptr;
  if (byteDamaged_) byte ^= faults_.NextNonZeroByte();
  ++stats_.bytesIn;
  ParseByte(byte, nowMs);
  byteDamaged_ = false;
}

void SerialWire::ParseByte(uint8_t byte, uint32_t nowMs) {
  if (frame_.empty()) {
    if (byte == kAck || byte == kNak) {
      OnAckNak(byte, nowMs);
    } else if (SameLetter(byte, kPacketTag[0])) {
      frame_.push_back(byte);
      frameDamaged_ = byteDamaged_;
      lastRxMs_ = nowMs;
    } else {
      ++stats_.skippedBytes;
    }
    return;
  }
  frame_.push_back(byte);
  frameDamaged_ = frameDamaged_ || byteDamaged_;
  lastRxMs_ = nowMs;
  const size_t at = frame_.size() - 1;
  if (at < sizeof kPacketTag) {
    if (!SameLetter(byte, kPacketTag[at])) Resynchronise(nowMs);
    return;
  }
  if (at == kFlagsOffset) {  // the low byte of Flags ends the tag
    if (byte != 0) Resynchronise(nowMs);
    return;
  }
  if (at == kLengthOffset + 1 && GetU16(&frame_[kLengthOffset]) > kMaxReceivePacketData) {
    ++stats_.framesOversize;
    ++stats_.naksSent;
    Emit(kNak);
    Resynchronise(nowMs);
    return;
  }
  if (frame_.size() >= kFrameOverhead &&
      frame_.size() == kFrameOverhead + GetU16(&frame_[kLengthOffset])) {
    CompleteFrame(nowMs);
  }
}

// The bytes gathered so far cannot be a frame: drop the first and look for a tag in the
// rest, byte by byte (at most a header's worth, so the recursion is shallow).
// Damage to the bytes gathered stays with every frame found among them.
void SerialWire::Resynchronise(uint32_t nowMs) {
  Bytes rest(frame_.begin() + 1, frame_.end());
  frame_.clear();
  ++stats_.skippedBytes;
  const bool byteDamaged = byteDamaged_;
  byteDamaged_ = byteDamaged || frameDamaged_;
  for (uint8_t b : rest) ParseByte(b, nowMs);
  byteDamaged_ = byteDamaged;
}

void SerialWire::CompleteFrame(uint32_t nowMs) {
  Bytes frame;
  frame.swap(frame_);
  frame_.reserve(kReceiveBufferSize);
  const size_t length = GetU16(&frame[kLengthOffset]);
  const uint16_t sent = GetU16(&frame[kPacketHeaderSize + length]);
  bool intact = sent == FrameCrc(frame.data(), kPacketHeaderSize + length);
  if (intact && frameDamaged_) {
    ++stats_.undetectableDamage;
    intact = faults_.LetsUndetectableDamageThrough();
  }
  frameDamaged_ = false;
  if (!intact) {
    ++stats_.framesBadCrc;
    ++stats_.naksSent;
    Emit(kNak);
    return;
  }
  ++stats_.framesGood;
  const Bytes data(frame.begin() + kPacketHeaderSize,
                   frame.begin() + static_cast<std::ptrdiff_t>(kPacketHeaderSize + length));
  if (faults_.Fire(FaultKind::kNakGoodFrame, &data)) {
    ++stats_.naksSent;
    Emit(kNak);
    return;
  }
  const uint16_t flags = GetU16(&frame[kFlagsOffset]);
  // A new request: the host no longer waits for the reply in hand. Drop it before the
  // ACK is queued, so the ACK is not held up behind (or purged with) stale bytes.
  if ((flags & kFlagStart) && tx_ != TxState::kIdle && !options_.answerInTurn) AbandonReply();
  if (!faults_.Fire(FaultKind::kWithholdAck, &data)) {
    ++stats_.acksSent;
    Emit(kAck);
  }
  OnPacket(flags, data.data(), data.size(), nowMs);
}

void SerialWire::OnPacket(uint16_t flags, const uint8_t* data, size_t length, uint32_t nowMs) {
  if (flags & kFlagStart) {
    if (messageStarted_) ++stats_.secondStarts;
    message_.clear();
    messageStarted_ = true;
  }
  if (!messageStarted_) {
    ++stats_.packetsDropped;
    return;
  }
  if (message_.size() + length > kMaxMessageSize) {
    ++stats_.messagesTooLong;
    message_.clear();
    messageStarted_ = false;
    return;
  }
  message_.insert(message_.end(), data, data + length);
  if (flags & kFlagEnd) OnMessage(nowMs);
}

void SerialWire::OnMessage(uint32_t nowMs) {
  Bytes request;
  request.swap(message_);
  messageStarted_ = false;
  ++stats_.messagesReceived;
  stats_.lastRequest = request;
  if (options_.requestsKept > 0) {
    if (stats_.requests.size() >= options_.requestsKept) {
      stats_.requests.erase(stats_.requests.begin());
    }
    stats_.requests.push_back(request);
  }
  if (!options_.answerInTurn && tx_ != TxState::kIdle) AbandonReply();

  std::optional<Bytes> reply = model_.HandleMessage(request);
  const uint32_t delay = model_.TakeBusyMs();
  stats_.faultsInjected = faults_.Fired();
  if (!reply) {
    ++stats_.notifies;
    return;
  }
  if (tx_ != TxState::kIdle) {  // answering in turn: after the reply in hand
    ++stats_.repliesQueued;
    queued_.push_back({std::move(request), std::move(*reply), delay});
    return;
  }
  StartReply(std::move(request), std::move(*reply), delay, nowMs);
}

void SerialWire::StartReply(Bytes request, Bytes reply, uint32_t delayMs, uint32_t nowMs) {
  answering_ = std::move(request);
  reply_ = std::move(reply);
  packetCount_ = std::max<size_t>(1, (reply_.size() + kMaxPacketData - 1) / kMaxPacketData);
  packetIndex_ = 0;
  transmissions_ = 0;
  if (delayMs == 0) {
    SendPacket(nowMs);
  } else {
    tx_ = TxState::kDelayed;
    dueMs_ = nowMs + delayMs;
  }
}

void SerialWire::StartQueuedReply(uint32_t nowMs) {
  if (tx_ != TxState::kIdle || queued_.empty()) return;
  QueuedReply next = std::move(queued_.front());
  queued_.pop_front();
  StartReply(std::move(next.request), std::move(next.reply), next.delayMs, nowMs);
}

// ---- Sending -------------------------------------------------------------------------------

void SerialWire::SendPacket(uint32_t /*nowMs*/) {
  const size_t offset = packetIndex_ * kMaxPacketData;
  const size_t length = std::min(kMaxPacketData, reply_.size() - offset);
  uint16_t flags = kFlagMessage;
  if (packetIndex_ == 0) flags |= kFlagStart;
  if (packetIndex_ + 1 == packetCount_) flags |= kFlagEnd;
  packetStartInOut_ = out_.size();
  EmitFrame(BuildFrame(flags, reply_.data() + offset, length));
  packetEndInOut_ = out_.size();
  ++transmissions_;
  ++stats_.packetsSent;
  tx_ = TxState::kAwaitAck;
  ackArmed_ = false;
  stats_.faultsInjected = faults_.Fired();
}

void SerialWire::OnAckNak(uint8_t byte, uint32_t nowMs) {
  if (byte == kAck) {
    ++stats_.acksReceived;
  } else {
    ++stats_.naksReceived;
  }
  // Only a packet that has left completely can be answered.
  if (tx_ != TxState::kAwaitAck || !ackArmed_) {
    ++stats_.strayAckNaks;
    return;
  }
  if (byte == kAck && !duplicating_ && faults_.Fire(FaultKind::kDuplicatePacket, &answering_)) {
    // The ACK is "lost": the time-out below sends this packet again.
    duplicating_ = true;
    stats_.faultsInjected = faults_.Fired();
    return;
  }
  if (byte == kAck) {
    duplicating_ = false;
    ++packetIndex_;
    if (packetIndex_ >= packetCount_) {
      ++stats_.repliesSent;
      tx_ = TxState::kIdle;
      reply_.clear();
      StartQueuedReply(nowMs);
    } else {
      transmissions_ = 0;
      SendPacket(nowMs);
    }
  } else if (transmissions_ >= options_.timings.maxTransmissions) {
    AbandonReply();
    StartQueuedReply(nowMs);
  } else {
    ++stats_.packetResends;
    SendPacket(nowMs);
  }
}

// Puts `frame` on the line through the line faults. Damage the host's frame check would
// not see is drawn afresh, unless the fault plan lets it through; after a few draws that
// all go wrong (which the faults' rates make all but impossible) the frame goes intact.
void SerialWire::EmitFrame(const Bytes& frame) {
  constexpr int kDraws = 8;
  const size_t start = out_.size();
  for (int draw = 0; draw < kDraws; ++draw) {
    EmitAll(frame);
    const Bytes sent(out_.begin() + static_cast<std::ptrdiff_t>(start), out_.end());
    if (!PassesFrameCheck(sent, frame)) return;
    ++stats_.undetectableDamage;
    if (faults_.LetsUndetectableDamageThrough()) return;
    out_.resize(start);
    stats_.bytesOut -= sent.size();
  }
  out_.insert(out_.end(), frame.begin(), frame.end());
  stats_.bytesOut += frame.size();
}

void SerialWire::AbandonReply() {
  if (tx_ == TxState::kIdle) return;
  ++stats_.repliesAbandoned;
  if (tx_ == TxState::kAwaitAck && !ackArmed_) {
    // The packet's bytes that have not left yet go with it.
    const size_t from = std::max(outPos_, packetStartInOut_);
    const size_t to = std::min(out_.size(), packetEndInOut_);
    if (from < to) {
      out_.erase(out_.begin() + static_cast<std::ptrdiff_t>(from),
                 out_.begin() + static_cast<std::ptrdiff_t>(to));
    }
  }
  tx_ = TxState::kIdle;
  reply_.clear();
  ackArmed_ = false;
  duplicating_ = false;
  packetStartInOut_ = packetEndInOut_ = 0;
}

void SerialWire::Emit(uint8_t byte) {
  const Bytes* subject = answering_.empty() ? nullptr : &answering_;
  if (faults_.Fire(FaultKind::kDropByte, subject, LineDirection::kToHost)) return;
  if (faults_.Fire(FaultKind::kInsertByte, subject, LineDirection::kToHost)) {
    out_.push_back(static_cast<uint8_t>(faults_.Next()));
    ++stats_.bytesOut;
  }
  if (faults_.Fire(FaultKind::kCorruptByte, subject, LineDirection::kToHost)) {
    byte ^= faults_.NextNonZeroByte();
  }
  out_.push_back(byte);
  ++stats_.bytesOut;
}

Bytes SerialWire::TakeOutput(uint32_t nowMs, size_t max) {
  const size_t n = std::min(max, PendingOutput());
  Bytes taken(out_.begin() + static_cast<std::ptrdiff_t>(outPos_),
              out_.begin() + static_cast<std::ptrdiff_t>(outPos_ + n));
  outPos_ += n;
  if (tx_ == TxState::kAwaitAck && !ackArmed_ && outPos_ >= packetEndInOut_) {
    ackArmed_ = true;
    ackSinceMs_ = nowMs;
  }
  if (outPos_ == out_.size()) {
    out_.clear();
    outPos_ = 0;
    packetStartInOut_ = packetEndInOut_ = 0;
  } else if (outPos_ >= 65536) {
    // A slow (paced) line that never runs empty: drop what has left.
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outPos_));
    packetStartInOut_ -= std::min(packetStartInOut_, outPos_);
    packetEndInOut_ -= std::min(packetEndInOut_, outPos_);
    outPos_ = 0;
  }
  return taken;
}

// ---- Timers ----------------------------------------------------------------------------------

void SerialWire::Tick(uint32_t nowMs) {
  if (!frame_.empty() && Expired(nowMs, lastRxMs_, options_.timings.frameSilenceMs)) {
    if (frame_.size() >= kTagMatchLength) {
      ++stats_.framesTimedOut;
      ++stats_.naksSent;
      Emit(kNak);
    } else {
      stats_.skippedBytes += frame_.size();
    }
    frame_.clear();
  }
  if (tx_ == TxState::kDelayed && Reached(nowMs, dueMs_)) SendPacket(nowMs);
  if (tx_ == TxState::kAwaitAck && !ackArmed_ && outPos_ >= packetEndInOut_) {
    // Every byte of the packet was lost on the way out: its time-out runs from now.
    ackArmed_ = true;
    ackSinceMs_ = nowMs;
  }
  if (tx_ == TxState::kAwaitAck && ackArmed_ &&
      Expired(nowMs, ackSinceMs_, options_.timings.ackTimeoutMs)) {
    ++stats_.ackTimeouts;
    if ((packetIndex_ == 0 || duplicating_) && transmissions_ < options_.timings.maxTransmissions) {
      ++stats_.packetResends;
      SendPacket(nowMs);
    } else {
      AbandonReply();
      StartQueuedReply(nowMs);
    }
  }
  stats_.faultsInjected = faults_.Fired();
}

}  // namespace kxsim
