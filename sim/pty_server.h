// Serves an instrument model on a pseudo-terminal: a host opens DevicePath() (or the
// "COM:" name) as its serial port and talks to the model through the serial wire.
//
// Three parts, each replaceable on its own: the model wrapped in the faults asked for
// (sim/faulty_instrument.h), the serial transport on the pty (sim/serial_transport.h:
// line speed, pace, the wire), and the loop that drives the transport on a background
// thread (sim/server_loop.h), waiting in poll() so it never spins. The pty keeps a slave
// descriptor of its own open, so the host may close and reopen the port at will.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/faults.h"
#include "sim/faulty_instrument.h"
#include "sim/instrument.h"
#include "sim/instrument_server.h"
#include "sim/serial_transport.h"
#include "sim/serial_wire.h"
#include "sim/server_loop.h"

namespace kxsim {

struct ServerOptions {
  uint64_t seed = 1;
  FaultPlan faults;
  bool pace = false;
  uint32_t replyDelayMs = 0;
  bool lineSpeedCheck = false;
  WireTimings timings;
  // Requests answered one after the other, none abandoned (sim/serial_wire.h).
  bool answerInTurn = false;
  // Millisecond clock for the wire's timers and the pace; default a monotonic clock.
  // A test whose host runs on a faster clock can hand the server that same clock.
  std::function<uint32_t()> clock;
};

class PtyServer : public InstrumentServer {
 public:
  explicit PtyServer(Instrument& model, ServerOptions options = {});
  ~PtyServer() override;  // stops
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  void Start() override;
  void Stop() override;
  bool Running() const { return loop_.Running(); }

  const std::string& DevicePath() const { return transport_.DevicePath(); }
  std::string ComName() const { return transport_.ComName(); }

  // Each of these may be called from any thread while the server runs.
  ServerStats Stats() const override;
  void ResetStats() override;
  void SetFaults(FaultPlan plan) override;
  void SetReplyDelay(uint32_t ms) override;
  void SetPace(bool on);
  bool WaitForMessages(uint64_t count, uint32_t timeoutMs) const override;

 private:
  FaultyInstrument faulty_;     // the model as the transport serves it
  SerialTransport transport_;
  ServerLoop loop_;             // its lock guards faulty_ and transport_
};

}  // namespace kxsim
