// Copying card files: mmcReadFile in pieces, mmcReadFileHeader, and the instrument's
// file walk (first, next, close), against the simulated Scanner.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "services/card_access.h"
#include "tests/card_fixture.h"

namespace {

using cardtest::Bytes;
using cardtest::Pattern;

class CardReadTest : public cardtest::CardSessionTest {
 protected:
  std::vector<cardtest::SentBlock> Reads() {
    std::vector<cardtest::SentBlock> out;
    for (auto& s : Sent()) {
      if (s.Type() == MMC_READ_FILE) out.push_back(s);
    }
    return out;
  }
};

TEST_F(CardReadTest, ATwentyThousandByteFileComesInThreePieces) {
  const Bytes data = Pattern(20000, 1);
  card().AddFile("\\TESTS\\CABLE003.ATR", data);
  const std::string local = Local("copy.atr");
  uint32_t error = 1;
  ASSERT_EQ(mmcReadFile("\\TESTS\\CABLE003.ATR", local.c_str(), &error), 1) << std::hex << error;
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Slurp(local), data);

  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].Type(), MMC_FILE_INFO);  // the size is asked first
  EXPECT_EQ(sent[0].Path(), "\\TESTS\\");
  EXPECT_EQ(sent[0].Name(), "CABLE003.ATR");
  const uint32_t offsets[] = {0, 7930, 15860};
  for (size_t i = 0; i < 3; ++i) {
    const auto& r = sent[i + 1];
    EXPECT_EQ(r.Type(), MMC_READ_FILE);
    EXPECT_EQ(r.Length(), 262u);
    EXPECT_EQ(r.Path(), "\\TESTS\\");
    EXPECT_EQ(r.Name(), "CABLE003.ATR");
    EXPECT_EQ(r.Word32(0), offsets[i]);
    EXPECT_EQ(r.Word(4), 7930);
  }
}

TEST_F(CardReadTest, AnEmptyPieceIsFollowedByARequestAtTheSameOffset) {
  const Bytes data = Pattern(9000, 2);
  card().AddFile("\\A.ATR", data);
  card().StallNextRead(/*count=*/1, /*skip=*/1);
  const std::string local = Local("a");
  uint32_t error = 0;
  ASSERT_EQ(mmcReadFile("\\A.ATR", local.c_str(), &error), 1);
  EXPECT_EQ(Slurp(local), data);
  const auto reads = Reads();
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[0].Word32(0), 0u);
  EXPECT_EQ(reads[1].Word32(0), 7930u);
  EXPECT_EQ(reads[2].Word32(0), 7930u);
}

TEST_F(CardReadTest, AFailedSizeQueryCreatesNoLocalFile) {
  const std::string local = Local("never");
  uint32_t error = 0;
  EXPECT_EQ(mmcReadFile("\\NOSUCH.ATR", local.c_str(), &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNotFound);
  EXPECT_FALSE(Exists(local));
  EXPECT_TRUE(Reads().empty());
}

TEST_F(CardReadTest, WhereTheCardPathIsSplit) {
  card().AddFile("\\ROOT.ATR", Pattern(10, 3));
  uint32_t error = 0;
  // No backslash: a file in the root, with an empty Path.
  ASSERT_EQ(mmcReadFile("ROOT.ATR", Local("r").c_str(), &error), 1);
  EXPECT_EQ(Sent()[0].Path(), "");
  EXPECT_EQ(Sent()[0].Name(), "ROOT.ATR");
  card().ClearRequests();
  // A final backslash: an empty Name, which this card has no file for.
  EXPECT_EQ(mmcReadFile("\\TESTS\\", Local("t").c_str(), &error), 0);
  EXPECT_EQ(Sent()[0].Path(), "\\TESTS\\");
  EXPECT_EQ(Sent()[0].Name(), "");
  // A directory part or a name over 127 characters: refused, nothing sent.
  card().ClearRequests();
  EXPECT_EQ(mmcReadFile(("\\" + std::string(127, 'D') + "\\A").c_str(), Local("x").c_str(), &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_EQ(mmcReadFile(("\\D\\" + std::string(128, 'N')).c_str(), Local("x").c_str(), &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_EQ(mmcReadFile("\\ROOT.ATR", nullptr, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_TRUE(Sent().empty());
  EXPECT_FALSE(Exists(Local("x")));
}

TEST_F(CardReadTest, AnExistingLocalFileIsReplaced) {
  const std::string local = Local("old");
  std::ofstream(local) << std::string(5000, 'x');
  card().AddFile("\\A", Pattern(100, 4));
  uint32_t error = 0;
  ASSERT_EQ(mmcReadFile("\\A", local.c_str(), &error), 1);
  EXPECT_EQ(Slurp(local), Pattern(100, 4));
}

TEST_F(CardReadTest, ALocalFileThatCannotBeCreatedIsTheSystemsCode) {
  card().AddFile("\\A", Pattern(100, 4));
  uint32_t error = 0;
  EXPECT_EQ(mmcReadFile("\\A", Local("no/such/folder").c_str(), &error), 0);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_TRUE(Reads().empty());  // only the size was asked
}

TEST_F(CardReadTest, AFailedWriteIsTheCardBasePlusThePiecesStatus) {
  card().AddFile("\\A", Pattern(20000, 5));
  uint32_t error = 0;
  // The second piece (status 0) cannot be written.
  platform::InjectFailure(platform::SysCall::FileWrite, ENOSPC, /*skip=*/1);
  EXPECT_EQ(mmcReadFile("\\A", Local("a").c_str(), &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE);
  EXPECT_EQ(Slurp(Local("a")).size(), 7930u);  // what was copied stays
  EXPECT_EQ(Reads().size(), 2u);
  // The last piece (status 0x2000) cannot be written.
  platform::InjectFailure(platform::SysCall::FileWrite, ENOSPC, /*skip=*/2);
  EXPECT_EQ(mmcReadFile("\\A", Local("b").c_str(), &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + 0x2000);
  platform::ClearInjectedFailures();
}

TEST_F(CardReadTest, ARefusedPieceEndsTheCopyWithTheCardsStatus) {
  card().AddFile("\\A", Pattern(20000, 6));
  card().RefuseNext(MMC_READ_FILE, 0x0123, 1, /*skip=*/1);
  uint32_t error = 0;
  EXPECT_EQ(mmcReadFile("\\A", Local("a").c_str(), &error), 0);
  EXPECT_EQ(error, 0x20020123u);
  EXPECT_EQ(Slurp(Local("a")), Pattern(7930, 6));  // the first piece, as it came
}

TEST_F(CardReadTest, AResponseAreaThatCannotBeHadCreatesNoFile) {
  card().AddFile("\\A", Pattern(100, 7));
  uint32_t error = 0;
  // The size query's area and its message buffer succeed; the copy's area does not.
  platform::InjectFailure(platform::SysCall::Alloc, ENOMEM, /*skip=*/2);
  EXPECT_EQ(mmcReadFile("\\A", Local("a").c_str(), &error), 0);
  EXPECT_EQ(error, platform::kErrorNotEnoughMemory);
  EXPECT_FALSE(Exists(Local("a")));
  platform::ClearInjectedFailures();
}

TEST_F(CardReadTest, ACancelDuringTheCopyEndsItAfterThePieceInTransit) {
  card().AddFile("\\BIG", Pattern(40000, 8));
  // The host's cancel button is pressed once the instrument has the second read request.
  KXSetPumpHook(
      [](void* c) {
        auto* requests = static_cast<kxsim::Card*>(c);
        size_t reads = 0;
        for (const auto& m : requests->Requests()) reads += GetU16(m.data() + 2) == MMC_READ_FILE;
        if (reads >= 2) KXCancel();
      },
      &card());
  uint32_t error = 0;
  EXPECT_EQ(mmcReadFile("\\BIG", Local("big").c_str(), &error), 0);
  KXSetPumpHook(nullptr, nullptr);
  EXPECT_EQ(error, KXERR_CANCELED);
  EXPECT_EQ(Reads().size(), 2u);                         // nothing asked after the cancel
  EXPECT_EQ(Slurp(Local("big")), Pattern(7930, 8));    // the first piece only
}

TEST_F(CardReadTest, AnInstrumentThatSendsNothingForeverIsGivenUp) {
  card().AddFile("\\A", Pattern(100, 9));
  card().StallNextRead(/*count=*/1000);
  uint32_t error = 0;
  EXPECT_EQ(mmcReadFile("\\A", Local("a").c_str(), &error), 0);
  EXPECT_EQ(error, KXERR_RESPONSE_TIMEOUT);
  EXPECT_EQ(Reads().size(), 100u);
}

TEST_F(CardReadTest, TheHeaderOfAThirtyByteFileIsItsBytesAndNineteenZeros) {
  const Bytes data = Pattern(30, 10);
  card().AddFile("\\TESTS\\SHORT.ATR", data);
  Bytes header(60, 0xEE);
  uint32_t error = 1;
  ASSERT_EQ(mmcReadFileHeader("SHORT.ATR", "\\TESTS\\", header.data(), &error), 1);
  EXPECT_EQ(error, 0u);
  Bytes expected = data;
  expected.resize(49, 0);
  expected.resize(60, 0xEE);
  EXPECT_EQ(header, expected);
  const auto r = LastSent();
  EXPECT_EQ(r.Type(), MMC_READ_FILE);
  EXPECT_EQ(r.Path(), "\\TESTS\\");
  EXPECT_EQ(r.Name(), "SHORT.ATR");
  EXPECT_EQ(r.Word32(0), 0u);
  EXPECT_EQ(r.Word(4), 49);

  // A longer file gives its first 49 bytes.
  const Bytes longer = Pattern(500, 11);
  card().AddFile("\\TESTS\\LONG.ATR", longer);
  ASSERT_EQ(mmcReadFileHeader("LONG.ATR", "\\TESTS\\", header.data(), &error), 1);
  EXPECT_EQ(Bytes(header.begin(), header.begin() + 49), Bytes(longer.begin(), longer.begin() + 49));
  EXPECT_EQ(header[49], 0xEE);

  EXPECT_EQ(mmcReadFileHeader("NONE", "\\TESTS\\", header.data(), &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNotFound);
  EXPECT_EQ(mmcReadFileHeader("LONG.ATR", "\\TESTS\\", nullptr, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
}

class CardWalkTest : public cardtest::CardSessionTest {};

TEST_F(CardWalkTest, ADirectoryWalkedFileByFileEndsWithTheCardsRefusal) {
  card().AddFile("\\TESTS\\A.ATR", Pattern(1200, 1));
  card().AddFile("\\TESTS\\B.ATR", Pattern(0, 2));
  card().AddFile("\\TESTS\\C.ATR", Pattern(30000, 3));
  card().AddFile("\\TESTS\\NOTES.TXT", Pattern(10, 4));
  card().AddDirectory("\\TESTS\\OLD");
  char found[129];
  uint32_t error = 1;
  ASSERT_EQ(mmcGetFirstFile(Local("1").c_str(), "\\TESTS\\", "*.ATR", found, &error), 1) << std::hex << error;
  EXPECT_EQ(error, 0u);
  EXPECT_STREQ(found, "A.ATR");
  EXPECT_EQ(Slurp(Local("1")), Pattern(1200, 1));
  const auto first = LastSent();
  EXPECT_EQ(first.Type(), MMC_FIRST_FILE);
  EXPECT_EQ(first.Length(), 258u);
  EXPECT_EQ(first.Path(), "\\TESTS\\");
  EXPECT_EQ(first.Name(), "*.ATR");
  EXPECT_EQ(first.Word(0), 128);

  ASSERT_EQ(mmcGetNextFile(Local("2").c_str(), found, &error), 1);
  EXPECT_STREQ(found, "B.ATR");
  EXPECT_TRUE(Exists(Local("2")));
  EXPECT_TRUE(Slurp(Local("2")).empty());
  EXPECT_EQ(LastSent().message.size(), 10u);  // no block

  ASSERT_EQ(mmcGetNextFile(Local("3").c_str(), found, &error), 1);
  EXPECT_STREQ(found, "C.ATR");
  EXPECT_EQ(Slurp(Local("3")), Pattern(30000, 3));

  // No further file: the card refuses, and the local file is left empty.
  EXPECT_EQ(mmcGetNextFile(Local("4").c_str(), found, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNoMoreFiles);
  EXPECT_TRUE(Exists(Local("4")));
  EXPECT_TRUE(card().WalkOpen());

  ASSERT_EQ(mmcCloseFile(&error), 1);
  EXPECT_FALSE(card().WalkOpen());
  EXPECT_EQ(LastSent().Type(), MMC_CLOSE_FILE);
  EXPECT_EQ(mmcGetNextFile(Local("5").c_str(), found, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNoWalk);
}

TEST_F(CardWalkTest, AFirstFileAnsweredWithStatusZeroFailsAndLeavesAnEmptyFile) {
  card().AddFile("\\T\\A.ATR", Pattern(100, 1));
  card().ScriptNext(MMC_FIRST_FILE, Bytes(139, 0));  // CardStatus 0
  char found[129] = "unchanged";
  uint32_t error = 0;
  EXPECT_EQ(mmcGetFirstFile(Local("a").c_str(), "\\T\\", "", found, &error), 0);
  EXPECT_EQ(error, 0x20020000u);
  EXPECT_TRUE(Exists(Local("a")));
  EXPECT_TRUE(Slurp(Local("a")).empty());
  EXPECT_STREQ(found, "unchanged");
}

TEST_F(CardWalkTest, AFileTooLargeForOneResponseIsReportedByNameAndTheWalkGoesOn) {
  card().AddFile("\\T\\BIG.ATR", Pattern(70000, 1));
  card().AddFile("\\T\\SMALL.ATR", Pattern(50, 2));
  char found[129] = {};
  uint32_t error = 0;
  EXPECT_EQ(mmcGetFirstFile(Local("big").c_str(), "\\T\\", "", found, &error), 0);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
  EXPECT_STREQ(found, "BIG.ATR");
  EXPECT_TRUE(Slurp(Local("big")).empty());
  ASSERT_EQ(mmcGetNextFile(Local("small").c_str(), found, &error), 1);
  EXPECT_STREQ(found, "SMALL.ATR");
  // The large one comes whole in pieces.
  ASSERT_EQ(mmcReadFile("\\T\\BIG.ATR", Local("big").c_str(), &error), 1);
  EXPECT_EQ(Slurp(Local("big")), Pattern(70000, 1));

  // The largest file one response carries still comes in one step.
  card().AddFile("\\U\\MAX", Pattern(kxsim::kMaxWalkFile, 3));
  ASSERT_EQ(mmcGetFirstFile(Local("max").c_str(), "\\U\\", "", found, &error), 1) << std::hex << error;
  EXPECT_EQ(Slurp(Local("max")), Pattern(kxsim::kMaxWalkFile, 3));
}

TEST_F(CardWalkTest, NothingIsSentWhenTheLocalFileOrTheBlockCannotBeMade) {
  card().AddFile("\\T\\A.ATR", Pattern(100, 1));
  char found[129];
  uint32_t error = 0;
  EXPECT_EQ(mmcGetFirstFile(Local("no/folder").c_str(), "\\T\\", "", found, &error), 0);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_EQ(mmcGetNextFile(Local("no/folder").c_str(), found, &error), 0);
  EXPECT_EQ(error, platform::kErrorFileNotFound);
  EXPECT_EQ(mmcGetFirstFile(Local("x").c_str(), std::string(128, 'P').c_str(), "", found, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_FALSE(Exists(Local("x")));
  EXPECT_EQ(mmcGetFirstFile(nullptr, "\\T\\", "", found, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(CardWalkTest, AFailedWriteIsTheCardBasePlus0x2000) {
  card().AddFile("\\T\\A.ATR", Pattern(100, 1));
  platform::InjectFailure(platform::SysCall::FileWrite, ENOSPC);
  char found[129];
  uint32_t error = 0;
  EXPECT_EQ(mmcGetFirstFile(Local("a").c_str(), "\\T\\", "", found, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + 0x2000);
  platform::ClearInjectedFailures();
}

TEST_F(CardWalkTest, ACloseRefusedIsTheCardsStatus) {
  uint32_t error = 0;
  ASSERT_EQ(mmcCloseFile(&error), 1);
  card().RefuseNext(MMC_CLOSE_FILE, 0x0077);
  EXPECT_EQ(mmcCloseFile(&error), 0);
  EXPECT_EQ(error, 0x20020077u);
}

}  // namespace
