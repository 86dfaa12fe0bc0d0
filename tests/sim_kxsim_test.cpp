// The kxsim program, started as a person or a test harness would start it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/programs.h"

#ifdef KXSIM_PATH

namespace {

// It prints the device name to open as its first line and stops cleanly on SIGTERM
// (timeout(1) sends it and then exits 124), with its statistics when asked for them.
TEST(SimKxsim, PrintsItsDeviceNameAndStopsOnSigterm) {
  const auto r = testsupport::RunProgram({"/usr/bin/timeout", "2", KXSIM_PATH, "--stats"});
  EXPECT_EQ(r.exitCode, 124) << r.err;
  EXPECT_EQ(r.out.rfind("COM:/dev/", 0), 0u) << r.out;
  EXPECT_NE(r.err.find("kxsim: 0 messages"), std::string::npos) << "the statistics of a clean stop: " << r.err;
}

}  // namespace

#endif  // KXSIM_PATH
