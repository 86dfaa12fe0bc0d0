// Value formatting: decimal point and rounding by instrument version, string tables,
// print-format names, wiremap strings, sweep blocks, metres to feet.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/format.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "session/state.h"
#include "tests/support/library_fixture.h"

namespace {

class FormatTest : public testsupport::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ResetConvertState();
    ASSERT_EQ(AllocConversionBuffers(), 1);
  }
  void TearDown() override {
    ResetConvertState();
    LibraryTest::TearDown();
  }

  static void SetVersion(const char* text) {
    std::memset(VersionInfo, 0, sizeof VersionInfo);
    std::strncpy(VersionInfo, text, sizeof VersionInfo - 1);
  }

  static std::string Decimal(const char* text, uint8_t scale, uint16_t precision) {
    char buffer[64] = {};
    std::strncpy(buffer, text, sizeof buffer - 1);
    InsertDecimalPoint(buffer, scale, precision, sizeof buffer);
    return buffer;
  }

  struct Item {
    uint16_t tag;
    std::string value;
  };
  // The items in the record build buffer.
  static std::vector<Item> BuiltItems() {
    std::vector<Item> items;
    uint32_t at = 0;
    while (at + 4 <= RecordBuildLength) {
      const uint16_t tag = static_cast<uint16_t>(RecordBuildBuffer[at] | (RecordBuildBuffer[at + 1] << 8));
      const uint16_t length = static_cast<uint16_t>(RecordBuildBuffer[at + 2] | (RecordBuildBuffer[at + 3] << 8));
      items.push_back({tag, std::string(reinterpret_cast<char*>(RecordBuildBuffer) + at + 4, length)});
      at += 4u + length;
    }
    return items;
  }
};

// ---------------------------------------------------------------------------------------
// InsertDecimalPoint

TEST_F(FormatTest, MajorVersionSixRoundsHalfAwayFromZero) {
  SetVersion("V06.11");
  EXPECT_EQ(InstrumentMajorVersion(), 6);
  EXPECT_EQ(Decimal("12345", 2, 1), "123.5");
  EXPECT_EQ(Decimal("-12345", 2, 1), "-123.5");
  EXPECT_EQ(Decimal("12344", 2, 1), "123.4");
  EXPECT_EQ(Decimal("-5", 2, 1), "-0.1");
  EXPECT_EQ(Decimal("5", 2, 2), "0.05");
  EXPECT_EQ(Decimal("0", 3, 3), "0.000");
  EXPECT_EQ(Decimal("9995", 3, 2), "10.00");  // the carry adds a digit
  EXPECT_EQ(Decimal("995", 3, 1), "1.0");
  EXPECT_EQ(Decimal("4", 3, 0), "0.004");     // precision 0 keeps every decimal, unrounded
  EXPECT_EQ(Decimal("12345", 2, 0), "123.45");
}

TEST_F(FormatTest, MajorVersionThreeCutsOffAndDropsTheSignOfTinyNegatives) {
  SetVersion("V03.10");
  EXPECT_EQ(InstrumentMajorVersion(), 3);
  EXPECT_EQ(Decimal("12345", 2, 1), "123.4");
  EXPECT_EQ(Decimal("-12345", 2, 1), "-123.4");
  EXPECT_EQ(Decimal("-5", 2, 1), "0.0");
  EXPECT_EQ(Decimal("-15", 2, 1), "-0.1");  // a digit is left before the dropped one
  EXPECT_EQ(Decimal("-5", 2, 2), "-0.05");
  EXPECT_EQ(Decimal("9999", 3, 1), "9.9");
}

TEST_F(FormatTest, VersionFourIsTheFirstThatRounds) {
  SetVersion("V04.00");
  EXPECT_EQ(Decimal("12345", 2, 1), "123.5");
  SetVersion("V03.99");
  EXPECT_EQ(Decimal("12345", 2, 1), "123.4");
  SetVersion("");  // nothing read yet: major 0
  EXPECT_EQ(Decimal("12345", 2, 1), "123.4");
}

TEST_F(FormatTest, ScaleZeroAndOddTextsStayUnchanged) {
  SetVersion("V06.11");
  EXPECT_EQ(Decimal("-42", 0, 0), "-42");
  EXPECT_EQ(Decimal("OVR", 2, 1), "OVR");
  EXPECT_EQ(Decimal("12a", 2, 1), "12a");
  EXPECT_EQ(Decimal("-", 2, 1), "-");
  EXPECT_EQ(Decimal("", 2, 1), "");
}

TEST_F(FormatTest, PrecisionAboveScaleIsTracedAndKeepsScaleDecimals) {
  DebugLevel = DBG_TRACE;
  SetVersion("V06.11");
  EXPECT_EQ(Decimal("12345", 1, 3), "1234.5");
  EXPECT_EQ(CountTrace("Error: Scale Less than Precision in InsertDecimalPoint!\n"), 1);
}

TEST_F(FormatTest, InsertDecimalPointRefusesAResultThatDoesNotFit) {
  SetVersion("V06.11");
  char exact[7] = "12345";  // "123.45" and its NUL
  EXPECT_TRUE(InsertDecimalPoint(exact, 2, 2, sizeof exact));
  EXPECT_STREQ(exact, "123.45");
  char small[6] = "12345";  // a cut "123.4" would be another number
  EXPECT_FALSE(InsertDecimalPoint(small, 2, 2, sizeof small));
  EXPECT_STREQ(small, "");
  char tight[4] = "-5";  // "-0.005"
  EXPECT_FALSE(InsertDecimalPoint(tight, 3, 3, sizeof tight));
  EXPECT_STREQ(tight, "");
  char wide[300] = "7";
  EXPECT_TRUE(InsertDecimalPoint(wide, 255, 255, sizeof wide));
  EXPECT_EQ(std::strlen(wide), 257u);  // "0." and 255 decimals
  EXPECT_EQ(wide[256], '7');
  std::string(65, '1').copy(wide, 65);  // more digits than an instrument integer has
  wide[65] = '\0';
  EXPECT_FALSE(InsertDecimalPoint(wide, 2, 2, sizeof wide));
  EXPECT_STREQ(wide, "");
}

// ---------------------------------------------------------------------------------------
// String tables

TEST_F(FormatTest, StringTablesHoldTheEnglishTextsOnly) {
  const int itemsPerTable[kStringTableCount] = {9, 9, 13, 2, 2, 5, 2, 4, 6, 12, 3, 4, 6, 1, 2, 3, 0, 0, 0, 0};
  for (int t = 0; t < kStringTableCount; ++t) {
    int present = 0;
    for (int i = 0; i < kStringItemCount; ++i) {
      present += StringTables[t][0][i] != nullptr;
      for (int l = 1; l < kLanguageCount; ++l) EXPECT_EQ(StringTables[t][l][i], nullptr);
    }
    EXPECT_EQ(present, itemsPerTable[t]) << "table " << t;
  }
  EXPECT_STREQ(LocalString(0, 0, 8), "Traditional Chinese");
  EXPECT_STREQ(LocalString(2, 0, 12), "Dec");
  EXPECT_STREQ(LocalString(9, 0, 11), "78/45");
  EXPECT_STREQ(LocalString(10, 0, 0), "VexaFiber -> Remote");
  EXPECT_STREQ(LocalString(12, 0, 4), "Multimode 62.5um");
  EXPECT_STREQ(LocalString(15, 0, 2), "Short");
}

TEST_F(FormatTest, GetLocalStringFallsBackToEnglishThenToEmpty) {
  char text[32] = "junk";
  GetLocalString(text, 4, 6, 1, sizeof text);
  EXPECT_STREQ(text, "PASS");
  GetLocalString(text, 16, 0, 3, sizeof text);
  EXPECT_STREQ(text, "");
  std::strcpy(text, "junk");
  GetLocalString(text, 5, 0, 1, sizeof text);
  EXPECT_STREQ(text, " ");
  GetLocalString(text, 2, 3, 13, sizeof text);  // past the months
  EXPECT_STREQ(text, "");
  // Out of range, e.g. the item -1 of a sign-extended 0xFF byte.
  EXPECT_STREQ(LocalString(5, 0, -1), "");
  EXPECT_STREQ(LocalString(20, 0, 0), "");
  EXPECT_STREQ(LocalString(4, 9, 0), "FAIL");
  char small[4];
  GetLocalString(small, 0, 0, 8, sizeof small);
  EXPECT_STREQ(small, "Tra");
}

TEST_F(FormatTest, PrintFormatNames) {
  struct Case {
    const char* base;
    int language;
    char format;
    const char* name;
  } cases[] = {{"KX0500", 0, '1', "KX0500E1.PTF"}, {"KX0500", 0, '\0', "KX0500E.PTF"},
               {"KY0500", 2, 'P', "KY0500GP.PTF"}, {"KX0500LONGER", 8, '1', "KX0500T1.PTF"},
               // The letter and format character go to positions 6 and 7, and ".PTF"
               // follows the text: a short base or a missing letter ends it earlier.
               {"KX05", 0, '1', "KX05.PTF"}, {"KX0500", 9, '1', "KX0500.PTF"},
               {"KX0500", 255, '1', "KX0500.PTF"}, {"KX0500", -1, 'P', "KX0500.PTF"}};
  for (const Case& c : cases) {
    char name[16] = {};
    std::strncpy(name, c.base, sizeof name - 1);
    BuildPrintFormatName(name, c.language, c.format, sizeof name);
    EXPECT_STREQ(name, c.name) << c.base;
  }
  char tight[8] = "KX0500";
  BuildPrintFormatName(tight, 0, '1', sizeof tight);
  EXPECT_STREQ(tight, "KX0500E");
}

// ---------------------------------------------------------------------------------------
// Wiremap

// A wiremap whose conductors all arrive where they should; no shorts.
struct Wiremap {
  uint8_t bytes[kWiremapSize] = {};
  Wiremap() {
    for (int b = 0; b < 9; ++b) bytes[3 * b + 2] = static_cast<uint8_t>(0x40 | b);
  }
  void Open(int b) { bytes[3 * b + 2] = 0; }
  void Arrives(int b, int where) { bytes[3 * b + 2] = static_cast<uint8_t>(0x40 | where); }
  // Near-end position b shows at position b + 1 + m.
  void Shorted(int b, int m) { bytes[3 * b] |= static_cast<uint8_t>(1 << m); }
};
const uint8_t kAllPairs[kPairPresenceSize] = {1, 1, 1, 1, 1};

TEST_F(FormatTest, WiremapOfAGoodFullCable) {
  Wiremap map;
  WiremapText text;
  BuildWiremapText(kAllPairs, map.bytes, &text);
  EXPECT_STREQ(text.expected, "12345678S");
  EXPECT_STREQ(text.nearEnd, "12345678S");
  EXPECT_STREQ(text.farEnd, "12345678S");
  EXPECT_FALSE(text.wrong);
}

TEST_F(FormatTest, WiremapOfAPartialCable) {
  const uint8_t presence[kPairPresenceSize] = {1, 1, 1, 0, 0};  // no 7-8, no shield
  Wiremap map;
  map.Open(6);
  map.Open(7);
  map.Open(8);
  WiremapText text;
  BuildWiremapText(presence, map.bytes, &text);
  EXPECT_STREQ(text.expected, "123456   ");
  EXPECT_STREQ(text.nearEnd, "12345678 ");
  EXPECT_STREQ(text.farEnd, "123456   ");
  EXPECT_FALSE(text.wrong);  // only the present positions count

  const uint8_t no36[kPairPresenceSize] = {1, 0, 1, 1, 1};
  BuildWiremapText(no36, Wiremap().bytes, &text);
  EXPECT_STREQ(text.expected, "12 45 78S");
}

TEST_F(FormatTest, WrongWiremaps) {
  WiremapText text;
  Wiremap crossed;
  crossed.Arrives(0, 1);
  crossed.Arrives(1, 0);
  BuildWiremapText(kAllPairs, crossed.bytes, &text);
  EXPECT_STREQ(text.farEnd, "21345678S");
  EXPECT_TRUE(text.wrong);

  Wiremap open;
  open.Open(2);
  BuildWiremapText(kAllPairs, open.bytes, &text);
  EXPECT_STREQ(text.farEnd, "12 45678S");
  EXPECT_TRUE(text.wrong);

  Wiremap shorted;
  shorted.Shorted(0, 0);  // pin 1 shows at position 1
  BuildWiremapText(kAllPairs, shorted.bytes, &text);
  EXPECT_STREQ(text.nearEnd, "11345678S");
  EXPECT_TRUE(text.wrong);

  Wiremap noShield;
  noShield.Open(8);
  BuildWiremapText(kAllPairs, noShield.bytes, &text);
  EXPECT_STREQ(text.nearEnd, "12345678 ");
  EXPECT_TRUE(text.wrong);
}

TEST_F(FormatTest, LowerNearEndGroupsWin) {
  Wiremap map;
  map.Shorted(1, 0);  // group 1, bit 0 -> position 2
  map.Shorted(0, 1);  // group 0, bit 1 -> position 2, handled last
  map.Shorted(2, 5);  // group 2, bit 5 -> position 8: the shield stays hidden
  WiremapText text;
  BuildWiremapText(kAllPairs, map.bytes, &text);
  EXPECT_STREQ(text.nearEnd, "121456783");
}

TEST_F(FormatTest, WriteWiremapAddsTheResultMarkBelowVersion06) {
  Wiremap crossed;
  crossed.Arrives(3, 4);
  crossed.Arrives(4, 3);
  uint32_t error = 1;
  SetVersion("V05.20");
  EXPECT_EQ(WriteWiremap(kAllPairs, crossed.bytes, &error), 3u * 13 + 5);
  EXPECT_EQ(error, 0u);
  std::vector<Item> items = BuiltItems();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].tag, 227);
  EXPECT_EQ(items[0].value, "12345678S");
  EXPECT_EQ(items[1].tag, 228);
  EXPECT_EQ(items[1].value, "12345678S");
  EXPECT_EQ(items[2].tag, 229);
  EXPECT_EQ(items[2].value, "12354678S");
  EXPECT_EQ(items[3].tag, 119);
  EXPECT_EQ(items[3].value, "!");

  RecordBuildLength = 0;
  EXPECT_EQ(WriteWiremap(kAllPairs, Wiremap().bytes, &error), 3u * 13 + 5);
  items = BuiltItems();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[3].value, " ");

  RecordBuildLength = 0;
  SetVersion("V06.00");
  EXPECT_EQ(WriteWiremap(kAllPairs, crossed.bytes, &error), 3u * 13);
  EXPECT_EQ(BuiltItems().size(), 3u);
}

TEST_F(FormatTest, WriteWiremapStopsAtTheFirstRefusedItem) {
  SetVersion("V06.00");
  RecordBuildLength = kRecordBuildBufferSize - 20;  // room for one item only
  uint32_t error = 0;
  EXPECT_EQ(WriteWiremap(kAllPairs, Wiremap().bytes, &error), 0u);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
  EXPECT_EQ(RecordBuildLength, kRecordBuildBufferSize - 20 + 13);
  // Room for the small result mark only: it is not written after the refused strings.
  SetVersion("V05.00");
  RecordBuildLength = kRecordBuildBufferSize - 10;
  EXPECT_EQ(WriteWiremap(kAllPairs, Wiremap().bytes, &error), 0u);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
  EXPECT_EQ(RecordBuildLength, kRecordBuildBufferSize - 10);
}

// ---------------------------------------------------------------------------------------
// Sweep data

TEST_F(FormatTest, SweepWithoutFlagsWritesNothing) {
  const uint8_t data[16] = {};
  const uint8_t* cursor = data;
  uint32_t error = 1;
  EXPECT_EQ(WriteSweepData(nullptr, &cursor, data + sizeof data, 0, 10, &error), 0u);
  EXPECT_EQ(cursor, data);
  EXPECT_EQ(RecordBuildLength, 0u);
  EXPECT_EQ(error, 0u);
}

TEST_F(FormatTest, SweepAttenuationAndNearReturnLoss) {
  DebugLevel = DBG_LOGFILE;
  FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  for (int i = 0; i < 200; ++i) ExplodedATBuffer[0x1c + i] = static_cast<uint8_t>(i);
  const uint8_t* cursor = ExplodedATBuffer + 0x1c;
  uint32_t error = 1;
  EXPECT_EQ(WriteSweepData(log, &cursor, ExplodedATBuffer + 0x1c + 200, 0x21, 10, &error), 2u * (4 + 80));
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(cursor, ExplodedATBuffer + 0x1c + 160);
  const std::vector<Item> items = BuiltItems();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].tag, 632);
  EXPECT_EQ(items[1].tag, 647);
  ASSERT_EQ(items[1].value.size(), 80u);
  EXPECT_EQ(static_cast<uint8_t>(items[0].value[0]), 0);
  EXPECT_EQ(static_cast<uint8_t>(items[1].value[0]), 80);

  std::rewind(log);
  char text[256] = {};
  EXPECT_GT(std::fread(text, 1, sizeof text - 1, log), 0u);
  std::fclose(log);
  EXPECT_STREQ(text,
               "Writing Attenuation Data from      00001c\n"
               "Writing Near Return Loss Data from 00006c\n");
}

TEST_F(FormatTest, SweepBlocksInOrderWithTheirSizes) {
  std::vector<uint8_t> data(2 * (8 + 12 * 4 + 8 * 2));
  const uint8_t* cursor = data.data();
  uint32_t error = 0;
  EXPECT_EQ(WriteSweepData(nullptr, &cursor, data.data() + data.size(), 0x7F, 2, &error), 7u * 4 + data.size());
  EXPECT_EQ(cursor, data.data() + data.size());
  const std::vector<Item> items = BuiltItems();
  const uint16_t tags[] = {632, 633, 634, 637, 638, 647, 648};
  const size_t sizes[] = {16, 24, 24, 24, 24, 16, 16};
  ASSERT_EQ(items.size(), 7u);
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(items[i].tag, tags[i]);
    EXPECT_EQ(items[i].value.size(), sizes[i]);
  }
}

TEST_F(FormatTest, SweepThatRunsPastTheRecordFails) {
  std::vector<uint8_t> data(100);
  const uint8_t* cursor = data.data();
  uint32_t error = 0;
  // Attenuation (80 bytes) fits, Near NEXT (120 bytes) does not.
  EXPECT_EQ(WriteSweepData(nullptr, &cursor, data.data() + data.size(), 0x03, 10, &error), 0u);
  EXPECT_EQ(error, KXERR_AUTOTEST_LOAD);
  EXPECT_EQ(cursor, data.data() + data.size());
  EXPECT_EQ(BuiltItems().size(), 1u);
}

TEST(MetresToFeetTest, RoundsToTheNearestFoot) {
  EXPECT_EQ(MetresToFeet(0), 0u);
  EXPECT_EQ(MetresToFeet(1), 3u);
  EXPECT_EQ(MetresToFeet(100), 328u);
  EXPECT_EQ(MetresToFeet(1000), 3281u);
  EXPECT_EQ(MetresToFeet(305), 1001u);  // 1000.65 ft
  EXPECT_EQ(MetresToFeet(2000000), 2982527u);  // 32-bit arithmetic wraps
}

}  // namespace
