#include "sim/pty_server.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace kxsim {
namespace {

struct SpeedRow {
  speed_t speed;
  uint32_t baud;
};
constexpr SpeedRow kSpeeds[] = {
    {B300, 300},     {B600, 600},     {B1200, 1200},     {B2400, 2400},
    {B4800, 4800},   {B9600, 9600},   {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

// Longest wait of one pass: while a timer runs, a pass every millisecond (so timers
// keep their resolution even when the clock runs faster than real time); when idle
// only input can change anything, and poll() wakes for that.
constexpr int kBusyWaitMs = 1;
constexpr int kIdleWaitMs = 20;
constexpr size_t kReadChunk = 4096;

uint32_t SteadyMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

uint32_t BaudFromSpeed(unsigned speed) {
  for (const SpeedRow& row : kSpeeds) {
    if (row.speed == speed) return row.baud;
  }
  return 0;
}

PtyServer::PtyServer(Instrument& model, ServerOptions options)
    : model_(model),
      options_(std::move(options)),
      faulty_(model, options_.seed, std::move(options_.faults), options_.replyDelayMs),
      wire_(faulty_, WireOptions{options_.timings, 256}, &faulty_.Injector()) {
  options_.faults = {};
  pace_ = options_.pace;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
}

PtyServer::~PtyServer() {
  Stop();
  close(wakeRead_);
  close(wakeWrite_);
}

uint32_t PtyServer::Now() const { return options_.clock ? options_.clock() : SteadyMs(); }

void PtyServer::Start() {
  if (running_.exchange(true)) return;
  stop_ = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    termios t{};
    if (tcgetattr(pty_.MasterFd(), &t) == 0) hostBaud_ = BaudFromSpeed(cfgetospeed(&t));
  }
  thread_ = std::thread(&PtyServer::Run, this);
}

void PtyServer::Stop() {
  if (!running_.load()) return;
  stop_ = true;
  const char b = 1;
  (void)!write(wakeWrite_, &b, 1);
  if (thread_.joinable()) thread_.join();
  char drain[16];
  while (read(wakeRead_, drain, sizeof drain) > 0) {
  }
  running_ = false;
}

ServerStats PtyServer::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  ServerStats s;
  static_cast<WireStats&>(s) = wire_.Stats();
  s.bytesGarbled = bytesGarbled_;
  s.hostBaud = hostBaud_;
  s.instrumentBaud = model_.LineBaud();
  return s;
}

void PtyServer::ResetStats() {
  std::lock_guard<std::mutex> lock(mutex_);
  wire_.ResetStats();
  bytesGarbled_ = 0;
}

void PtyServer::SetFaults(FaultPlan plan) {
  std::lock_guard<std::mutex> lock(mutex_);
  faulty_.SetPlan(std::move(plan));
}

void PtyServer::SetReplyDelay(uint32_t ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  faulty_.SetReplyDelay(ms);
}

void PtyServer::SetPace(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  pace_ = on;
}

bool PtyServer::WaitForMessages(uint64_t count, uint32_t timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (wire_.Stats().messagesReceived >= count) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Called with the lock held.
void PtyServer::CheckHostSpeed() {
  termios t{};
  if (tcgetattr(pty_.MasterFd(), &t) != 0) return;
  const uint32_t baud = BaudFromSpeed(cfgetospeed(&t));
  if (baud != hostBaud_) {
    hostBaud_ = baud;
    if (baud == 9600) model_.LineBreak();
  }
}

void PtyServer::Run() {
  const int master = pty_.MasterFd();
  uint8_t buffer[kReadChunk];
  while (!stop_.load()) {
    int waitMs = kIdleWaitMs;
    bool wantInput = true;
    bool wantOutput = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const uint32_t now = Now();
      const uint32_t lineBaud = pace_ ? model_.LineBaud() : 0;
      inPacer_.SetBaud(lineBaud);
      outPacer_.SetBaud(lineBaud);
      if (wire_.Busy()) waitMs = kBusyWaitMs;
      if (inPacer_.Allowance(now) == 0) {
        wantInput = false;  // leave the bytes in the pty until the line has carried them
        waitMs = kBusyWaitMs;
      }
      if (!pendingWrite_.empty() || wire_.HasOutput()) {
        if (outPacer_.Allowance(now) > 0) {
          wantOutput = true;
        } else {
          waitMs = kBusyWaitMs;
        }
      }
    }
    pollfd fds[2] = {{master, static_cast<short>((wantInput ? POLLIN : 0) |
                                                 (wantOutput ? POLLOUT : 0)), 0},
                     {wakeRead_, POLLIN, 0}};
    const int ready = poll(fds, 2, waitMs);
    if (stop_.load()) break;
    if (ready < 0 && errno != EINTR) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) {
      // No slave open at all (the pty could not keep its own): nothing to do but wait.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::lock_guard<std::mutex> lock(mutex_);
    CheckHostSpeed();
    const uint32_t now = Now();
    const bool speedsMatch = !options_.lineSpeedCheck || hostBaud_ == model_.LineBaud();

    if (wantInput && (fds[0].revents & POLLIN)) {
      const size_t allowed = std::min(sizeof buffer, inPacer_.Allowance(now));
      const ssize_t n = read(master, buffer, allowed);
      if (n > 0) {
        inPacer_.Consume(static_cast<size_t>(n));
        if (speedsMatch) {
          wire_.Receive(buffer, static_cast<size_t>(n), now);
        } else {
          bytesGarbled_ += static_cast<uint64_t>(n);
        }
      }
    }
    wire_.Tick(now);

    size_t allowance = outPacer_.Allowance(now);
    if (pendingWrite_.empty() && wire_.HasOutput() && allowance > 0) {
      pendingWrite_ = wire_.TakeOutput(now, std::min(allowance, kReadChunk));
      if (!speedsMatch) {
        bytesGarbled_ += pendingWrite_.size();
        pendingWrite_.clear();
      }
    }
    if (!pendingWrite_.empty()) {
      const size_t count = std::min(pendingWrite_.size(), allowance);
      const ssize_t n = count > 0 ? write(master, pendingWrite_.data(), count) : 0;
      if (n > 0) {
        outPacer_.Consume(static_cast<size_t>(n));
        pendingWrite_.erase(pendingWrite_.begin(), pendingWrite_.begin() + n);
      }
    }
    char drain[16];
    while (read(wakeRead_, drain, sizeof drain) > 0) {
    }
  }
}

}  // namespace kxsim
