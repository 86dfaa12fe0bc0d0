// The host's side of the serial link, as the simulator's tests need it: frames built
// and taken apart here, with a table-driven CRC written apart from the simulator's
// bit-by-bit one, so the two check each other.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/instrument.h"

namespace simtest {

using kxsim::Bytes;

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint16_t v = static_cast<uint16_t>(i << 8);
    for (int b = 0; b < 8; ++b) v = (v & 0x8000) ? static_cast<uint16_t>((v << 1) ^ 0x1021) : static_cast<uint16_t>(v << 1);
    table[i] = v;
  }
  return table;
}
inline constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

inline uint16_t TableCrc(const uint8_t* p, size_t n, uint16_t crc = 0xFFFF) {
  for (size_t i = 0; i < n; ++i) {
    crc = static_cast<uint16_t>(kCrcTable[((crc >> 8) ^ p[i]) & 0xFF] ^ ((crc & 0xFF) << 8));
  }
  return crc;
}

inline void Put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline uint16_t Get16(const Bytes& b, size_t at) {
  return at + 2 <= b.size() ? static_cast<uint16_t>(b[at] | (b[at + 1] << 8)) : 0xDEAD;
}
inline uint32_t Get32(const Bytes& b, size_t at) {
  return at + 4 <= b.size() ? static_cast<uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                                    (static_cast<uint32_t>(b[at + 3]) << 24))
                            : 0xDEADBEEF;
}

// A frame as the host sends it; `tag` lets a test send the letters in another case.
inline Bytes HostFrame(uint16_t flags, const Bytes& data, const char* tag = "PACKET") {
  Bytes f(tag, tag + 6);
  Put16(f, 6, flags);
  Put16(f, 8, static_cast<uint16_t>(data.size()));
  f.insert(f.end(), data.begin(), data.end());
  const uint16_t crc = TableCrc(f.data(), f.size());
  f.push_back(static_cast<uint8_t>(crc));
  f.push_back(static_cast<uint8_t>(crc >> 8));
  return f;
}

// A message header with payload.
inline Bytes Message(uint16_t cls, uint16_t type, const Bytes& payload = {}) {
  Bytes m(10, 0);
  Put16(m, 0, cls);
  Put16(m, 2, type);
  m.insert(m.end(), payload.begin(), payload.end());
  return m;
}

// A record message (Class 14 unless given): both headers, then `data`.
inline Bytes RecordMessage(uint16_t dbType, uint16_t recordType, uint16_t number,
                           uint16_t recordLength = 0, const Bytes& key = {},
                           const Bytes& data = {}, uint16_t cls = 14) {
  Bytes m(70, 0);
  Put16(m, 0, cls);
  Put16(m, 2, dbType);
  Put16(m, 10, recordType);
  Put16(m, 12, recordLength);
  Put16(m, 14, number);
  Put16(m, 18, static_cast<uint16_t>(key.size()));
  for (size_t i = 0; i < key.size() && i < 50; ++i) m[20 + i] = key[i];
  m.insert(m.end(), data.begin(), data.end());
  return m;
}

struct Frame {
  uint16_t flags = 0;
  Bytes data;
  bool crcOk = false;
};

// What the instrument sent, taken apart: the ACK/NAK bytes (in order), the frames, and
// a count of bytes that were neither. A frame still arriving at the end is left out.
struct Received {
  Bytes controls;
  std::vector<Frame> frames;
  size_t other = 0;
  std::string order;  // 'A' ACK, 'N' NAK, 'F' frame, in the order they came
};

inline Received TakeApart(const Bytes& out) {
  Received r;
  size_t i = 0;
  while (i < out.size()) {
    if (out[i] == 0x06 || out[i] == 0x15) {
      r.controls.push_back(out[i]);
      r.order += out[i] == 0x06 ? 'A' : 'N';
      ++i;
      continue;
    }
    if (out.size() - i >= 7 && std::string(out.begin() + i, out.begin() + i + 6) == "PACKET" &&
        out[i + 6] == 0) {
      if (out.size() - i < 10) break;  // a frame still arriving
      const size_t n = Get16(out, i + 8);
      if (out.size() - i < 12 + n) break;
      {
        Frame f;
        f.flags = Get16(out, i + 6);
        f.data.assign(out.begin() + i + 10, out.begin() + i + 10 + n);
        f.crcOk = TableCrc(&out[i], 10 + n) == Get16(out, i + 10 + n);
        r.frames.push_back(f);
        r.order += 'F';
        i += 12 + n;
        continue;
      }
    }
    ++r.other;
    ++i;
  }
  return r;
}

inline Bytes Pattern(size_t n, uint32_t seed = 7) {
  Bytes b(n);
  for (auto& x : b) {
    seed = seed * 1664525u + 1013904223u;
    x = static_cast<uint8_t>(seed >> 24);
  }
  return b;
}

}  // namespace simtest
