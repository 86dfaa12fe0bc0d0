// The line pace: bytes pass at baud / 10 per second, with no burst after a pause.
#include <gtest/gtest.h>

#include "sim/pacer.h"

namespace {

// Bytes that pass in `ms` milliseconds when every allowance is used at once.
size_t PassIn(kxsim::Pacer& p, uint32_t start, uint32_t ms) {
  size_t total = 0;
  for (uint32_t t = start; t <= start + ms; ++t) {
    const size_t n = p.Allowance(t);
    p.Consume(n);
    total += n;
  }
  return total;
}

TEST(SimPacer, CarriesTheLinesByteRate) {
  struct Case {
    uint32_t baud;
    size_t perSecond;
  };
  for (const Case c : {Case{9600, 960}, Case{57600, 5760}, Case{300, 30}, Case{2400, 240}}) {
    kxsim::Pacer p;
    p.SetBaud(c.baud);
    const size_t got = PassIn(p, 5000, 1000);
    EXPECT_GE(got + 1, c.perSecond) << c.baud;
    EXPECT_LE(got, c.perSecond + 18) << c.baud;
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

  kxsim::Pacer fast;
  fast.SetBaud(57600);
  (void)fast.Allowance(0);
  EXPECT_LE(fast.Allowance(100000), 17u);
}

TEST(SimPacer, UnpacedAndChangesOfRate) {
  kxsim::Pacer p;
  EXPECT_GT(p.Allowance(0), 1u << 30);
  EXPECT_EQ(p.MsUntilNextByte(0), 0u);
  p.SetBaud(1200);
  const size_t slow = PassIn(p, 0, 500);
  p.SetBaud(19200);
  const size_t fast = PassIn(p, 1000, 500);
  EXPECT_NEAR(static_cast<double>(slow), 60.0, 2.0);
  EXPECT_NEAR(static_cast<double>(fast), 960.0, 18.0);
}

}  // namespace
