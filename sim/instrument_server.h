// A served instrument as a test or kxsim drives it, whatever transport carries its
// messages (PtyServer: the serial line on a pseudo-terminal; UsbServer: the USB pipes in
// a device folder): the model wrapped in the faults asked for (sim/faulty_instrument.h),
// a transport, and the loop that drives the transport on a background thread
// (sim/server_loop.h). The loop's lock guards the faulty model and the transport, so
// each call below may be made from any thread while the server runs.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "sim/faults.h"
#include "sim/faulty_instrument.h"
#include "sim/instrument.h"
#include "sim/serial_transport.h"
#include "sim/serial_wire.h"
#include "sim/server_loop.h"

namespace kxsim {

struct ServerOptions {
  uint64_t seed = 1;
  FaultPlan faults;
  bool pace = false;              // serial line only
  uint32_t replyDelayMs = 0;
  bool lineSpeedCheck = false;    // serial line only
  WireTimings timings;            // serial line only
  // Requests answered one after the other, none abandoned (sim/serial_wire.h).
  bool answerInTurn = false;
  // Millisecond clock for the transport's timers and the pace; default a monotonic
  // clock. A test whose host runs on a faster clock can hand the server that same clock.
  std::function<uint32_t()> clock;
};

class InstrumentServer {
 public:
  virtual ~InstrumentServer() = default;
  InstrumentServer(const InstrumentServer&) = delete;
  InstrumentServer& operator=(const InstrumentServer&) = delete;

  virtual void Start() { loop_.Start(); }
  void Stop() { loop_.Stop(); }
  bool Running() const { return loop_.Running(); }

  // The link's statistics (the fields a transport does not have stay 0).
  ServerStats Stats() const;
  void ResetStats();
  void SetFaults(FaultPlan plan);
  void SetReplyDelay(uint32_t ms);
  // Waits (sleeping) until `count` messages have been received in all, or `timeoutMs`
  // of real time have passed; true when they have.
  bool WaitForMessages(uint64_t count, uint32_t timeoutMs) const;

 protected:
  // `transport` is the derived server's, built after this base: the loop only keeps the
  // reference until Start. A derived server stops the loop in its destructor, before its
  // transport goes.
  InstrumentServer(Instrument& model, ServerOptions& options, Transport& transport);
  FaultyInstrument& Faulty() { return faulty_; }
  std::mutex& Mutex() const { return loop_.Mutex(); }
  // The transport's side of the calls above, made under the lock.
  virtual ServerStats TransportStats() const = 0;
  virtual void ResetTransportStats() = 0;
  virtual uint64_t MessagesReceived() const = 0;

 private:
  FaultyInstrument faulty_;
  ServerLoop loop_;
};

}  // namespace kxsim
