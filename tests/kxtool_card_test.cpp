// kxtool card, run as a user would, against kxsim: its sample card, a card served from
// a folder, and a card that is not ready.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/card.h"
#include "tests/support/programs.h"

#if defined(KXTOOL_PATH) && defined(KXSIM_PATH)

namespace {

using kxsim::Bytes;
using testsupport::ProgramResult;
using testsupport::RunProgram;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((seed + i) * 2654435761u >> 13);
  return b;
}

class KxtoolCardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kxlib-kxtool-card-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  ProgramResult Card(const testsupport::BackgroundKxsim& sim, std::vector<std::string> args) {
    args.insert(args.begin(), {KXTOOL_PATH, "card"});
    args.insert(args.begin() + 3, sim.ComName());
    return RunProgram(args);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& path, const Bytes& data) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                static_cast<std::streamsize>(data.size()));
  }

  std::string dir_;
};

TEST_F(KxtoolCardTest, TheSampleCardListedInspectedAndCopied) {
  testsupport::BackgroundKxsim sim;
  kxsim::Card sample;
  sample.LoadSample();

  ProgramResult r = Card(sim, {"info"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, "Card status: 0x0000 (ready)\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "Card size:   33554432 bytes\n")) << r.out;

  r = Card(sim, {"ls"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "LOGS\\\nREADME.TXT\nSETUP\\\nTESTS\\\n");

  r = Card(sim, {"ls", "TESTS", "--long"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, "     20000  2003-01-22 09:44:42  CABLE003.ATR\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "     <DIR>  2003-01-22 09:44:42  OLD\\\n")) << r.out;

  r = Card(sim, {"info", "TESTS/CABLE003.ATR"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, "Size:        20000 bytes\n")) << r.out;

  const std::string local = Path("cable3.atr");
  r = Card(sim, {"get", "TESTS/CABLE003.ATR", local});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Copied \\TESTS\\CABLE003.ATR to " + local + " (20000 bytes)\n");
  EXPECT_EQ(Slurp(local), *sample.File("\\TESTS\\CABLE003.ATR"));
}

TEST_F(KxtoolCardTest, RefusalsAreSpelledOut) {
  testsupport::BackgroundKxsim sim;
  ProgramResult r = Card(sim, {"rm", "README.TXT"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "kxtool: cannot delete \\README.TXT: the card refused: the file is write-protected (card status 0x0005)\n");

  r = Card(sim, {"rm", "TESTS", "--dir"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "the directory is not empty (card status 0x0003)")) << r.err;

  const std::string local = Path("none");
  r = Card(sim, {"get", "TESTS/NOSUCH.ATR", local});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "cannot copy \\TESTS\\NOSUCH.ATR: the card refused: no such file or directory")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(local));

  r = Card(sim, {"get", "TESTS/CABLE001.ATR", Path("no/folder/x")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "no such local file or folder (system error 2)")) << r.err;

  r = Card(sim, {"info", std::string(130, 'N')});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "longer than 127 characters")) << r.err;

  // What may go goes.
  r = Card(sim, {"rm", "TESTS/OLD", "--dir", "--all"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Deleted \\TESTS\\OLD\n");
  r = Card(sim, {"rm", "TESTS/PATCH01.ATR"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = Card(sim, {"ls", "TESTS"});
  EXPECT_EQ(r.out, "CABLE001.ATR\nCABLE002.ATR\nCABLE003.ATR\n");
}

TEST_F(KxtoolCardTest, AFolderCardWalkedIntoLocalFiles) {
  const std::string folder = Path("card");
  std::filesystem::create_directories(folder + "/RESULTS/SUB");
  Write(folder + "/RESULTS/A.ATR", Pattern(1500, 1));
  Write(folder + "/RESULTS/B.ATR", Pattern(0, 2));
  Write(folder + "/RESULTS/HUGE.ATR", Pattern(100000, 3));  // too large for one step
  Write(folder + "/RESULTS/NOTES.TXT", Pattern(40, 4));
  Write(folder + "/RESULTS/SUB/C.ATR", Pattern(10, 5));
  testsupport::BackgroundKxsim sim({"--card", folder});

  const std::string into = Path("out");
  std::filesystem::create_directories(into);
  ProgramResult r = Card(sim, {"walk", "RESULTS", "--pattern", "*.ATR", "--into", into});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "      1500  A.ATR\n"
                   "         0  B.ATR\n"
                   "    100000  HUGE.ATR\n"
                   "3 files copied from \\RESULTS\\ into " + into + "\n");
  EXPECT_EQ(Slurp(into + "/A.ATR"), Pattern(1500, 1));
  EXPECT_TRUE(std::filesystem::exists(into + "/B.ATR"));
  EXPECT_EQ(Slurp(into + "/HUGE.ATR"), Pattern(100000, 3));
  EXPECT_FALSE(std::filesystem::exists(into + "/NOTES.TXT"));
  EXPECT_FALSE(std::filesystem::exists(into + "/.kxtool-walk.part"));

  // The folder itself is never changed by the simulator.
  r = Card(sim, {"rm", "RESULTS/A.ATR"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(folder + "/RESULTS/A.ATR"));

  r = Card(sim, {"walk", "NOWHERE", "--into", into});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "cannot copy the files of \\NOWHERE\\: the card refused: no such file or directory"))
      << r.err;
}

TEST_F(KxtoolCardTest, ACardThatIsNotReady) {
  testsupport::BackgroundKxsim sim({"--card-status", "1"});
  ProgramResult r = Card(sim, {"info"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Card status: 0x0001 (no card, or the card is not ready)\n");
  r = Card(sim, {"ls"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "kxtool: cannot list \\: the card refused: no card, or the card is not ready (card status 0x0001)\n");
}

TEST_F(KxtoolCardTest, KxsimRefusesAFolderThatIsNot) {
  const ProgramResult r = RunProgram({KXSIM_PATH, "--card", Path("missing"), "--no-stdin"}, 10000);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.err, "is not a folder")) << r.err;
}

}  // namespace

#endif
