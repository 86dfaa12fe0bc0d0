// The simulator's source of chosen values: a small generator (SplitMix64) whose output
// depends only on its seed, on every platform and library version, so a seed names the
// same generated instrument everywhere.
#pragma once

#include <cstdint>

namespace kxsim {

class SeededRandom {
 public:
  explicit SeededRandom(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number from 0 to n - 1 (0 when n is 0).
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }
  // A number from low to high, both included.
  int32_t Range(int32_t low, int32_t high) {
    return low + static_cast<int32_t>(Below(static_cast<uint32_t>(high - low) + 1));
  }
  // True with the chance percent / 100.
  bool Percent(uint32_t percent) { return Below(100) < percent; }
  uint8_t Byte() { return static_cast<uint8_t>(Next()); }

 private:
  uint64_t state_;
};

}  // namespace kxsim
