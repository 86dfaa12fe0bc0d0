// Test support for the link and USB tests: a wait on a quiet line, timed in library time,
// that must sleep rather than spin.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

#include "platform/platform.h"

namespace testsupport {

// Runs `wait` and returns the library time it took; fails when it used more than half of
// that (in real time) as CPU time.
template <typename Wait>
uint32_t SleepingWaitMs(Wait wait) {
  const std::clock_t cpu0 = std::clock();
  const uint32_t t0 = platform::TickCount();
  wait();
  const uint32_t took = platform::TickCount() - t0;
  EXPECT_LT(1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC, 0.5 * took / platform::ClockSpeed());
  return took;
}

}  // namespace testsupport
