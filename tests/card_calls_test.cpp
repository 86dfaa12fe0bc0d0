// The card calls against the simulated Scanner over a pseudo-terminal (some over USB too). One card, filled
// in SetUp, serves every row of a table; a row makes one call (after preparing faults,
// if it says so) and gives what the call must return, the bytes it must leave in the
// host's area (0xEE where nothing may be written), the card requests it must send and
// the local file it must leave. Rows run in order: a delete's effect shows in the rows
// after it.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <map>

#include "platform/platform.h"
#include "services/card_access.h"
#include "session/state.h"
#include "sim/card.h"
#include "tests/support/card_ops.h"
#include "tests/support/scanner_session.h"

namespace {

using namespace testsupport;  // NOLINT: the table's builders

Bytes Names(std::initializer_list<const char*> names) {
  Bytes b;
  for (const char* n : names) b.insert(b.end(), n, n + std::strlen(n) + 1);
  return b;
}
// A found name in the 137-byte area of the walk's rows.
Bytes Found(const char* name) { return Cat({Names({name}), Keep(136 - std::strlen(name))}); }
// A directory-information entry: name in 13 bytes, attributes, size, date, time.
Bytes Entry(const std::string& name, uint8_t attributes, uint32_t size, uint16_t date = kxsim::kSampleDate) {
  return Cat({Text(name), Bytes(13 - name.size(), 0), {attributes}, Le({size}, 4), Le({date, kxsim::kSampleTime})});
}

// A card request message as "Type Path Name word word ..." (the words of its block as
// u16), or only the Type for a request without a block.
std::string Summary(const Bytes& m) {
  std::string out = std::to_string(GetU16(m.data() + 2));
  if (m.size() < 10 + 256) return out;
  // Appended piece by piece: GCC 12's optimiser warns falsely about `" " + string`.
  for (size_t at : {10, 138}) out.append(" ").append(reinterpret_cast<const char*>(&m[at]), strnlen(reinterpret_cast<const char*>(&m[at]), 128));
  for (size_t at = 266; at + 2 <= m.size(); at += 2) out.append(" ").append(std::to_string(GetU16(m.data() + at)));
  return out;
}
// Read requests for `pathName` ("Path Name") at each offset, in pieces of 7930.
std::string Reads(const std::string& pathName, std::initializer_list<uint32_t> offsets) {
  std::string out;
  for (uint32_t o : offsets) out += "|15 " + pathName + " " + std::to_string(o) + " 0 7930";
  return out;
}

const std::string kP127 = "\\" + std::string(125, 'P') + "\\", kN127(127, 'N'), kN128(128, 'N');
const std::string kD128 = "\\" + std::string(127, 'D') + "\\A", kLongName = "\\D\\" + kN128;
constexpr uint32_t kCapacity = 4096 * 1024, kNotFound = KXERR_CARD_BASE + kxsim::kCardNotFound,
                   kBad = KXERR_INVALID_FUNCTION;

// A session on the simulated Scanner whose card SetUp fills, and a scratch folder for
// local files. Public, so that the rows of a table may reach the card and the server.
class CardCallTest : public ScannerSessionTest {
 public:
  using LibraryTest::ClearTraces;
  using LibraryTest::CountTrace;
  using ScannerSessionTest::served;
  void SetUp() override {
    ScannerSessionTest::SetUp();
    dir_ = folders.Device("", false);  // the fixture's scratch folder, removed with it
    Open();
    served->ResetStats();
    card().SetCapacity(kCapacity);
    for (int i = 1; i <= 8; ++i) Add("\\L\\F" + std::to_string(i) + ".ATR", 10 * i);
    card().AddDirectory("\\L\\OLD");
    card().AddDirectory("\\E");
    card().AddFile("\\D\\A.ATR", Add("", 300), false, 0x2E36);
    card().AddFile("\\D\\B.ATR", Add("", 70000), /*readOnly=*/true);
    card().AddFile("\\X\\LOCKED.ATR", Add("", 10), true);
    card().AddDirectory("\\D\\SUB");
    const std::pair<std::string, size_t> files[] = {
        {"\\X\\A.ATR", 10},          {"\\OLD\\X\\B.ATR", 10},    {"\\ROOT.ATR", 10},      {"\\T\\NOTES.TXT", 10},
        {"\\TESTS\\CABLE003.ATR", 20000}, {"\\T\\C.ATR", 20000}, {"\\A.ATR", 40000},     {"\\BIG.ATR", 40000},
        {"\\W\\BIG.ATR", 70000},     {"\\TESTS\\SHORT.ATR", 30}, {"\\TESTS\\LONG.ATR", 500}, {"\\T\\A.ATR", 1200},
        {"\\T\\B.ATR", 0},           {"\\W\\SMALL.ATR", 50},     {"\\U\\MAX", kxsim::kMaxWalkFile}, {kP127 + kN127, 5}};
    for (const auto& [path, size] : files) Add(path, size);
  }
  kxsim::Card& card() { return scanner.card(); }
  // A file of `size` pattern bytes, put on the card at `path` unless that is empty; the
  // card's free space counts it in 512-byte clusters.
  Bytes Add(const std::string& path, size_t size) {
    const Bytes data = Pattern(size, static_cast<uint32_t>(path.size() + size));
    if (!path.empty()) card().AddFile(path, data);
    files_[path] = data;
    used_ += static_cast<uint32_t>((size + 511) / 512 * 512);
    return data;
  }
  const Bytes& Data(const std::string& path) const { return files_.at(path); }

  std::map<std::string, Bytes> files_;  // by card path
  uint32_t used_ = 0;
  std::string dir_, local_;
};

using Step = std::function<void(CardCallTest&)>;
std::atomic<int> cancelAt{0};  // deliveries before a cancel, set by CancelOnDelivery
// area: the host's area afterwards (it starts as 0xEE bytes); sent: the requests, '|' between
// them ("#n": n requests; "*": any); local: the local file afterwards (nullopt: none); prep:
// faults for this call; after: further checks.
struct Row { const char* name; Call call; int result; uint32_t error; Bytes area; std::string sent;
             std::optional<Bytes> local; Step prep = nullptr, after = nullptr; };

void RunRows(CardCallTest& t, const std::vector<Row>& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    t.local_ = t.dir_ + "/f" + std::to_string(i);
    t.card().ClearRequests();
    if (row.prep) row.prep(t);
    CheckCall(row.call, t.local_, row.result, row.error, row.area);
    KXSetPumpHook(nullptr, nullptr);
    cancelAt = 0;
    t.card().ClearFaults();
    platform::ClearInjectedFailures();
    std::string sent;
    for (const Bytes& m : t.card().Requests()) sent.append(sent.empty() ? "" : "|").append(Summary(m));
    if (row.sent[0] == '#') sent = "#" + std::to_string(t.card().Requests().size());
    if (row.sent != "*") { EXPECT_EQ(sent, row.sent); }
    CheckLocal(t.local_, row.local);
    if (row.after) row.after(t);
  }
}

// The cancel button pressed as the `nth` response of the call is delivered (a trace hook
// may not call into the library, so it raises the flag as KXCancel does). The hook
// replaces the fixture's: rows after this one see no traces.
Step CancelOnDelivery(int nth = 1) {
  return [nth](CardCallTest&) {
    KXSetDebugLevel(DBG_TRACE);
    cancelAt = nth;
    KXSetTraceHook([](const char* text, void*) {
      if (std::strncmp(text, "Got MMC response Data.", 22) == 0 && --cancelAt == 0) CancelRequested.store(1);
    }, nullptr);
  };
}
Step Fail(platform::SysCall call, int err, uint32_t skip = 0) { return [=](auto&) { platform::InjectFailure(call, err, skip); }; }
Step Refuse(uint16_t cmd, uint16_t status, uint32_t skip = 0) { return [=](CardCallTest& t) { t.card().RefuseNext(cmd, status, 1, skip); }; }
Step Stall(uint32_t count, uint32_t skip = 0) { return [=](CardCallTest& t) { t.card().StallNextRead(count, skip); }; }

TEST_F(CardCallTest, DirectoriesInformationDeletesAndStatus) {
  const uint32_t notReady = KXERR_CARD_BASE + kxsim::kCardNotReady;
  const Bytes listed = Names({"F1.ATR", "F2.ATR", "F3.ATR", "F4.ATR", "F5.ATR", "F6.ATR", "F7.ATR", "F8.ATR", "OLD\\"});
  const std::string list = "12 \\L\\ *.* ";
  const uint16_t readOnly = kxsim::kAttrArchive | kxsim::kAttrReadOnly;
  const Bytes entries = Cat({Entry("A.ATR", kxsim::kAttrArchive, 300, 0x2E36), Entry("B.ATR", readOnly, 70000),
                             Entry("SUB", kxsim::kAttrDirectory, 0)});
  const std::vector<Row> rows = {
      {"a listing over responses of 5, 4 and no names", {Op::kList, "\\L\\", "*.*", 0x0102, 100}, 1, 0,
       Cat({listed, Keep(39)}), list + "0 258 128 1|" + list + "5 258 128 1|" + list + "9 258 128 1", {}},
      {"names that need exactly the area", {Op::kList, "\\L\\", "", 0, 61}, 1, 0, listed, "#3", {}},
      {"one byte less: the names before", {Op::kList, "\\L\\", "", 0, 60}, 0, KXERR_CARD_LIST_FULL,
       Cat({Head(listed, 56), Keep(5)}), "#2", {}},
      {"an area of negative size", {Op::kList, "\\L\\", "", 0, -1}, 0, KXERR_CARD_LIST_FULL, Keep(8), "#1", {}},
      {"an empty listing", {Op::kList, "\\E\\", "", 0, 16}, 0, 0, Keep(16), "12 \\E\\  0 0 128 1", {}},
      {"no area: nothing sent", {Op::kList, "\\E\\", "", 0, 16}, 0, 0, {}, "", {}},
      {"a count of files", {Op::kCount, "\\L\\", "*.*", 2}, 1, 0, Le({8}), "12 \\L\\ *.* 0 2 128 0", {}},
      {"a count in no directory", {Op::kCount, "\\NOSUCH\\"}, 0, kNotFound, Keep(2), "#1", {}},
      {"entries in an area one byte larger", {Op::kDirInfo, "\\D\\", "", 0, 67}, 1, 0, Cat({entries, Keep(1)}),
       "11 \\D\\  128", {}},
      {"entries in an area of their size", {Op::kDirInfo, "\\D\\", "", 0, 66}, 0, 0, Keep(80), "#1", {}},
      {"entries without an area", {Op::kDirInfo, "\\D\\", "", 0, 100}, 0, 0, {}, "", {}},
      {"entries without a response area", {Op::kDirInfo, "\\D\\", "", 0, 67}, 0, platform::kErrorNotEnoughMemory,
       Keep(67), "", {}, Fail(platform::SysCall::Alloc, ENOMEM)},
      {"file information", {Op::kFileInfo, "\\D\\", "B.ATR"}, 1, 0,
       Cat({Le({70000}, 4), Le({kxsim::kSampleDate, kxsim::kSampleTime, readOnly})}), "21 \\D\\ B.ATR", {}},
      {"no area for file information", {Op::kSize, "\\D\\", "A.ATR"}, 0, platform::kErrorNotEnoughMemory, Keep(4), "", {},
       Fail(platform::SysCall::Alloc, ENOMEM)},
      {"the size of no file", {Op::kSize, "\\D\\", "C.ATR"}, 0, kNotFound, Keep(4), "#1", {}},
      {"127 characters of path and name", {Op::kSize, kP127.c_str(), kN127.c_str()}, 1, 0, Le({5}, 4),
       "21 " + kP127 + " " + kN127, {}},
      {"a name of 128", {Op::kSize, kP127.c_str(), kN128.c_str()}, 0, kBad, Keep(4), "", {}},
      {"a path of 128 to a delete", {Op::kDelete, kD128.c_str() + 1, "A"}, 0, kBad, {}, "", {}},
      {"a path of 128 to a count", {Op::kCount, kN128.c_str()}, 0, kBad, Keep(2), "", {}},
      {"a name of 128 to a listing", {Op::kList, "", kN128.c_str(), 0, 9}, 0, kBad, Keep(9), "", {}},
      {"the card's status", {Op::kStatus}, 1, 0, Le({0}), "19", {}},
      {"the card's size and free space", {Op::kFigures}, 1, 0, Le({kCapacity, kCapacity - used_}, 4), "19", {}},
      {"a delete", {Op::kDelete, "\\X\\", "A.ATR", 0x0033}, 1, 0, {}, "17 \\X\\ A.ATR 51", {}},
      {"a refusal with the card's status", {Op::kDelete, "\\X\\", "LOCKED.ATR"}, 0, KXERR_CARD_BASE + 0x0ABC, {}, "#1",
       {}, Refuse(MMC_DELETE_FILE, 0x0ABC)},
      {"a cancel as a listing's response comes", {Op::kList, "\\L\\", "", 0, 100}, 0, KXERR_CANCELED, Keep(100), "#1",
       {}, CancelOnDelivery()},
      {"a count keeps what came with a cancel", {Op::kCount, "\\L\\"}, 1, KXERR_CANCELED, Le({9}), "#1", {},
       CancelOnDelivery()},
      {"no response area: the system's code", {Op::kCount}, 0, platform::kErrorNotEnoughMemory, Keep(2), "", {},
       Fail(platform::SysCall::Alloc, ENOMEM)},
      {"no message buffer: the library's code", {Op::kCount}, 0, KXERR_NO_MEMORY, Keep(2), "", {},
       Fail(platform::SysCall::Alloc, ENOMEM, 1)},
      {"a card not ready gives its status", {Op::kStatus}, 1, 0, Le({kxsim::kCardNotReady}), "19", {},
       [](auto& t) { t.card().SetStatusWord(kxsim::kCardNotReady); }},
      {"but not its figures", {Op::kFigures}, 0, notReady, Keep(8), "19", {}},
  };
  RunRows(*this, rows);
}

// The copies and the card command itself run over each line.
using CardCallLineTest = OverEachLine<CardCallTest>;
INSTANTIATE_TEST_SUITE_P(Lines, CardCallLineTest, testing::Values(Line::kSerial, Line::kUsb), LineName);

TEST_P(CardCallLineTest, CopiesHeadersAndTheWalk) {
  const Bytes& cable = Data("\\TESTS\\CABLE003.ATR");
  const std::string cablePath = "\\TESTS\\ CABLE003.ATR";
  const char* const cableFile = "\\TESTS\\CABLE003.ATR";
  const auto notFile = platform::kErrorFileNotFound;
  const std::vector<Row> rows = {
      {"20000 bytes in three pieces after the size", {Op::kRead, cableFile}, 1, 0, {},
       "21 " + cablePath + Reads(cablePath, {0, 7930, 15860}), cable},
      {"an empty piece: again at the same offset", {Op::kRead, "\\A.ATR"}, 1, 0, {},
       "21 \\ A.ATR" + Reads("\\ A.ATR", {0, 7930, 7930, 15860, 23790, 31720, 39650}), Data("\\A.ATR"), Stall(1, 1)},
      {"99 empty pieces after one with bytes", {Op::kRead, "\\A.ATR"}, 1, 0, {}, "#106", Data("\\A.ATR"), Stall(99, 1)},
      {"no such file: no local file", {Op::kRead, "\\NOSUCH.ATR"}, 0, kNotFound, {}, "21 \\ NOSUCH.ATR", {}},
      {"no backslash: a file in the root", {Op::kRead, "ROOT.ATR"}, 1, 0, {}, "21  ROOT.ATR" + Reads(" ROOT.ATR", {0}),
       Data("\\ROOT.ATR")},
      {"a final backslash: an empty name", {Op::kRead, "\\NODIR\\"}, 0, kNotFound, {}, "21 \\NODIR\\ ", {}},
      {"a directory part of 128", {Op::kRead, kD128.c_str()}, 0, kBad, {}, "", {}},
      {"a name of 128", {Op::kRead, kLongName.c_str()}, 0, kBad, {}, "", {}},
      {"no local file named", {Op::kRead, "\\ROOT.ATR", "", 0, kNoLocal}, 0, kBad, {}, "", {}},
      {"a local file is replaced", {Op::kRead, "\\ROOT.ATR"}, 1, 0, {}, "#2", Data("\\ROOT.ATR"),
       [](auto& t) { std::ofstream(t.local_) << std::string(5000, 'x'); }},
      {"a local file the system refuses", {Op::kRead, "\\ROOT.ATR"}, 0, platform::kErrorAccessDenied, {}, "#1", {},
       Fail(platform::SysCall::FileCreate, EACCES)},
      {"a failed write of a piece with status 0", {Op::kRead, cableFile}, 0, KXERR_CARD_BASE, {}, "#3",
       Head(cable, 7930), Fail(platform::SysCall::FileWrite, ENOSPC, 1)},
      {"a failed write of the last piece", {Op::kRead, cableFile}, 0, KXERR_CARD_BASE + 0x2000, {}, "#4",
       Head(cable, 15860), Fail(platform::SysCall::FileWrite, ENOSPC, 2)},
      {"a refused piece", {Op::kRead, cableFile}, 0, KXERR_CARD_BASE + 0x0123, {}, "#3", Head(cable, 7930),
       Refuse(MMC_READ_FILE, 0x0123, 1)},
      {"no area for the pieces", {Op::kRead, "\\ROOT.ATR"}, 0, platform::kErrorNotEnoughMemory, {}, "#1", {},
       Fail(platform::SysCall::Alloc, ENOMEM, GetParam() == Line::kUsb ? 3 : 2)},  // USB: one more, the frame
      {"a cancel as the size comes", {Op::kRead, cableFile}, 0, KXERR_CANCELED, {}, "#1", {}, CancelOnDelivery(1)},
      {"a cancel with the first piece", {Op::kRead, cableFile}, 0, KXERR_CANCELED, {}, "#2", Head(cable, 7930),
       CancelOnDelivery(2)},
      {"a cancel with the last piece", {Op::kRead, cableFile}, 1, KXERR_CANCELED, {}, "#4", cable, CancelOnDelivery(4)},
      {"a card that sends no bytes: 100 pieces", {Op::kRead, "\\ROOT.ATR"}, 0, KXERR_RESPONSE_TIMEOUT, {}, "#101",
       Bytes{}, Stall(1000)},
      {"the header of a 30-byte file", {Op::kHeader, "\\TESTS\\", "SHORT.ATR"}, 1, 0,
       Cat({Data("\\TESTS\\SHORT.ATR"), Bytes(19, 0), Keep(11)}), "15 \\TESTS\\ SHORT.ATR 0 0 49", {}},
      {"the header of a longer file", {Op::kHeader, "\\TESTS\\", "LONG.ATR"}, 1, 0,
       Cat({Head(Data("\\TESTS\\LONG.ATR"), 49), Keep(11)}), "#1", {}},
      {"the header of no file", {Op::kHeader, "\\TESTS\\", "NONE"}, 0, kNotFound, Keep(60), "#1", {}},
      {"a header without an area", {Op::kHeader, "\\TESTS\\", "LONG.ATR"}, 0, kBad, {}, "", {}},
      {"the walk's first file", {Op::kFirst, "\\T\\", "*.ATR"}, 1, 0, Found("A.ATR"), "27 \\T\\ *.ATR 128",
       Data("\\T\\A.ATR")},
      {"an empty next file", {Op::kNext}, 1, 0, Found("B.ATR"), "28", Bytes{}},
      {"a next file of 20000 bytes", {Op::kNext}, 1, 0, Found("C.ATR"), "28", Data("\\T\\C.ATR")},
      {"no further file", {Op::kNext}, 0, KXERR_CARD_BASE + kxsim::kCardNoMoreFiles, Keep(137), "28", Bytes{}, nullptr,
       [](auto& t) { EXPECT_TRUE(t.card().WalkOpen()); }},
      {"the walk's end", {Op::kClose}, 1, 0, {}, "29", {}, nullptr, [](auto& t) { EXPECT_FALSE(t.card().WalkOpen()); }},
      {"a file too large for one response", {Op::kFirst, "\\W\\"}, 0, KXERR_RECORD_TOO_LARGE, Found("BIG.ATR"), "#1",
       Bytes{}},
      {"and the walk goes on", {Op::kNext}, 1, 0, Found("SMALL.ATR"), "28", Data("\\W\\SMALL.ATR")},
      {"the largest file one response carries", {Op::kFirst, "\\U\\"}, 1, 0, Found("MAX"), "#1", Data("\\U\\MAX")},
      {"a first file into an unmakeable file", {Op::kFirst, "\\T\\", "", 0, kUnmakeable}, 0, notFile,
       Keep(137), "", {}},
      {"a next file into an unmakeable file", {Op::kNext, "", "", 0, kUnmakeable}, 0, notFile, Keep(137), "", {}},
      {"a first file with a path of 128", {Op::kFirst, kN128.c_str()}, 0, kBad, Keep(137), "", {}},
      {"a first file without a local file", {Op::kFirst, "\\T\\", "", 0, kNoLocal}, 0, kBad, Keep(137), "", {}},
      {"no area for a walk", {Op::kFirst, "\\T\\"}, 0, platform::kErrorNotEnoughMemory, Keep(137), "", {},
       Fail(platform::SysCall::Alloc, ENOMEM)},
      {"a found file that cannot be written", {Op::kFirst, "\\T\\"}, 0, KXERR_CARD_BASE + 0x2000, Found("A.ATR"), "#1",
       Bytes{}, Fail(platform::SysCall::FileWrite, ENOSPC)},
      {"a cancel with a found file", {Op::kFirst, "\\T\\"}, 0, KXERR_CANCELED, Keep(137), "#1", Bytes{},
       CancelOnDelivery(1)},
      {"an end of the walk refused", {Op::kClose}, 0, KXERR_CARD_BASE + 0x0077, {}, "29", {},
       Refuse(MMC_CLOSE_FILE, 0x0077)},
  };
  RunRows(*this, rows);
}

// KXAccessMMC itself: the request as sent, the response as delivered, and the exchange's
// failures and cancels.
TEST_P(CardCallLineTest, AccessMMC) {
  const Bytes info = Cat({Bytes{14, 0, 21, 0, 0, 0, 0, 0, 0, 0, '\\'}, Bytes(127, 0), Text("ROOT.ATR"), Bytes(120, 0)});
  const Bytes status = CardResponse(0, 0, 0, Le({kCapacity, kCapacity - used_}, 4));
  const Bytes rootInfo = CardResponse(
      0, 0, 0, Cat({Le({10}, 4), Le({kxsim::kSampleDate, kxsim::kSampleTime, kxsim::kAttrArchive})}));
  auto access = [](const char* name, int32_t length, uint32_t capacity, uint16_t command = MMC_CARD_STATUS) {
    return Call{Op::kAccess, "\\", name, command, length, capacity};
  };
  const std::vector<Row> rows = {
      {"a request without a block is a bare header", access(nullptr, 0, 18), 1, 0, status, "19", {}, nullptr,
       [](auto& t) { EXPECT_EQ(t.served->Stats().lastRequest, (Bytes{14, 0, 19, 0, 0, 0, 0, 0, 0, 0})); }},
      {"a request block follows the header", access("ROOT.ATR", 256, 20, MMC_FILE_INFO), 1, 0, rootInfo,
       "21 \\ ROOT.ATR", {}, nullptr, [&info](auto& t) { EXPECT_EQ(t.served->Stats().lastRequest, info); }},
      {"a block of 65536 bytes", access("", 65536, 18), 0, KXERR_INVALID_FUNCTION, Keep(18), "", {}},
      {"a block of negative length", access("", -1, 18), 0, KXERR_INVALID_FUNCTION, Keep(18), "", {}},
      {"a length without a block", access(nullptr, 5, 18), 0, KXERR_INVALID_FUNCTION, Keep(18), "", {}},
      {"no response area", access(nullptr, 0, 18), 0, KXERR_BAD_MEMORY_HANDLE, {}, "19", {}},
      {"a cancel while the answer is awaited", access(nullptr, 0, 18), 0, KXERR_CANCELED, Keep(18), "*", {},
       [](auto& t) { KXSetPumpHook([](void* s) {
         if (static_cast<kxsim::InstrumentServer*>(s)->Stats().messagesReceived >= 1) KXCancel(); }, t.served); }},
      {"a cancel after the answer keeps it", access(nullptr, 0, 18), 1, KXERR_CANCELED, status, "19", {},
       CancelOnDelivery()},
  };
  RunRows(*this, rows);
}

// An instrument that never answers, or refuses every packet: 60 tries (a second of
// silence each, in library time), then the exchange's own code.
class SilentCardCallTest : public CardCallTest {
 protected:
  void Configure(kxsim::ServerOptions& options) override { options.clock = [] { return platform::TickCount(); }; }
};

TEST_F(SilentCardCallTest, SixtyTriesThenTheExchangesCode) {
  platform::SetClockSpeed(100);
  KXSetDebugLevel(DBG_TRACE);
  for (const auto& [fault, code, tried] :
       {std::tuple{kxsim::FaultKind::kDropReply, KXERR_RESPONSE_TIMEOUT, " KXWaitMessage Error - Failure in WaitPacket \n"},
        {kxsim::FaultKind::kNakGoodFrame, KXERR_NO_SCANNER, " SendMessage Error - SendPacket Failed \n"}}) {
    served->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultAtRate(fault, 1.0)));
    ClearTraces();
    CheckCall({Op::kAccess, "\\", nullptr, MMC_CARD_STATUS, 0, 18}, "", 0, code, Keep(18));
    EXPECT_EQ(CountTrace(tried), 60);
  }
}

}  // namespace
