// Card directories, file information, deletes and the card's status, against the
// simulated Scanner over a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "services/card_access.h"
#include "session/state.h"
#include "tests/card_fixture.h"

namespace {

using cardtest::Bytes;
using cardtest::Pattern;

// The names of a listing area: consecutive zero-terminated strings.
std::vector<std::string> Names(const std::vector<char>& area, size_t used) {
  std::vector<std::string> out;
  for (size_t at = 0; at < used && at < area.size();) {
    out.emplace_back(area.data() + at, strnlen(area.data() + at, area.size() - at));
    at += out.back().size() + 1;
  }
  return out;
}

class CardDirectoryTest : public cardtest::CardSessionTest {
 protected:
  // Eight files F1.ATR ... F8.ATR in \TESTS: 6 characters and a terminator each.
  void EightFiles() {
    for (int i = 1; i <= 8; ++i) card().AddFile("\\TESTS\\F" + std::to_string(i) + ".ATR", Pattern(10 * i, i));
  }
};

TEST_F(CardDirectoryTest, AListingOverResponsesOfFiveThreeAndNoNames) {
  EightFiles();
  card().SetNamesPerResponse(5);
  std::vector<char> names(100, '#');
  uint32_t error = 1;
  ASSERT_EQ(mmcGetDirectoryList("\\TESTS\\", "*.*", 0x0102, names.data(), 100, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Names(names, 56), (std::vector<std::string>{"F1.ATR", "F2.ATR", "F3.ATR", "F4.ATR", "F5.ATR",
                                                          "F6.ATR", "F7.ATR", "F8.ATR"}));
  EXPECT_EQ(names[56], '#');  // no extra terminator after the last name

  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  const uint16_t starts[] = {0, 5, 8};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sent[i].Type(), MMC_DIR_LIST);
    EXPECT_EQ(sent[i].Length(), 264u);
    EXPECT_EQ(sent[i].Path(), "\\TESTS\\");
    EXPECT_EQ(sent[i].Name(), "*.*");
    EXPECT_EQ(sent[i].Word(0), starts[i]);  // StartIndex
    EXPECT_EQ(sent[i].Word(2), 0x0102);     // the host's option, unchanged
    EXPECT_EQ(sent[i].Word(4), 128);
    EXPECT_EQ(sent[i].Word(6), 1);          // ListMode: names
  }
}

TEST_F(CardDirectoryTest, NamesThatNeedExactlyTheSizeFitOneByteLessIsError8) {
  EightFiles();
  std::vector<char> names(56, '#');
  uint32_t error = 0;
  EXPECT_EQ(mmcGetDirectoryList("\\TESTS\\", "", 0, names.data(), 56, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Names(names, 56).back(), "F8.ATR");

  std::vector<char> shorter(56, '#');
  EXPECT_EQ(mmcGetDirectoryList("\\TESTS\\", "", 0, shorter.data(), 55, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_LIST_FULL);
  EXPECT_EQ(Names(shorter, 49).size(), 7u);  // the names before the one that did not fit
  EXPECT_EQ(shorter[49], '#');               // and nothing of it
}

TEST_F(CardDirectoryTest, AnEmptyListingAndANullAreaReturnZeroWithoutAnError) {
  card().AddDirectory("\\LOGS");
  std::vector<char> names(16, '#');
  uint32_t error = 1;
  EXPECT_EQ(mmcGetDirectoryList("\\LOGS\\", "", 0, names.data(), 16, &error), 0);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Sent().size(), 1u);

  error = 1;
  EXPECT_EQ(mmcGetDirectoryList("\\LOGS\\", "", 0, nullptr, 16, &error), 0);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(Sent().size(), 1u);  // nothing sent
}

TEST_F(CardDirectoryTest, TheCountIsOneExchangeInCountMode) {
  EightFiles();
  card().AddDirectory("\\TESTS\\OLD");
  uint16_t count = 0;
  uint32_t error = 0;
  ASSERT_EQ(mmcGetDirectoryCount("\\TESTS\\", "*.*", 2, &count, &error), 1);
  EXPECT_EQ(count, 8);  // option 2: files only, on this instrument
  ASSERT_EQ(mmcGetDirectoryCount("\\TESTS\\", "F?.ATR", 0, &count, &error), 1);
  EXPECT_EQ(count, 8);
  ASSERT_EQ(mmcGetDirectoryCount("\\TESTS\\", "", 0, &count, &error), 1);
  EXPECT_EQ(count, 9);
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].Word(0), 0);
  EXPECT_EQ(sent[0].Word(2), 2);
  EXPECT_EQ(sent[0].Word(6), 0);  // ListMode: count only

  EXPECT_EQ(mmcGetDirectoryCount("\\NOSUCH\\", "", 0, &count, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNotFound);
}

TEST_F(CardDirectoryTest, DirectoryInformationNeedsMoreThanTwentyTwoBytesAnEntry) {
  card().AddFile("\\D\\A.ATR", Pattern(300, 1));
  card().AddFile("\\D\\B.ATR", Pattern(70000, 2), /*readOnly=*/true);
  card().AddDirectory("\\D\\SUB");
  Bytes entries(80, 0xEE);
  uint32_t error = 1;
  ASSERT_EQ(mmcGetDirectoryInfo("\\D\\", "", entries.data(), 67, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(entries.data())), "A.ATR");
  EXPECT_EQ(entries[13], kxsim::kAttrArchive);
  EXPECT_EQ(GetU32(entries.data() + 14), 300u);
  EXPECT_EQ(GetU16(entries.data() + 18), kxsim::kSampleDate);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(entries.data() + 22)), "B.ATR");
  EXPECT_EQ(entries[22 + 13], kxsim::kAttrArchive | kxsim::kAttrReadOnly);
  EXPECT_EQ(GetU32(entries.data() + 22 + 14), 70000u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(entries.data() + 44)), "SUB");
  EXPECT_EQ(entries[44 + 13], kxsim::kAttrDirectory);
  EXPECT_EQ(entries[66], 0xEE);
  const auto sent = LastSent();
  EXPECT_EQ(sent.Type(), MMC_DIR_INFO);
  EXPECT_EQ(sent.Length(), 258u);
  EXPECT_EQ(sent.Word(0), 128);

  std::fill(entries.begin(), entries.end(), 0xEE);
  EXPECT_EQ(mmcGetDirectoryInfo("\\D\\", "", entries.data(), 66, &error), 0);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(entries, Bytes(80, 0xEE));

  EXPECT_EQ(mmcGetDirectoryInfo("\\D\\", "", nullptr, 100, &error), 0);
  EXPECT_EQ(error, 0u);
}

TEST_F(CardDirectoryTest, FileInformationAndSize) {
  card().AddFile("\\TESTS\\A.ATR", Pattern(20000, 1), true, 0x2E36, 0x4D95);
  uint32_t size = 0;
  uint16_t info1 = 0, info2 = 0, info3 = 0;
  uint32_t error = 0;
  ASSERT_EQ(mmcGetFileInfo("\\TESTS\\", "A.ATR", &size, &info1, &info2, &info3, &error), 1);
  EXPECT_EQ(size, 20000u);
  EXPECT_EQ(info1, 0x2E36);
  EXPECT_EQ(info2, 0x4D95);
  EXPECT_EQ(info3, kxsim::kAttrArchive | kxsim::kAttrReadOnly);
  EXPECT_EQ(LastSent().Length(), 256u);
  EXPECT_EQ(LastSent().Type(), MMC_FILE_INFO);

  size = 0;
  ASSERT_EQ(mmcGetFileSize("\\TESTS\\", "A.ATR", &size, &error), 1);
  EXPECT_EQ(size, 20000u);
  EXPECT_EQ(mmcGetFileSize("\\TESTS\\", "B.ATR", &size, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNotFound);
}

TEST_F(CardDirectoryTest, DeletesAndTheirRefusals) {
  card().AddFile("\\TESTS\\A.ATR", Pattern(10, 1));
  card().AddFile("\\TESTS\\LOCKED.ATR", Pattern(10, 2), /*readOnly=*/true);
  card().AddFile("\\OLD\\X\\B.ATR", Pattern(10, 3));
  uint32_t error = 0;
  ASSERT_EQ(mmcDeleteFile("\\TESTS\\", "A.ATR", 0x0033, &error), 1);
  EXPECT_FALSE(card().Exists("\\TESTS\\A.ATR"));
  EXPECT_EQ(LastSent().Length(), 258u);
  EXPECT_EQ(LastSent().Word(0), 0x0033);

  // Refused by the card with status 5: the file stays.
  EXPECT_EQ(mmcDeleteFile("\\TESTS\\", "LOCKED.ATR", 0, &error), 0);
  EXPECT_EQ(error, 0x20020005u);
  EXPECT_TRUE(card().Exists("\\TESTS\\LOCKED.ATR"));

  EXPECT_EQ(mmcDeleteDirectory("\\", "OLD", 0, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNotEmpty);
  EXPECT_EQ(LastSent().Type(), MMC_DELETE_DIR);
  ASSERT_EQ(mmcDeleteDirectory("\\", "OLD", 1, &error), 1);
  EXPECT_FALSE(card().Exists("\\OLD"));

  // A refusal with a status word the card chose.
  card().RefuseNext(MMC_DELETE_FILE, 0x0ABC);
  EXPECT_EQ(mmcDeleteFile("\\TESTS\\", "LOCKED.ATR", 0, &error), 0);
  EXPECT_EQ(error, 0x20020ABCu);
}

TEST_F(CardDirectoryTest, StatusIsDeliveredWhateverItsValueTheFiguresOnlyWhenReady) {
  card().SetCapacity(4096 * 1024);
  card().AddFile("\\A", Pattern(1000, 1));
  uint16_t status = 0xFFFF;
  uint32_t figure1 = 0, figure2 = 0, error = 0;
  ASSERT_EQ(mmcGetMMCStatus(&status, &error), 1);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(mmcGetMMCInfo(&figure1, &figure2, &error), 1);
  EXPECT_EQ(figure1, 4096u * 1024);
  EXPECT_EQ(figure2, 4096u * 1024 - 1024);  // the file takes two 512-byte clusters
  EXPECT_EQ(LastSent().message.size(), 10u);  // no block

  card().SetStatusWord(kxsim::kCardNotReady);
  ASSERT_EQ(mmcGetMMCStatus(&status, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(status, kxsim::kCardNotReady);
  EXPECT_EQ(mmcGetMMCInfo(&figure1, &figure2, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNotReady);
  // A card that is not ready refuses everything else too.
  uint16_t count = 0;
  EXPECT_EQ(mmcGetDirectoryCount("", "", 0, &count, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_BASE + kxsim::kCardNotReady);
}

TEST_F(CardDirectoryTest, PathsAndNamesOf127CharactersFitOneMoreIsRefusedUnsent) {
  const std::string name127(127, 'N');
  const std::string path127 = "\\" + std::string(125, 'P') + "\\";
  card().AddFile(path127 + name127, Pattern(5, 1));
  uint32_t size = 0, error = 0;
  ASSERT_EQ(mmcGetFileSize(path127.c_str(), name127.c_str(), &size, &error), 1) << std::hex << error;
  EXPECT_EQ(size, 5u);
  const auto sent = LastSent();
  EXPECT_EQ(sent.Path(), path127);
  EXPECT_EQ(sent.Name(), name127);
  EXPECT_EQ(sent.message[10 + 127], 0);   // each field keeps its terminator
  EXPECT_EQ(sent.message[138 + 127], 0);

  const std::string name128(128, 'N');
  const size_t before = Sent().size();
  KXSetDebugLevel(DBG_TRACE);
  EXPECT_EQ(mmcGetFileSize(path127.c_str(), name128.c_str(), &size, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_EQ(mmcDeleteFile(("\\" + name128).c_str(), "A", 0, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  uint16_t count = 0;
  EXPECT_EQ(mmcGetDirectoryCount(name128.c_str(), "", 0, &count, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  std::vector<char> names(10);
  EXPECT_EQ(mmcGetDirectoryList("", name128.c_str(), 0, names.data(), 10, &error), 0);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_EQ(Sent().size(), before);
  EXPECT_EQ(CountTrace("mmcGetFileSize Error - Path or name longer than 127 characters\n"), 1);
}

TEST_F(CardDirectoryTest, ACancelDuringACompletedListingExchangeFailsTheListingOnly) {
  EightFiles();
  // The cancel arrives as the response is delivered (a trace hook may not call into the
  // library, so it raises the flag as KXCancel does).
  KXSetDebugLevel(DBG_TRACE);
  KXSetTraceHook(
      [](const char* text, void*) {
        if (std::strncmp(text, "Got MMC response Data.", 22) == 0) CancelRequested.store(1);
      },
      nullptr);
  std::vector<char> names(100);
  uint32_t error = 0;
  EXPECT_EQ(mmcGetDirectoryList("\\TESTS\\", "", 0, names.data(), 100, &error), 0);
  EXPECT_EQ(error, KXERR_CANCELED);
  EXPECT_EQ(Sent().size(), 1u);  // no further response asked for

  // The other calls deliver what they got and report the cancel.
  uint16_t count = 0;
  EXPECT_EQ(mmcGetDirectoryCount("\\TESTS\\", "", 0, &count, &error), 1);
  EXPECT_EQ(error, KXERR_CANCELED);
  EXPECT_EQ(count, 8);
}

TEST_F(CardDirectoryTest, AResponseAreaThatCannotBeHadIsTheSystemsCode) {
  uint16_t count = 0;
  uint32_t error = 0;
  platform::InjectFailure(platform::SysCall::Alloc, ENOMEM);
  EXPECT_EQ(mmcGetDirectoryCount("", "", 0, &count, &error), 0);
  EXPECT_EQ(error, platform::kErrorNotEnoughMemory);
  EXPECT_EQ(Sent().size(), 0u);
  // The message buffer of the exchange is the library's own: its failure is a library code.
  platform::InjectFailure(platform::SysCall::Alloc, ENOMEM, /*skip=*/1);
  EXPECT_EQ(mmcGetDirectoryCount("", "", 0, &count, &error), 0);
  EXPECT_EQ(error, KXERR_NO_MEMORY);
  platform::ClearInjectedFailures();
}

}  // namespace
