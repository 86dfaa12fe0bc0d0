// Card responses no Scanner sends: short, with counts and lengths that lie, with names
// that never end. Each gives an error code; nothing is read or written past a buffer
// (the sanitizer build watches), and the host's areas keep their bytes past what a call
// may write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "card/card_blocks.h"
#include "services/card_access.h"
#include "tests/card_fixture.h"

namespace {

using cardtest::Bytes;

// A card response: CardStatus, ByteCount, EntryCount, then `data`.
Bytes Response(uint16_t status, uint16_t byteCount, uint16_t entryCount, const Bytes& data = {}) {
  Bytes r(10 + data.size(), 0);
  PutU16(r.data(), status);
  PutU16(r.data() + 4, byteCount);
  PutU16(r.data() + 6, entryCount);
  std::copy(data.begin(), data.end(), r.begin() + 10);
  return r;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

class CardMalformedTest : public cardtest::CardSessionTest {};

TEST_F(CardMalformedTest, ListingsWhoseNamesDoNotAddUp) {
  std::vector<char> names(64, '#');
  uint32_t error = 0;
  // Three names announced, two sent.
  card().ScriptNext(MMC_DIR_LIST, Response(0, 0, 3, Text(std::string("AB\0CD\0", 6))));
  EXPECT_EQ(mmcGetDirectoryList("", "", 0, names.data(), 64, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  // A name that runs to the end of the response without its terminator.
  card().ScriptNext(MMC_DIR_LIST, Response(0, 0, 1, Text("ENDLESS")));
  EXPECT_EQ(mmcGetDirectoryList("", "", 0, names.data(), 64, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  EXPECT_EQ(std::string(names.data(), 6), std::string("AB\0CD\0", 6));  // from the call before
  EXPECT_EQ(names[6], '#');  // nothing of the endless name
  // A response shorter than its header.
  card().ScriptNext(MMC_DIR_LIST, Bytes{0, 0, 0, 0, 1});
  EXPECT_EQ(mmcGetDirectoryList("", "", 0, names.data(), 64, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(CardMalformedTest, AListingThatNeverStopsEndsWhenItsIndexWouldPass65535) {
  // 40000 empty names per response, status "more", whatever the StartIndex.
  card().ScriptNext(MMC_DIR_LIST, Response(0x1000, 0, 40000, Bytes(40000, 0)), /*count=*/5);
  std::vector<char> names(200000, '#');
  uint32_t error = 0;
  EXPECT_EQ(mmcGetDirectoryList("", "", 0, names.data(), 200000, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  EXPECT_EQ(Sent().size(), 2u);
  // With a small area the names stop fitting first.
  card().ClearFaults();
  card().ScriptNext(MMC_DIR_LIST, Response(0x1000, 0, 40000, Bytes(40000, 0)), 5);
  std::vector<char> small(1001, '#');
  EXPECT_EQ(mmcGetDirectoryList("", "", 0, small.data(), 1000, &error), 0);
  EXPECT_EQ(error, KXERR_CARD_LIST_FULL);
  EXPECT_EQ(small[999], 0);
  EXPECT_EQ(small[1000], '#');
}

TEST_F(CardMalformedTest, DirectoryInformationWithMoreEntriesThanBytes) {
  card().ScriptNext(MMC_DIR_INFO, Response(0, 0, 100, Bytes(66, 'e')));
  Bytes entries(4000, 0xEE);
  uint32_t error = 0;
  EXPECT_EQ(mmcGetDirectoryInfo("", "", entries.data(), 4000, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  EXPECT_EQ(entries, Bytes(4000, 0xEE));
}

TEST_F(CardMalformedTest, FixedResponsesThatAreTooShort) {
  uint32_t size = 0, figure1 = 0, figure2 = 0, error = 0;
  card().ScriptNext(MMC_FILE_INFO, Response(0, 0, 0, Bytes(6, 1)));  // 16 of 20 bytes
  EXPECT_EQ(mmcGetFileSize("", "A", &size, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  card().ScriptNext(MMC_CARD_STATUS, Response(0, 0, 0, Bytes(4, 1)));  // 14 of 18 bytes
  EXPECT_EQ(mmcGetMMCInfo(&figure1, &figure2, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  card().ScriptNext(MMC_DELETE_FILE, Bytes{0, 0});  // no header: not a "done"
  EXPECT_EQ(mmcDeleteFile("", "A", 0, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  card().ScriptNext(MMC_CARD_STATUS, Bytes{});
  uint16_t status = 0;
  EXPECT_EQ(mmcGetMMCStatus(&status, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  // A response longer than the call's area: the exchange itself refuses it.
  card().ScriptNext(MMC_DELETE_FILE, Bytes(11, 0));
  EXPECT_EQ(mmcDeleteFile("", "A", 0, &error), 0);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
}

TEST_F(CardMalformedTest, APieceThatClaimsMoreBytesThanItCarries) {
  card().AddFile("\\A", cardtest::Pattern(100, 1));
  card().ScriptNext(MMC_READ_FILE, Response(0x2000, 500, 0, Bytes(100, 7)));
  uint32_t error = 0;
  EXPECT_EQ(mmcReadFile("\\A", Local("a").c_str(), &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  EXPECT_TRUE(Slurp(Local("a")).empty());
}

TEST_F(CardMalformedTest, WalkResponsesWithBadNamesOrLengths) {
  char found[129 + 8];
  std::memset(found, '#', sizeof found);
  uint32_t error = 0;
  // A name filling its 129-byte field without a terminator.
  card().ScriptNext(MMC_FIRST_FILE, Response(0x2000, 0, 1, Bytes(129, 'N')));
  EXPECT_EQ(mmcGetFirstFile(Local("a").c_str(), "", "", found, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  EXPECT_EQ(found[0], '#');
  // A response that stops inside the name field.
  card().ScriptNext(MMC_NEXT_FILE, Response(0x2000, 0, 1, Text(std::string("A.ATR\0", 6))));
  EXPECT_EQ(mmcGetNextFile(Local("b").c_str(), found, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  // A name of 128 characters fits its field with the terminator; nothing past 129 bytes
  // of `found` is written.
  Bytes data(129 + 5, 'd');
  std::fill(data.begin(), data.begin() + 128, 'M');
  data[128] = 0;
  card().ScriptNext(MMC_NEXT_FILE, Response(0x2000, 5, 1, data));
  ASSERT_EQ(mmcGetNextFile(Local("c").c_str(), found, &error), 1);
  EXPECT_EQ(std::string(found), std::string(128, 'M'));
  EXPECT_EQ(found[129], '#');
  EXPECT_EQ(Slurp(Local("c")), Bytes(5, 'd'));
}

// The decoders on their own, at their edges.
TEST(CardBlocks, RequestTextsAndTheirLimits) {
  uint8_t block[kLargestBlock + 4];
  std::memset(block, 0xEE, sizeof block);
  ASSERT_TRUE(BuildCardPathRequest(block, "\\A\\", nullptr));
  EXPECT_STREQ(reinterpret_cast<char*>(block), "\\A\\");
  EXPECT_EQ(block[128], 0);
  EXPECT_EQ(block[kLargestBlock - 1], 0);
  EXPECT_EQ(block[kLargestBlock], 0xEE);

  const std::string t127(127, 'x'), t128(128, 'x');
  EXPECT_TRUE(BuildCardPathRequest(block, t127.c_str(), t127.c_str()));
  EXPECT_EQ(block[127], 0);
  EXPECT_EQ(block[255], 0);
  EXPECT_FALSE(BuildCardPathRequest(block, t128.c_str(), ""));
  EXPECT_FALSE(BuildCardPathRequest(block, "", t128.c_str()));
  EXPECT_EQ(block[0], 0);  // a refused block is all zero

  char path[kCardTextField], name[kCardTextField];
  ASSERT_TRUE(SplitCardPath("\\T\\SUB\\F.ATR", path, name));
  EXPECT_STREQ(path, "\\T\\SUB\\");
  EXPECT_STREQ(name, "F.ATR");
  ASSERT_TRUE(SplitCardPath("F.ATR", path, name));
  EXPECT_STREQ(path, "");
  EXPECT_STREQ(name, "F.ATR");
  ASSERT_TRUE(SplitCardPath("\\T\\", path, name));
  EXPECT_STREQ(path, "\\T\\");
  EXPECT_STREQ(name, "");
  EXPECT_TRUE(SplitCardPath((std::string(126, 'p') + "\\" + t127).c_str(), path, name));
  EXPECT_FALSE(SplitCardPath((std::string(127, 'p') + "\\n").c_str(), path, name));
  EXPECT_FALSE(SplitCardPath(("\\" + t128).c_str(), path, name));
}

TEST(CardBlocks, NamesAreCopiedWhileTheyFitAndAreTerminated) {
  const Bytes response = Response(0, 0, 2, Text(std::string("ONE\0TWO\0", 8)));
  CardReply reply;
  ASSERT_TRUE(ParseCardReply(response.data(), static_cast<uint32_t>(response.size()), &reply));
  char names[16];
  std::memset(names, '#', sizeof names);
  int64_t used = 0;
  EXPECT_EQ(AppendListedNames(reply, names, 8, &used), NamesOutcome::kCopied);
  EXPECT_EQ(used, 8);
  used = 0;
  EXPECT_EQ(AppendListedNames(reply, names, 7, &used), NamesOutcome::kNoRoom);
  EXPECT_EQ(used, 4);
  used = 0;
  EXPECT_EQ(AppendListedNames(reply, names, -1, &used), NamesOutcome::kNoRoom);
  EXPECT_EQ(used, 0);

  CardReply cut = reply;
  cut.dataLength = 7;  // the second name loses its terminator
  used = 0;
  EXPECT_EQ(AppendListedNames(cut, names, 16, &used), NamesOutcome::kMalformed);
  EXPECT_FALSE(ParseCardReply(response.data(), 9, &reply));
}

}  // namespace
