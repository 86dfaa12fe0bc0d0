// Whole autotests: the configuration loaded from the simulated instrument (or a local
// format file), the record layout, the walk over hand-built formats and records, the
// trailer, the limit table and the conversion log.
#include <sys/stat.h>
#include <unistd.h>

#include "convert/autotest_state.h"
#include "convert/autotest_walk.h"
#include "convert/instrument_config.h"
#include "convert/limits.h"
#include "platform/platform.h"
#include "wire/byte_order.h"
#include "tests/support/conversion_fixture.h"
#include "tests/support/frames.h"
#include "tests/support/scanner_session.h"

namespace testsupport {
void PrintTo(const Item& item, std::ostream* os) {
  *os << item.tag << ":\"" << std::string(item.value.begin(), item.value.end()) << "\"";
}
}  // namespace testsupport

namespace {

using testsupport::Bytes;
using testsupport::Item;
using testsupport::Record;

struct Entry {
  uint16_t tag, size;
  uint8_t scale, conversion;
  uint16_t precision;
};
constexpr Entry kFixed28{1, 28, 0, CONV_NOT_SAVED, 0}, kNormal{0, 0, 0, 253, 0}, kBits{0, 0, 0, 254, 0};
Entry Short(uint16_t tag) { return {tag, 2, 0, CONV_SHORT, 0}; }
Entry Bit(uint16_t tag) { return {tag, 1, 0, CONV_CTOA, 0}; }

Bytes EntryBytes(const std::vector<Entry>& entries) {
  Bytes out(entries.size() * 8);
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    testsupport::PutLE(out, i * 8, e.tag, 2);
    testsupport::PutLE(out, i * 8 + 2, e.size, 2);
    out[i * 8 + 4] = e.scale;
    out[i * 8 + 5] = e.conversion;
    testsupport::PutLE(out, i * 8 + 6, e.precision, 2);
  }
  return out;
}

void LoadFormat(const char* version, uint16_t recordType, const std::vector<Entry>& entries) {
  std::memset(VersionInfo, 0, sizeof VersionInfo);
  std::memcpy(VersionInfo, version, std::strlen(version));
  const Bytes bytes = EntryBytes(entries);
  std::memcpy(FormatEntryBuffer, bytes.data(), bytes.size());
  FormatEntryCount = static_cast<uint16_t>(entries.size());
  ComputeRecordLayout(FormatEntryCount, recordType);
}

Item T(uint16_t tag, const std::string& text) { return {tag, testsupport::TextBytes(text)}; }

// A limit record: name, then points whose value fields are 1, 2, ... up to `points`
// (the last the terminating point), or 50 plain points when `points` is 0.
Bytes LimitRecord(const std::string& name, int points) {
  Bytes r(318, 0);
  std::memcpy(r.data(), name.data(), name.size());
  for (int i = 0; i < (points ? points : 50); ++i) {
    testsupport::PutLE(r, 18 + i * 6 + 4, i + 1 == points ? 0x8001 : static_cast<uint32_t>(i + 1), 2);
  }
  return r;
}
Bytes Points(const Bytes& record, int count) { return Bytes(record.begin() + 18, record.begin() + 18 + count * 6); }

// ---- the walk, the trailer and the index --------------------------------------------------

class WalkTest : public testsupport::ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    std::memcpy(DataFormatRecord + kCopperPrintFormatName, "KX0500", 6);
    std::memcpy(DataFormatRecord + kFiberPrintFormatName, "KY0500", 6);
    std::memcpy(UserPrefRecord + kUserPrefOwnerName, "Owner A", 7);
    SetScannerModelName("VEXAScanner");
    ASSERT_EQ(OpenDatFile("at.dat", 0, &file_, &header_), 1);
    uint32_t error = 0;
    ASSERT_EQ(PrepareDatAppend(file_, header_, &error), 1);
  }
  void TearDown() override {
    platform::FileClose(file_);
    ConversionTest::TearDown();
  }

  // The raw record of an exploded one: its first 4 bytes as the plain prefix when 2 or
  // more remain for the body (explode wants at least 5 bytes of stream), the rest imploded.
  static Bytes Raw(const Bytes& exploded) {
    const size_t prefix = exploded.size() >= 6 ? 4 : 0;
    Bytes raw{static_cast<uint8_t>(prefix), 0};
    raw.insert(raw.end(), exploded.begin(), exploded.begin() + prefix);
    const Bytes body = testsupport::ImplodeBytes(Bytes(exploded.begin() + prefix, exploded.end()));
    raw.insert(raw.end(), body.begin(), body.end());
    return raw;
  }

  int16_t Process(const Bytes& raw, uint16_t recordType, uint32_t* error) {
    MemStream.source = raw.data();
    MemStream.sourceRemaining = static_cast<uint32_t>(raw.size());
    return ProcessATResult(static_cast<int32_t>(raw.size()), file_, recordType, error);
  }

  static Record Trailer(uint16_t recordType, const std::string& ident = "VEXAScanner") {
    if (recordType == 3874) return {T(5005, "<"), T(5006, "<"), T(2000, "KY0500E.PTF"), T(455, ident), T(82, "Owner A")};
    return {T(2000, "KX0500E.PTF"), T(455, ident), T(82, "Owner A")};
  }

  platform::FileHandle file_ = platform::kNoFile;
  DatFileHeader header_{};
};

struct WalkRow {
  const char* name;
  const char* version;
  uint16_t recordType;
  std::vector<Entry> entries;
  Bytes record;
  Record items;  // before the trailer
  uint32_t error = 0;
};

const Bytes kZeros28(28, 0);
Bytes Cat(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

TEST_F(WalkTest, ValuesTakenByWalkModeAndLayoutAndFormatsThatRunPastTheRecordWriteNothing) {
  const auto typed = std::vector<Entry>{kFixed28, kNormal, Short(11), Short(12), kBits};
  const auto fiveBits = std::vector<Entry>{kNormal, kBits, Bit(20), Bit(21), Bit(22), Bit(23), Bit(24)};
  const auto sweep = std::vector<Entry>{{40, 2, 0, CONV_SWEEP_BITS, 0}, {41, 2, 0, CONV_SWEEP_LENGTH, 0}, kNormal,
                                        kBits, {42, 0, 0, CONV_SWEEP_DATA, 0}};
  const Bytes sweepHead = Cat({1, 0, 2, 0}, Bytes(28, 0));  // attenuation only, 2 points of 8 bytes
  const WalkRow rows[] = {
      {"packed blank takes no bytes", "V06.11", 3841, typed, Cat(kZeros28, {0x10, 0x34, 0x12}), {T(12, "4660")}},
      {"classic blank takes its size", "V03.50", 3841, typed, Cat(kZeros28, {0x99, 0x99, 0x34, 0x12, 0x10, 0}),
       {T(12, "4660")}},
      {"type pair 0x2B: dash, invisible", "V06.11", 3841, typed, Cat(kZeros28, {0x2B, 1, 0, 2, 0}), {T(11, "---")}},
      {"bit byte 0x06, fifth bit from the next", "V06.11", 3874, fiveBits, {0x06, 0x01},
       {T(21, "1"), T(22, "0"), T(23, "0"), T(24, "1")}},
      {"sweep data 28 bytes after the bit area", "V06.11", 3874, sweep, Cat(sweepHead, Bytes(16, 7)),
       {T(40, "1"), T(630, "2"), {632, Bytes(16, 7)}}},
      {"a code without a rule", "V06.11", 3841, {Short(30), {31, 1, 0, 200, 0}}, {1, 0, 2}, {}, KXERR_VERSION_MISMATCH},
      {"value bytes past the end", "V06.11", 3841, {{30, 4, 0, CONV_LONG, 0}}, {1, 2, 3}, {}, KXERR_AUTOTEST_LOAD},
      {"type-area byte past the end", "V06.11", 3874, {kNormal, Short(11), kBits}, {1, 0}, {}, KXERR_AUTOTEST_LOAD},
      {"bit byte past the end", "V06.11", 3874, fiveBits, {0x00}, {}, KXERR_AUTOTEST_LOAD},
      {"type area skipped past the end", "V06.11", 3841, {kFixed28, kNormal, Short(1), Short(2), Short(3), kBits},
       Cat(kZeros28, {0}), {}, KXERR_AUTOTEST_LOAD},
      {"sweep blocks past the end", "V06.11", 3874, sweep, Cat(sweepHead, Bytes(15, 7)), {}, KXERR_AUTOTEST_LOAD},
  };
  for (const WalkRow& row : rows) {
    SCOPED_TRACE(row.name);
    LoadFormat(row.version, row.recordType, row.entries);
    const uint32_t entriesBefore = DatRecordCount, positionBefore = DatWritePosition;
    uint32_t error = 0;
    const int16_t result = Process(Raw(row.record), row.recordType, &error);
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(result, row.error == 0 ? 1 : 0);
    if (row.error == 0) {
      Record expected = row.items;
      for (const Item& item : Trailer(row.recordType, row.recordType == 3874 ? "VEXAFiber" : "VEXAScanner")) {
        expected.push_back(item);
      }
      EXPECT_EQ(BuiltItems(), expected);
      EXPECT_EQ(DatRecordCount, entriesBefore + 1);
      EXPECT_EQ(GetDatIndexEntry(entriesBefore).fileOffset, positionBefore);
    } else {
      EXPECT_EQ(DatRecordCount, entriesBefore);
      EXPECT_EQ(DatWritePosition, positionBefore);
    }
    SetScannerModelName("VEXAScanner");
  }
  EXPECT_EQ(ReadFile("at.dat").size(), DatWritePosition);  // the records written, nothing more
}

TEST_F(WalkTest, TrailerNamesFiberInstrumentsAndCarriesOlbAndLimitCurves) {
  DebugLevel = DBG_TRACE;
  // A fiber identification that begins with the nine letters in any case stays; an OLB
  // value above 0 turns both OLB items to "OLB =".
  LoadFormat("V06.11", 3874, {{50, 2, 0, CONV_OLB, 0}});
  SetScannerModelName("vexaFIBER SM");
  uint32_t error = 0;
  ASSERT_EQ(Process(Raw({5, 0}), 3874, &error), 1);
  EXPECT_EQ(BuiltItems(), (Record{T(50, "5"), T(5005, "OLB ="), T(5006, "OLB ="), T(2000, "KY0500E.PTF"),
                                  T(455, "vexaFIBER SM"), T(82, "Owner A")}));
  // A copper autotest names two limits; one is in the table, the other nowhere: its curve
  // is written, the record too, and the missing one is reported.
  const Bytes n1 = LimitRecord("N1", 3);
  PutU16(LimitTable, 3862);
  std::memcpy(LimitTable + 2, n1.data(), n1.size());
  LimitCount = 1;
  SetScannerModelName("VEXAScanner");
  LoadFormat("V06.11", 3841, {{618, 18, 0, CONV_LIMIT_NAME, 0}, {619, 18, 0, CONV_LIMIT_NAME, 0}});
  Bytes names(36, 0);
  std::memcpy(&names[0], "N1", 2);
  std::memcpy(&names[18], "Q", 1);
  ASSERT_EQ(Process(Raw(names), 3841, &error), 1);
  EXPECT_EQ(error, KXERR_FILE_WRITE);
  Record expected{T(618, "N1"), T(619, "Q")};
  for (const Item& item : Trailer(3841)) expected.push_back(item);
  expected.push_back({661, Points(n1, 3)});
  EXPECT_EQ(BuiltItems(), expected);
  EXPECT_EQ(CountTrace("Error - Couldn't find Limit Q\n"), 1);
}

TEST_F(WalkTest, ExplodeAbortConvertsWhatWasDecodedAndOtherFailuresWriteNothing) {
  DebugLevel = DBG_TRACE;
  LoadFormat("V03.50", 3841, {{1, 4, 0, CONV_NOT_SAVED, 0}, Short(11)});
  Bytes raw = Raw(Cat({0, 0, 0, 0, 0x39, 0x30}, Bytes(12, 0x55)));
  raw.pop_back();  // the end of the stream, and its end marker, are lost
  uint32_t error = 0;
  ASSERT_EQ(Process(raw, 3841, &error), 1);
  EXPECT_EQ(CountTrace("    Ignoring ABORT during Explode "), 1);
  EXPECT_EQ(BuiltItems().at(0), T(11, "12345"));
  raw[6] = 7;  // the body's literal mode: neither binary nor ASCII
  EXPECT_EQ(Process(raw, 3841, &error), 0);
  EXPECT_EQ(error, KXERR_AUTOTEST_LOAD);
  EXPECT_EQ(Process(Bytes{200, 0, 1, 2}, 3841, &error), 0);  // a prefix longer than the record
  EXPECT_EQ(error, KXERR_AUTOTEST_LOAD);
  EXPECT_EQ(DatRecordCount, 1u);
}

TEST_F(WalkTest, LogShowsLayoutDumpItemsAndTrailerInTheirFormats) {
  DebugLevel = DBG_LOGFILE;
  ASSERT_EQ(OpenConversionLog(), 1);
  SaveRecordNumber = 3;
  LoadFormat("V03.50", 3841, {Short(208)});
  uint32_t error = 0;
  ASSERT_EQ(Process(Raw({0x39, 0x30}), 3841, &error), 1);
  CloseConversionLog();
  const std::string log = LogText();
  const std::string layout =
      "  #   XTG ID   Offset\n"
      " 0000  00d0     0000 \n"
      "DataType Offset = 0, BitIDOffset = 0 (0) SweepOffset = 0x1c (0x1c)\n\n"
      "Record Number: 2  \n000000 | 39 30";
  EXPECT_EQ(log.substr(0, layout.size()), layout);
  const std::string items =
      "--- -----      ----- ------------------------       ----- -----------------\n"
      "02 12345        00d0 XTG_LENGTH_VALUE1               0029 ID_LENGTH_PAIR1         \n"
      "00 KX0500E.PTF  07d0 XTG_PRINT_FORMAT                0000                         \n"
      "00 VEXAScanner  01c7 XTG_SCANNER_IDENT               0000                         \n"
      "00 Owner A      0052 XTG_UPREF_OWNERNAME             0000                         \n"
      "Writing Limits\n\n \n";
  ASSERT_GE(log.size(), items.size());
  EXPECT_EQ(log.substr(log.size() - items.size()), items);
}

// ---- layout -----------------------------------------------------------------------------

TEST_F(WalkTest, LayoutByVersionAndRecordType) {
  // 28 fixed bytes, five typed values of 2 bytes: a type area of 3 bytes.
  const std::vector<Entry> five{kFixed28, kNormal, Short(1), Short(2), Short(3), Short(4), Short(5), kBits, Bit(6)};
  const struct {
    const char* version;
    uint16_t recordType;
    bool withBitSection;
    uint32_t dataTypeOffset, bitIdOffset, typeArea;
  } rows[] = {
      {"V06.11", 3841, true, 28, 0, 3}, {"V04.00", 3877, true, 28, 0, 3}, {"V06.11", 3874, true, 38, 3, 0},
      {"V03.99", 3841, true, 38, 3, 0}, {"V03.99", 3877, true, 38, 3, 0}, {"V06.11", 3874, false, 0, 3, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.version) + " " + std::to_string(row.recordType));
    std::vector<Entry> entries = five;
    if (!row.withBitSection) entries.resize(7);
    LoadFormat(row.version, row.recordType, entries);
    EXPECT_EQ(DataTypeOffset, row.dataTypeOffset);
    EXPECT_EQ(BitIDOffset, row.bitIdOffset);
    EXPECT_EQ(typeAreaBytes, row.typeArea);
    EXPECT_EQ(SweepOffset, 28u);
  }
}

// ---- against the simulated instrument -------------------------------------------------------

class InstrumentTest : public testsupport::ScannerSessionTest {
 protected:
  void SetUp() override {
    ScannerSessionTest::SetUp();
    ASSERT_EQ(AllocConversionBuffers(), 1);
    Bytes dataFormat(74, 0), version(24, 0), prefs(82, 0);
    std::memcpy(&dataFormat[0], "KX0600.PDF", 10);
    std::memcpy(&dataFormat[42], "KY0600.PDF", 10);
    std::memcpy(&version[0], "V06.11", 6);
    std::memcpy(&prefs[2], "Owner A", 7);
    prefs[45] = 2;
    scanner.PutRecord(772, 0, dataFormat);
    scanner.PutRecord(131, 0, version);
    scanner.PutRecord(3848, 0, prefs);
    Open();
  }
  // A format definition of `entries` entries and 3 bytes more, imploded.
  static Bytes Definition(size_t entries) { return testsupport::ImplodeBytes(testsupport::Pattern(entries * 8 + 3, 7)); }

  testsupport::WorkingFolder folder_;
};

TEST_F(InstrumentTest, ConfigurationFromLocalFileOrInstrumentWithTracesAndCodes) {
  enum Local { kNone, kReadable, kProtected, kDamaged };
  const struct {
    const char* name;
    uint16_t recordType;
    Local local;
    const char* localName;
    uint16_t instrumentFormat;  // the format record the instrument holds (0: none)
    uint16_t missingRecord;     // a configuration record the instrument lacks (0: none)
    uint16_t entries;
    std::vector<std::string> traces;
  } rows[] = {
      {"local file wins", 3841, kReadable, "KX0600.PDF", 773, 0, 125, {"Using Local PDF_FORMAT_REC KX0600.PDF\n"}},
      {"write-protected file ignored", 3841, kProtected, "KX0600.PDF", 773, 0, 7,
       {"Couldn't Open Local PDF.BIN \n", "Using Scanner's PDF_FORMAT_REC\n"}},
      {"fiber record", 3874, kNone, "", 776, 0, 7, {"Using Scanner's PDF_FORMAT_REC\n"}},
      {"coax local file", 3877, kReadable, "kz0600.pdf", 0, 0, 125, {"Using Local PDF_FORMAT_REC kz0600.pdf\n"}},
      {"no format anywhere", 3841, kNone, "", 776, 0, 0,
       {"Scanner doesn't have PDF_FORMAT_REC\n", "  Couldn't find a Copper PDF File \n"}},
      {"coax format missing", 3877, kNone, "", 773, 0, 0,
       {"Scanner doesn't have PDF_COAX_FORMAT_REC\n", "  Couldn't find a Coax PDF File \n"}},
      {"damaged local file", 3874, kDamaged, "KY0600.PDF", 776, 0, 0,
       {"Error exploding PDF file \n", "  Couldn't find a Fiber PDF File \n"}},
      {"no user preferences", 3841, kNone, "", 773, 3848, 0, {"  Failed read of USER_UPREF_RECORD\n"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    DebugLevel = DBG_TRACE;
    for (uint16_t type : {773, 776, 777}) scanner.RemoveRecord(type, 0);
    if (row.instrumentFormat) scanner.PutRecord(row.instrumentFormat, 0, Definition(7));
    for (const char* name : {"KX0600.PDF", "KY0600.PDF", "kz0600.pdf"}) std::filesystem::remove(name);
    if (row.local != kNone) {
      const Bytes local = row.local == kDamaged ? Bytes{9, 9, 9, 9, 9, 9} : testsupport::ImplodeBytes(Bytes(1001, 3));
      std::ofstream(row.localName, std::ios::binary).write(reinterpret_cast<const char*>(local.data()), local.size());
    }
    if (row.local == kProtected) {
      chmod(row.localName, 0444);
      if (geteuid() == 0) platform::InjectFailure(platform::SysCall::FileOpen, EACCES);  // root ignores modes
    }
    const std::optional<Bytes> kept = row.missingRecord ? scanner.GetRecord(row.missingRecord, 0) : std::nullopt;
    if (kept) scanner.RemoveRecord(row.missingRecord, 0);
    ClearTraces();
    uint32_t error = 1;
    uint16_t progress = 10;
    EXPECT_EQ(LoadInstrumentConfiguration(&error, row.recordType, &progress), row.entries ? 1 : 0);
    EXPECT_EQ(FormatEntryCount, row.entries);
    EXPECT_EQ(error, row.entries ? 0 : KXERR_RECORD_NOT_FOUND);
    EXPECT_EQ(progress, row.entries ? 14 : row.missingRecord ? 12 : 13);
    for (const std::string& line : row.traces) EXPECT_EQ(CountTrace(line), 1) << line;
    if (row.entries) {
      EXPECT_EQ(LanguageIndex, 2);
    }
    if (kept) scanner.PutRecord(row.missingRecord, 0, *kept);
    platform::ClearInjectedFailures();
  }
}

TEST_F(InstrumentTest, ScannerIdentificationFromDataId705) {
  Bytes second(10, 0), other(10, 0);
  second[8] = 12;
  other[8] = 11;
  const struct {
    std::optional<Bytes> value;
    int16_t result;
    const char* name;
  } rows[] = {{std::nullopt, 0, ""}, {second, 1, "VEXAScanner2"}, {other, 1, "VEXAScanner"}, {Bytes{}, 1, "VEXAScanner"}};
  for (const auto& row : rows) {  // the instrument knows data ID 705 from the second row on
    SetScannerModelName("stale");
    if (row.value) scanner.SetDataId(705, *row.value);
    uint32_t error = 0;
    EXPECT_EQ(GetScannerID(&error), row.result);
    EXPECT_STREQ(ScannerModelName, row.name);
  }
}

// The items in the record build buffer.
Record BuildItems() {
  Record items;
  for (uint32_t at = 0; at + 4 <= RecordBuildLength;) {
    const uint16_t length = GetU16(RecordBuildBuffer + at + 2);
    items.push_back({GetU16(RecordBuildBuffer + at), Bytes(RecordBuildBuffer + at + 4, RecordBuildBuffer + at + 4 + length)});
    at += 4 + length;
  }
  return items;
}

TEST_F(InstrumentTest, LimitTableReadSearchedFetchedAndWritten) {
  const Bytes n1 = LimitRecord("N1", 3), n2 = LimitRecord("N2", 0), a2 = LimitRecord("A2", 2),
              blankA2 = LimitRecord("A2", 4), x = LimitRecord("X", 1);
  Bytes longRecord = LimitRecord("L", 5);
  longRecord.resize(320, 0xAB);  // two bytes more than a slot holds
  for (const auto& [type, record] : std::vector<std::pair<uint16_t, Bytes>>{
           {3862, n1}, {3862, n2}, {3866, LimitRecord("", 2)}, {3866, a2}, {3867, blankA2}, {3867, x}, {3867, longRecord}}) {
    scanner.AddRecord(type, record, Bytes(record.begin(), record.begin() + 17));
  }
  DebugLevel = DBG_TRACE;
  uint16_t progress = 1;
  uint32_t error = 1;
  GetLimitRecords(&progress, &error);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(progress, 10);
  ASSERT_EQ(LimitCount, 7u);  // N1 N2 | "" A2 | A2 X L
  for (const char* line : {"   Got 2 NEXT Limits \n", "   Got 0 PSNEXT Limits \n", "   Got 2 Attenuation Limits \n",
                           "   Got 3 BLANK Limits \n", " Got 7 Limits \n"}) {
    EXPECT_EQ(CountTrace(line), 1) << line;
  }
  EXPECT_EQ(Bytes(LimitTable + 6 * 320 + 2, LimitTable + 7 * 320), Bytes(longRecord.begin(), longRecord.begin() + 318));
  EXPECT_EQ(GetU16(LimitTable + 7 * 320), 0);  // the next slot untouched
  // Found in the family, or in the BLANK pool (also past a family record with an empty name).
  const struct {
    uint16_t type;
    const char* name;
    int32_t slot;
  } finds[] = {{3862, "N2", 1}, {3866, "A2", 4}, {3866, "X", 5}, {3862, "A2", 4}, {3862, "Z", kNoLimitSlot}};
  for (const auto& f : finds) EXPECT_EQ(FindLimit(f.type, f.name), f.slot) << f.name;
  EXPECT_EQ(CountTrace("Error - Couldn't find Limit Z\n"), 1);
  // Curves in their order; a missing name ends the writing with the total so far negated.
  const struct {
    std::vector<std::pair<int, const char*>> names;  // LimitNames slot, name
    int32_t result;
    Record items;
  } writes[] = {
      {{{1, "X"}}, 10, {{660, Points(x, 1)}}},
      {{{1, "A2"}, {2, "X"}, {0, "N1"}}, 22 + 10 + 28, {{661, Points(n1, 3)}, {665, Points(x, 1)}, {660, Points(blankA2, 4)}}},
      {{{0, "N2"}, {2, "Z"}}, -304, {{661, Points(n2, 50)}}},
      {{{0, "Z"}, {1, "X"}}, 0, {}},
  };
  for (const auto& w : writes) {
    ClearLimitNames();
    for (const auto& [slot, name] : w.names) std::strcpy(LimitNames[slot], name);
    RecordBuildLength = 0;
    EXPECT_EQ(WriteLimits(), w.result);
    EXPECT_EQ(BuildItems(), w.items);
  }
  // A limit fetched by name stays in the table: found again when the instrument no longer has it.
  LimitCount = 0;
  EXPECT_EQ(FindLimit(3866, "A2"), 0);
  for (const auto& record : scanner.Records(3866)) scanner.RemoveRecord(3866, record.number);
  EXPECT_EQ(FindLimit(3866, "A2"), 0);
  EXPECT_EQ(LimitCount, 1u);
  // A full table fetches nothing.
  std::memset(LimitTable, 0, 131070);
  LimitCount = 409;
  EXPECT_EQ(FindLimit(3862, "N1"), kNoLimitSlot);
  EXPECT_EQ(LimitCount, 409u);
}

}  // namespace
