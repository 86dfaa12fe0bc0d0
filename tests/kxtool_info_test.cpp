// kxtool info, run as a user would, against kxsim.
#include <gtest/gtest.h>

#include "tests/support/programs.h"

#if defined(KXTOOL_PATH) && defined(KXSIM_PATH)

namespace {

using testsupport::RunProgram;

TEST(KxtoolInfo, IdentifiesTheSimulatedScanner) {
  testsupport::BackgroundKxsim sim;
  ASSERT_EQ(sim.ComName().rfind("COM:", 0), 0u) << sim.ComName();
  const auto r = RunProgram({KXTOOL_PATH, "info", sim.ComName(), "--baud", "57600"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Serial number:      KX000000001\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Model:              VEXAScanner2 (code 12)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Software version:   V06.11"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Format definitions: supported\n"), std::string::npos) << r.out;
}

TEST(KxtoolInfo, AMissingPortGivesTheLibrarysErrorTextAndCode) {
  const auto r = RunProgram({KXTOOL_PATH, "info", "COM:/dev/kxlib-no-such-port"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kxtool: cannot open COM:/dev/kxlib-no-such-port: Selected Com Port is unavailable (0x20000023)\n");
}

TEST(KxtoolInfo, ABadBaudRateIsRefused) {
  const auto r = RunProgram({KXTOOL_PATH, "info", "COM:/dev/null", "--baud", "115200"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The device's baud rate is unsupported. (0x200003F5)"), std::string::npos) << r.err;
}

}  // namespace

#endif
