// The line pace: bytes pass at baud / 10 per second, with no burst after a pause.
#include <gtest/gtest.h>

#include "sim/pacer.h"

namespace {

// One pacer through changes of rate: the bytes that pass in a second, taking every
// allowance at once, are the line's byte rate (within two milliseconds' worth).
TEST(SimPacer, CarriesTheLinesByteRate) {
  kxsim::Pacer p;
  EXPECT_GT(p.Allowance(0), 1u << 30) << "unpaced";
  EXPECT_EQ(p.MsUntilNextByte(0), 0u);
  uint32_t start = 0;
  for (const uint32_t baud : {9600u, 57600u, 300u, 2400u, 19200u}) {
    p.SetBaud(baud);
    size_t total = 0;
    for (uint32_t t = start; t <= start + 1000; ++t) {
      const size_t n = p.Allowance(t);
      p.Consume(n);
      total += n;
    }
    start += 5000;
    EXPECT_GE(total + 1, baud / 10) << baud;
    EXPECT_LE(total, baud / 10 + 2 * baud / 10000 + 1) << baud;
  }
}

TEST(SimPacer, NoBurstAfterAPauseAndTheWaitForTheNextByte) {
  kxsim::Pacer p;
  p.SetBaud(300);  // one byte every 33 1/3 ms
  EXPECT_EQ(p.Allowance(0), 1u);
  p.Consume(1);
  EXPECT_EQ(p.Allowance(10), 0u);
  EXPECT_EQ(p.MsUntilNextByte(10), 24u);
  EXPECT_EQ(p.Allowance(34), 1u);
  p.Consume(1);
  EXPECT_EQ(p.Allowance(60000), 1u) << "a minute of silence earns no burst";

  p.SetBaud(57600);
  (void)p.Allowance(60001);
  EXPECT_LE(p.Allowance(160000), 17u);
}

}  // namespace
