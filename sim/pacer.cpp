#include "sim/pacer.h"

#include <algorithm>
#include <limits>

namespace kxsim {

void Pacer::SetBaud(uint32_t baud) {
  if (baud == baud_) return;
  baud_ = baud;
  credit_ = 0;
  started_ = false;
}

uint64_t Pacer::Cap() const {
  const uint64_t perMs = baud_ / 10;
  // One millisecond more than the burst allowed, so credit earned towards the next
  // byte is never cut off.
  return std::max<uint64_t>(1000, 2 * perMs) + perMs;
}

void Pacer::Update(uint32_t nowMs) {
  if (!started_) {
    started_ = true;
    lastMs_ = nowMs;
    credit_ = 1000;  // the first byte may go at once
    return;
  }
  const uint32_t elapsed = nowMs - lastMs_;
  lastMs_ = nowMs;
  credit_ = std::min(Cap(), credit_ + uint64_t{elapsed} * (baud_ / 10));
}

size_t Pacer::Allowance(uint32_t nowMs) {
  if (baud_ == 0) return std::numeric_limits<size_t>::max();
  Update(nowMs);
  return static_cast<size_t>(credit_ / 1000);
}

void Pacer::Consume(size_t count) {
  if (baud_ == 0) return;
  const uint64_t cost = uint64_t{count} * 1000;
  credit_ = cost > credit_ ? 0 : credit_ - cost;
}

uint32_t Pacer::MsUntilNextByte(uint32_t nowMs) {
  if (baud_ == 0) return 0;
  Update(nowMs);
  if (credit_ >= 1000) return 0;
  const uint64_t perMs = std::max<uint64_t>(1, baud_ / 10);
  return static_cast<uint32_t>((1000 - credit_ + perMs - 1) / perMs);
}

}  // namespace kxsim
