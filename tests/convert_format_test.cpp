// Value formatting: decimal point and rounding by instrument version, local strings and
// print-format names, wiremap strings and items, sweep blocks, metres to feet.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "convert/format.h"
#include "kxlib32.h"
#include "session/state.h"
#include "tests/support/conversion_fixture.h"

namespace {

using namespace testsupport;

class FormatTest : public ConversionTest {
 protected:
  static void SetVersion(const char* text) {
    std::memset(VersionInfo, 0, sizeof VersionInfo);
    std::strncpy(VersionInfo, text, sizeof VersionInfo - 1);
  }
};

TEST_F(FormatTest, InsertDecimalPoint) {
  DebugLevel = DBG_TRACE;
  struct Case {
    const char* version;
    std::string text;
    uint8_t scale;
    uint16_t precision;
    size_t capacity;
    std::string result;
    bool ok;
  } cases[] = {
      // From version 4 on: rounded half away from zero at the last kept decimal.
      {"V06.11", "12345", 2, 1, 64, "123.5", true}, {"V06.11", "-12345", 2, 1, 64, "-123.5", true},
      {"V06.11", "12344", 2, 1, 64, "123.4", true}, {"V06.11", "-5", 2, 1, 64, "-0.1", true},
      {"V06.11", "5", 2, 2, 64, "0.05", true}, {"V06.11", "0", 3, 3, 64, "0.000", true},
      {"V06.11", "9995", 3, 2, 64, "10.00", true},  // the carry adds a digit
      {"V06.11", "995", 3, 1, 64, "1.0", true}, {"V04.00", "12345", 2, 1, 64, "123.5", true},
      // Precision 0 keeps every decimal, unrounded; precision above scale keeps scale.
      {"V06.11", "4", 3, 0, 64, "0.004", true}, {"V06.11", "12345", 2, 0, 64, "123.45", true},
      {"V06.11", "12345", 1, 3, 64, "1234.5", true},
      // Below version 4: cut off, and a tiny negative loses its sign.
      {"V03.10", "12345", 2, 1, 64, "123.4", true}, {"V03.10", "-12345", 2, 1, 64, "-123.4", true},
      {"V03.10", "-5", 2, 1, 64, "0.0", true}, {"V03.10", "-15", 2, 1, 64, "-0.1", true},
      {"V03.10", "-5", 2, 2, 64, "-0.05", true}, {"V03.10", "9999", 3, 1, 64, "9.9", true},
      {"V03.99", "12345", 2, 1, 64, "123.4", true}, {"", "12345", 2, 1, 64, "123.4", true},
      // Left alone: scale 0, texts that are not decimal integers.
      {"V06.11", "-42", 0, 0, 64, "-42", true}, {"V06.11", "OVR", 2, 1, 64, "OVR", true},
      {"V06.11", "12a", 2, 1, 64, "12a", true}, {"V06.11", "-", 2, 1, 64, "-", true},
      {"V06.11", "", 2, 1, 64, "", true},
      // Refused whole (an empty text) when the result does not fit, never cut short.
      {"V06.11", "12345", 2, 2, 7, "123.45", true}, {"V06.11", "12345", 2, 2, 6, "", false},
      {"V06.11", "-5", 3, 3, 4, "", false}, {"V06.11", "12345", 2, 2, 5, "", false},  // no NUL inside
      {"V06.11", std::string(65, '1'), 2, 2, 300, "", false},  // more digits than an instrument has
      {"V06.11", "7", 255, 255, 300, "0." + std::string(254, '0') + "7", true},
  };
  for (const Case& c : cases) {
    SetVersion(c.version);
    std::string buffer = c.text;
    buffer.resize(std::max(c.capacity, c.text.size() + 1), '\0');
    EXPECT_EQ(InsertDecimalPoint(buffer.data(), c.scale, c.precision, c.capacity), c.ok) << c.text;
    EXPECT_EQ(std::string(buffer.c_str()), c.result) << c.version << " " << c.text << " " << int{c.scale};
  }
  EXPECT_EQ(CountTrace("Error: Scale Less than Precision in InsertDecimalPoint!\n"), 1);
}

TEST_F(FormatTest, LocalStringsFallBackToEnglishThenToEmpty) {
  struct Case {
    int table, language, item;
    size_t capacity;
    const char* text;
  } cases[] = {
      {4, 6, 1, 32, "PASS"}, {4, 9, 0, 32, "FAIL"}, {5, 0, 1, 32, " "}, {16, 0, 3, 32, ""},
      {2, 3, 13, 32, ""},    // past the months
      {5, 0, -1, 32, ""},    // the item -1 of a sign-extended 0xFF byte
      {20, 0, 0, 32, ""}, {0, 0, 8, 4, "Tra"},
  };
  for (const Case& c : cases) {
    char text[32] = "junk";
    GetLocalString(text, c.table, c.language, c.item, c.capacity);
    EXPECT_STREQ(text, c.text) << c.table << "/" << c.language << "/" << c.item;
  }
}

TEST_F(FormatTest, PrintFormatNames) {
  struct Case {
    const char* base;
    int language;
    char format;
    size_t capacity;
    const char* name;
  } cases[] = {{"KX0500", 0, '1', 16, "KX0500E1.PTF"}, {"KX0500", 0, '\0', 16, "KX0500E.PTF"},
               {"KY0500", 2, 'P', 16, "KY0500GP.PTF"}, {"KX0500LONGER", 8, '1', 16, "KX0500T1.PTF"},
               // A short base or a language without a letter ends the text earlier.
               {"KX05", 0, '1', 16, "KX05.PTF"}, {"KX0500", 9, '1', 16, "KX0500.PTF"},
               {"KX0500", 255, '1', 16, "KX0500.PTF"}, {"KX0500", -1, 'P', 16, "KX0500.PTF"},
               {"KX0500", 0, '1', 8, "KX0500E"}};
  for (const Case& c : cases) {
    char name[16] = {};
    std::strncpy(name, c.base, sizeof name - 1);
    BuildPrintFormatName(name, c.language, c.format, c.capacity);
    EXPECT_STREQ(name, c.name) << c.base;
  }
}

// ---------------------------------------------------------------------------------------
// Wiremap

// A wiremap whose conductors all arrive where they should, changed by a row's edits:
// "O3" position 3 open, "A01" position 0 arrives at 1, "S00" near-end position 0 shows at
// position 0 + 1 + 0.
void Edit(uint8_t* map, const std::string& edits) {
  for (int b = 0; b < 9; ++b) map[3 * b + 2] = static_cast<uint8_t>(0x40 | b);
  for (size_t i = 0; i < edits.size(); i += 3) {
    const int b = edits[i + 1] - '0';
    const int x = i + 2 < edits.size() ? edits[i + 2] - '0' : 0;
    if (edits[i] == 'O') map[3 * b + 2] = 0;
    if (edits[i] == 'A') map[3 * b + 2] = static_cast<uint8_t>(0x40 | x);
    if (edits[i] == 'S') map[3 * b] |= static_cast<uint8_t>(1 << x);
  }
}

TEST_F(FormatTest, WiremapStrings) {
  struct Case {
    uint8_t presence[kPairPresenceSize];
    const char* edits;
    const char* expected;
    const char* nearEnd;
    const char* farEnd;
    bool wrong;
  } cases[] = {
      {{1, 1, 1, 1, 1}, "", "12345678S", "12345678S", "12345678S", false},
      {{0, 1, 1, 1, 1}, "O0 O1 ", "  345678S", "12345678S", "  345678S", false},  // no pair 1-2
      {{1, 0, 1, 1, 1}, "", "12 45 78S", "12345678S", "12345678S", false},
      {{1, 1, 0, 1, 1}, "O3 O4 ", "123  678S", "12345678S", "123  678S", false},
      {{1, 1, 1, 0, 0}, "O6 O7 O8 ", "123456   ", "12345678 ", "123456   ", false},
      {{1, 1, 1, 1, 1}, "A01A10", "12345678S", "12345678S", "21345678S", true},
      {{1, 1, 1, 1, 1}, "O2 ", "12345678S", "12345678S", "12 45678S", true},
      {{1, 1, 1, 1, 1}, "S00", "12345678S", "11345678S", "12345678S", true},
      {{1, 1, 1, 1, 1}, "O8 ", "12345678S", "12345678 ", "12345678 ", true},
      // Lower near-end groups are handled last and win; position 8 taken hides the shield.
      {{1, 1, 1, 1, 1}, "S10S01S25", "12345678S", "121456783", "12345678S", true},
  };
  for (const Case& c : cases) {
    uint8_t map[kWiremapSize] = {};
    Edit(map, c.edits);
    WiremapText text;
    BuildWiremapText(c.presence, map, &text);
    EXPECT_STREQ(text.expected, c.expected) << c.edits;
    EXPECT_STREQ(text.nearEnd, c.nearEnd) << c.edits;
    EXPECT_STREQ(text.farEnd, c.farEnd) << c.edits;
    EXPECT_EQ(text.wrong, c.wrong) << c.edits;
  }
}

TEST_F(FormatTest, WiremapItemsWithTheResultMarkBelowVersion06) {
  const uint8_t all[kPairPresenceSize] = {1, 1, 1, 1, 1};
  const Item good = {227, TextBytes("12345678S")}, nearEnd = {228, TextBytes("12345678S")};
  const Item crossed = {229, TextBytes("12354678S")};
  struct Case {
    const char* version;
    const char* edits;
    uint32_t used;  // of the record build buffer, before
    uint32_t result;
    uint32_t error;
    Record items;  // for a refusal: the first item, written before it
  } cases[] = {
      {"V05.20", "A34A43", 0, 44, 0, {good, nearEnd, crossed, {119, {'!'}}}},
      {"V05.20", "", 0, 44, 0, {good, nearEnd, {229, TextBytes("12345678S")}, {119, {' '}}}},
      {"V06.00", "A34A43", 0, 39, 0, {good, nearEnd, crossed}},
      // The first refused item ends the wiremap, with its error; what came before stays.
      {"V06.00", "", kRecordBuildBufferSize - 20, 0, KXERR_RECORD_TOO_LARGE, {good}},
      {"V05.00", "", kRecordBuildBufferSize - 10, 0, KXERR_RECORD_TOO_LARGE, {}},  // the mark would fit
  };
  for (const Case& c : cases) {
    SetVersion(c.version);
    uint8_t map[kWiremapSize] = {};
    Edit(map, c.edits);
    RecordBuildLength = c.used;
    uint32_t error = 1;
    EXPECT_EQ(WriteWiremap(all, map, &error), c.result) << c.version << c.edits;
    EXPECT_EQ(error, c.error) << c.version << c.edits;
    const Bytes written(RecordBuildBuffer + c.used, RecordBuildBuffer + RecordBuildLength);
    const Bytes stored = Stored(written);
    DatRecord back;
    ASSERT_TRUE(DecodeDatRecord(stored.data(), stored.size(), &back)) << back.error;
    EXPECT_EQ(ItemsOf(back), c.items) << c.version << c.edits;
  }
}

// ---------------------------------------------------------------------------------------
// Sweep data and metres

TEST_F(FormatTest, SweepBlocksInOrderWithTheirSizes) {
  struct Case {
    uint16_t flags;
    uint16_t points;
    uint32_t available;  // bytes after the cursor
    uint32_t result;
    uint32_t error;
    Record items;  // tag and value size; the value is the next bytes of the record
    uint32_t advance;
  } cases[] = {
      {0x00, 10, 16, 0, 0, {}, 0},
      {0x21, 10, 200, 168, 0, {{632, Bytes(80)}, {647, Bytes(80)}}, 160},
      {0x7F, 2, 144, 172, 0,
       {{632, Bytes(16)}, {633, Bytes(24)}, {634, Bytes(24)}, {637, Bytes(24)}, {638, Bytes(24)}, {647, Bytes(16)},
        {648, Bytes(16)}},
       144},
      {0x03, 10, 100, 0, KXERR_AUTOTEST_LOAD, {{632, Bytes(80)}}, 100},  // Near NEXT runs past
  };
  for (const Case& c : cases) {
    RecordBuildLength = 0;
    uint8_t* data = ExplodedATBuffer + 0x1c;
    for (uint32_t i = 0; i < c.available; ++i) data[i] = static_cast<uint8_t>(i);
    const uint8_t* cursor = data;
    uint32_t error = 1;
    EXPECT_EQ(WriteSweepData(platform::kNoFile, &cursor, data + c.available, c.flags, c.points, &error), c.result);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(cursor, data + c.advance);
    Record expected = c.items;
    uint32_t at = 0;
    for (Item& item : expected) {
      item.value.assign(data + at, data + at + item.value.size());
      at += static_cast<uint32_t>(item.value.size());
    }
    EXPECT_EQ(BuiltItems(), expected) << c.flags;
  }
}

TEST_F(FormatTest, SweepBlocksAreLoggedWithTheirReadPosition) {
  ASSERT_EQ(OpenConversionLog(), 1);
  DebugLevel = DBG_LOGFILE;
  const uint8_t* cursor = ExplodedATBuffer + 0x1c;
  uint32_t error = 0;
  EXPECT_GT(WriteSweepData(LogFile, &cursor, ExplodedATBuffer + 0x1c + 200, 0x21, 10, &error), 0u);
  CloseConversionLog();
  EXPECT_EQ(LogText(),
            "Writing Attenuation Data from      00001c\n"
            "Writing Near Return Loss Data from 00006c\n");
}

TEST(MetresToFeetTest, RoundsToTheNearestFoot) {
  const uint32_t cases[][2] = {{0, 0}, {1, 3}, {100, 328}, {1000, 3281}, {305, 1001},
                               {2000000, 2982527}};  // 32-bit arithmetic wraps
  for (const auto& c : cases) EXPECT_EQ(MetresToFeet(c[0]), c[1]) << c[0];
}

}  // namespace
