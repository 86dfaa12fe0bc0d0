// Test support: text, little-endian words and the card responses an instrument sends,
// built field by field, beside the patterns, frames and messages of frames.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/frames.h"

namespace testsupport {

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
// Bytes of a host's area that a call must leave as they were.
inline Bytes Keep(size_t n) { return Bytes(n, 0xEE); }

// Little-endian fields of 16 or 32 bits, in order.
inline Bytes Le(std::initializer_list<uint32_t> words, unsigned width = 2) {
  Bytes b;
  for (uint32_t w : words) {
    for (unsigned i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(w >> (8 * i)));
  }
  return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

// A card response: CardStatus, 0, ByteCount, EntryCount, 0, then `data`.
inline Bytes CardResponse(uint16_t status, uint16_t byteCount, uint16_t entryCount, const Bytes& data = {}) {
  return Cat({Le({status, 0, byteCount, entryCount, 0}), data});
}

// A card reply message for `command`: the header, 60 bytes that give the response's
// length at message offset 12, and the response.
inline Bytes CardMessage(uint16_t command, const Bytes& response, uint16_t status = 1) {
  Bytes head(60, 0);
  head[2] = static_cast<uint8_t>(response.size());
  head[3] = static_cast<uint8_t>(response.size() >> 8);
  return Cat({Message(14, command, status, head), response});
}

}  // namespace testsupport
