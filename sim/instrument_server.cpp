#include "sim/instrument_server.h"

#include <chrono>
#include <thread>

namespace kxsim {

InstrumentServer::InstrumentServer(Instrument& model, ServerOptions& options, Transport& transport)
    : faulty_(model, options.seed, std::move(options.faults), options.replyDelayMs),
      loop_(transport, std::move(options.clock)) {}

ServerStats InstrumentServer::Stats() const {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  return TransportStats();
}

void InstrumentServer::ResetStats() {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  ResetTransportStats();
}

void InstrumentServer::SetFaults(FaultPlan plan) {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  faulty_.SetPlan(std::move(plan));
}

void InstrumentServer::SetReplyDelay(uint32_t ms) {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  faulty_.SetReplyDelay(ms);
}

bool InstrumentServer::WaitForMessages(uint64_t count, uint32_t timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(loop_.Mutex());
      if (MessagesReceived() >= count) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace kxsim
