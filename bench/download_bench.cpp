// A whole download over the pseudo-terminal with the simulator pacing its bytes at the
// line's rate (57600 baud, 5760 bytes a second): the generated instrument's copper
// autotests saved into a data file with KXSaveAutotests. Counters: autotests, wall
// seconds, line_share (instrument-to-PC bytes on the wire / (5760 bytes/s x seconds),
// configuration read included), and library_cpu (the CPU time of the saving thread, where
// the library runs, as a share of one core). KXSIM_BENCH_AUTOTESTS sets the number of
// autotests (default 500).
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "exports/entry.h"
#include "kxlib32.h"
#include "sim/dataset.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"

namespace {

constexpr double kBytesPerSecond = 5760.0;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

unsigned AutotestCount() {
  const char* n = std::getenv("KXSIM_BENCH_AUTOTESTS");
  return n != nullptr ? static_cast<unsigned>(std::strtoul(n, nullptr, 10)) : 500;
}

void BM_PacedDownload(benchmark::State& state) {
  kxsim::DatasetOptions options;
  options.copperAutotests = AutotestCount();
  options.fiberAutotests = 0;
  options.coaxAutotests = 0;
  const kxsim::Dataset set = kxsim::GenerateDataset(options);
  const std::string path = (std::filesystem::temp_directory_path() / "kxlib-download-bench.dat").string();
  for (auto _ : state) {
    ResetLibraryForTests();
    kxsim::Scanner scanner;
    kxsim::LoadDataset(set, scanner);
    kxsim::ServerOptions serverOptions;
    serverOptions.pace = true;
    serverOptions.answerInTurn = true;
    kxsim::PtyServer server(scanner, serverOptions);
    server.Start();
    uint32_t error = 0;
    if (!KXOpen(server.ComName().c_str(), "57600", &error)) {
      state.SkipWithError("the session did not open");
      return;
    }
    server.ResetStats();
    uint16_t progress = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const double cpu0 = ThreadCpuSeconds();
    const int16_t saved = KXSaveAutotests(&progress, path.c_str(), 0, &error);
    const double cpu = ThreadCpuSeconds() - cpu0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double bytesToHost = static_cast<double>(server.Stats().bytesOut);
    KXClose();
    server.Stop();
    if (!saved) {
      state.SkipWithError("the download failed");
      return;
    }
    state.counters["autotests"] = static_cast<double>(options.copperAutotests);
    state.counters["wall_s"] = seconds;
    state.counters["line_share"] = bytesToHost / (kBytesPerSecond * seconds);
    state.counters["library_cpu"] = cpu / seconds;
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_PacedDownload)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
