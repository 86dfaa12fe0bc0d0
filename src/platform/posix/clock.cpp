#include <atomic>
#include <ctime>

#include "platform/platform.h"

namespace platform {
namespace {

// Library time is real monotonic time scaled by the speed factor. When the factor
// changes, the library time reached so far becomes the new base, so ticks never jump.
std::atomic<uint32_t> speedFactor{1};
std::atomic<uint64_t> baseRealUs{0};
std::atomic<uint64_t> baseTickUs{0};

uint64_t RealMicros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

uint64_t LibraryMicros() {
  const uint64_t real = RealMicros();
  return baseTickUs.load() + (real - baseRealUs.load()) * speedFactor.load();
}

void SleepRealMicros(uint64_t us) {
  timespec ts{static_cast<time_t>(us / 1000000u), static_cast<long>((us % 1000000u) * 1000u)};
  nanosleep(&ts, nullptr);
}

}  // namespace

uint32_t TickCount() { return static_cast<uint32_t>(LibraryMicros() / 1000u); }

void SetClockSpeed(uint32_t factor) {
  if (factor == 0) factor = 1;
  const uint64_t now = LibraryMicros();
  baseRealUs.store(RealMicros());
  baseTickUs.store(now);
  speedFactor.store(factor);
}

uint32_t ClockSpeed() { return speedFactor.load(); }

void SleepMs(uint32_t ms) {
  SleepRealMicros(static_cast<uint64_t>(ms) * 1000u / speedFactor.load());
}

void PauseBriefly() { SleepRealMicros(1000u); }

}  // namespace platform
