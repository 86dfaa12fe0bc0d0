// kxtool dcl implode|explode, run as a program: bytes on standard input and output, exit
// statuses and the one-line reasons on standard error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/dcl_harness.h"
#include "tests/support/programs.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Case {
  std::string args;
  Bytes input;
  int status;
  Bytes out;
};

// Runs `kxtool dcl <args>` with each case's input on standard input: the exit status and
// output as given, and one line on standard error exactly when the status is not 0.
void ExpectRuns(const std::vector<Case>& cases) {
  const std::string path = testing::TempDir() + "kxtool_dcl_in_" + std::to_string(getpid());
  for (const Case& c : cases) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.input.data()), std::streamsize(c.input.size()));
    const auto r = testsupport::RunProgram({"/bin/sh", "-c", "exec \"$0\" dcl " + c.args + " < " + path, KXTOOL_PATH});
    const std::string name = c.args + " of " + std::to_string(c.input.size()) + " bytes";
    EXPECT_EQ(r.exitCode, c.status) << name;
    EXPECT_TRUE(r.out == std::string(c.out.begin(), c.out.end())) << name << ": " << r.out.size() << " bytes out";
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.status == 0 ? 0 : 1) << name << ": " << r.err;
  }
  std::remove(path.c_str());
}

TEST(KxtoolDcl, ImplodeWritesWhatTheLibraryWritesAndExplodeRestoresIt) {
  Bytes input = dcltest::EnglishText(30000);
  const Bytes records = dcltest::TaggedRecords(9000);
  input.insert(input.end(), records.begin(), records.end());
  auto library = [&input](uint32_t mode, uint32_t dict) { return dcltest::RunImplode(input, mode, dict).out; };
  ExpectRuns({{"implode", input, 0, library(kDclBinary, 4096)},
              {"implode --ascii", input, 0, library(kDclAscii, 4096)},
              {"implode --dict 1024", input, 0, library(kDclBinary, 1024)},
              {"implode --ascii --dict 2048", input, 0, library(kDclAscii, 2048)},
              {"implode --literal-mode 1 --dict 1024", input, 0, library(kDclAscii, 1024)},
              {"explode", library(kDclAscii, 2048), 0, input}});
}

TEST(KxtoolDcl, ExitStatusesOutputAndOneLineReasons) {
  const Bytes text = dcltest::EnglishText(20000);
  const Bytes packed = dcltest::RunImplode(text, kDclBinary, 4096).out;
  const Bytes cut(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packed.size() / 2));
  const dcltest::Run decoded = dcltest::RunExplode(cut);
  ASSERT_EQ(decoded.result, kExplodeAbort);
  ASSERT_GT(decoded.out.size(), 8000u);
  ExpectRuns({{"implode --dict 3000", text, 1, {}},
              {"implode --literal-mode 2", text, 2, {}},
              {"implode", {}, 0, {0x00, 0x06, 0x01, 0xFF}},
              {"explode", {0x00, 0x06, 0x01, 0xFF}, 3, {}},
              {"explode", {0x00, 0x07, 0x01, 0xFF, 0x00}, 1, {}},
              {"explode", {0x02, 0x06, 0x01, 0xFF, 0x00}, 2, {}},
              {"explode", {0x00, 0x06, 0x01, 0xFF, 0x00}, 0, {}},
              {"explode", cut, 4, decoded.out}});  // whatever decoded before the cut
}

}  // namespace
