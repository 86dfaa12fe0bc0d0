// The line pace: bytes pass at baud / 10 per second, with no burst after a pause.
#include <gtest/gtest.h>

#include "sim/pacer.h"

namespace {

// Through changes of rate, the bytes that pass in a second, taking every allowance at
// once, are the line's byte rate (within two milliseconds' worth); a pause earns no burst.
TEST(SimPacer, CarriesTheLinesByteRateWithoutBursts) {
  kxsim::Pacer p;
  EXPECT_GT(p.Allowance(0), 1u << 30) << "unpaced";
  uint32_t t = 0;
  for (const uint32_t baud : {9600u, 57600u, 300u, 2400u, 19200u}) {
    p.SetBaud(baud);
    size_t total = 0;
    for (const uint32_t end = t + 1000; t <= end; ++t) {
      total += p.Allowance(t);
      p.Consume(p.Allowance(t));
    }
    t += 4000;
    EXPECT_GE(total + 1, baud / 10) << baud;
    EXPECT_LE(total, baud / 10 + 2 * baud / 10000 + 1) << baud;
  }
  p.SetBaud(300);  // one byte every 33 1/3 ms
  p.Consume(p.Allowance(t));
  EXPECT_EQ(p.Allowance(t + 10), 0u);
  EXPECT_EQ(p.MsUntilNextByte(t + 10), 24u);
  EXPECT_EQ(p.Allowance(t + 34), 1u);
  p.Consume(1);
  EXPECT_EQ(p.Allowance(t + 60000), 1u) << "a minute of silence earns no burst";
}

}  // namespace
