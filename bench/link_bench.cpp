// The link's waiting loops against the simulated Scanner over a pseudo-terminal.
// These measure how much processor time a wait costs: Google Benchmark reports the wall
// time ("Time") and this process's processor time ("CPU") per iteration, and a loop that
// sleeps while it waits shows a CPU figure far below its wall time.
#include <benchmark/benchmark.h>

#include <memory>

#include "exports/entry.h"
#include "kxlib32.h"
#include "link/serial_port.h"
#include "services/record.h"
#include "sim/pty.h"
#include "sim/pty_server.h"
#include "sim/scanner.h"

namespace {

// A silent line: KXWaitPacket gives up after a little over a second.
void BM_WaitPacketOnSilentLine(benchmark::State& state) {
  ResetLibraryForTests();
  kxsim::PtyPair line;
  uint32_t error = 0;
  // Nothing answers on this line, so the port is taken directly instead of by KXOpen.
  if (!ComPortOpen(line.ComName().c_str(), "9600", &error)) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  uint8_t header[10];
  uint8_t data[16];
  for (auto _ : state) benchmark::DoNotOptimize(KXWaitPacket(header, data, sizeof data));
  ResetLibraryForTests();
}
BENCHMARK(BM_WaitPacketOnSilentLine)->Iterations(3)->Unit(benchmark::kMillisecond);

// Record reads from an instrument that takes 100 ms to answer each.
void BM_ReadRecordFromSlowInstrument(benchmark::State& state) {
  ResetLibraryForTests();
  kxsim::Scanner scanner;
  scanner.PutRecord(kxsim::kRecPortSettings, 0, {0, 0, 0, 5, 0, 0, 0, 0, 0, 0});
  scanner.PutRecord(kxsim::kRecUserPreferences, 0, kxsim::Bytes(82, 0x41));
  kxsim::ServerOptions options;
  options.replyDelayMs = 100;
  kxsim::PtyServer server(scanner, options);
  server.Start();
  uint32_t error = 0;
  if (!KXOpen(server.ComName().c_str(), "57600", &error)) {
    state.SkipWithError("cannot open the simulated instrument");
    return;
  }
  uint8_t record[82];
  for (auto _ : state) {
    uint16_t number = 0;
    uint16_t length = sizeof record;
    if (!KXReadRecord(USER_UPREF_RECORD, &number, record, &length, &error)) state.SkipWithError("read failed");
  }
  KXClose();
  server.Stop();
  ResetLibraryForTests();
}
BENCHMARK(BM_ReadRecordFromSlowInstrument)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace
