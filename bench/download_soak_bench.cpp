// A soak of whole downloads on a noisy line: the generated instrument's copper autotests
// saved with KXSaveAutotests again and again, each time on a line that damages 1 byte in
// 1000 each way (corrupted, lost, inserted) and NAKs, withholds acknowledgements, loses
// and delays replies, each with its own seed. Every file is compared with the one a clean
// download gave. Counters: runs, failed (the save reported an error), differing (the save
// succeeded with another file), undetectable (frames whose damage their CRC did not show),
// and unexplained: failed saves and differing files from runs without such a frame, which
// only a fault of the library can give (the run is marked as an error then).
//
// KXSIM_SOAK_RUNS sets the number of noisy downloads (default 10), KXSIM_SOAK_AUTOTESTS
// their size (default 100), KXSIM_SOAK_BYTES_PER_FAULT the line's damage (default 3000:
// one byte in 3000 corrupted, one lost, one inserted). KXSIM_SOAK_UNDETECTABLE=1 lets
// damage the CRC cannot see onto the line, which measures how often the protocol's 16-bit
// CRC lets a wrong record through; without it the simulator keeps such damage off the
// line, and every file must be the clean one. KXSIM_SOAK_SEED gives soaks run side by side
// lines of their own. Host and simulator share a clock kClockSpeed times faster than real.
// Each run also says how many messages the host refused because the instrument was a
// packet ahead (link/message.h).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "exports/entry.h"
#include "kxlib32.h"
#include "platform/platform.h"
#include "sim/dataset.h"
#include "sim/faults.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "sim/wire_format.h"

namespace {

constexpr uint32_t kClockSpeed = 100;
constexpr double kReplyFaultRate = 0.005;      // each of the frame and reply faults

unsigned FromEnvironment(const char* name, unsigned otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : otherwise;
}

// `byteFaultRate`: each of corrupt, drop, insert, both ways.
kxsim::FaultPlan NoisyLine(double byteFaultRate, bool undetectable) {
  using kxsim::FaultKind;
  kxsim::FaultPlan plan;
  plan.undetectableDamage = undetectable;
  for (FaultKind kind : {FaultKind::kCorruptByte, FaultKind::kDropByte, FaultKind::kInsertByte}) {
    plan.Add(kxsim::FaultAtRate(kind, byteFaultRate, kxsim::LineDirection::kBoth));
  }
  for (FaultKind kind : {FaultKind::kNakGoodFrame, FaultKind::kWithholdAck, FaultKind::kDropReply,
                         FaultKind::kDelayReply}) {
    kxsim::FaultRule rule = kxsim::FaultAtRate(kind, kReplyFaultRate);
    rule.delayMs = 3500;  // past the saver's wait for a reply, so the request goes again
    plan.Add(rule);
  }
  return plan;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Download {
  bool saved = false;
  uint32_t error = 0;
  std::string file;
  uint64_t undetectable = 0;
  std::string trace;  // the library's trace lines, kept for a run that goes wrong
};

// The message layer's trace line for a message refused because the instrument was a
// packet ahead.
constexpr char kPacketAhead[] = "Packet repeated after a refused frame";

size_t Occurrences(const std::string& text, const char* what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void KeepTrace(const char* text, void* context) { static_cast<std::string*>(context)->append(text); }

// A run that went wrong leaves its file and the library's trace beside the clean file.
void Keep(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
  std::fprintf(stderr, "soak: kept %s\n", name.c_str());
}

// One download from a freshly served instrument. The faults start with the first request
// for an autotest, so the configuration read before it (whose reads do not retry without
// limit) runs clean.
Download Run(const kxsim::Dataset& set, const kxsim::FaultPlan* faults, uint64_t seed, const std::string& path) {
  ResetLibraryForTests();
  kxsim::Scanner scanner;
  kxsim::LoadDataset(set, scanner);
  kxsim::ServerOptions options;
  options.clock = [] { return platform::TickCount(); };
  options.answerInTurn = true;
  options.seed = seed;
  kxsim::PtyServer server(scanner, options);
  server.Start();
  Download d;
  KXSetTraceHook(&KeepTrace, &d.trace);
  KXSetDebugLevel(1);
  platform::SetClockSpeed(1);
  if (!KXOpen(server.ComName().c_str(), "57600", &d.error)) {
    KXSetDebugLevel(0);
    KXSetTraceHook(nullptr, nullptr);
    return d;
  }
  platform::SetClockSpeed(kClockSpeed);
  struct Arming {
    kxsim::PtyServer* server;
    const kxsim::FaultPlan* faults;
    bool armed;
  } arming{&server, faults, faults == nullptr};
  KXSetPumpHook(
      [](void* context) {
        auto* a = static_cast<Arming*>(context);
        if (a->armed) return;
        const kxsim::Bytes last = a->server->Stats().lastRequest;
        if (kxsim::GetU16(last, kxsim::kRecordTypeOffset) == kxsim::kRecCopperAutotest) {
          a->server->SetFaults(*a->faults);
          a->armed = true;
        }
      },
      &arming);
  uint16_t progress = 0;
  d.saved = KXSaveAutotests(&progress, path.c_str(), 0, &d.error) == 1;
  KXSetDebugLevel(0);
  KXSetTraceHook(nullptr, nullptr);
  KXSetPumpHook(nullptr, nullptr);
  d.undetectable = server.Stats().undetectableDamage;
  KXClose();
  server.Stop();
  platform::SetClockSpeed(1);
  d.file = ReadWhole(path);
  return d;
}

void BM_NoisyDownloadSoak(benchmark::State& state) {
  const unsigned runs = FromEnvironment("KXSIM_SOAK_RUNS", 10);
  const bool undetectable = FromEnvironment("KXSIM_SOAK_UNDETECTABLE", 0) != 0;
  const uint64_t seed = uint64_t{FromEnvironment("KXSIM_SOAK_SEED", 1)} * 1000000;
  kxsim::DatasetOptions options;
  options.copperAutotests = FromEnvironment("KXSIM_SOAK_AUTOTESTS", 100);
  options.fiberAutotests = 0;
  options.coaxAutotests = 0;
  const kxsim::Dataset set = kxsim::GenerateDataset(options);
  // Named for the process, so that soaks can run side by side.
  const std::string path =
      (std::filesystem::temp_directory_path() / ("kxlib-download-soak-" + std::to_string(getpid()) + ".dat")).string();
  const kxsim::FaultPlan faults = NoisyLine(1.0 / FromEnvironment("KXSIM_SOAK_BYTES_PER_FAULT", 3000), undetectable);
  for (auto _ : state) {
    const Download clean = Run(set, nullptr, 1, path);
    if (!clean.saved) {
      state.SkipWithError("the clean download failed");
      return;
    }
    unsigned failed = 0, differing = 0, unexplained = 0;
    uint64_t frames = 0;
    for (unsigned run = 1; run <= runs; ++run) {
      const Download d = Run(set, &faults, seed + run, path);
      frames += d.undetectable;
      const bool differs = d.saved && d.file != clean.file;
      failed += !d.saved;
      differing += differs;
      unexplained += (differs || !d.saved) && d.undetectable == 0;
      if (differs || !d.saved) {
        const std::string stem = "kxlib-soak-" + std::to_string(seed + run);
        Keep(stem + ".trace", d.trace);
        Keep(stem + ".dat", d.file);
        Keep(stem + "-clean.dat", clean.file);
      }
      std::fprintf(stderr,
                   "soak run %u: %s (error %#x), %llu frame(s) damaged past their CRC, "
                   "%zu message(s) refused as a packet ahead\n",
                   run, !d.saved ? "failed" : differs ? "another file" : "same file", d.error,
                   static_cast<unsigned long long>(d.undetectable), Occurrences(d.trace, kPacketAhead));
    }
    state.counters["runs"] = runs;
    state.counters["failed"] = failed;
    state.counters["differing"] = differing;
    state.counters["undetectable"] = static_cast<double>(frames);
    state.counters["unexplained"] = unexplained;
    if (unexplained != 0) state.SkipWithError("a download failed or gave another file with every damaged frame caught");
  }
  std::filesystem::remove(path);
  ResetLibraryForTests();
}
BENCHMARK(BM_NoisyDownloadSoak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
