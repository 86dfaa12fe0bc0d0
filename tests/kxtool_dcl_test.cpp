// kxtool dcl implode|explode, run as a program: bytes on standard input and output, exit
// statuses and the one-line reasons on standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dcl_harness.h"
#include "dcl_samples.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
  int status = -1;
  Bytes out;
  std::string err;
};

class KxtoolDcl : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kxtool_dcl_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const char* name : {"/in", "/out", "/err"}) unlink((dir_ + name).c_str());
    rmdir(dir_.c_str());
  }

  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  // Runs `kxtool dcl <args>` with `input` on standard input.
  Result Run(const std::string& args, const Bytes& input) {
    {
      std::ofstream in(dir_ + "/in", std::ios::binary);
      in.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    }
    const std::string command = std::string(KXTOOL_PATH) + " dcl " + args + " < " + dir_ + "/in > " + dir_ +
                                "/out 2> " + dir_ + "/err";
    Result r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(dir_ + "/out");
    const Bytes err = ReadFile(dir_ + "/err");
    r.err.assign(err.begin(), err.end());
    return r;
  }

  static int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
  }

  std::string dir_;
};

TEST_F(KxtoolDcl, ImplodeWritesWhatTheLibraryWritesAndExplodeRestoresIt) {
  Bytes input = dcltest::EnglishText(30000);
  const Bytes records = dcltest::TaggedRecords(9000);
  input.insert(input.end(), records.begin(), records.end());
  struct Case {
    const char* args;
    uint32_t mode, dict;
  };
  for (const Case& c : {Case{"implode", kDclBinary, 4096}, Case{"implode --ascii", kDclAscii, 4096},
                        Case{"implode --dict 1024", kDclBinary, 1024},
                        Case{"implode --ascii --dict 2048", kDclAscii, 2048},
                        Case{"implode --literal-mode 1 --dict 1024", kDclAscii, 1024}}) {
    SCOPED_TRACE(c.args);
    const Result packed = Run(c.args, input);
    EXPECT_EQ(packed.status, 0);
    EXPECT_EQ(packed.err, "");
    const dcltest::Run library = dcltest::RunImplode(input, c.mode, c.dict);
    EXPECT_TRUE(packed.out == library.out) << "kxtool and the library differ";

    const Result unpacked = Run("explode", packed.out);
    EXPECT_EQ(unpacked.status, 0);
    EXPECT_EQ(unpacked.err, "");
    EXPECT_TRUE(unpacked.out == input) << "round trip differs";
  }
  EXPECT_EQ(Run("implode", {}).out, (Bytes{0x00, 0x06, 0x01, 0xFF}));
}

TEST_F(KxtoolDcl, ImplodeRefusesBadParametersAndWritesNothing) {
  const Bytes input = dcltest::EnglishText(1000);
  struct Case {
    const char* args;
    int status;
  };
  for (const Case& c : {Case{"implode --dict 3000", 1}, Case{"implode --dict 512", 1},
                        Case{"implode --literal-mode 2", 2}, Case{"implode --literal-mode 2 --dict 3000", 1}}) {
    SCOPED_TRACE(c.args);
    const Result r = Run(c.args, input);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Lines(r.err), 1) << r.err;
  }
}

TEST_F(KxtoolDcl, ExplodeExitsWithTheResultCodeAndOneLineReason) {
  struct Case {
    Bytes input;
    int status;
  };
  for (const Case& c : {Case{{0x00, 0x06, 0x01, 0xFF}, 3}, Case{{}, 3}, Case{{0x00, 0x07, 0x01, 0xFF, 0x00}, 1},
                        Case{{0x02, 0x06, 0x01, 0xFF, 0x00}, 2}, Case{{0x02, 0x07, 0x01, 0xFF, 0x00}, 1}}) {
    const Result r = Run("explode", c.input);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Lines(r.err), 1) << r.err;
  }
  const Result empty = Run("explode", {0x00, 0x06, 0x01, 0xFF, 0x00});
  EXPECT_EQ(empty.status, 0);
  EXPECT_TRUE(empty.out.empty());
  EXPECT_EQ(empty.err, "");
}

TEST_F(KxtoolDcl, ExplodeOfACutStreamWritesWhatItDecodedAndExits4) {
  const Bytes input = dcltest::EnglishText(20000);
  const Bytes packed = dcltest::RunImplode(input, kDclBinary, 4096).out;
  const Bytes cut(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packed.size() / 2));
  const Result r = Run("explode", cut);
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(Lines(r.err), 1) << r.err;
  const dcltest::Run library = dcltest::RunExplode(cut);
  ASSERT_EQ(library.result, kExplodeAbort);
  EXPECT_GT(library.out.size(), 8000u);
  EXPECT_TRUE(r.out == library.out);
  EXPECT_TRUE(std::equal(r.out.begin(), r.out.end(), input.begin()));
}

}  // namespace
