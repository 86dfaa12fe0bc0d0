#include "sim/server_loop.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace kxsim {
namespace {

uint32_t SteadyMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Nap() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace

ServerLoop::ServerLoop(Transport& transport, std::function<uint32_t()> clock)
    : transport_(transport), clock_(std::move(clock)) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
}

ServerLoop::~ServerLoop() {
  Stop();
  close(wakeRead_);
  close(wakeWrite_);
}

uint32_t ServerLoop::Now() const { return clock_ ? clock_() : SteadyMs(); }

bool ServerLoop::Start() {
  if (running_.exchange(true)) return false;
  stop_ = false;
  thread_ = std::thread(&ServerLoop::Run, this);
  return true;
}

void ServerLoop::Stop() {
  if (!running_.load()) return;
  stop_ = true;
  const char b = 1;
  (void)!write(wakeWrite_, &b, 1);
  if (thread_.joinable()) thread_.join();
  DrainWake();
  running_ = false;
}

void ServerLoop::DrainWake() {
  char drain[16];
  while (read(wakeRead_, drain, sizeof drain) > 0) {
  }
}

bool ServerLoop::Wait(TransportWait* wait) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    *wait = transport_.Plan(Now());
  }
  pollfd fds[TransportWait::kMaxFds + 1];
  for (size_t i = 0; i < wait->count; ++i) fds[i] = wait->fds[i];
  fds[wait->count] = pollfd{wakeRead_, POLLIN, 0};
  const int ready = poll(fds, static_cast<nfds_t>(wait->count + 1), wait->waitMs);
  if (stop_.load()) return false;
  if (ready < 0) {
    if (errno != EINTR) Nap();
    return true;  // nothing is ready: revents stay 0
  }
  bool hungUp = false;
  for (size_t i = 0; i < wait->count; ++i) {
    wait->fds[i].revents = fds[i].revents;
    hungUp = hungUp || ((fds[i].revents & (POLLHUP | POLLERR)) && !(fds[i].revents & POLLIN));
  }
  // A descriptor with no peer at all reports a hang-up at once: wait a little instead
  // of spinning until a peer comes.
  if (hungUp) Nap();
  return true;
}

void ServerLoop::Run() {
  while (!stop_.load()) {
    TransportWait wait;
    if (!Wait(&wait)) break;
    std::lock_guard<std::mutex> lock(mutex_);
    transport_.Serve(wait, Now());
    DrainWake();
  }
}

}  // namespace kxsim
