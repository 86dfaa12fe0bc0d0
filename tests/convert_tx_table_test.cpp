// The translation table at work: the lookup that labels the conversion log (first row of
// a tag wins, row 0 for an unknown tag, nothing with the log off) and the log lines.
// The reader's tag names are tested with the reader.

#include "convert/tx_table.h"
#include "tests/support/conversion_fixture.h"

namespace {

using testsupport::ConversionTest;

TEST_F(ConversionTest, TranslationLookupsLabelTheLogLines) {
  // The log line of one lookup and one value, and the "Couldn't find" traces.
  struct Case { uint32_t debugLevel; uint16_t tag; uint32_t size; const char* value; const char* log; int traced; };
  const Case cases[] = {
      {DBG_TRACE, 24, 2, "x", "", 0},  // log off: no lookup, no line
      {DBG_TRACE | DBG_LOGFILE, 5022, 4, "0.85",
       "Couldn't find an entry in TXTable\n"
       "04 0.85         139e UNUSED_DATAID                   0000 UNKNOWN_DATAID          \n", 1},
      {DBG_LOGFILE, 276, 12, "A text longer than twelve",
       "12 A text longe 0114 XTG_PAIRCOMBO1_NEXT_VALUE       004b ID_NEXT_PAIR1           \n", 0},
      // Seventeen rows carry tag 32767: the first, ID_INJ_SW, labels it.
      {DBG_LOGFILE, 32767, 1, "-", "01 -            7fff UNUSED_DATAID                   003f ID_INJ_SW               \n", 0},
      {DBG_LOGFILE, 630, 2, "12", "02 12           0276 XTG_SWEEP_LENGTH                0000                         \n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    ASSERT_EQ(OpenConversionLog(), 1);
    DebugLevel = c.debugLevel;
    ClearTraces();
    const TXEntry* entry = FindTXEntryByTag(c.tag);
    EXPECT_EQ(entry, CurrentTXEntry);
    EXPECT_EQ(entry == nullptr, !(c.debugLevel & DBG_LOGFILE));
    LogConvertedValue(c.size, c.value, c.tag);
    CloseConversionLog();
    EXPECT_EQ(LogText(), c.log);
    EXPECT_EQ(CountTrace("  Couldn't find an entry in TXTable \n"), c.traced);
  }
  // Lines with explicit names, and with row 0 for none.
  ASSERT_EQ(OpenConversionLog(), 1);
  DebugLevel = DBG_LOGFILE;
  WriteConversionLogLine(0, "KX0500E1.PTF", 2000, "XTG_PRINT_FORMAT", 0, "");
  WriteConversionLogLine(3, nullptr, 5, static_cast<const TXEntry*>(nullptr));
  CloseConversionLog();
  EXPECT_EQ(LogText(),
            "00 KX0500E1.PTF 07d0 XTG_PRINT_FORMAT                0000                         \n"
            "03              0005 UNUSED_DATAID                   0000 UNKNOWN_DATAID          \n");
}

}  // namespace
