#include "tests/support/line_peer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace testsupport {

uint16_t BitwiseCrc(const uint8_t* data, size_t n, uint16_t crc) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
  }
  return crc;
}

Bytes Frame(uint16_t flags, const Bytes& data, const char* tag) {
  Bytes f(tag, tag + 6);
  f.push_back(static_cast<uint8_t>(flags & 0xFF));
  f.push_back(static_cast<uint8_t>(flags >> 8));
  f.push_back(static_cast<uint8_t>(data.size() & 0xFF));
  f.push_back(static_cast<uint8_t>(data.size() >> 8));
  f.insert(f.end(), data.begin(), data.end());
  const uint16_t crc = BitwiseCrc(f.data(), f.size());
  f.push_back(static_cast<uint8_t>(crc & 0xFF));
  f.push_back(static_cast<uint8_t>(crc >> 8));
  return f;
}

Bytes Message(uint16_t cls, uint16_t type, uint16_t status, const Bytes& payload) {
  Bytes m(10 + payload.size(), 0);
  const uint16_t words[] = {cls, type, status};
  for (size_t i = 0; i < 3; ++i) {
    m[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
    m[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
  std::copy(payload.begin(), payload.end(), m.begin() + 10);
  return m;
}

std::vector<ParsedFrame> ParseFrames(const Bytes& s, Bytes* controls) {
  std::vector<ParsedFrame> frames;
  size_t i = 0;
  while (i < s.size()) {
    if (s.size() - i >= 12 && std::memcmp(&s[i], "PACKET", 6) == 0) {
      const size_t n = s[i + 8] | (s[i + 9] << 8);
      if (s.size() - i < 12 + n) break;
      ParsedFrame f;
      f.flags = static_cast<uint16_t>(s[i + 6] | (s[i + 7] << 8));
      f.data.assign(s.begin() + static_cast<long>(i) + 10, s.begin() + static_cast<long>(i + 10 + n));
      const uint16_t crc = static_cast<uint16_t>(s[i + 10 + n] | (s[i + 11 + n] << 8));
      f.crcOk = crc == BitwiseCrc(&s[i], 10 + n);
      frames.push_back(std::move(f));
      i += 12 + n;
    } else {
      if (controls) controls->push_back(s[i]);
      ++i;
    }
  }
  return frames;
}

LinePeer::LinePeer() = default;

LinePeer::~LinePeer() { StopAutoAnswer(); }

void LinePeer::Write(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(pty_.MasterFd(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{pty_.MasterFd(), POLLOUT, 0};
      poll(&p, 1, 10);
    }
  }
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

std::vector<ParsedFrame> LinePeer::Frames() {
  std::lock_guard<std::mutex> g(lock_);
  return frames_;
}

Bytes LinePeer::Received() {
  std::lock_guard<std::mutex> g(lock_);
  return received_;
}

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
      const size_t n = pending[8] | (pending[9] << 8);
      if (pending.size() < 12 + n) break;
      Bytes one(pending.begin(), pending.begin() + static_cast<long>(12 + n));
      pending.erase(pending.begin(), pending.begin() + static_cast<long>(12 + n));
      auto parsed = ParseFrames(one);
      if (parsed.empty()) continue;
      frames_.push_back(parsed[0]);
      const uint8_t a = answer_(frames_.size() - 1);
      if (a != 0) ::write(pty_.MasterFd(), &a, 1);
    }
  }
}

}  // namespace testsupport
