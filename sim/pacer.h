// Paces one direction of a serial line: bytes pass no faster than the line carries
// them, baud / 10 bytes per second (8N1: a start bit, 8 data bits, a stop bit).
// Time is a millisecond clock value passed in, so the arithmetic is testable.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kxsim {

class Pacer {
 public:
  // 0 = unpaced (Allowance is unlimited).
  void SetBaud(uint32_t baud);
  uint32_t Baud() const { return baud_; }

  // Bytes that may pass at `nowMs`.
  size_t Allowance(uint32_t nowMs);
  // `count` bytes passed (at most the last Allowance).
  void Consume(size_t count);
  // Milliseconds until at least one more byte may pass (0 when one may pass now).
  uint32_t MsUntilNextByte(uint32_t nowMs);

 private:
  // Credit is kept in thousandths of a byte: a line of `baud` earns baud / 10 of them
  // per millisecond. It is capped at two milliseconds of line time (at least one byte)
  // and one millisecond more, so a line that was idle does not burst.
  uint64_t Cap() const;
  void Update(uint32_t nowMs);

  uint32_t baud_ = 0;
  uint64_t credit_ = 0;
  uint32_t lastMs_ = 0;
  bool started_ = false;
};

}  // namespace kxsim
