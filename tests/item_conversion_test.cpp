// Converting one value: value types and conversion codes for chosen values, the stateful
// conversions over short autotests, bounds, and conversion-log lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/item_conversion.h"
#include "convert/limits.h"
#include "convert/tx_table.h"
#include "convert/workspace.h"
#include "platform/platform.h"
#include "tests/support/library_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Items = std::vector<std::pair<uint16_t, std::string>>;  // tag, value bytes
const std::string kEmpty(1, '\0');                             // an empty text is one NUL byte

Bytes Text(const std::string& s, size_t size) {
  Bytes b(s.begin(), s.end());
  b.resize(size);
  return b;
}

// Cable block: name (27 bytes), first and second fiber parameter, NVP, cable type.
Bytes Cable(const char* name, uint16_t fiber1, uint16_t fiber2, uint16_t nvp, uint16_t type) {
  Bytes b = Text(name, 27);
  for (uint16_t v : {fiber1, fiber2, nvp, type}) b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
  return b;
}

auto Fields(const ConversionContext& c) {
  return std::make_tuple(c.units, c.fiberConfig, c.fiberConfigTable, c.olbSeen, c.sweepBits, c.sweepLength,
                         c.powerSumLetter, c.wiremapParts);
}

// One value: entry, type, value bytes and the context before -> the items (the count is
// 4 + length each), the context after, the error and, when given, the model name after.
struct Row {
  FormatEntry entry;
  uint8_t type;
  Bytes value;
  Items items;
  ConversionContext before{}, after{};
  const char* version = "V06.11";
  uint32_t error = 0;
  uint8_t language = 0;
  const char* model = nullptr;
};

class ItemConversionTest : public testsupport::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_EQ(AllocConversionBuffers(), 1);
    std::strcpy(VersionInfo, "V06.11");
  }
  int32_t Convert(FormatEntry entry, uint8_t type, const Bytes& value, size_t readable = SIZE_MAX) {
    return ConvertATItem(&entry, type, value.data(), static_cast<uint32_t>(std::min(readable, value.size())),
                         &context_, &cursor_, &sweep_, end_, pairs_, wiremap_, &error_);
  }
  // The items appended to the record build buffer since the last call.
  static Items TakeItems() {
    Items items;
    for (uint32_t at = 0; at + 4 <= RecordBuildLength; at += 4u + items.back().second.size()) {
      const uint8_t* p = RecordBuildBuffer + at;
      items.emplace_back(p[0] | p[1] << 8, std::string(reinterpret_cast<const char*>(p + 4), p[2] | p[3] << 8));
    }
    RecordBuildLength = 0;
    return items;
  }
  // A row alone takes its version, language and context before, and checks the context after;
  // rows of one autotest share the context.
  void Check(const Row& r, bool alone = true) {
    SCOPED_TRACE(testing::Message() << "conversion " << int(r.entry.conversion) << " tag " << r.entry.tag);
    if (alone) {
      std::strcpy(VersionInfo, r.version);
      LanguageIndex = r.language;
      context_ = r.before;
    }
    error_ = 0;
    int32_t size = 0;
    for (const auto& item : r.items) size += 4 + static_cast<int32_t>(item.second.size());
    EXPECT_EQ(Convert(r.entry, r.type, r.value), size);
    EXPECT_EQ(TakeItems(), r.items);
    EXPECT_EQ(error_, r.error);
    EXPECT_STREQ(ScannerModelName, r.model ? r.model : ScannerModelName);
    if (alone) {
      EXPECT_EQ(Fields(context_), Fields(r.after));
    }
  }
  void CheckRows(const std::vector<Row>& rows) {
    for (const Row& r : rows) Check(r);
  }

  ConversionContext context_;
  const uint8_t *cursor_ = nullptr, *sweep_ = nullptr, *end_ = nullptr;
  uint8_t pairs_[kExpectedPairsSize] = {}, wiremap_[kMeasuredWiremapSize] = {};
  uint32_t error_ = 0;
};

TEST_F(ItemConversionTest, ValueTypesAndConversionsWithoutState) {
  const FormatEntry s{288, 2, 2, CONV_SHORT, 1}, table{24, 1, 0, CONV_TABLE, 7}, mark{24, 1, 0, CONV_MARK_ONE, 0};
  const FormatEntry integer{24, 2, 0, CONV_INTEGER, 0}, digits{24, 1, 0, CONV_TWO_DIGITS, 0};
  const FormatEntry pass{176, 1, 0, CONV_PASS_FAIL, 0}, result{24, 1, 0, CONV_WIREMAP_RESULT, 0};
  CheckRows({
      {{24, 2, 0, CONV_NOT_SAVED, 0}, DASH, {1, 0}, {{24, "---"}}}, {{24, 2, 0, 200, 0}, DASH, {1, 0}, {{24, "---"}}},
      {s, BLANK, {1, 0}, {}}, {s, OVR, {1, 0}, {{288, "OVR"}}}, {s, NEF, {1, 0}, {{288, "NEF"}}},
      {s, UNDR, {1, 0}, {{288, "UND"}}}, {s, INVIS, {1, 0}, {}}, {s, 0, {0x39, 0x30}, {{288, "123.5"}}},
      {s, 6, {0x39, 0x30}, {{288, "123.5"}}}, {s, 15, {0xC7, 0xCF}, {{288, "-123.5"}}},
      {{24, 1, 1, CONV_CTOA, 0}, 0, {0xF6}, {{24, "-10"}}}, {{24, 4, 3, CONV_LONG, 2}, 0, {0x39, 0x30, 0, 0}, {{24, "12.35"}}},
      {{24, 1, 0, CONV_BTOA, 0}, 0, {4}, {{24, "*-"}}}, {{24, 1, 0, CONV_BTOA, 0}, 0, {0xFF}, {{24, kEmpty}}},
      {{24, 3, 0, CONV_RAW, 0}, 0, {'A', 0, 'B', 'C'}, {{24, std::string("A\0B", 3)}}},
      {pass, 0, {1}, {{176, "PASS"}}}, {pass, 0, {0}, {{176, "FAIL"}}, {}, {}, "V06.11", 0, 6},
      {table, 0, {2}, {{24, "4-5"}}}, {{24, 1, 0, CONV_TABLE, 20}, 0, {0}, {{24, kEmpty}}},
      {{24, 1, 0, CONV_TABLE_QUIET, 6}, 0, {1}, {{24, "m"}}}, {digits, 0, {7}, {{24, "07"}}},
      {digits, 0, {123}, {{24, "123"}}}, {mark, 0, {1}, {{24, "!"}}}, {mark, 0, {0}, {{24, " "}}},
      {mark, 0, {2}, {{24, " "}}}, {{24, 1, 0, CONV_TABLE_AND_CODE, 15}, 0, {2}, {{24, "Short"}, {679, "2"}}},
      {{24, 1, 0, CONV_INTEGER, 0}, 0, {0xFF}, {{24, "255"}}}, {integer, 0, {0xFF, 0xFF}, {{24, "-1"}}},
      {{24, 4, 1, CONV_INTEGER, 1}, 0, {0xFF, 0xFF, 0xFF, 0x7F}, {{24, "214748364.7"}}},
      {result, 0, {0}, {{119, "!"}}, {}, {}, "V06.00"}, {result, 0, {0}, {}, {}, {}, "V05.20"},
      {{24, 2, 0, 200, 0}, 0, {1, 0}, {}, {}, {}, "V06.11", KXERR_VERSION_MISMATCH},
      {{24, 2, 0, 255, 0}, 7, {1, 0}, {}, {}, {}, "V06.11", KXERR_VERSION_MISMATCH},
  });
}

TEST_F(ItemConversionTest, ConversionsThatReadAndChangeTheContext) {
  const ConversionContext loop{.fiberConfig = 2, .fiberConfigTable = 13}, ft{.units = 1}, m{.units = 2};
  const ConversionContext oneWay{.fiberConfig = 0};
  const FormatEntry below{5, 2, 0, CONV_LENGTH_BELOW, 0}, metres{208, 4, 1, CONV_LENGTH_METRES, 1};
  const FormatEntry direction{5007, 1, 0, CONV_FIBER_DIRECTION, 10};
  CheckRows({
      {{84, 1, 0, CONV_UNITS, 6}, 0, {1}, {{84, "m"}}, {}, m}, {{84, 1, 0, CONV_UNITS, 6}, 0, {0}, {{84, "ft"}}, m, ft},
      {below, 0, {0, 0}, {{5, "0"}}, ft, ft}, {below, 0, {10, 0}, {{5, "< 33"}}, ft, ft},
      {{5, 2, 1, CONV_LENGTH_BELOW, 1}, 0, {10, 0}, {{5, "< 1.0"}}, m, m},
      {metres, 0, {0xE8, 3, 0, 0}, {{208, "328"}}, ft, ft, "V04.00"},
      {metres, 0, {0xE8, 3, 0, 0}, {{208, "328.1"}}, ft, ft, "V03.00"},
      {metres, 0, {0xA0, 0x86, 1, 0}, {{208, "3446.4"}}, m, m, "V04.00"},
      {metres, 0, {0xA0, 0x86, 1, 0}, {{208, "10000.0"}}, m, m},
      {{5005, 2, 1, CONV_OLB, 1}, 0, {5, 0}, {{5005, "0.5"}}, {}, {.olbSeen = 1}},
      {{999, 1, 0, CONV_POWERSUM, 0}, 0, {0}, {{456, kEmpty}}, {.powerSumLetter = 'P'}, {}},
      {direction, 0, {1}, {{5007, "Remote -> VexaFiber"}, {5008, kEmpty}, {5009, "O<-R"}}, oneWay, oneWay},
      {direction, 0, {2}, {{5007, "Bidirectional"}, {5008, "LB1"}, {5009, "LB2"}}, loop, loop},
      {direction, 0, {2}, {{5007, "Bidirectional"}, {5008, "O->R"}, {5009, "O<-R"}}, oneWay, oneWay},
      {{631, 2, 0, CONV_SWEEP_BITS, 0}, 0, {0xFF, 0xFF}, {{631, "-1"}}, {}, {.sweepBits = -1}},
      {{2000, 16, 0, CONV_PRINT_FORMAT, 0}, 0, Text("KX0500", 16), {{2000, "KX0500F.PTF"}}, {}, {}, "V06.11", 0, 1},
      {{222, 35, 0, CONV_CABLE, 12}, 0, Cable("UTP", 7, 7, 69, 1), {{46, "UTP"}, {4025, "69"}, {669, "Coax"}}},
      {{222, 35, 0, CONV_CABLE, 12}, 0, Cable("MM", 1234, 25000, 69, 4),
       {{46, "MM"}, {5002, "0.1234"}, {5003, "2.5000"}, {669, "Multimode 62.5um"}, {5027, "1300"}, {5028, "850"}}},
      {{513, 11, 0, CONV_FIBER_MODEL, 0}, 0, Text("vexafiberSM", 11), {{513, "vexafiberSM"}}, {}, {}, "V06.11", 0, 0,
       "VEXAFiber SM"},
      {{513, 9, 0, CONV_FIBER_MODEL, 0}, 0, Text("VEXAFIBER", 9), {{513, "VEXAFIBER"}}, {}, {}, "V06.11", 0, 0, "VEXAFiber"},
  });
}

TEST_F(ItemConversionTest, AutotestValuesInOrder) {
  DebugLevel = DBG_TRACE;
  std::strcpy(VersionInfo, "V05.20");  // the wire map writes its own result mark; metres are 32 bits wide
  std::vector<std::string> boxes;
  platform::SetMessageBoxHook([](const char* title, const char* text, void* out) {
    static_cast<std::vector<std::string>*>(out)->push_back(std::string(title) + "|" + text);
  }, &boxes);
  Bytes record(100), wiremap(27);  // pins 1-8 straight through but pin 1 arriving at 2; no shield
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i);
  for (uint8_t b = 0; b < 8; ++b) wiremap[3 * b + 2] = 0x40 | (b ? b : 1);
  std::tie(cursor_, end_, typeAreaBytes, BitIDOffset) = std::make_tuple(record.data() + 28, record.data() + 100, 3, 2);
  const auto sweep = [&](size_t from) { return std::string(record.begin() + from, record.begin() + from + 16); };
  const FormatEntry feet{1080, 2, 1, CONV_LENGTH_FEET, 1}, measured{228, 27, 0, CONV_WIREMAP, 0};
  const FormatEntry direction{5007, 1, 0, CONV_FIBER_DIRECTION, 10};
  for (const Row& r : std::vector<Row>{
           {{0, 0, 0, CONV_NORMAL_SECTION, 0}, 0, {}, {}}, {feet, 0, {0xE8, 3}, {{1080, "100"}}},
           {feet, 0, {0x10, 0x27}, {{1080, "1000"}}}, {{84, 1, 0, CONV_UNITS, 6}, 0, {1}, {{84, "m"}}},
           {feet, 0, {0xE8, 3}, {{1080, "30.5"}}}, {{208, 2, 1, CONV_LENGTH_METRES, 1}, 0, {0xE8, 3}, {{208, "100.0"}}},
           {{227, 5, 0, CONV_WIREMAP, 0}, 0, {1, 1, 1, 1, 0}, {}},
           {measured, 0, wiremap, {{227, "12345678 "}, {228, "12345678 "}, {229, "22345678 "}, {119, "!"}}},
           {measured, 0, wiremap, {}}, {{0, 0, 0, CONV_BIT_SECTION, 0}, 0, {}, {}},
           {{631, 2, 0, CONV_SWEEP_BITS, 0}, 0, {0x21, 0}, {{631, "33"}}},
           {{631, 2, 0, CONV_SWEEP_LENGTH, 0}, 0, {2, 0}, {{630, "2"}}},
           {{0, 0, 0, CONV_SWEEP_DATA, 0}, 0, {}, {{632, sweep(61)}, {647, sweep(77)}}},
           {{618, 18, 0, CONV_LIMIT_NAME, 0}, 0, Text("NEXT-A", 18), {{618, "NEXT-A"}}},
           {{700, 18, 0, CONV_LIMIT_NAME, 0}, 0, Text("Z", 18), {{700, "Z"}}},
           {{23, 6, 0, CONV_COPPER_MODEL, 0}, 0, Text("50j-12", 6), {{23, "50j-12"}}, {}, {}, "", 0, 0, "VEXAScannerLT"},
           {{513, 14, 0, CONV_FIBER_MODEL, 0}, 0, Text("VexaFiber SM 2", 14), {{513, "VexaFiber SM 2"}}},
           {{23, 6, 0, CONV_COPPER_MODEL, 0}, 0, Text("150J-1", 6), {{23, "150J-1"}}, {}, {}, "", 0, 0, "VEXAFiber SM"},
           {{222, 35, 0, CONV_CABLE, 12}, 0, Cable("SM9", 1234, 25000, 69, 2),
            {{46, "SM9"}, {5002, "0.1234"}, {5003, "2.5000"}, {669, "Single-mode"}, {5028, "1310"}, {5027, "1550"}}},
           {direction, 0, {1}, {{5007, kEmpty}, {5008, kEmpty}, {5009, "O<-R"}}},
           {{659, 2, 0, CONV_FIBER_CONFIG, 13}, 0, {2, 0}, {}},
           {direction, 0, {1}, {{5007, "Loopback"}, {5008, kEmpty}, {5009, "O<-R"}}},
           {{999, 1, 0, CONV_POWERSUM, 0}, 0, {1}, {{456, "P"}}},
           {{2000, 16, 0, CONV_PRINT_FORMAT, 0}, 0, Text("KX0500", 16), {{2000, "KX0500EP.PTF"}}}}) {
    Check(r, false);
  }
  EXPECT_EQ(Fields(context_), Fields({.units = 2, .fiberConfig = 2, .fiberConfigTable = 13, .sweepBits = 33,
                                      .sweepLength = 2, .powerSumLetter = 'P', .wiremapParts = 3}));
  EXPECT_EQ(std::make_tuple(CurrentWalkMode, sweep_, cursor_), std::make_tuple(BitMode, &record[61], &record[93]));
  for (uint32_t slot = 0; slot < kLimitNameSlots; ++slot) EXPECT_STREQ(LimitNames[slot], slot ? "" : "NEXT-A");
  EXPECT_EQ(CountTrace("  Error - a Length was Found in ATSTIDS before ID_Units_Displayed "), 1);
  EXPECT_EQ(CountTrace("  Unknown Limit Name Type encountered: "), 1);
  EXPECT_EQ(boxes, std::vector<std::string>{"Error|Error! ID_FIBER_CONFIG data ID not processed before \n"
                                            "ID_FIBER_AT_DIRECTION data ID. Check FATSTIDS"});
}

TEST_F(ItemConversionTest, ReadsAndMovesStayInsideWhatTheyWereGiven) {
  // A limit record: 18 name bytes, a point, the terminating point (-32767), one more point.
  Bytes limit = Text("L", 18), points{1, 2, 3, 4, 100, 0, 5, 6, 7, 8, 0x01, 0x80, 9, 9, 9, 9, 9, 9};
  limit.insert(limit.end(), points.begin(), points.end());
  EXPECT_EQ(Convert({661, 318, 0, CONV_LIMIT_RECORD, 0}, 0, limit), 16);
  EXPECT_EQ(Convert({661, 318, 0, CONV_LIMIT_RECORD, 0}, 0, limit, 18 + 6 + 5), 10);  // no terminating point readable
  EXPECT_EQ(Convert({24, 2, 0, CONV_SHORT, 0}, 0, {0xFF}), 7);      // a one-byte value read as 16 bits
  EXPECT_EQ(Convert({619, 40, 0, CONV_LIMIT_NAME, 0}, 0, Text(std::string(40, 'N'), 40)), 44);
  EXPECT_EQ(LimitNames[1], std::string(31, 'N'));
  const std::string twoPoints(points.begin(), points.begin() + 12);
  EXPECT_EQ(TakeItems(), (Items{{661, twoPoints}, {661, twoPoints.substr(0, 6)}, {24, "255"}, {619, std::string(40, 'N')}}));
  // Section switches stop at the end of the record; sweep data that does not fit fails.
  Bytes record(40);
  std::tie(cursor_, end_, typeAreaBytes, BitIDOffset) = std::make_tuple(record.data() + 10, record.data() + 40, 50, 1);
  Convert({0, 0, 0, CONV_BIT_SECTION, 0}, 0, {});
  EXPECT_EQ(sweep_, record.data() + 39);
  Convert({0, 0, 0, CONV_NORMAL_SECTION, 0}, 0, {});
  EXPECT_EQ(cursor_, end_);
  context_.sweepBits = context_.sweepLength = 1;
  EXPECT_EQ(Convert({0, 0, 0, CONV_SWEEP_DATA, 0}, 0, {}), 0);
  EXPECT_EQ(error_, KXERR_AUTOTEST_LOAD);
  // A refused item adds nothing and the conversion goes on with the next one.
  RecordBuildLength = kRecordBuildBufferSize - 8;
  EXPECT_EQ(Convert({24, 1, 0, CONV_TABLE_AND_CODE, 15}, 0, {2}), 5);
  EXPECT_EQ(RecordBuildLength, kRecordBuildBufferSize - 3);
}

TEST_F(ItemConversionTest, ConversionLogLines) {
  char dir[] = "/tmp/kxitems.XXXXXX";
  const std::filesystem::path cwd = std::filesystem::current_path();
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::filesystem::current_path(dir);
  ASSERT_EQ(OpenConversionLog(), 1);
  DebugLevel = DBG_LOGFILE;
  Bytes record(64);
  std::tie(cursor_, end_) = std::make_pair(record.data(), record.data() + record.size());
  FindTXEntryByTag(288);
  Convert({288, 2, 1, CONV_SHORT, 1}, 0, {0x7B, 0});
  Convert({288, 2, 1, CONV_SHORT, 1}, DASH, {});
  FindTXEntryByTag(24);
  Convert({24, 20, 0, CONV_RAW, 0}, 0, Text("ABCDEFGHIJKLMNOPQRST", 20));
  Convert({24, 1, 0, CONV_POWERSUM, 0}, 0, {1});  // a line only with the trace bit as well
  DebugLevel = DBG_LOGFILE | DBG_TRACE;
  Convert({24, 1, 0, CONV_POWERSUM, 0}, 0, {1});
  Convert({631, 2, 0, CONV_SWEEP_BITS, 0}, 0, {0, 0});
  FindTXEntryByTag(46);
  Convert({46, 35, 0, CONV_CABLE, 12}, 0, Cable("UTP", 0, 0, 69, 1));
  for (uint8_t code : std::initializer_list<uint8_t>{CONV_NORMAL_SECTION, CONV_BIT_SECTION, CONV_SWEEP_DATA, 200}) {
    Convert({0, 0, 0, code, 0}, 0, {});
  }
  CloseConversionLog();
  std::filesystem::current_path(cwd);
  std::stringstream log;
  log << std::ifstream(std::filesystem::path(dir) / "KXLIB.LOG").rdbuf();
  std::filesystem::remove_all(dir);
  EXPECT_EQ(log.str(),
            "02 12.3         0120 XTG_PAIR1_ATTN_VALUE            0057 ID_ATTN_PAIR1           \n"
            "02 <DASH TYPE>  0120 XTG_PAIR1_ATTN_VALUE            0057 ID_ATTN_PAIR1           \n"
            "20 ABCDEFGHIJKL 0018 XTG_STORED_AT_NAME              001f ID_AUTOTEST_NAME        \n"
            "01 PowerSum = P 01c8 XTG_STORED_AT_NAME              001f ID_AUTOTEST_NAME        \n"
            "02 0            0277 Sweep Bits                      0000                         \n"
            "35 UTP          002e XTG_CABLE_NAME                  00de ID_AUTOTEST_SAVED_CABLE \n"
            "35 69           0fb9 XTG_NVP                         0000 NVP - Special           \n"
            " Switching to Normal Processing  Switching to Bit Processing No Stored Sweep Data\n"
            "  Unknown Conversion Function ");
}

}  // namespace
