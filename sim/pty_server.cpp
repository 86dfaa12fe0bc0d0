#include "sim/pty_server.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace kxsim {

PtyServer::PtyServer(Instrument& model, ServerOptions options)
    : faulty_(model, options.seed, std::move(options.faults), options.replyDelayMs),
      transport_(faulty_, options.timings, options.pace, options.lineSpeedCheck,
                 &faulty_.Injector(), options.answerInTurn),
      loop_(transport_, std::move(options.clock)) {}

PtyServer::~PtyServer() { Stop(); }

void PtyServer::Start() {
  if (loop_.Running()) return;
  {
    std::lock_guard<std::mutex> lock(loop_.Mutex());
    transport_.ReadHostSpeed();
  }
  loop_.Start();
}

void PtyServer::Stop() { loop_.Stop(); }

ServerStats PtyServer::Stats() const {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  return transport_.Stats();
}

void PtyServer::ResetStats() {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  transport_.ResetStats();
}

void PtyServer::SetFaults(FaultPlan plan) {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  faulty_.SetPlan(std::move(plan));
}

void PtyServer::SetReplyDelay(uint32_t ms) {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  faulty_.SetReplyDelay(ms);
}

void PtyServer::SetPace(bool on) {
  std::lock_guard<std::mutex> lock(loop_.Mutex());
  transport_.SetPace(on);
}

bool PtyServer::WaitForMessages(uint64_t count, uint32_t timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(loop_.Mutex());
      if (transport_.MessagesReceived() >= count) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace kxsim
