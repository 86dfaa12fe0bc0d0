// Serves an instrument model on a pseudo-terminal: a host opens DevicePath() (or the
// "COM:" name) as its serial port and talks to the model through the serial wire.
//
// A background thread moves bytes between the pty master and a SerialWire. It waits in
// poll() (woken by input, by Stop(), or after at most 1 ms while a timer runs, 20 ms
// when idle), so it never spins. The pty keeps a slave descriptor of its own open, so
// the host may close and reopen the port at will.
//
// Line speed. The instrument's rate is the model's LineBaud(). The host's rate is read
// from the pty (the master sees the slave's settings). A pty cannot carry a break, so
// the server takes the host's switch back to 9600 baud, which every session's opening
// does just before its break, as that break and tells the model (LineBreak()).
// With `pace`, bytes go and come no faster than the instrument's rate allows; with
// `lineSpeedCheck`, bytes pass only while both ends run at the same rate, as on a real
// cable, where a mismatch garbles everything.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/faults.h"
#include "sim/faulty_instrument.h"
#include "sim/instrument.h"
#include "sim/pacer.h"
#include "sim/pty.h"
#include "sim/serial_wire.h"

namespace kxsim {

struct ServerOptions {
  uint64_t seed = 1;
  FaultPlan faults;
  bool pace = false;
  uint32_t replyDelayMs = 0;
  bool lineSpeedCheck = false;
  WireTimings timings;
  // Millisecond clock for the wire's timers and the pace; default a monotonic clock.
  // A test whose host runs on a faster clock can hand the server that same clock.
  std::function<uint32_t()> clock;
};

struct ServerStats : WireStats {
  uint64_t bytesGarbled = 0;  // bytes lost to a line-speed mismatch
  uint32_t hostBaud = 0;      // the host port's rate as last seen (0: unknown)
  uint32_t instrumentBaud = 0;
};

class PtyServer {
 public:
  explicit PtyServer(Instrument& model, ServerOptions options = {});
  ~PtyServer();  // stops
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  void Start();
  void Stop();
  bool Running() const { return running_.load(); }

  const std::string& DevicePath() const { return pty_.SlavePath(); }
  std::string ComName() const { return pty_.ComName(); }

  // Each of these may be called from any thread while the server runs.
  ServerStats Stats() const;
  void ResetStats();
  void SetFaults(FaultPlan plan);
  void SetReplyDelay(uint32_t ms);
  void SetPace(bool on);
  // Waits (sleeping) until `count` messages have been received in all, or `timeoutMs`
  // of real time have passed; true when they have.
  bool WaitForMessages(uint64_t count, uint32_t timeoutMs) const;

 private:
  void Run();
  uint32_t Now() const;
  void CheckHostSpeed();

  Instrument& model_;
  ServerOptions options_;
  PtyPair pty_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;

  mutable std::mutex mutex_;  // guards everything below, and the wire
  FaultyInstrument faulty_;   // the model as the wire serves it
  SerialWire wire_;
  Pacer inPacer_;
  Pacer outPacer_;
  bool pace_ = false;
  uint64_t bytesGarbled_ = 0;
  uint32_t hostBaud_ = 0;
  Bytes pendingWrite_;  // taken from the wire, not yet accepted by the pty

  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Bits per second of a termios speed constant; 0 for one not in the table.
uint32_t BaudFromSpeed(unsigned speed);

}  // namespace kxsim
