#include "sim/serial_transport.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>

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

}  // namespace

uint32_t BaudFromSpeed(unsigned speed) {
  for (const SpeedRow& row : kSpeeds) {
    if (row.speed == speed) return row.baud;
  }
  return 0;
}

SerialTransport::SerialTransport(Instrument& model, WireTimings timings, bool pace,
                                 bool lineSpeedCheck, FaultInjector* faults, bool answerInTurn)
    : model_(model),
      lineSpeedCheck_(lineSpeedCheck),
      pace_(pace),
      wire_(model, WireOptions{timings, 256, answerInTurn}, faults) {}

void SerialTransport::ReadHostSpeed() {
  termios t{};
  if (tcgetattr(pty_.MasterFd(), &t) == 0) hostBaud_ = BaudFromSpeed(cfgetospeed(&t));
}

void SerialTransport::CheckHostSpeed() {
  termios t{};
  if (tcgetattr(pty_.MasterFd(), &t) != 0) return;
  const uint32_t baud = BaudFromSpeed(cfgetospeed(&t));
  if (baud != hostBaud_) {
    hostBaud_ = baud;
    if (baud == 9600) model_.LineBreak();
  }
}

ServerStats SerialTransport::Stats() const {
  ServerStats s;
  static_cast<WireStats&>(s) = wire_.Stats();
  s.bytesGarbled = bytesGarbled_;
  s.hostBaud = hostBaud_;
  s.instrumentBaud = model_.LineBaud();
  return s;
}

void SerialTransport::ResetStats() {
  wire_.ResetStats();
  bytesGarbled_ = 0;
}

// Input is left in the pty while the pace allows none (the line has not carried it
// yet); output is waited for only while the pace allows some.
TransportWait SerialTransport::Plan(uint32_t nowMs) {
  const uint32_t lineBaud = pace_ ? model_.LineBaud() : 0;
  inPacer_.SetBaud(lineBaud);
  outPacer_.SetBaud(lineBaud);
  TransportWait wait;
  wait.waitMs = wire_.Busy() ? kBusyWaitMs : kIdleWaitMs;
  short events = POLLIN;
  if (inPacer_.Allowance(nowMs) == 0) {
    events = 0;
    wait.waitMs = kBusyWaitMs;
  }
  if (!pendingWrite_.empty() || wire_.HasOutput()) {
    if (outPacer_.Allowance(nowMs) > 0) {
      events = static_cast<short>(events | POLLOUT);
    } else {
      wait.waitMs = kBusyWaitMs;
    }
  }
  wait.Add(pty_.MasterFd(), events);
  return wait;
}

void SerialTransport::Serve(const TransportWait& ready, uint32_t nowMs) {
  CheckHostSpeed();
  const bool speedsMatch = !lineSpeedCheck_ || hostBaud_ == model_.LineBaud();
  if (ready.count > 0 && (ready.fds[0].events & POLLIN)) {
    ServeInput(ready.fds[0].revents, nowMs, speedsMatch);
  }
  wire_.Tick(nowMs);
  ServeOutput(nowMs, speedsMatch);
}

void SerialTransport::ServeInput(short revents, uint32_t nowMs, bool speedsMatch) {
  if (!(revents & POLLIN)) return;
  uint8_t buffer[kReadChunk];
  const size_t allowed = std::min(sizeof buffer, inPacer_.Allowance(nowMs));
  const ssize_t n = read(pty_.MasterFd(), buffer, allowed);
  if (n <= 0) return;
  inPacer_.Consume(static_cast<size_t>(n));
  if (speedsMatch) {
    wire_.Receive(buffer, static_cast<size_t>(n), nowMs);
  } else {
    bytesGarbled_ += static_cast<uint64_t>(n);
  }
}

void SerialTransport::ServeOutput(uint32_t nowMs, bool speedsMatch) {
  const size_t allowance = outPacer_.Allowance(nowMs);
  if (pendingWrite_.empty() && wire_.HasOutput() && allowance > 0) {
    pendingWrite_ = wire_.TakeOutput(nowMs, std::min(allowance, kReadChunk));
    if (!speedsMatch) {
      bytesGarbled_ += pendingWrite_.size();
      pendingWrite_.clear();
    }
  }
  if (pendingWrite_.empty()) return;
  const size_t count = std::min(pendingWrite_.size(), allowance);
  const ssize_t n = count > 0 ? write(pty_.MasterFd(), pendingWrite_.data(), count) : 0;
  if (n > 0) {
    outPacer_.Consume(static_cast<size_t>(n));
    pendingWrite_.erase(pendingWrite_.begin(), pendingWrite_.begin() + n);
  }
}

}  // namespace kxsim
