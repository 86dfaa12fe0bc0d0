// A served instrument as a test or kxsim drives it, whatever transport carries its
// messages (PtyServer: the serial line on a pseudo-terminal; UsbServer: the USB pipes in
// a device folder). Each call may be made from any thread while the server runs.
#pragma once

#include <cstdint>

#include "sim/faults.h"
#include "sim/serial_transport.h"

namespace kxsim {

class InstrumentServer {
 public:
  virtual ~InstrumentServer() = default;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  // The link's statistics (the fields a transport does not have stay 0).
  virtual ServerStats Stats() const = 0;
  virtual void ResetStats() = 0;
  virtual void SetFaults(FaultPlan plan) = 0;
  virtual void SetReplyDelay(uint32_t ms) = 0;
  // Waits (sleeping) until `count` messages have been received in all, or `timeoutMs`
  // of real time have passed; true when they have.
  virtual bool WaitForMessages(uint64_t count, uint32_t timeoutMs) const = 0;
};

}  // namespace kxsim
