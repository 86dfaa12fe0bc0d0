// The USB transport: the instrument served over a device folder holding two FIFOs,
// "PIPE00" (host to instrument) and "PIPE01" (instrument to host), as the host's library
// finds them through the device enumerator (sim/devapi/). Each message travels as one
// application frame: LengthCheck (the one's complement of Length), Length, a reserved
// 0 (u16 each, little-endian), then the message.
//
// The transport keeps both ends of both FIFOs open, so hosts may come and go. It sends
// one write at a time and the next only once the host has read everything of the last,
// so each read of the host meets the bytes of one write at most, as a USB transfer is met.
// Bytes from the host that do not begin a valid header are skipped one at a time until
// one does.
//
// Faults of its own, drawn from the instrument's injector for each reply frame: a spoilt
// header, an empty frame before the reply, the frame split into two writes.
//
// Not thread-safe: a ServerLoop drives it under its lock, and so must every other caller.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "sim/faults.h"
#include "sim/instrument.h"
#include "sim/instrument_server.h"
#include "sim/transport.h"

namespace kxsim {

class UsbTransport : public Transport {
 public:
  // Serves `model` in `folder` (created when missing, with the FIFOs); throws
  // std::runtime_error when it cannot. The reply faults come from `faults` (none: null).
  UsbTransport(Instrument& model, std::string folder, FaultInjector* faults);
  ~UsbTransport() override;  // closes the FIFOs and removes what it created
  UsbTransport(const UsbTransport&) = delete;
  UsbTransport& operator=(const UsbTransport&) = delete;

  TransportWait Plan(uint32_t nowMs) override;
  void Serve(const TransportWait& ready, uint32_t nowMs) override;

  const std::string& DevicePath() const { return folder_; }
  ServerStats Stats() const;
  void ResetStats();
  uint64_t MessagesReceived() const { return stats_.messagesReceived; }

 private:
  struct Write {
    Bytes bytes;
    uint32_t dueMs;
  };
  void ServeInput();
  void TakeFrames(uint32_t nowMs);
  void Answer(const Bytes& request, uint32_t nowMs);
  void QueueReply(const Bytes& request, Bytes frame, uint32_t dueMs);
  void ServeOutput(uint32_t nowMs);
  bool HostHasReadAll() const;

  Instrument& model_;
  FaultInjector* faults_;
  std::string folder_;
  bool madeFolder_ = false;
  int fromHost_ = -1;  // PIPE00
  int toHost_ = -1;    // PIPE01
  Bytes input_;
  std::deque<Write> output_;
  WireStats stats_;
};

// An instrument served over USB: the model with its faults, the USB transport in
// `folder`, and the loop that drives it on a background thread (sim/instrument_server.h).
class UsbServer : public InstrumentServer {
 public:
  UsbServer(Instrument& model, std::string folder, ServerOptions options = {});
  ~UsbServer() override;  // stops

  const std::string& DevicePath() const { return transport_.DevicePath(); }

 protected:
  ServerStats TransportStats() const override { return transport_.Stats(); }
  void ResetTransportStats() override { transport_.ResetStats(); }
  uint64_t MessagesReceived() const override { return transport_.MessagesReceived(); }

 private:
  UsbTransport transport_;
};

}  // namespace kxsim
