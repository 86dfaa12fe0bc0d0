// The served instrument's thread: drives one Transport (sim/transport.h) until stopped.
// Each pass asks the transport what to wait for, waits in poll() for that, for Stop(), or
// for the transport's longest wait, and lets the transport serve what is ready, so the
// loop never spins. The lock guards the transport: whoever reads or changes the
// transport's state from another thread takes Mutex().
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "sim/transport.h"

namespace kxsim {

class ServerLoop {
 public:
  // `clock`: the milliseconds handed to the transport; a monotonic clock when empty.
  ServerLoop(Transport& transport, std::function<uint32_t()> clock);
  ~ServerLoop();  // stops
  ServerLoop(const ServerLoop&) = delete;
  ServerLoop& operator=(const ServerLoop&) = delete;

  // False when it already runs.
  bool Start();
  void Stop();
  bool Running() const { return running_.load(); }
  std::mutex& Mutex() const { return mutex_; }

 private:
  void Run();
  uint32_t Now() const;
  // Waits for the transport's plan (or a wake-up); false when the loop is to end.
  bool Wait(TransportWait* wait);
  void DrainWake();

  Transport& transport_;
  std::function<uint32_t()> clock_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  mutable std::mutex mutex_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kxsim
