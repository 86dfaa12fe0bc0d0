// The kxsim program: started as a person or a test harness would start it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sim_host.h"
#include "tests/support/programs.h"

#ifdef KXSIM_PATH

namespace {

using simtest::Bytes;
using testsupport::RunProgram;

// Sends one request to the kxsim that named `comName` and returns its reply message
// (empty when none came), acknowledging it.
Bytes Exchange(const std::string& comName, const Bytes& request) {
  EXPECT_EQ(comName.rfind("COM:/dev/", 0), 0u) << comName;
  simtest::PtyHost host(comName.substr(4));
  host.Write(simtest::Frame(0x2300, request));
  const auto got = host.Expect(2);
  host.Write({kxsim::kAck});
  return got.frames.empty() ? Bytes{} : got.frames[0].data;
}

// Every fault kind by the name its usage text gives (at rate 0 but one).
TEST(SimKxsim, OptionsReachTheInstrument) {
  testsupport::BackgroundKxsim sim({"--serial", "ZX987654321", "--seed", "3", "--fault", "bad-status=1:7",
                                    "-f", "corrupt=0", "-f", "drop=0:both", "-f", "insert=0:from-host", "-f", "nak=0",
                                    "-f", "withhold-ack=0", "-f", "delay=0:2000", "-f", "no-reply=0", "-f", "wrong-class=0",
                                    "-f", "wrong-type=0", "-f", "wrong-record-type=0"});
  const Bytes serial = Exchange(sim.ComName(), simtest::Message(14, 5));
  ASSERT_GE(serial.size(), 81u);
  EXPECT_EQ(simtest::GetU16(serial, 4), 7);
  EXPECT_EQ(std::string(serial.begin() + 70, serial.begin() + 81), "ZX987654321");

  // Without the sample database there is no version record.
  testsupport::BackgroundKxsim empty({"--empty"});
  EXPECT_EQ(simtest::GetU16(Exchange(empty.ComName(), simtest::RecordMessage(2, 131, 0)), 4), 251);
}

// kxsim stops cleanly when standard input, a pipe, closes; /dev/null on standard input
// does not stop it, a SIGTERM does (timeout(1) sends it and then answers 124).
TEST(SimKxsim, StopsWhenItsInputClosesOrOnSigterm) {
  auto r = RunProgram({"/bin/sh", "-c", "true | timeout 10 " KXSIM_PATH});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("COM:/dev/", 0), 0u) << r.out;

  r = RunProgram({"/usr/bin/timeout", "2", KXSIM_PATH, "--stats"});
  EXPECT_EQ(r.exitCode, 124);
  EXPECT_NE(r.err.find("kxsim: 0 messages"), std::string::npos) << "the statistics of a clean stop: " << r.err;
}

TEST(SimKxsim, RefusesBadOptions) {
  const std::vector<std::vector<std::string>> refused = {
      {"--fault", "bogus=1"}, {"--fault", "corrupt=2"}, {"--fault", "corrupt=0.1:sideways"},
      {"--baud", "1234"},     {"--seed", "x"},          {"stray"}};
  for (auto args : refused) {
    args.insert(args.begin(), KXSIM_PATH);
    EXPECT_EQ(RunProgram(args, 10000).exitCode, 2) << args[1];
  }
  const auto help = RunProgram({KXSIM_PATH, "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: kxsim", 0), 0u);
}

}  // namespace

#endif  // KXSIM_PATH
