// Whole autotests of the generated instrument, converted by the library as a save does:
// the configuration read from the simulated Scanner over the line, every stored autotest
// handed to ProcessATResult, the data file read back with the project's reader. The
// expected items come from the generator's own choices (sim/generated_autotests.h).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/autotest_state.h"
#include "convert/autotest_walk.h"
#include "convert/instrument_config.h"
#include "convert/limits.h"
#include "sim/dataset.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "tests/support/conversion_fixture.h"

namespace {

using kxsim::Bytes;

class GeneratedInstrumentTest : public testsupport::ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    server_.Start();
  }

  // Converts every autotest of `set` of `type` as one save from the instrument does, into
  // a new data file; returns it.
  Bytes Save(const kxsim::Dataset& set, uint16_t type) {
    ResetConvertState();
    EXPECT_EQ(AllocConversionBuffers(), 1);
    uint32_t error = 0;
    uint16_t progress = 0;
    EXPECT_EQ(LoadInstrumentConfiguration(&error, type, &progress), 1) << std::hex << error;
    if (type != kxsim::kRecFiberAutotest) {
      EXPECT_NE(GetScannerID(&error), 0);
    }
    if (type == kxsim::kRecCopperAutotest) GetLimitRecords(&progress, &error);
    EXPECT_EQ(error, 0u);

    platform::FileHandle file = platform::kNoFile;
    DatFileHeader header{};
    EXPECT_EQ(OpenDatFile("SAVED.DAT", 0, &file, &header), 1);
    EXPECT_EQ(PrepareDatAppend(file, header, &error), 1);
    for (const kxsim::GeneratedAutotest& autotest : set.autotests) {
      // First the record cut short, as a broken transfer would leave it: its values run
      // past what explodes, so nothing is written and the index stays.
      const uint32_t records = DatRecordCount;
      EXPECT_EQ(Convert(Bytes(autotest.stored.begin(), autotest.stored.end() - autotest.stored.size() / 3), type,
                        file, &error),
                0);
      EXPECT_EQ(error, KXERR_AUTOTEST_LOAD) << "autotest " << autotest.number;
      EXPECT_EQ(DatRecordCount, records);
      EXPECT_EQ(Convert(autotest.stored, type, file, &error), 1) << "autotest " << autotest.number;
      EXPECT_EQ(error, autotest.error) << "autotest " << autotest.number;
    }
    EXPECT_EQ(FinishDatFile(&file, &header, &error), 1);
    return ReadFile("SAVED.DAT");
  }

  static int16_t Convert(const Bytes& stored, uint16_t type, platform::FileHandle file, uint32_t* error) {
    MemStream = MemStreamState{};
    MemStream.source = stored.data();
    MemStream.sourceRemaining = static_cast<uint32_t>(stored.size());
    return ProcessATResult(static_cast<int32_t>(stored.size()), file, type, error);
  }

  kxsim::Scanner scanner_;
  kxsim::PtyServer server_{scanner_};
};

// Each row is one instrument (each autotest is offered cut short first, which must leave
// the file as it was): its software version decides the layout of copper and coax
// autotests (packed from "V04"), the rounding of scaled values (from major version 4),
// 32-bit lengths (from 5) and where the wiremap verdict comes from (from "06").
TEST_F(GeneratedInstrumentTest, EveryAutotestConvertsToTheItemsItsValuesCallFor) {
  struct Row {
    const char* what;
    uint16_t type;
    const char* version;
    uint64_t seed;
  };
  const Row rows[] = {
      {"copper, packed layout", kxsim::kRecCopperAutotest, "V06.11", 11},
      {"copper, packed layout, verdict in the wiremap", kxsim::kRecCopperAutotest, "V05.20", 12},
      {"copper, classic layout, cut decimals", kxsim::kRecCopperAutotest, "V03.20", 13},
      {"fiber", kxsim::kRecFiberAutotest, "V06.11", 14},
      {"fiber, 16-bit lengths", kxsim::kRecFiberAutotest, "V04.10", 15},
      {"coax, packed layout", kxsim::kRecCoaxAutotest, "V05.20", 16},
      {"coax, classic layout", kxsim::kRecCoaxAutotest, "V03.20", 17},
  };
  uint32_t error = 0;
  kxsim::LoadDataset(kxsim::GenerateDataset(), scanner_);  // the port settings
  ASSERT_EQ(KXOpen(server_.ComName().c_str(), "9600", &error), 1) << std::hex << error;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    kxsim::DatasetOptions options;
    options.seed = row.seed;
    options.version = row.version;
    options.copperAutotests = row.type == kxsim::kRecCopperAutotest ? 24 : 0;
    options.fiberAutotests = row.type == kxsim::kRecFiberAutotest ? 24 : 0;
    options.coaxAutotests = row.type == kxsim::kRecCoaxAutotest ? 24 : 0;
    const kxsim::Dataset set = kxsim::GenerateDataset(options);
    scanner_.ClearRecords();
    kxsim::LoadDataset(set, scanner_);

    const auto records = ReadBack(Save(set, row.type));
    ASSERT_EQ(records.size(), set.autotests.size());
    for (size_t n = 0; n < records.size(); ++n) {
      EXPECT_EQ(testsupport::Shown(records[n]), testsupport::Shown(set.autotests[n].items)) << "autotest " << n;
    }
  }
}

}  // namespace
