// One way of carrying messages between a host and the served instrument: the serial wire
// on a pseudo-terminal today (sim/serial_transport.h); the USB pipes, two FIFOs in a
// device folder, are the next. A ServerLoop (sim/server_loop.h) drives a transport from
// its own thread: it asks what to wait for (Plan), waits in poll() for that or for its
// own wake-up, and lets the transport move what is ready (Serve). The loop calls both
// under its lock, with the time of its clock, so a transport needs no lock of its own.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>

namespace kxsim {

// What a transport waits for in one pass: up to kMaxFds descriptors (a descriptor with
// no events still reports a hang-up) and the longest wait.
struct TransportWait {
  static constexpr size_t kMaxFds = 2;
  pollfd fds[kMaxFds] = {};
  size_t count = 0;
  int waitMs = 20;

  void Add(int fd, short events) {
    if (count < kMaxFds) fds[count++] = pollfd{fd, events, 0};
  }
};

class Transport {
 public:
  virtual ~Transport() = default;
  // What to wait for at `nowMs`.
  virtual TransportWait Plan(uint32_t nowMs) = 0;
  // Moves what is ready: `ready` is the last Plan with poll()'s revents filled in (all 0
  // when the wait ran out or was woken).
  virtual void Serve(const TransportWait& ready, uint32_t nowMs) = 0;
};

}  // namespace kxsim
