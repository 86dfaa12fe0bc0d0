// The translation table: a sample of its rows against the published table, its counts,
// the first-match rule, and the conversion-log lookup and line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/tx_table.h"
#include "session/state.h"
#include "tests/support/library_fixture.h"

namespace {

struct Row {
  uint32_t row;
  int32_t dataId;
  const char* dataIdName;
  int32_t tag;
  const char* tagName;
};

// Rows taken by hand from the table: the ends of runs, the families whose second half takes
// a second run of tags, renamed fields, the unsorted fiber rows and the tag-only rows.
const Row kSample[] = {
    {0, 0, "UNKNOWN_DATAID", 0, "UNUSED_DATAID"},
    {1, 1, "ID_VERSION_SW", 1, "XTG_VERSION_SW"},
    {3, 29, "ID_INJ_SERIAL", 239, "XTG_SI_SERIALNUMBER"},
    {7, 41, "ID_LENGTH_PAIR1", 208, "XTG_LENGTH_VALUE1"},
    {10, 44, "ID_LENGTH_PAIR4", 211, "XTG_LENGTH_VALUE4"},
    {12, 56, "ID_UNITS_DISPLAYED", 84, "XTG_UPREF_UNITS"},
    {13, 63, "ID_INJ_SW", 32767, "UNUSED_DATAID"},
    {23, 80, "ID_NEXT_PAIR6", 281, "XTG_PAIRCOMBO6_NEXT_VALUE"},
    {56, 113, "ID_FNEXT_FREQ_PAIR1", 151, "XTG_PAIRCOMBO1_FAR_NEXT_FREQ"},
    {73, 136, "ID_ATTN_PASS_PAIR4", 67, "XTG_ATTN_PAIR4_PASS_FAIL"},
    {142, 221, "ID_AUTOTEST_SAVED_SNOUT_NAME", 513, "XTG_VEXA_ADAPTER"},
    {153, 244, "ID_ELFEXT_PAIR6", 430, "XTG_PAIRCOMBO6_FEXT_VALUE"},
    {154, 245, "ID_ELFEXT_PAIR7", 469, "XTG_PAIRCOMBO7_FEXT_VALUE"},
    {159, 250, "ID_ELFEXT_PAIR12", 474, "XTG_PAIRCOMBO12_FEXT_VALUE"},
    {205, 296, "ID_FACR_FREQ_PAIR4", 51, "XTG_PAIRCOMBO4_FAR_ACR_FREQ"},
    {235, 326, "ID_FRETLOSS_PASS_PAIR4", 384, "XTG_FAR_RL_PAIR4_PASS_FAIL"},
    {262, 356, "ID_FELFEXT_FREQ_PAIR12", 504, "XTG_PAIRCOMBO12_FAR_FEXT_FREQ"},
    {293, 389, "ID_FAR_FEXT_RESULTS", 32767, "UNUSED_DATAID"},
    {295, 398, "ID_AUTOTEST_FAR_SAVED_SNOUT_NAME", 514, "XTG_REMOTE_ADAPTER"},
    {308, 418, "ID_EXPECTED_PAIRS", 227, "XTG_WIREMAP_EXPECTED"},
    {309, 425, "ID_SAVED_PROJECT_NAME", 78, "XTG_UPREF_COMPANYNAME"},
    {310, 441, "ID_SWEEP_MARKER", 32767, "SWEEP_MARKER"},
    {358, 492, "ID_PSELFEXT_PASS_PAIR4", 567, "XTG_PAIR4_PSELFEXT_PASS_FAIL"},
    {406, 540, "ID_FPSELFEXT_PASS_PAIR4", 615, "XTG_PAIR4_FAR_PSELFEXT_PASS_FAIL"},
    {407, 667, "ID_FIBER_AT_NEAR_SNOUT_SERIAL", 5058, "XTG_VEXAFIBER_SERIALNUMBER"},
    {413, 632, "ID_FIBER_AT_REF_METHOD", 5057, "XTG_OPTICAL_REF_METHOD"},
    {426, 659, "ID_FIBER_CONFIG", 32767, "UNUSED_DATAID"},
    {430, 674, "ID_FIBER_AT_LOSS_1300_FN_PF", 5043, "XTG_LOSS_1300_REVERSE_PASSFAIL"},
    {431, 0, "", 32767, "UNUSED_DATAID"},
    {432, 0, "", 121, "XTG_CIRCUITID"},
    {439, 0, "", 630, "XTG_SWEEP_LENGTH"},
};

TEST(TXTableTest, SampledRowsMatchTheTable) {
  for (const Row& r : kSample) {
    const TXEntry& e = TXTable[r.row];
    EXPECT_EQ(e.dataId, r.dataId) << "row " << r.row;
    EXPECT_STREQ(e.dataIdName, r.dataIdName) << "row " << r.row;
    EXPECT_EQ(e.tag, r.tag) << "row " << r.row;
    EXPECT_STREQ(e.tagName, r.tagName) << "row " << r.row;
  }
}

TEST(TXTableTest, CountsAndVocabulary) {
  EXPECT_EQ(TXTableRowCount, 440u);
  int unused = 0;
  std::set<int32_t> dataIds;
  for (uint32_t row = 0; row < TXTableRowCount; ++row) {
    const TXEntry& e = TXTable[row];
    // Names are NUL-terminated inside their 40 bytes.
    ASSERT_NE(std::memchr(e.dataIdName, 0, sizeof e.dataIdName), nullptr) << row;
    ASSERT_NE(std::memchr(e.tagName, 0, sizeof e.tagName), nullptr) << row;
    if (e.tag == 32767) ++unused;
    if (row >= 1 && row <= 430) {
      EXPECT_EQ(std::strncmp(e.dataIdName, "ID_", 3), 0) << row;
      EXPECT_TRUE(dataIds.insert(e.dataId).second) << "data ID " << e.dataId << " twice, row " << row;
    }
    if (row >= 431) {
      EXPECT_EQ(e.dataId, 0) << row;
      EXPECT_STREQ(e.dataIdName, "") << row;
    }
    if (e.tag != 32767 && row != 0) {
      EXPECT_EQ(std::strncmp(e.tagName, "XTG_", 4), 0) << row;
    }
  }
  EXPECT_EQ(unused, 17);  // the rows whose data ID has no field of its own
  // Copper rows come before the fiber rows (data IDs above 600).
  EXPECT_LE(TXTable[406].dataId, 540);
  EXPECT_GE(TXTable[407].dataId, 632);
}

TEST(TXTableTest, FamiliesRiseByOnePerMember) {
  // NEXT pair combinations 1-6: rows 18-23, data IDs 75-80, tags 276-281.
  for (int k = 0; k < 6; ++k) {
    const TXEntry& e = TXTable[18 + k];
    EXPECT_EQ(e.dataId, 75 + k);
    EXPECT_EQ(e.tag, 276 + k);
    EXPECT_EQ(std::string(e.dataIdName), "ID_NEXT_PAIR" + std::to_string(k + 1));
    EXPECT_EQ(std::string(e.tagName), "XTG_PAIRCOMBO" + std::to_string(k + 1) + "_NEXT_VALUE");
  }
  // Far power-sum ACR pairs 1-4: rows 375-378, data IDs 509-512, tags 584-587.
  for (int k = 0; k < 4; ++k) {
    const TXEntry& e = TXTable[375 + k];
    EXPECT_EQ(e.dataId, 509 + k);
    EXPECT_EQ(e.tag, 584 + k);
    EXPECT_EQ(std::string(e.tagName), "XTG_PAIR" + std::to_string(k + 1) + "_FAR_PSACR_VALUE");
  }
}

TEST(TXTableTest, FirstMatchWinsAndNamesAreIndependentOfTheLog) {
  DebugLevel = 0;
  EXPECT_EQ(FindTXRow(32767), &TXTable[13]);  // ID_INJ_SW, the first of 17
  EXPECT_STREQ(TagName(32767), "UNUSED_DATAID");
  EXPECT_STREQ(TagName(0), "UNUSED_DATAID");
  EXPECT_STREQ(TagName(24), "XTG_STORED_AT_NAME");
  EXPECT_STREQ(TagName(5058), "XTG_VEXAFIBER_SERIALNUMBER");
  EXPECT_EQ(TagName(5022), nullptr);
  EXPECT_EQ(TagName(632), nullptr);  // the sweep tag is no row's tag
  EXPECT_EQ(TagName(0x10000 + 24), nullptr);
}

class TXLogTest : public testsupport::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ResetConvertState();
    LogFile = std::tmpfile();
    ASSERT_NE(LogFile, nullptr);
  }
  void TearDown() override {
    ResetConvertState();
    LibraryTest::TearDown();
  }
  std::string Log() {
    std::fflush(LogFile);
    std::rewind(LogFile);
    std::string text;
    char buffer[1024];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, LogFile)) > 0) text.append(buffer, n);
    return text;
  }
};

TEST_F(TXLogTest, LookupDoesNothingWithTheLogOff) {
  DebugLevel = DBG_TRACE;
  EXPECT_EQ(FindTXEntryByTag(5022), nullptr);
  EXPECT_EQ(FindTXEntryByTag(24), nullptr);
  EXPECT_EQ(CurrentTXEntry, nullptr);
  LogConvertedValue(2, "x", 24);
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(Traces().empty());
}

TEST_F(TXLogTest, UnknownTagIsLoggedAndLabelledWithRowZero) {
  DebugLevel = DBG_TRACE | DBG_LOGFILE;
  EXPECT_EQ(FindTXEntryByTag(5022), &TXTable[0]);
  EXPECT_EQ(CountTrace("  Couldn't find an entry in TXTable \n"), 1);
  LogConvertedValue(4, "0.85", 5022);
  EXPECT_EQ(Log(),
            "Couldn't find an entry in TXTable\n"
            "04 0.85         139e UNUSED_DATAID                   0000 UNKNOWN_DATAID          \n");
}

TEST_F(TXLogTest, LogLineShowsTheCurrentEntryAndCutsLongTexts) {
  DebugLevel = DBG_LOGFILE;
  EXPECT_EQ(FindTXEntryByTag(276), &TXTable[18]);
  EXPECT_EQ(CurrentTXEntry, &TXTable[18]);
  LogConvertedValue(2, "123.5", 276);
  LogConvertedValue(12, "A text longer than twelve", 276);
  WriteConversionLogLine(0, "KX0500E1.PTF", 2000, "XTG_PRINT_FORMAT", 0, "");
  EXPECT_EQ(Log(),
            "02 123.5        0114 XTG_PAIRCOMBO1_NEXT_VALUE       004b ID_NEXT_PAIR1           \n"
            "12 A text longe 0114 XTG_PAIRCOMBO1_NEXT_VALUE       004b ID_NEXT_PAIR1           \n"
            "00 KX0500E1.PTF 07d0 XTG_PRINT_FORMAT                0000                         \n");
}

}  // namespace
