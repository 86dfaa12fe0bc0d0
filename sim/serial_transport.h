// The serial transport: a pseudo-terminal whose slave side a host opens as its serial
// port (DevicePath(), or the "COM:" name), with the serial wire (sim/serial_wire.h)
// speaking the instrument's side of the link on the master side.
//
// Line speed. The instrument's rate is the model's LineBaud(). The host's rate is read
// from the pty (the master sees the slave's settings). A pty cannot carry a break, so
// the transport takes the host's switch back to 9600 baud, which every session's opening
// does just before its break, as that break and tells the model (LineBreak()).
// With pace, bytes go and come no faster than the instrument's rate allows; with
// `lineSpeedCheck`, bytes pass only while both ends run at the same rate, as on a real
// cable, where a mismatch garbles everything.
//
// Not thread-safe: a ServerLoop drives it under its lock, and so must every other caller.
#pragma once

#include <cstdint>
#include <string>

#include "sim/faults.h"
#include "sim/instrument.h"
#include "sim/pacer.h"
#include "sim/pty.h"
#include "sim/serial_wire.h"
#include "sim/transport.h"

namespace kxsim {

struct ServerStats : WireStats {
  uint64_t bytesGarbled = 0;  // bytes lost to a line-speed mismatch
  uint32_t hostBaud = 0;      // the host port's rate as last seen (0: unknown)
  uint32_t instrumentBaud = 0;
};

class SerialTransport : public Transport {
 public:
  // The wire's line and frame faults come from `faults` (none when null).
  // `answerInTurn`: the wire answers requests one after the other (sim/serial_wire.h).
  SerialTransport(Instrument& model, WireTimings timings, bool pace, bool lineSpeedCheck,
                  FaultInjector* faults, bool answerInTurn = false);

  TransportWait Plan(uint32_t nowMs) override;
  void Serve(const TransportWait& ready, uint32_t nowMs) override;

  const std::string& DevicePath() const { return pty_.SlavePath(); }
  std::string ComName() const { return pty_.ComName(); }

  // Takes the host port's rate as it is now, without taking a change for a break.
  void ReadHostSpeed();
  ServerStats Stats() const;
  void ResetStats();
  void SetPace(bool on) { pace_ = on; }
  uint64_t MessagesReceived() const { return wire_.Stats().messagesReceived; }

 private:
  void CheckHostSpeed();
  // Bytes from the host, when the plan waited for them and they came.
  void ServeInput(short revents, uint32_t nowMs, bool speedsMatch);
  // Bytes for the host, as far as the pace and the pty take them.
  void ServeOutput(uint32_t nowMs, bool speedsMatch);

  Instrument& model_;
  bool lineSpeedCheck_;
  bool pace_;
  PtyPair pty_;
  SerialWire wire_;
  Pacer inPacer_;
  Pacer outPacer_;
  uint64_t bytesGarbled_ = 0;
  uint32_t hostBaud_ = 0;
  Bytes pendingWrite_;  // taken from the wire, not yet accepted by the pty
};

// Bits per second of a termios speed constant; 0 for one not in the table.
uint32_t BaudFromSpeed(unsigned speed);

}  // namespace kxsim
