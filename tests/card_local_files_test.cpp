// The platform's local files, which the card copies write: created anew, held by one
// holder at a time, and failures reported as Windows-style codes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"

namespace {

class LocalFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kxlib-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    platform::ClearInjectedFailures();
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string dir_;
};

TEST_F(LocalFileTest, AFileIsCreatedAnewAndWrittenWhole) {
  std::ofstream(Path("f")) << "an older and longer content";
  uint32_t error = 0;
  const platform::FileHandle f = platform::FileCreate(Path("f").c_str(), &error);
  ASSERT_NE(f, platform::kNoFile);
  EXPECT_TRUE(platform::FileWrite(f, "abc", 3, &error));
  EXPECT_TRUE(platform::FileWrite(f, "", 0, &error));
  EXPECT_TRUE(platform::FileWrite(f, "de", 2, &error));
  platform::FileClose(f);
  EXPECT_EQ(Slurp(Path("f")), "abcde");
}

TEST_F(LocalFileTest, AHeldFileIsRefusedWithoutBeingCut) {
  uint32_t error = 0;
  const platform::FileHandle first = platform::FileCreate(Path("f").c_str(), &error);
  ASSERT_NE(first, platform::kNoFile);
  ASSERT_TRUE(platform::FileWrite(first, "kept", 4, &error));
  EXPECT_EQ(platform::FileCreate(Path("f").c_str(), &error), platform::kNoFile);
  EXPECT_EQ(error, platform::kErrorAccessDenied);
  EXPECT_EQ(Slurp(Path("f")), "kept");
  platform::FileClose(first);
  const platform::FileHandle again = platform::FileCreate(Path("f").c_str(), &error);
  EXPECT_NE(again, platform::kNoFile);  // free again once closed
  platform::FileClose(again);
  EXPECT_EQ(Slurp(Path("f")), "");
}

TEST_F(LocalFileTest, FailuresAreWindowsCodes) {
  uint32_t error = 0;
  EXPECT_EQ(platform::FileCreate(Path("no/such/folder").c_str(), &error), platform::kNoFile);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_EQ(platform::FileCreate("", &error), platform::kNoFile);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_EQ(platform::FileCreate(nullptr, &error), platform::kNoFile);

  platform::InjectFailure(platform::SysCall::FileCreate, EACCES);
  EXPECT_EQ(platform::FileCreate(Path("g").c_str(), &error), platform::kNoFile);
  EXPECT_EQ(error, platform::kErrorAccessDenied);
  EXPECT_FALSE(std::filesystem::exists(Path("g")));

  const platform::FileHandle f = platform::FileCreate(Path("g").c_str(), &error);
  ASSERT_NE(f, platform::kNoFile);
  platform::InjectFailure(platform::SysCall::FileWrite, ENOSPC);
  EXPECT_FALSE(platform::FileWrite(f, "x", 1, &error));
  EXPECT_EQ(error, platform::kErrorDiskFull);
  platform::FileClose(f);

  // A device that is always full.
  if (std::filesystem::exists("/dev/full")) {
    const platform::FileHandle full = platform::FileCreate("/dev/full", &error);
    ASSERT_NE(full, platform::kNoFile);
    EXPECT_FALSE(platform::FileWrite(full, "x", 1, &error));
    EXPECT_EQ(error, platform::kErrorDiskFull);
    platform::FileClose(full);
  }
}

}  // namespace
