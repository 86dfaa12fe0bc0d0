#include "tests/support/line_peer.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

void LinePeer::Write(const Bytes& bytes) {
  for (size_t done = 0; done < bytes.size();) done += WriteSome(Bytes(bytes.begin() + static_cast<long>(done), bytes.end()));
}

size_t LinePeer::WriteSome(const Bytes& bytes) {
  const ssize_t n = ::write(pty_.MasterFd(), bytes.data(), bytes.size());
  if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return n > 0 ? static_cast<size_t>(n) : 0;
}

Bytes LinePeer::Read(int ms, size_t atLeast) {
  Bytes out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (out.size() < atLeast) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{pty_.MasterFd(), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    uint8_t buf[4096];
    const ssize_t n = ::read(pty_.MasterFd(), buf, sizeof buf);
    if (n > 0) out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void LinePeer::AutoAnswer(std::function<uint8_t(size_t)> answer) {
  StopAutoAnswer();
  answer_ = std::move(answer);
  running_ = true;
  thread_ = std::thread([this] { AnswerLoop(); });
}

void LinePeer::StopAutoAnswer() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
}

std::vector<ParsedFrame> LinePeer::Frames() { std::lock_guard<std::mutex> g(lock_); return frames_; }

Bytes LinePeer::Received() { std::lock_guard<std::mutex> g(lock_); return received_; }

void LinePeer::AnswerLoop() {
  Bytes pending;
  while (running_) {
    Bytes got = Read(5);
    if (got.empty()) continue;
    pending.insert(pending.end(), got.begin(), got.end());
    std::lock_guard<std::mutex> g(lock_);
    received_.insert(received_.end(), got.begin(), got.end());
    // Answer each complete frame at the front of `pending`; drop stray bytes.
    for (;;) {
      while (!pending.empty() && pending[0] != 'P') pending.erase(pending.begin());
      if (pending.size() < 12) break;
      const size_t n = 12u + U16(pending, 8);
      if (pending.size() < n) break;
      const auto parsed = ParseFrames(Head(pending, n));
      pending.erase(pending.begin(), pending.begin() + static_cast<long>(n));
      if (parsed.empty()) continue;
      frames_.push_back(parsed[0]);
      const uint8_t a = answer_(frames_.size() - 1);
      if (a != 0) ::write(pty_.MasterFd(), &a, 1);
    }
  }
}

}  // namespace testsupport
