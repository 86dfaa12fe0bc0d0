// The simulated Scanner's memory card, answered message by message (no link): the
// listing protocol, the entries, the walk, folders on disk, refusals and faults.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/card.h"
#include "sim/scanner.h"
#include "sim/wire_format.h"

namespace {

using kxsim::Bytes;
using kxsim::Card;

// A card request message: header, then Path and Name fields and the given words.
Bytes Request(uint16_t command, const std::string& path, const std::string& name, const Bytes& words = {}) {
  Bytes m(10 + 256 + words.size(), 0);
  kxsim::PutU16(m.data(), 14);
  kxsim::PutU16(m.data() + 2, command);
  std::memcpy(m.data() + 10, path.data(), std::min<size_t>(path.size(), 128));
  std::memcpy(m.data() + 138, name.data(), std::min<size_t>(name.size(), 128));
  std::copy(words.begin(), words.end(), m.begin() + 10 + 256);
  return m;
}
Bytes Bare(uint16_t command) { return Bytes{14, 0, static_cast<uint8_t>(command), 0, 0, 0, 0, 0, 0, 0}; }
Bytes Words(std::initializer_list<uint16_t> words) {
  Bytes b;
  for (uint16_t w : words) {
    b.push_back(static_cast<uint8_t>(w));
    b.push_back(static_cast<uint8_t>(w >> 8));
  }
  return b;
}
Bytes ReadWords(uint32_t offset, uint16_t chunk) {
  Bytes b(6);
  kxsim::PutU32(b.data(), offset);
  kxsim::PutU16(b.data() + 4, chunk);
  return b;
}

// The response of a reply message, after checking the reply's frame.
Bytes ResponseOf(const Bytes& reply, uint16_t command) {
  EXPECT_GE(reply.size(), 70u);
  if (reply.size() < 70) return {};
  EXPECT_EQ(kxsim::GetU16(reply.data()), 14);
  EXPECT_EQ(kxsim::GetU16(reply.data() + 2), command);
  EXPECT_EQ(kxsim::GetU16(reply.data() + 4), 1);
  EXPECT_EQ(kxsim::GetU16(reply.data() + 12), reply.size() - 70);
  EXPECT_LE(reply.size(), 65535u);
  return Bytes(reply.begin() + 70, reply.end());
}
uint16_t StatusOf(const Bytes& r) { return r.size() >= 2 ? kxsim::GetU16(r.data()) : 0xDEAD; }
uint16_t Count(const Bytes& r) { return kxsim::GetU16(r.data() + 6); }

struct SimCard : ::testing::Test {
  Card card;
  Bytes Ask(const Bytes& request) { return ResponseOf(card.HandleMessage(request), kxsim::GetU16(request.data() + 2)); }
  Bytes List(const std::string& path, const std::string& name, uint16_t start, uint16_t option = 0, uint16_t mode = 1) {
    return Ask(Request(kxsim::kCardDirList, path, name, Words({start, option, 128, mode})));
  }
};

TEST_F(SimCard, ListingsComeInBatchesAndSayWhenMoreFollow) {
  for (char c = 'G'; c >= 'A'; --c) card.AddFile(std::string("\\D\\") + c + ".ATR", Bytes(3, 1));
  card.AddDirectory("\\D\\SUB");
  card.SetNamesPerResponse(3);
  Bytes r = List("\\D\\", "", 0);
  EXPECT_EQ(StatusOf(r), kxsim::kCardMoreNames);
  EXPECT_EQ(Count(r), 3);
  EXPECT_EQ(Bytes(r.begin() + 10, r.end()), (Bytes{'A', '.', 'A', 'T', 'R', 0, 'B', '.', 'A', 'T', 'R', 0,
                                                   'C', '.', 'A', 'T', 'R', 0}));
  r = List("\\D\\", "", 6);
  EXPECT_EQ(StatusOf(r), kxsim::kCardDone);
  EXPECT_EQ(Count(r), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.data() + 10 + 6)), "SUB\\");  // directories end in '\'
  r = List("\\D\\", "", 8);
  EXPECT_EQ(StatusOf(r), kxsim::kCardDone);
  EXPECT_EQ(Count(r), 0);
  EXPECT_EQ(r.size(), 10u);

  EXPECT_EQ(Count(List("\\D\\", "*.*", 0, 0, 0)), 8);  // count only, no names
  EXPECT_EQ(List("\\D\\", "", 0, 0, 0).size(), 10u);
  EXPECT_EQ(Count(List("/d", "?.atr", 0, 0, 0)), 7);  // slashes and any case
  EXPECT_EQ(Count(List("\\D\\", "", 0, 1, 0)), 1);     // directories only
  EXPECT_EQ(Count(List("\\D\\", "", 0, 2, 0)), 7);     // files only
  EXPECT_EQ(Count(List("\\D\\", "[AB]*", 0, 0, 0)), 0);
  EXPECT_EQ(StatusOf(List("\\NONE\\", "", 0)), kxsim::kCardNotFound);
  EXPECT_EQ(StatusOf(List("\\D\\A.ATR", "", 0)), kxsim::kCardNotFound);
}

TEST_F(SimCard, DirectoryEntriesFileInformationAndReads) {
  card.AddFile("\\LONGER-NAME-THAN-TWELVE.TXT", Bytes(10, 2), true, 0x1234, 0x5678);
  Bytes r = Ask(Request(kxsim::kCardDirInfo, "", "", Words({128})));
  ASSERT_EQ(r.size(), 10u + 22u);
  EXPECT_EQ(Count(r), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.data() + 10)), "LONGER-NAME-");  // cut to 12
  EXPECT_EQ(r[10 + 13], kxsim::kAttrArchive | kxsim::kAttrReadOnly);
  EXPECT_EQ(kxsim::GetU32(r.data() + 10 + 14), 10u);
  EXPECT_EQ(kxsim::GetU16(r.data() + 10 + 18), 0x1234);
  EXPECT_EQ(kxsim::GetU16(r.data() + 10 + 20), 0x5678);

  r = Ask(Request(kxsim::kCardFileInfo, "\\", "longer-name-than-twelve.txt"));
  ASSERT_EQ(r.size(), 20u);
  EXPECT_EQ(kxsim::GetU32(r.data() + 10), 10u);
  EXPECT_EQ(kxsim::GetU16(r.data() + 18), kxsim::kAttrArchive | kxsim::kAttrReadOnly);

  Bytes data(100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  card.AddFile("\\F", data);
  r = Ask(Request(kxsim::kCardReadFile, "\\", "F", ReadWords(90, 40)));
  EXPECT_EQ(StatusOf(r), kxsim::kCardLastPiece);
  EXPECT_EQ(kxsim::GetU16(r.data() + 4), 10);
  EXPECT_EQ(Bytes(r.begin() + 10, r.end()), Bytes(data.begin() + 90, data.end()));
  r = Ask(Request(kxsim::kCardReadFile, "\\", "F", ReadWords(0, 40)));
  EXPECT_EQ(StatusOf(r), kxsim::kCardDone);
  EXPECT_EQ(kxsim::GetU16(r.data() + 4), 40);
  r = Ask(Request(kxsim::kCardReadFile, "\\", "F", ReadWords(100, 40)));
  EXPECT_EQ(StatusOf(r), kxsim::kCardLastPiece);
  EXPECT_EQ(kxsim::GetU16(r.data() + 4), 0);
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardReadFile, "\\", "F", ReadWords(101, 40)))), kxsim::kCardBadRequest);
}

TEST_F(SimCard, TheWalkIsHeldByTheCardAndPassesOverDeletedFiles) {
  card.AddFile("\\W\\A", Bytes(3, 'a'));
  card.AddFile("\\W\\B", Bytes(4, 'b'));
  card.AddFile("\\W\\C", Bytes(5, 'c'));
  card.AddDirectory("\\W\\SUB");
  EXPECT_EQ(StatusOf(Ask(Bare(kxsim::kCardNextFile))), kxsim::kCardNoWalk);
  Bytes r = Ask(Request(kxsim::kCardFirstFile, "\\W\\", "", Words({128})));
  EXPECT_EQ(StatusOf(r), kxsim::kCardLastPiece);
  EXPECT_EQ(kxsim::GetU16(r.data() + 4), 3);
  ASSERT_EQ(r.size(), 139u + 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.data() + 10)), "A");
  EXPECT_EQ(Bytes(r.begin() + 139, r.end()), Bytes(3, 'a'));
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteFile, "\\W\\", "B", Words({0})))), kxsim::kCardDone);
  r = Ask(Bare(kxsim::kCardNextFile));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.data() + 10)), "C");
  EXPECT_EQ(StatusOf(Ask(Bare(kxsim::kCardNextFile))), kxsim::kCardNoMoreFiles);  // SUB is no file
  EXPECT_TRUE(card.WalkOpen());
  EXPECT_EQ(StatusOf(Ask(Bare(kxsim::kCardCloseFile))), kxsim::kCardDone);
  EXPECT_FALSE(card.WalkOpen());

  // A file larger than one response: as much as fits, and a ByteCount that says more.
  card.AddFile("\\BIG\\X", Bytes(kxsim::kMaxWalkFile + 1, 'x'));
  r = Ask(Request(kxsim::kCardFirstFile, "\\BIG\\", "", Words({128})));
  EXPECT_EQ(r.size(), kxsim::kMaxCardResponse);
  EXPECT_EQ(kxsim::GetU16(r.data() + 4), kxsim::kMaxWalkFile + 1);
}

TEST_F(SimCard, DeletesRespectReadOnlyFilesAndNonEmptyDirectories) {
  card.AddFile("\\P\\LOCKED", Bytes(1), true);
  card.AddFile("\\Q\\R\\S", Bytes(1));
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteFile, "\\P\\", "LOCKED", Words({0})))), kxsim::kCardWriteProtected);
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteFile, "\\P\\", "NONE", Words({0})))), kxsim::kCardNotFound);
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteFile, "\\", "Q", Words({0})))), kxsim::kCardNotFound);
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteDir, "\\", "P", Words({1})))), kxsim::kCardWriteProtected);
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteDir, "\\", "Q", Words({0})))), kxsim::kCardNotEmpty);
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteDir, "\\", "Q", Words({1})))), kxsim::kCardDone);
  EXPECT_FALSE(card.Exists("\\Q"));
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteDir, "\\", "", Words({1})))), kxsim::kCardBadRequest);
  EXPECT_TRUE(card.Exists("\\P\\LOCKED"));
}

TEST_F(SimCard, RequestsItCannotTakeAreRefused) {
  // Too short for its block, and a Path without its terminator in 128 bytes.
  Bytes shortOne = Request(kxsim::kCardDirList, "", "", Words({0, 0, 128}));
  EXPECT_EQ(StatusOf(Ask(shortOne)), kxsim::kCardBadRequest);
  Bytes unterminated = Request(kxsim::kCardFileInfo, std::string(128, 'p'), "A");
  EXPECT_EQ(StatusOf(Ask(unterminated)), kxsim::kCardBadRequest);
  EXPECT_EQ(StatusOf(Ask(Bare(kxsim::kCardDirInfo))), kxsim::kCardBadRequest);

  // A card that is not ready answers only its status.
  card.SetStatusWord(kxsim::kCardNotReady);
  const Bytes status = Ask(Bare(kxsim::kCardStatus));
  EXPECT_EQ(StatusOf(status), kxsim::kCardNotReady);
  EXPECT_EQ(status.size(), 18u);
  EXPECT_EQ(StatusOf(List("", "", 0)), kxsim::kCardNotReady);

  // The Scanner routes only the card's own commands here.
  kxsim::Scanner scanner;
  const auto reply = scanner.HandleMessage(Request(13, "", ""));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(kxsim::GetU16(reply->data() + 4), kxsim::kStatusUnsupported);
  scanner.card().AddFile("\\X", Bytes(7));
  const auto info = scanner.HandleMessage(Request(kxsim::kCardFileInfo, "", "X"));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(kxsim::GetU32(info->data() + 80), 7u);
}

TEST_F(SimCard, FaultsComeInOrderAndRunOut) {
  card.AddFile("\\F", Bytes(50, 1));
  card.RefuseNext(kxsim::kCardReadFile, 0x0042, /*count=*/1, /*skip=*/1);
  card.StallNextRead(/*count=*/1);
  const Bytes read = Request(kxsim::kCardReadFile, "", "F", ReadWords(0, 10));
  Bytes r = Ask(read);  // the stall fires first: the refusal is still skipping
  EXPECT_EQ(StatusOf(r), kxsim::kCardDone);
  EXPECT_EQ(kxsim::GetU16(r.data() + 4), 0);
  EXPECT_EQ(r.size(), 10u);
  EXPECT_EQ(StatusOf(Ask(read)), 0x0042);
  EXPECT_EQ(kxsim::GetU16(Ask(read).data() + 4), 10);  // back to normal
  card.ScriptNext(0, Bytes{1, 2, 3});
  EXPECT_EQ(Ask(Bare(kxsim::kCardStatus)), (Bytes{1, 2, 3}));
  EXPECT_EQ(card.Requests().size(), 4u);
}

TEST_F(SimCard, AFolderOnDiskBecomesTheCard) {
  char pattern[] = "/tmp/kxlib-simcard-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path root = pattern;
  std::filesystem::create_directories(root / "TESTS" / "OLD");
  std::ofstream(root / "TESTS" / "A.ATR") << "abcdef";
  std::ofstream(root / "RO.TXT") << "x";
  chmod((root / "RO.TXT").c_str(), 0444);
  std::ofstream(root / std::string(128, 'L')) << "too long a name";

  std::string problem;
  card.AddFile("\\OLD-CONTENT", Bytes(1));
  ASSERT_TRUE(card.LoadFolder(root.string(), &problem)) << problem;
  EXPECT_FALSE(card.Exists("\\OLD-CONTENT"));
  EXPECT_EQ(card.File("\\TESTS\\A.ATR"), (Bytes{'a', 'b', 'c', 'd', 'e', 'f'}));
  EXPECT_TRUE(card.Exists("\\TESTS\\OLD"));
  EXPECT_EQ(Count(List("", "", 0, 0, 0)), 2);  // RO.TXT and TESTS; the long name is left out
  if (geteuid() != 0) {  // root may write anything, and so reads no file as read-only
    EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteFile, "", "RO.TXT", Words({0})))), kxsim::kCardWriteProtected);
  }
  // The date is the file's own (this year, not the sample's 2003).
  const Bytes info = Ask(Request(kxsim::kCardFileInfo, "\\TESTS\\", "A.ATR"));
  EXPECT_GT(kxsim::GetU16(info.data() + 14) >> 9, 2003 - 1980);

  EXPECT_FALSE(card.LoadFolder((root / "nothing").string(), &problem));
  EXPECT_FALSE(problem.empty());
  EXPECT_TRUE(card.Exists("\\TESTS\\A.ATR"));  // a failed load leaves the card as it was
  std::filesystem::remove_all(root);
}

TEST_F(SimCard, TheSampleCard) {
  card.LoadSample();
  ASSERT_TRUE(card.File("\\TESTS\\CABLE003.ATR").has_value());
  EXPECT_EQ(card.File("\\TESTS\\CABLE003.ATR")->size(), 20000u);
  EXPECT_EQ(StatusOf(Ask(Request(kxsim::kCardDeleteFile, "\\", "README.TXT", Words({0})))), kxsim::kCardWriteProtected);
  const Bytes status = Ask(Bare(kxsim::kCardStatus));
  EXPECT_EQ(StatusOf(status), 0);
  EXPECT_EQ(kxsim::GetU32(status.data() + 10), 32u * 1024 * 1024);
  EXPECT_LT(kxsim::GetU32(status.data() + 14), 32u * 1024 * 1024);
}

}  // namespace
