// Converting one value: codes and values no generated instrument stores, values out of
// their order, bounds, and conversion-log lines.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "convert/item_conversion.h"
#include "convert/limits.h"
#include "convert/tx_table.h"
#include "platform/platform.h"
#include "tests/support/conversion_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Items = std::vector<std::pair<uint16_t, std::string>>;  // tag, value bytes
const std::string kEmpty(1, '\0');                             // an empty text is one NUL byte

Bytes Text(std::string s, size_t size) { return s.resize(size), Bytes(s.begin(), s.end()); }

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
struct Row { FormatEntry entry; uint8_t type; Bytes value; Items items; ConversionContext before{}, after{};
             const char* version = "V06.11"; uint32_t error = 0; uint8_t language = 0; const char* model = nullptr; };

class ItemConversionTest : public testsupport::ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
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
    if (alone) { EXPECT_EQ(Fields(context_), Fields(r.after)); }
  }

  ConversionContext context_;
  const uint8_t *cursor_ = nullptr, *sweep_ = nullptr, *end_ = nullptr;
  uint8_t pairs_[kExpectedPairsSize] = {}, wiremap_[kMeasuredWiremapSize] = {};
  uint32_t error_ = 0;
};

// What a generated instrument never stores: codes without a rule, values out of their
// tables or ranges, texts with NULs, signed extremes, model texts in other cases, a
// letter left in the context by an earlier value, a length past 16 bits before "V05".
TEST_F(ItemConversionTest, ValuesAndCodesOutsideWhatInstrumentsStore) {
  const FormatEntry mark{24, 1, 0, CONV_MARK_ONE, 0}, model{513, 11, 0, CONV_FIBER_MODEL, 0};
  for (const Row& r : std::vector<Row>{
      {{24, 2, 0, 200, 0}, DASH, {1, 0}, {{24, "---"}}}, {{24, 1, 0, CONV_BTOA, 0}, 0, {0xFF}, {{24, kEmpty}}},
      {{24, 3, 0, CONV_RAW, 0}, 0, {'A', 0, 'B', 'C'}, {{24, std::string("A\0B", 3)}}},
      {{176, 1, 0, CONV_PASS_FAIL, 0}, 0, {0}, {{176, "FAIL"}}, {}, {}, "V06.11", 0, 6},
      {{24, 1, 0, CONV_TABLE, 20}, 0, {0}, {{24, kEmpty}}}, {{24, 1, 0, CONV_TWO_DIGITS, 0}, 0, {123}, {{24, "123"}}},
      {mark, 0, {2}, {{24, " "}}}, {{24, 2, 0, CONV_INTEGER, 0}, 0, {0xFF, 0xFF}, {{24, "-1"}}},
      {{24, 4, 1, CONV_INTEGER, 1}, 0, {0xFF, 0xFF, 0xFF, 0x7F}, {{24, "214748364.7"}}},
      {{24, 1, 0, CONV_WIREMAP_RESULT, 0}, 0, {0}, {{119, "!"}}, {}, {}, "V06.00"},
      {{631, 2, 0, CONV_SWEEP_BITS, 0}, 0, {0xFF, 0xFF}, {{631, "-1"}}, {}, {.sweepBits = -1}},
      {{999, 1, 0, CONV_POWERSUM, 0}, 0, {0}, {{456, kEmpty}}, {.powerSumLetter = 'P'}, {}},
      {{208, 4, 1, CONV_LENGTH_METRES, 1}, 0, {0xA0, 0x86, 1, 0}, {{208, "3446.4"}}, {.units = 2}, {.units = 2}, "V04.00"},
      {model, 0, Text("vexafiberSM", 11), {{513, "vexafiberSM"}}, {}, {}, "V06.11", 0, 0, "VEXAFiber SM"},
      {{513, 9, 0, CONV_FIBER_MODEL, 0}, 0, Text("VEXAFIBER", 9), {{513, "VEXAFIBER"}}, {}, {}, "V06.11", 0, 0, "VEXAFiber"},
      {{227, 1, 0, CONV_WIREMAP, 0}, 0, {1}, {{227, "12       "}, {228, "12345678 "}, {229, "         "}},
       {.wiremapParts = 1}, {.wiremapParts = 2}},  // expected pairs of one byte, after a measured part of zeros
      {{24, 2, 0, 200, 0}, 0, {1, 0}, {}, {}, {}, "V06.11", KXERR_VERSION_MISMATCH},
      {{24, 2, 0, 255, 0}, 7, {1, 0}, {}, {}, {}, "V06.11", KXERR_VERSION_MISMATCH}}) {
    Check(r);
  }
}

// Values out of their order are converted all the same, and say so.
TEST_F(ItemConversionTest, ValuesOutOfOrderAreTraced) {
  DebugLevel = DBG_TRACE;
  std::strcpy(VersionInfo, "V05.20");
  std::vector<std::string> boxes;
  platform::SetMessageBoxHook([](const char* title, const char* text, void* out) {
    static_cast<std::vector<std::string>*>(out)->push_back(std::string(title) + "|" + text);
  }, &boxes);
  for (const Row& r : std::vector<Row>{
           {{1080, 2, 1, CONV_LENGTH_FEET, 1}, 0, {0xE8, 3}, {{1080, "100"}}},
           {{700, 18, 0, CONV_LIMIT_NAME, 0}, 0, Text("Z", 18), {{700, "Z"}}},
           {{5007, 1, 0, CONV_FIBER_DIRECTION, 10}, 0, {1}, {{5007, kEmpty}, {5008, kEmpty}, {5009, "O<-R"}}}}) {
    Check(r, false);
  }
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
  // A cable after a refusal that left its error writes nothing, so the walk stops there.
  error_ = KXERR_RECORD_TOO_LARGE;
  EXPECT_EQ(Convert({46, 35, 0, CONV_CABLE, 12}, 0, Cable("UTP", 0, 0, 69, 1)), 0);
  EXPECT_EQ(RecordBuildLength, kRecordBuildBufferSize - 3);
}

// Each conversion's log line, labelled by the translation row looked up for its tag: none
// with the log off, the first row of a tag, row 0 for a tag without one.
TEST_F(ItemConversionTest, ConversionLogLines) {
  ASSERT_EQ(OpenConversionLog(), 1);
  DebugLevel = DBG_TRACE;
  EXPECT_EQ(std::tuple(FindTXEntryByTag(24), CurrentTXEntry), std::tuple(nullptr, nullptr));
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
  FindTXEntryByTag(5022);  // no row of its own
  Convert({5022, 4, 0, CONV_RAW, 0}, 0, Text("0.85", 4));
  EXPECT_EQ(FindTXEntryByTag(32767), CurrentTXEntry);  // seventeen rows carry it
  Convert({32767, 1, 0, CONV_RAW, 0}, 0, Text("-", 1));
  for (uint8_t code : std::initializer_list<uint8_t>{CONV_NORMAL_SECTION, CONV_BIT_SECTION, CONV_SWEEP_DATA, 200}) {
    Convert({0, 0, 0, code, 0}, 0, {});
  }
  CloseConversionLog();
  EXPECT_EQ(LogText(),
            "02 12.3         0120 XTG_PAIR1_ATTN_VALUE            0057 ID_ATTN_PAIR1           \n"
            "02 <DASH TYPE>  0120 XTG_PAIR1_ATTN_VALUE            0057 ID_ATTN_PAIR1           \n"
            "20 ABCDEFGHIJKL 0018 XTG_STORED_AT_NAME              001f ID_AUTOTEST_NAME        \n"
            "01 PowerSum = P 01c8 XTG_STORED_AT_NAME              001f ID_AUTOTEST_NAME        \n"
            "02 0            0277 Sweep Bits                      0000                         \n"
            "35 UTP          002e XTG_CABLE_NAME                  00de ID_AUTOTEST_SAVED_CABLE \n"
            "35 69           0fb9 XTG_NVP                         0000 NVP - Special           \n"
            "Couldn't find an entry in TXTable\n"
            "04 0.85         139e UNUSED_DATAID                   0000 UNKNOWN_DATAID          \n"
            "01 -            7fff UNUSED_DATAID                   003f ID_INJ_SW               \n"
            " Switching to Normal Processing  Switching to Bit Processing No Stored Sweep Data\n"
            "  Unknown Conversion Function ");
  EXPECT_EQ(CountTrace("  Couldn't find an entry in TXTable \n"), 1);
}

}  // namespace
