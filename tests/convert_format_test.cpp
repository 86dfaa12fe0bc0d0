// Value formatting: decimal point and rounding by instrument version, local strings and
// print-format names, wiremap items, sweep blocks, metres to feet (the translation table
// labelling the log is tested with the item conversions, its tag names with the reader).

#include <cstring>
#include <tuple>

#include "convert/format.h"
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
  // The result is empty, and the call refused, when it does not fit.
  struct Case { const char* version; std::string text; uint8_t scale; uint16_t precision; size_t capacity;
                std::string result; };
  const Case cases[] = {
      // From version 4 on: rounded half away from zero at the last kept decimal.
      {"V06.11", "-5", 2, 1, 64, "-0.1"}, {"V04.00", "-5", 2, 1, 64, "-0.1"}, {"V06.11", "0", 3, 3, 64, "0.000"},
      {"V06.11", "9995", 3, 2, 64, "10.00"}, {"V06.11", "995", 3, 1, 64, "1.0"},  // the carry adds a digit
      // Precision 0 keeps every decimal, unrounded; precision above scale keeps scale.
      {"V06.11", "4", 3, 0, 64, "0.004"}, {"V06.11", "12345", 2, 0, 64, "123.45"},
      {"V06.11", "12345", 1, 3, 64, "1234.5"},
      // Below version 4: cut off, and a tiny negative loses its sign.
      {"V03.10", "-5", 2, 1, 64, "0.0"}, {"V03.10", "-15", 2, 1, 64, "-0.1"}, {"V03.10", "-5", 2, 2, 64, "-0.05"},
      {"V03.10", "9999", 3, 1, 64, "9.9"}, {"V03.99", "12345", 2, 1, 64, "123.4"}, {"", "12345", 2, 1, 64, "123.4"},
      // Left alone: scale 0, texts that are not decimal integers.
      {"V06.11", "-42", 0, 0, 64, "-42"}, {"V06.11", "OVR", 2, 1, 64, "OVR"}, {"V06.11", "12a", 2, 1, 64, "12a"},
      {"V06.11", "-a12", 2, 1, 64, "-a12"},
      {"V06.11", "-", 2, 1, 64, "-"}, {"V06.11", "", 2, 1, 64, ""},
      // Never cut short: room for the NUL or nothing.
      {"V06.11", "12345", 2, 2, 7, "123.45"}, {"V06.11", "12345", 2, 2, 6, ""}, {"V06.11", "-5", 3, 3, 4, ""},
      {"V06.11", "12345", 2, 2, 5, ""},  // no NUL inside
      {"V06.11", std::string(65, '1'), 2, 2, 300, ""},  // more digits than an instrument has
      {"V06.11", "7", 255, 255, 300, "0." + std::string(254, '0') + "7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.text + " " + std::to_string(c.scale));
    SetVersion(c.version);
    std::string buffer = c.text;
    buffer.resize(std::max(c.capacity, c.text.size() + 1), '\0');
    EXPECT_EQ(InsertDecimalPoint(buffer.data(), c.scale, c.precision, c.capacity), c.text.empty() || !c.result.empty());
    EXPECT_EQ(std::string(buffer.c_str()), c.result);
  }
  EXPECT_EQ(CountTrace("Error: Scale Less than Precision in InsertDecimalPoint!\n"), 1);
}

TEST_F(FormatTest, LocalStringsAndPrintFormatNames) {
  struct Case { int table, language, item; size_t capacity; const char* text; };
  const Case strings[] = {
      {4, 9, 0, 32, "FAIL"}, {16, 0, 3, 32, ""},  // English, then empty
      {2, 3, 13, 32, ""}, {5, 0, -1, 32, ""},  // past the months; the item of a sign-extended 0xFF byte
      {20, 0, 0, 32, ""}, {0, 0, 8, 4, "Tra"},
  };
  for (const Case& c : strings) {
    char text[32] = "junk";
    GetLocalString(text, c.table, c.language, c.item, c.capacity);
    EXPECT_STREQ(text, c.text) << c.table << "/" << c.language << "/" << c.item;
  }
  struct Name { const char* base; int language; char format; size_t capacity; const char* name; };
  const Name names[] = {{"KX0500LONGER", 8, '1', 16, "KX0500T1.PTF"},
               // A short base or a language without a letter ends the text earlier.
               {"KX05", 0, '1', 16, "KX05.PTF"}, {"KX0500", 9, '1', 16, "KX0500.PTF"},
               {"KX0500", 255, '1', 16, "KX0500.PTF"}, {"KX0500", -1, 'P', 16, "KX0500.PTF"},
               {"KX0500", 0, '1', 8, "KX0500E"}};
  for (const Name& c : names) {
    char name[16] = {};
    std::strncpy(name, c.base, sizeof name - 1);
    BuildPrintFormatName(name, c.language, c.format, c.capacity);
    EXPECT_STREQ(name, c.name) << c.base;
  }
}

// A wiremap whose conductors all arrive where they should, changed by a row's edits:
// "O3" position 3 open, "S01" near-end position 0 shows at position 0 + 1 + 1. Its
// items: expected, near-end and far-end strings, and below version 06 the result mark
// ('!' when wrong). The first refused item ends the wiremap, with its error; what came
// before stays.
TEST_F(FormatTest, WiremapItems) {
  // `used`: of the record build buffer, before; `kept`: items written before a refusal.
  struct Case { uint8_t presence[kPairPresenceSize]; const char* edits, *version; uint32_t used; const char* strings[3];
                bool wrong; uint32_t error; size_t kept; };
  const Case cases[] = {
      {{0, 1, 1, 1, 1}, "O0 O1 ", "V05.20", 0, {"  345678S", "12345678S", "  345678S"}, false, 0, 0},  // no pair 1-2
      {{1, 0, 1, 1, 1}, "", "V05.20", 0, {"12 45 78S", "12345678S", "12345678S"}, false, 0, 0},
      {{1, 1, 0, 1, 1}, "O3 O4 ", "V05.20", 0, {"123  678S", "12345678S", "123  678S"}, false, 0, 0},
      {{1, 1, 1, 1, 1}, "O8 ", "V05.20", 0, {"12345678S", "12345678 ", "12345678 "}, true, 0, 0},
      // Lower near-end groups are handled last and win; position 8 taken hides the shield.
      {{1, 1, 1, 1, 1}, "S10S01S25", "V05.20", 0, {"12345678S", "121456783", "12345678S"}, true, 0, 0},
      {{1, 1, 1, 1, 1}, "", "V06.00", kRecordBuildBufferSize - 20, {"12345678S"}, false, KXERR_RECORD_TOO_LARGE, 1},
      // The mark alone would fit.
      {{1, 1, 1, 1, 1}, "", "V05.00", kRecordBuildBufferSize - 10, {}, false, KXERR_RECORD_TOO_LARGE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.edits);
    SetVersion(c.version);
    uint8_t map[kWiremapSize] = {};
    for (int b = 0; b < 9; ++b) map[3 * b + 2] = static_cast<uint8_t>(0x40 | b);
    for (const char* e = c.edits; *e; e += 3) {
      const int b = e[1] - '0', x = e[2] == ' ' ? 0 : e[2] - '0';
      if (e[0] == 'O') map[3 * b + 2] = 0;
      if (e[0] == 'S') map[3 * b] |= static_cast<uint8_t>(1 << x);
    }
    const bool mark = std::strcmp(c.version, "V06") < 0;
    Record expected;
    for (uint16_t n = 0; n < 3 && c.strings[n]; ++n) expected.push_back({uint16_t(227 + n), TextBytes(c.strings[n])});
    if (mark) expected.push_back({119, {static_cast<uint8_t>(c.wrong ? '!' : ' ')}});
    if (c.error) expected.resize(c.kept);
    RecordBuildLength = c.used;
    uint32_t error = 1;
    EXPECT_EQ(WriteWiremap(c.presence, map, &error), c.error ? 0 : 39 + (mark ? 5 : 0));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(Decoded(Stored(Bytes(RecordBuildBuffer + c.used, RecordBuildBuffer + RecordBuildLength))), expected);
  }
}

// ---------------------------------------------------------------------------------------
// Sweep data and metres

// A block that runs past the record: the blocks before it written, the load failed, the
// cursor at the record's end.
TEST_F(FormatTest, SweepBlocksInOrderWithTheirSizes) {
  uint8_t* data = ExplodedATBuffer + 0x1c;
  for (uint32_t i = 0; i < 100; ++i) data[i] = static_cast<uint8_t>(i);
  const uint8_t* cursor = data;
  uint32_t error = 1;
  EXPECT_EQ(WriteSweepData(platform::kNoFile, &cursor, data + 100, 0x03, 10, &error), 0u);  // Near NEXT runs past
  EXPECT_EQ(std::tuple(error, cursor), std::tuple(KXERR_AUTOTEST_LOAD, data + 100));
  EXPECT_EQ(BuiltItems(), (Record{{632, Bytes(data, data + 80)}}));
  // The log names each block with its read position.
  ASSERT_EQ(OpenConversionLog(), 1);
  DebugLevel = DBG_LOGFILE;
  cursor = data;
  EXPECT_GT(WriteSweepData(LogFile, &cursor, ExplodedATBuffer + 0x1c + 200, 0x21, 10, &error), 0u);
  CloseConversionLog();
  EXPECT_EQ(LogText(), "Writing Attenuation Data from      00001c\nWriting Near Return Loss Data from 00006c\n");
}

TEST(MetresToFeetTest, WrapsIn32Bits) { EXPECT_EQ(MetresToFeet(2000000), 2982527u); }

}  // namespace
