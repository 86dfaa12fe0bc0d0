// The host's side of the serial link, as the simulator's tests need it: requests built
// with the test support's frame builder (its own bitwise CRC, written apart from the
// simulator's), the instrument's output taken apart in the order it came, and a host
// port on the slave side of a pseudo-terminal the simulator serves.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "sim/wire_format.h"
#include "tests/support/line_peer.h"

namespace simtest {

using kxsim::Bytes;
using kxsim::GetU16;
using testsupport::Frame;

inline Bytes Message(uint16_t cls, uint16_t type, const Bytes& payload = {}) {
  return testsupport::Message(cls, type, 0, payload);
}

// A record message (Class 14 unless given): both headers, then `data`.
inline Bytes RecordMessage(uint16_t dbType, uint16_t recordType, uint16_t number, uint16_t recordLength = 0,
                           const Bytes& key = {}, const Bytes& data = {}, uint16_t cls = 14) {
  Bytes m = Message(cls, dbType, Bytes(60, 0));
  kxsim::PutU16(m, 10, recordType);
  kxsim::PutU16(m, 12, recordLength);
  kxsim::PutU16(m, 14, number);
  kxsim::PutU16(m, 18, static_cast<uint16_t>(key.size()));
  for (size_t i = 0; i < key.size() && i < 50; ++i) m[20 + i] = key[i];
  m.insert(m.end(), data.begin(), data.end());
  return m;
}

// What the instrument sent, in order: `order` has 'A' for ACK, 'N' for NAK, 'F' for a
// frame, '?' for any other byte. A frame still arriving is left out.
struct Received {
  std::string order;
  std::vector<testsupport::ParsedFrame> frames;
};

inline Received TakeApart(const Bytes& out) {
  Received r;
  for (size_t i = 0; i < out.size();) {
    if (out[i] == kxsim::kAck || out[i] == kxsim::kNak) {
      r.order += out[i++] == kxsim::kAck ? 'A' : 'N';
    } else if (std::memcmp(&out[i], "PACKET", std::min<size_t>(7, out.size() - i)) == 0) {  // tag and a 0
      const size_t n = 12u + GetU16(out, i + 8);  // Length reads as 0 while it has not come
      if (out.size() - i < n) break;
      r.frames.push_back(testsupport::ParseFrames(Bytes(out.begin() + i, out.begin() + i + n)).at(0));
      r.order += 'F';
      i += n;
    } else {
      r.order += '?';
      ++i;
    }
  }
  return r;
}

inline Bytes Pattern(size_t n, uint32_t seed = 7) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return b;
}

// A host port opened raw on `path` (the slave side of a served pty).
class PtyHost {
 public:
  explicit PtyHost(const std::string& path, speed_t speed = B9600)
      : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, speed);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~PtyHost() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void Write(const Bytes& b) {
    for (size_t done = 0; fd_ >= 0 && done < b.size();) {
      const ssize_t n = write(fd_, b.data() + done, b.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
      pollfd p{fd_, POLLOUT, 0};
      if (n <= 0) poll(&p, 1, 1);
    }
  }
  // What arrives until `n` items (ACK/NAK bytes and whole frames) came, or `ms` passed.
  Received Expect(size_t n, int ms = 3000) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (TakeApart(got).order.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      uint8_t buf[4096];
      const ssize_t r = poll(&p, 1, 1) > 0 ? read(fd_, buf, sizeof buf) : 0;
      if (r > 0) got.insert(got.end(), buf, buf + r);
    }
    return TakeApart(got);
  }

 private:
  int fd_;
};

}  // namespace simtest
