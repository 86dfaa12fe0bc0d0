// Speed of converting one stored autotest into one record of the data file, in process
// and on one core: a typical copper autotest of the generated instrument (packed layout,
// all seven sweep blocks, its limit curves found in the limit table) from the raw record
// as the instrument sends it to the record written in the data file. The configuration is
// read once from the simulated Scanner over a pseudo-terminal, as a save reads it.
//
//   ConvertAutotest  ProcessATResult: explode, walk, trailer and limits, implode, write
//   Explode          ExplodeATRecord alone
//   Walk             WalkATRecord alone: the values converted into the record build buffer
//   Implode          ImplodeRecord alone, of the finished record
// Each reports autotests (or records) per second.
//
//   KXLIB_BUILD_DIR=build/release scripts/build.sh release && build/release/bench/kxlib_bench --benchmark_filter=Convert
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "convert/autotest_walk.h"
#include "convert/config_state.h"
#include "convert/datafile.h"
#include "convert/instrument_config.h"
#include "convert/limits.h"
#include "convert/memstream.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "sim/dataset.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"

namespace {

constexpr uint16_t kSweepTags[] = {632, 633, 634, 637, 638, 647, 648};

bool Has(const kxsim::GeneratedAutotest& a, uint16_t tag) {
  for (const kxsim::ExpectedItem& item : a.items) {
    if (item.tag == tag) return true;
  }
  return false;
}
bool Names(const kxsim::GeneratedAutotest& a, const std::string& name) {
  for (const kxsim::ExpectedItem& item : a.items) {
    if (item.tag >= 618 && item.tag <= 625 && std::string(item.value.begin(), item.value.end()) == name) return true;
  }
  return false;
}

// The instrument, a session on it, the configuration loaded and a data file prepared;
// the autotest: the first of the generated copper autotests that stores all seven sweep
// blocks and whose named limits all lie in the limit table (so none is fetched per
// conversion).
class Conversion {
 public:
  Conversion() {
    char folder[] = "/tmp/kxlib-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) throw std::runtime_error("no temporary folder");
    folder_ = folder;
    std::filesystem::current_path(folder_);

    kxsim::DatasetOptions options;
    options.copperAutotests = 24;
    options.fiberAutotests = options.coaxAutotests = 0;
    const kxsim::Dataset set = kxsim::GenerateDataset(options);
    for (const kxsim::GeneratedAutotest& a : set.autotests) {
      bool typical = a.error == 0 && !Names(a, "Old Ch Z") && !Names(a, "No Such Limit");
      for (uint16_t tag : kSweepTags) typical = typical && Has(a, tag);
      if (typical) {
        raw_ = a.stored;
        break;
      }
    }
    if (raw_.empty()) throw std::runtime_error("no typical autotest generated");

    kxsim::LoadDataset(set, scanner_);
    server_ = std::make_unique<kxsim::PtyServer>(scanner_);
    server_->Start();
    uint32_t error = 0;
    uint16_t progress = 0;
    if (KXOpen(server_->ComName().c_str(), "57600", &error) != 1 || AllocConversionBuffers() != 1 ||
        LoadInstrumentConfiguration(&error, kxsim::kRecCopperAutotest, &progress) != 1 || GetScannerID(&error) == 0) {
      throw std::runtime_error("the simulated instrument's configuration did not load");
    }
    GetLimitRecords(&progress, &error);
    DatFileHeader header{};
    if (OpenDatFile("BENCH.DAT", 0, &file_, &header) != 1 || PrepareDatAppend(file_, header, &error) != 1) {
      throw std::runtime_error("no data file");
    }
  }
  ~Conversion() {
    DatFileHeader header{};
    uint32_t error = 0;
    FinishDatFile(&file_, &header, &error);
    KXClose();
    server_->Stop();
    FreeConversionBuffers();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder_);
  }

  // Points the stream at the raw record; each record goes to the same place of the file.
  void Rewind() {
    MemStream = MemStreamState{};
    MemStream.source = raw_.data();
    MemStream.sourceRemaining = static_cast<uint32_t>(raw_.size());
    DatRecordCount = 0;
    DatWritePosition = kDatHeaderSize;
  }
  bool Convert() {
    Rewind();
    uint32_t error = 0;
    return ProcessATResult(static_cast<int32_t>(raw_.size()), file_, kxsim::kRecCopperAutotest, &error) == 1 &&
           error == 0;
  }
  size_t RawSize() const { return raw_.size(); }

 private:
  std::string folder_;
  kxsim::Bytes raw_;
  kxsim::Scanner scanner_;
  std::unique_ptr<kxsim::PtyServer> server_;
  platform::FileHandle file_ = platform::kNoFile;
};

Conversion& Instance() {
  static Conversion conversion;
  return conversion;
}

void Rate(benchmark::State& state, const char* what) {
  state.counters[what] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ConvertAutotest(benchmark::State& state) {
  Conversion& c = Instance();
  for (auto _ : state) {
    if (!c.Convert()) state.SkipWithError("the autotest did not convert");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.RawSize()));
  Rate(state, "autotests/s");
}
BENCHMARK(BM_ConvertAutotest);

void BM_ConvertExplode(benchmark::State& state) {
  Conversion& c = Instance();
  for (auto _ : state) {
    c.Rewind();
    if (ExplodeATRecord(static_cast<uint32_t>(c.RawSize())) != 1) state.SkipWithError("no explode");
  }
  Rate(state, "autotests/s");
}
BENCHMARK(BM_ConvertExplode);

void BM_ConvertWalk(benchmark::State& state) {
  Conversion& c = Instance();
  c.Rewind();
  ExplodeATRecord(static_cast<uint32_t>(c.RawSize()));
  const uint32_t length = MemStream.written;
  for (auto _ : state) {
    RecordBuildLength = 0;
    ClearLimitNames();
    ConversionContext context;
    uint32_t error = 0;
    if (!WalkATRecord(ExplodedATBuffer, length, &context, &error)) state.SkipWithError("no walk");
  }
  Rate(state, "autotests/s");
}
BENCHMARK(BM_ConvertWalk);

void BM_ConvertImplode(benchmark::State& state) {
  Conversion& c = Instance();
  c.Convert();  // leaves the finished record in the record build buffer
  state.counters["record bytes"] = RecordBuildLength;
  for (auto _ : state) {
    uint32_t error = 0;
    if (ImplodeRecord(&error) == 0) state.SkipWithError("no implode");
  }
  Rate(state, "records/s");
}
BENCHMARK(BM_ConvertImplode);

}  // namespace
