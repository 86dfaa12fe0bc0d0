// Autotests against the simulated instrument where a generated one would not go: formats
// that run past the record, a limit found nowhere, explode stopped, the log, configuration
// from a local file, a damaged or full limit table.
#include "convert/autotest_walk.h"
#include "convert/instrument_config.h"
#include "convert/limits.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "tests/support/conversion_fixture.h"
#include "tests/support/frames.h"
#include "wire/byte_order.h"

namespace {

using testsupport::Bytes;

struct Entry {
  uint16_t tag, size;
  uint8_t conversion;
};
constexpr Entry kFixed28{1, 28, CONV_NOT_SAVED}, kNormal{0, 0, 253}, kBits{0, 0, 254};
Entry Short(uint16_t tag) { return {tag, 2, CONV_SHORT}; }
Entry Bit(uint16_t tag) { return {tag, 1, CONV_CTOA}; }
using testsupport::Cat;

// A limit record: its name, then 50 points valued 1, 2, ...; the `end`th is the terminating one.
Bytes Limit(const std::string& name, int end) {
  Bytes r(318, 0);
  std::memcpy(r.data(), name.data(), name.size());
  for (int i = 0; i < 50; ++i) PutU16(&r[22 + i * 6], i + 1 == end ? 0x8001 : i + 1);
  return r;
}

class AutotestTest : public testsupport::ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    scanner_.PutRecord(kxsim::kRecPortSettings, 0, {0, 0, 0, 5});  // 9600 baud
    server_.Start();
    uint32_t error = 0;
    ASSERT_EQ(KXOpen(server_.ComName().c_str(), "9600", &error), 1);
    std::memcpy(DataFormatRecord + kCopperPrintFormatName, "KX0500", 6);
    std::memcpy(DataFormatRecord + kFiberPrintFormatName, "KY0500", 6);
    std::memcpy(UserPrefRecord + kUserPrefOwnerName, "Owner A", 7);
    ASSERT_TRUE(OpenDatFile("at.dat", 0, &file_, &header_) && PrepareDatAppend(file_, header_, &error));
    DebugLevel = DBG_TRACE;
  }
  void TearDown() override {
    platform::FileClose(file_);
    ConversionTest::TearDown();
  }
  static void LoadFormat(const char* version, uint16_t recordType, const std::vector<Entry>& entries) {
    std::memset(VersionInfo, 0, sizeof VersionInfo);
    std::memcpy(VersionInfo, version, strnlen(version, sizeof VersionInfo - 1));
    for (size_t i = 0; i < entries.size(); ++i) {
      PutU16(FormatEntryBuffer + i * 8, entries[i].tag);
      PutU16(FormatEntryBuffer + i * 8 + 2, entries[i].size);
      FormatEntryBuffer[i * 8 + 5] = entries[i].conversion;
    }
    ComputeRecordLayout(FormatEntryCount = static_cast<uint16_t>(entries.size()), recordType);
  }
  // Converts the record exploded as `exploded`: 4 bytes of it the plain prefix when 2 or more
  // remain for the body, the rest imploded, of which the last `cut` bytes are lost.
  int16_t Process(const Bytes& exploded, uint16_t recordType, uint32_t* error, size_t cut = 0) {
    const auto prefix = static_cast<uint8_t>(exploded.size() >= 6 ? 4 : 0);
    raw_ = Cat(Cat(Bytes{prefix, 0}, Bytes(exploded.begin(), exploded.begin() + prefix)),
               Stored(Bytes(exploded.begin() + prefix, exploded.end())));
    raw_.resize(raw_.size() - cut);
    MemStream.source = raw_.data();
    MemStream.sourceRemaining = static_cast<uint32_t>(raw_.size());
    return ProcessATResult(static_cast<int32_t>(raw_.size()), file_, recordType, error);
  }
  kxsim::Scanner scanner_;
  kxsim::PtyServer server_{scanner_};
  Bytes raw_;
  platform::FileHandle file_ = platform::kNoFile;
  DatFileHeader header_{};
};

// Formats that call for more than the record holds, or for a code without a rule, write
// nothing: no index entry, no byte.
TEST_F(AutotestTest, FormatsThatRunPastTheRecordWriteNothing) {
  const std::vector<Entry> bits{kNormal, kBits, Bit(20), Bit(21), Bit(22), Bit(23), Bit(24)},
      sweep{{40, 2, CONV_SWEEP_BITS}, {41, 2, CONV_SWEEP_LENGTH}, kNormal, kBits, {42, 0, CONV_SWEEP_DATA}};
  const Bytes zeros(28, 0), sweepHead = Cat({1, 0, 2, 0}, zeros);  // attenuation, 2 points of 8 bytes
  const struct {
    const char* name;
    uint16_t recordType;
    std::vector<Entry> entries;
    Bytes record;
    uint32_t error;
  } rows[] = {
      {"a code without a rule", 3841, {Short(30), {31, 1, 200}}, {1, 0, 2}, KXERR_VERSION_MISMATCH},
      {"value bytes past the end", 3841, {{30, 4, CONV_LONG}}, {1, 2, 3}, KXERR_AUTOTEST_LOAD},
      {"type-area byte past the end", 3874, {kNormal, Short(11), kBits}, {1, 0}, KXERR_AUTOTEST_LOAD},
      {"bit byte past the end", 3874, bits, {0x00}, KXERR_AUTOTEST_LOAD},
      {"type area skipped past the end", 3841, {kFixed28, kNormal, Short(1), Short(2), Short(3), kBits},
       Cat(zeros, {0}), KXERR_AUTOTEST_LOAD},
      {"sweep blocks past the end", 3874, sweep, Cat(sweepHead, Bytes(15, 7)), KXERR_AUTOTEST_LOAD},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    SetScannerModelName("VEXAScanner");
    LoadFormat("V06.11", row.recordType, row.entries);
    const uint32_t entries = DatRecordCount, position = DatWritePosition;
    uint32_t error = 0;
    EXPECT_EQ(Process(row.record, row.recordType, &error), 0);
    EXPECT_EQ(std::tie(error, DatRecordCount, DatWritePosition), std::make_tuple(row.error, entries, position));
  }
  EXPECT_TRUE(ReadFile("at.dat").empty());
}

TEST_F(AutotestTest, ExplodeAbortAndTheLog) {
  uint32_t error = 0;
  SetScannerModelName("VEXAScanner");
  // Explode stops for want of input: what was decoded is converted, and logged.
  DebugLevel = DBG_TRACE | DBG_LOGFILE;
  ASSERT_EQ(OpenConversionLog(), 1);
  SaveRecordNumber = 3;
  LoadFormat("V03.50", 3841, {{1, 4, CONV_NOT_SAVED}, Short(208)});
  ASSERT_EQ(Process(Cat({0, 0, 0, 0, 0x39, 0x30}, Bytes(12, 0x55)), 3841, &error, 1), 1);
  EXPECT_EQ(CountTrace("    Ignoring ABORT during Explode "), 1);
  CloseConversionLog();
  const std::string log = LogText(), start = "  #   XTG ID   Offset\n 0000  0001     0000 \n 0000  00d0     0004 \n"
      "DataType Offset = 0, BitIDOffset = 0 (0) SweepOffset = 0x1c (0x1c)\n\nRecord Number: 2  \n000000 | 00 00 00 00 39 30";
  EXPECT_EQ(log.substr(0, start.size()), start);
  EXPECT_NE(log.find("--- -----      ----- ------------------------       ----- -----------------\n"
                     "04 <NOT SAVED>  0001 XTG_VERSION_SW                  0001 ID_VERSION_SW           \n"
                     "02 12345        00d0 XTG_LENGTH_VALUE1               0029 ID_LENGTH_PAIR1         \n"
                     "00 KX0500E.PTF  07d0 XTG_PRINT_FORMAT                0000                         \n"
                     "00 VEXAScanner  01c7 XTG_SCANNER_IDENT               0000                         \n"
                     "00 Owner A      0052 XTG_UPREF_OWNERNAME             0000                         \n"
                     "Writing Limits\n\n \n"),
            std::string::npos);
  raw_[6] = 7;  // the body's literal mode: neither binary nor ASCII
  EXPECT_EQ(ProcessATResult(static_cast<int32_t>(raw_.size()), file_, 3841, &error), 0);
  EXPECT_EQ(std::tie(error, DatRecordCount), std::make_tuple(KXERR_AUTOTEST_LOAD, 1u));
}

TEST_F(AutotestTest, ConfigurationFromLocalFileOrInstrument) {
  Bytes dataFormat(74, 0), prefs(82, 0);
  std::memcpy(&dataFormat[0], "KX0600.PDF", 10);
  prefs[45] = 2;
  for (const auto& [type, record] : {std::pair{772, dataFormat}, {131, testsupport::TextBytes("V06.11")}, {773, Stored(Bytes(59, 1))}}) {
    scanner_.PutRecord(type, 0, record);  // a format of 7 entries and 3 bytes more
  }
  const struct {
    uint16_t recordType;
    const char* localFile;  // 1001 bytes (125 entries) imploded, refused when write-protected
    bool writeProtected;
    uint16_t entries, progress;
    std::vector<std::string> traces;
  } rows[] = {
      {3841, "", false, 0, 12, {"  Failed read of USER_UPREF_RECORD\n"}},
      {3841, "KX0600.PDF", false, 125, 14, {"Using Local PDF_FORMAT_REC KX0600.PDF\n"}},
      {3841, "KX0600.PDF", true, 7, 14, {"Couldn't Open Local PDF.BIN \n", "Using Scanner's PDF_FORMAT_REC\n"}},
      {3877, "kz0600.pdf", false, 125, 14, {"Using Local PDF_FORMAT_REC kz0600.pdf\n"}},
      {3874, "", false, 0, 13, {"Scanner doesn't have PDF_FIBER_FORMAT_REC\n", "  Couldn't find a Fiber PDF File \n"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.recordType) + row.localFile);
    if (*row.localFile) WriteFile(row.localFile, Stored(Bytes(1001, 3)));
    if (row.writeProtected) platform::InjectFailure(platform::SysCall::FileOpen, EACCES);
    ClearTraces();
    uint32_t error = 1;
    uint16_t progress = 10;
    EXPECT_EQ(LoadInstrumentConfiguration(&error, row.recordType, &progress), row.entries ? 1 : 0);
    EXPECT_EQ(std::tie(FormatEntryCount, error, progress, LanguageIndex),
              std::make_tuple(row.entries, row.entries ? 0 : KXERR_RECORD_NOT_FOUND, row.progress,
                              uint8_t(&row == rows ? 0 : 2)));
    for (const std::string& line : row.traces) EXPECT_EQ(CountTrace(line), 1) << line;
    if (*row.localFile) std::filesystem::remove(row.localFile);
    scanner_.PutRecord(3848, 0, prefs);  // from the second row on
  }
}

TEST_F(AutotestTest, LimitTableReadSearchedFetchedAndWritten) {
  const Bytes n1 = Limit("N1", 3), n2 = Limit("N2", 0), blankA2 = Limit("A2", 4), x = Limit("X", 1);
  Bytes tooLong = Limit("L", 5);
  tooLong.resize(320, 0xAB);  // two bytes more than a slot holds
  for (const auto& [type, record] : std::vector<std::pair<uint16_t, Bytes>>{
           {3862, n1}, {3862, n2}, {3866, Limit("", 2)}, {3866, Limit("A2", 2)}, {3867, blankA2}, {3867, x}, {3867, tooLong}}) {
    scanner_.AddRecord(type, record, Bytes(record.begin(), record.begin() + 17));
  }
  uint16_t progress = 1;
  uint32_t error = 1;
  GetLimitRecords(&progress, &error);
  EXPECT_EQ(std::tie(error, progress, LimitCount), std::make_tuple(0u, uint16_t{10}, 7u));  // N1 N2 | "" A2 | A2 X L
  EXPECT_EQ(CountTrace("   Got 2 NEXT Limits \n") + CountTrace("   Got 0 PSNEXT Limits \n") +
                CountTrace("   Got 3 BLANK Limits \n") + CountTrace(" Got 7 Limits \n"), 4);
  EXPECT_EQ(Bytes(LimitTable + 6 * 320 + 2, LimitTable + 7 * 320), Bytes(tooLong.begin(), tooLong.begin() + 318));
  EXPECT_EQ(GetU16(LimitTable + 7 * 320), 0);  // the next slot untouched
  EXPECT_EQ(FindLimit(3862, "Z"), kNoLimitSlot);
  EXPECT_EQ(CountTrace("Error - Couldn't find Limit Z\n"), 1);
  // A limit fetched by name stays in the table: found again when the instrument has lost it.
  LimitCount = 0;
  EXPECT_EQ(FindLimit(3866, "A2"), 0);
  for (const auto& record : scanner_.Records(3866)) scanner_.RemoveRecord(3866, record.number);
  EXPECT_EQ(std::make_pair(FindLimit(3866, "A2"), LimitCount), std::make_pair(0, 1u));
  LimitCount = 409;  // a full table fetches nothing
  EXPECT_EQ(std::make_pair(FindLimit(3862, "N1"), LimitCount), std::make_pair(kNoLimitSlot, 409u));
}

}  // namespace
