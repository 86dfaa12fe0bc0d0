// Test support for the simulator's wire and fault engines: requests built with the test
// support's frame builder (its own bitwise CRC, written apart from the simulator's), and
// the instrument's output taken apart in the order it came.
#pragma once

#include <algorithm>
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

// A record read (Class 14, Type 2) of record 0 of `recordType`: both headers, no key.
inline Bytes ReadOf(uint16_t recordType) {
  Bytes m = Message(14, 2, Bytes(60, 0));
  kxsim::PutU16(m, 10, recordType);
  return m;
}

// What the instrument sent, in order: `order` has 'A' for ACK, 'N' for NAK, a frame by
// its flags ('S' first packet 0x0300, 'M' middle 0x0200, 'E' last 0x2200, 'O' only packet
// 0x2300, 'F' other), '?' for any other byte. A frame still arriving is left out; `used`
// counts the bytes taken apart.
struct Received {
  std::string order;
  std::vector<testsupport::ParsedFrame> frames;
  size_t used = 0;
};

inline Received TakeApart(const Bytes& out) {
  Received r;
  size_t& i = r.used;
  while (i < out.size()) {
    if (out[i] == kxsim::kAck || out[i] == kxsim::kNak) {
      r.order += out[i++] == kxsim::kAck ? 'A' : 'N';
    } else if (std::memcmp(&out[i], "PACKET", std::min<size_t>(7, out.size() - i)) == 0) {  // tag and a 0
      const size_t n = 12u + GetU16(out, i + 8);  // Length reads as 0 while it has not come
      if (out.size() - i < n) break;
      r.frames.push_back(testsupport::ParseFrames(Bytes(out.begin() + i, out.begin() + i + n)).at(0));
      const uint16_t flags = r.frames.back().flags;
      r.order += flags == 0x0300 ? 'S' : flags == 0x0200 ? 'M' : flags == 0x2200 ? 'E' : flags == 0x2300 ? 'O' : 'F';
      i += n;
    } else {
      r.order += '?';
      ++i;
    }
  }
  return r;
}

inline Bytes Join(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

inline Bytes Pattern(size_t n, uint32_t seed = 7) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return b;
}

}  // namespace simtest
