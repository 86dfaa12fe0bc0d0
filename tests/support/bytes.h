// Test support: byte patterns, little-endian words, and the messages and card responses
// an instrument sends, built field by field.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// `n` bytes of a pseudo-random sequence chosen by `seed`, the same in every run.
inline Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 7;
  for (auto& byte : b) byte = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  return b;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); }
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

// A message: the 10-byte header (Class, Type, Status, 0) and `payload`.
inline Bytes Message(uint16_t cls, uint16_t type, uint16_t status, const Bytes& payload = {}) {
  return Cat({Le({cls, type, status, 0, 0}), payload});
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
