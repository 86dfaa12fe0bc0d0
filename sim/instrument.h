// The instrument model behind every transport of the simulator.
//
// A transport (the serial wire today, USB pipes later) collects one complete request
// message from the host and hands it to the model; the model answers with zero or one
// reply message. The model knows nothing of packets, CRCs or acknowledgements.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kxsim {

using Bytes = std::vector<uint8_t>;

class Instrument {
 public:
  virtual ~Instrument() = default;

  // One request message in (10-byte message header + payload), at most one reply out.
  // Messages that take no reply (notifications) return std::nullopt.
  virtual std::optional<Bytes> HandleMessage(const Bytes& request) = 0;

  // Bits per second the instrument's serial port runs at. The serial transport paces
  // its bytes at this rate (when asked to) and checks the host's rate against it.
  virtual uint32_t LineBaud() const { return 9600; }

  // A break arrived on the serial line: the instrument goes back to its start-up rate.
  virtual void LineBreak() {}

  // Milliseconds the instrument still needs before the reply to the message it just
  // handled can go out (a flash coalesce, for example). The transport reads it once
  // after each HandleMessage; reading it clears it.
  virtual uint32_t TakeBusyMs() { return 0; }
};

}  // namespace kxsim
