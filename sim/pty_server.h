// Serves an instrument model on a pseudo-terminal: a host opens DevicePath() (or the
// "COM:" name) as its serial port and talks to the model through the serial wire.
//
// Three parts, each replaceable on its own: the model wrapped in the faults asked for
// (sim/faulty_instrument.h), the serial transport on the pty (sim/serial_transport.h:
// line speed, pace, the wire), and the loop that drives the transport on a background
// thread (sim/server_loop.h), waiting in poll() so it never spins; the first and the last
// are those of every served instrument (sim/instrument_server.h). The pty keeps a slave
// descriptor of its own open, so the host may close and reopen the port at will.
#pragma once

#include <string>

#include "sim/instrument.h"
#include "sim/instrument_server.h"
#include "sim/serial_transport.h"

namespace kxsim {

class PtyServer : public InstrumentServer {
 public:
  explicit PtyServer(Instrument& model, ServerOptions options = {});
  ~PtyServer() override;  // stops

  void Start() override;

  const std::string& DevicePath() const { return transport_.DevicePath(); }
  std::string ComName() const { return transport_.ComName(); }

  // May be called from any thread while the server runs.
  void SetPace(bool on);

 protected:
  ServerStats TransportStats() const override { return transport_.Stats(); }
  void ResetTransportStats() override { transport_.ResetStats(); }
  uint64_t MessagesReceived() const override { return transport_.MessagesReceived(); }

 private:
  SerialTransport transport_;
};

}  // namespace kxsim
