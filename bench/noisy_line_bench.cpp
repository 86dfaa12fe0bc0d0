// A soak of record reads on a noisy line against the simulated Scanner: bytes corrupted,
// dropped and inserted at 1 in 3000 each in both directions, and reply packets sent twice
// as after a lost acknowledgement. Every read that succeeds must deliver exactly the
// record the instrument holds under the number it reports; the run is marked as an error
// otherwise. Counters: reads, failed (the call reported an error), wrong (must be 0),
// other_number (the right bytes of another record than the one asked for), and the
// longest and mean call in milliseconds of library time. Host and simulator share a clock
// that runs kClockSpeed times faster than real time, so those are the durations a host
// would see on a real line, while the run takes a fraction of them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

#include "exports/entry.h"
#include "kxlib32.h"
#include "platform/platform.h"
#include "services/record.h"
#include "sim/faults.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"

namespace {

constexpr int kReads = 1000;
constexpr uint16_t kRecords = 100;  // stored, and read in turn
constexpr size_t kSmallest = 400;
constexpr size_t kLargest = 4000;
constexpr double kByteFaultRate = 1.0 / 3000;   // each of corrupt, drop, insert, both ways
constexpr double kPacketTwiceRate = 1.0 / 50;   // of the reply packets the host acknowledges
constexpr uint32_t kClockSpeed = 40;
constexpr uint32_t kSeed = 20261206;

struct SoakResult {
  int failed = 0;
  int wrong = 0;
  int otherNumber = 0;
  uint32_t longestMs = 0;
  uint64_t totalMs = 0;
  std::map<uint32_t, int> errors;  // failed calls by error code
};

// The records the instrument holds: sizes and bytes from a seeded generator.
std::vector<kxsim::Bytes> MakeRecords() {
  std::mt19937 rng(kSeed);
  std::uniform_int_distribution<size_t> size(kSmallest, kLargest);
  std::vector<kxsim::Bytes> records(kRecords);
  for (kxsim::Bytes& r : records) {
    r.resize(size(rng));
    for (uint8_t& b : r) b = static_cast<uint8_t>(rng());
  }
  return records;
}

kxsim::FaultPlan NoisyLine() {
  kxsim::FaultPlan plan;
  for (auto kind : {kxsim::FaultKind::kCorruptByte, kxsim::FaultKind::kDropByte, kxsim::FaultKind::kInsertByte}) {
    plan.Add(kxsim::FaultAtRate(kind, kByteFaultRate, kxsim::LineDirection::kBoth));
  }
  plan.Add(kxsim::FaultAtRate(kxsim::FaultKind::kDuplicatePacket, kPacketTwiceRate));
  return plan;
}

// kReads reads of the records in turn; each success is compared with what was served.
void Soak(const std::vector<kxsim::Bytes>& records, SoakResult* r) {
  std::vector<uint8_t> buffer(kLargest);
  for (int i = 0; i < kReads; ++i) {
    const uint16_t asked = static_cast<uint16_t>(i % kRecords);
    uint16_t number = asked;
    uint16_t length = static_cast<uint16_t>(buffer.size());
    uint32_t error = 0;
    const uint32_t t0 = platform::TickCount();
    const int16_t ok = KXReadRecord(USER_UPREF_RECORD, &number, buffer.data(), &length, &error);
    const uint32_t took = platform::TickCount() - t0;
    r->longestMs = std::max(r->longestMs, took);
    r->totalMs += took;
    if (!ok) {
      ++r->failed;
      ++r->errors[error];
    } else if (number >= kRecords ||
               !std::equal(buffer.begin(), buffer.begin() + length, records[number].begin(), records[number].end())) {
      ++r->wrong;
    } else if (number != asked) {
      ++r->otherNumber;
    }
  }
}

void Report(const SoakResult& r, const kxsim::ServerStats& line) {
  std::fprintf(stderr,
               "noisy line: %d reads, %d failed, %d wrong, %d of another record; longest call %u ms, mean %.0f ms\n",
               kReads, r.failed, r.wrong, r.otherNumber, r.longestMs, static_cast<double>(r.totalMs) / kReads);
  for (const auto& [code, count] : r.errors) std::fprintf(stderr, "noisy line: error %#x %d times\n", code, count);
  for (size_t k = 0; k < kxsim::kFaultKindCount; ++k) {
    if (line.faultsInjected[k] == 0) continue;
    std::fprintf(stderr, "noisy line: fault %s %llu times\n", kxsim::FaultKindName(static_cast<kxsim::FaultKind>(k)),
                 static_cast<unsigned long long>(line.faultsInjected[k]));
  }
}

void BM_RecordReadsOnANoisyLine(benchmark::State& state) {
  ResetLibraryForTests();
  platform::SetClockSpeed(kClockSpeed);
  const std::vector<kxsim::Bytes> records = MakeRecords();
  kxsim::Scanner scanner;
  scanner.PutRecord(kxsim::kRecPortSettings, 0, {0, 0, 0, 5, 0, 0, 0, 0, 0, 0});
  for (uint16_t n = 0; n < kRecords; ++n) scanner.PutRecord(kxsim::kRecUserPreferences, n, records[n]);
  kxsim::ServerOptions options;
  options.clock = [] { return platform::TickCount(); };
  options.seed = kSeed;
  kxsim::PtyServer server(scanner, options);
  server.Start();
  uint32_t error = 0;
  if (!KXOpen(server.ComName().c_str(), "57600", &error)) {
    state.SkipWithError("cannot open the simulated instrument");
  } else {
    server.SetFaults(NoisyLine());
    SoakResult result;
    for (auto _ : state) Soak(records, &result);
    Report(result, server.Stats());
    state.counters["reads"] = kReads;
    state.counters["failed"] = result.failed;
    state.counters["wrong"] = result.wrong;
    state.counters["other_number"] = result.otherNumber;
    state.counters["longest_ms"] = result.longestMs;
    state.counters["mean_ms"] = static_cast<double>(result.totalMs) / kReads;
    if (result.wrong != 0) state.SkipWithError("a read delivered bytes that are not the record served");
  }
  KXClose();
  server.Stop();
  platform::SetClockSpeed(1);
  ResetLibraryForTests();
}
BENCHMARK(BM_RecordReadsOnANoisyLine)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
