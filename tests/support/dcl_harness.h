// Test-side tools for the imploded stream format, written apart from the library's code
// and tables so that a misreading in either shows up as a disagreement:
// - one-call runners for Explode and Implode over memory, with a work area of exactly the
//   documented size (the sanitizer sees any access past it) filled with a non-zero
//   pattern, optionally at an odd address;
// - BitStream builds streams field by field, with the bytes they decode to and each token;
// - ReferenceImplode encodes with an exhaustive search over every distance, following the
//   encoder's rules (blocks of 4096 with 516 bytes of lookahead, longest match with the
//   nearest among equals, the 256-byte limit for length 2, lazy evaluation);
// - Sample draws text, tagged records, random or code-like bytes from one seeded generator.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "compress/dcl.h"

namespace dcltest {

using Bytes = std::vector<uint8_t>;

inline void Check(bool ok) { if (!ok) std::abort(); }  // for the fuzz targets

// One call's output and how it used the callbacks.
struct Run {
  uint32_t result = 0;
  Bytes out;
  std::vector<uint32_t> writeSizes, readRequests;
  const Bytes* in = nullptr;                // while the call runs
  size_t maxChunk = SIZE_MAX, readPos = 0;  // the most one read delivers; bytes read so far
  int readsAfterEnd = 0;                    // reads that came after one had returned 0
  bool ended = false;
};

inline uint32_t MemoryRead(char* buffer, uint32_t* size, void* param) {
  Run& r = *static_cast<Run*>(param);
  r.readRequests.push_back(*size);
  r.readsAfterEnd += r.ended;
  const size_t n = std::min<size_t>({*size, r.in->size() - r.readPos, r.maxChunk});
  if (n > 0) std::memcpy(buffer, r.in->data() + r.readPos, n);
  r.readPos += n;
  r.ended |= n == 0;
  return static_cast<uint32_t>(n);
}

inline void MemoryWrite(char* buffer, uint32_t* size, void* param) {
  Run& r = *static_cast<Run*>(param);
  r.writeSizes.push_back(*size);
  r.out.insert(r.out.end(), buffer, buffer + *size);
}

// Explode on `in`, or Implode when given its literal mode and dictionary size.
inline Run RunExplode(const Bytes& in, size_t maxChunk = SIZE_MAX, size_t misalign = 0, uint32_t* modeAndDict = nullptr) {
  Run r;
  r.in = &in, r.maxChunk = maxChunk;
  std::vector<char> work((modeAndDict ? kImplodeWorkAreaSize : kExplodeWorkAreaSize) + misalign, static_cast<char>(0xA5));
  char* const area = work.data() + misalign;
  r.result = modeAndDict ? Implode(MemoryRead, MemoryWrite, area, &r, &modeAndDict[0], &modeAndDict[1])
                         : Explode(MemoryRead, MemoryWrite, area, &r);
  return r;
}

inline Run RunImplode(const Bytes& input, uint32_t mode, uint32_t dict, size_t maxChunk = SIZE_MAX, size_t misalign = 0) {
  uint32_t modeAndDict[2] = {mode, dict};
  return RunExplode(input, maxChunk, misalign, modeAndDict);
}

// True when every write but the last had `block` bytes and the last 1 to `block`, every
// read asked for `minRead` to `maxRead` bytes, and none followed the end of the input.
inline bool CallsInBlocks(const Run& r, uint32_t block, uint32_t minRead, uint32_t maxRead) {
  bool ok = r.readsAfterEnd == 0;
  for (size_t i = 0; i < r.writeSizes.size(); ++i) {
    ok &= r.writeSizes[i] == block || (i + 1 == r.writeSizes.size() && r.writeSizes[i] - 1 < block);
  }
  for (uint32_t n : r.readRequests) ok &= n >= minRead && n <= maxRead;
  return ok;
}

// The format's code tables, transcribed again for the tests. Length codes 0-7 stand for
// lengths 2-9; codes 8-15 carry 1 to 8 extra bits above a base.
inline constexpr unsigned kLenBits[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
inline constexpr unsigned kLenCode[16] = {0x05, 0x03, 0x01, 0x06, 0x0A, 0x02, 0x0C, 0x14,
                                          0x04, 0x18, 0x08, 0x30, 0x10, 0x20, 0x40, 0x00};
inline constexpr unsigned ExLenBits(unsigned i) { return i < 8 ? 0 : i - 7; }
inline constexpr unsigned LenBase(unsigned i) { return i < 8 ? i : (1u << (i - 7)) + 6; }
// Distance codes: index 0 has 2 bits, 1-2 have 4, 3-6 have 5, 7-21 have 6, 22-47 have 7,
// 48-63 have 8.
inline constexpr unsigned DistBitsOf(unsigned d) {
  return d == 0 ? 2 : d <= 2 ? 4 : d <= 6 ? 5 : d <= 21 ? 6 : d <= 47 ? 7 : 8;
}
inline constexpr unsigned kDistCode[64] = {
    0x03, 0x0D, 0x05, 0x19, 0x09, 0x11, 0x01, 0x3E, 0x1E, 0x2E, 0x0E, 0x36, 0x16, 0x26, 0x06, 0x3A,
    0x1A, 0x2A, 0x0A, 0x32, 0x12, 0x22, 0x42, 0x02, 0x7C, 0x3C, 0x5C, 0x1C, 0x6C, 0x2C, 0x4C, 0x0C,
    0x74, 0x34, 0x54, 0x14, 0x64, 0x24, 0x44, 0x04, 0x78, 0x38, 0x58, 0x18, 0x68, 0x28, 0x48, 0x08,
    0xF0, 0x70, 0xB0, 0x30, 0xD0, 0x50, 0x90, 0x10, 0xE0, 0x60, 0xA0, 0x20, 0xC0, 0x40, 0x80, 0x00};

// Per byte value, the ASCII literal code's bit count and bits.
using AsciiTable = std::pair<unsigned, unsigned>[256];

#ifdef KXLIB_SHARED_DIR
// Fills the table from the shared file's rows of byte value, bits and hex code.
inline const AsciiTable& SharedAscii() {
  static AsciiTable table = {};
  std::ifstream in(std::string(KXLIB_SHARED_DIR) + "/dcl-ascii-literals.tsv");
  unsigned s, bits, code;
  for (std::string line; std::getline(in, line);) {
    if (std::sscanf(line.c_str(), "%u %u %x", &s, &bits, &code) == 3 && s < 256) table[s] = {bits, code};
  }
  return table;
}
#endif

// Builds a stream bit by bit, least-significant bit of each field first (a partial last
// byte padded with zero bits); keeps the bytes it decodes to (history before the first
// byte reads as zeros) and, per token, its length (1 for a literal), its distance and
// the stream bit and output byte it ends at.
struct BitStream {
  struct Token { unsigned length, distance; size_t endBit, outEnd; };
  BitStream(unsigned mode, unsigned dsize, const AsciiTable* table = nullptr)
      : bytes{uint8_t(mode), uint8_t(dsize)}, dsizeBits(dsize), ascii(mode == 1 ? table : nullptr) {}

  void Put(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i, ++bits) {
      if (bits % 8 == 0) bytes.push_back(0);
      bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << bits % 8);
    }
  }
  void Literal(uint8_t byte) {
    Put(0, 1);
    Put(ascii ? (*ascii)[byte].second : byte, ascii ? (*ascii)[byte].first : 8);
    expected.push_back(byte);
    tokens.push_back({1, 0, bits, expected.size()});
  }
  void Repeat(unsigned length, unsigned distance) {  // length 519 is the end marker
    unsigned i = 15, d = distance - 1, lowBits = length == 2 ? 2 : dsizeBits;
    while (LenBase(i) + 2 > length) --i;
    Put((kLenCode[i] << 1) | 1, kLenBits[i] + 1);
    Put(length - 2 - LenBase(i), ExLenBits(i));
    if (length == 519) return;
    Put(kDistCode[d >> lowBits], DistBitsOf(d >> lowBits));
    Put(d & ((1u << lowBits) - 1), lowBits);
    for (unsigned k = 0; k < length; ++k) expected.push_back(expected.size() >= distance ? expected[expected.size() - distance] : 0);
    tokens.push_back({length, distance, bits, expected.size()});
  }

  Bytes bytes, expected;
  std::vector<Token> tokens;
  size_t bits = 16;
  unsigned dsizeBits;
  const AsciiTable* ascii;
};

// Encodes `input` by the encoder's rules with an exhaustive longest-match search.
inline BitStream ReferenceImplode(const Bytes& input, unsigned mode, unsigned dict, const AsciiTable* ascii = nullptr) {
  BitStream out(mode, dict == 1024 ? 4 : dict == 2048 ? 5 : 6, ascii);
  using Match = std::pair<size_t, size_t>;  // length, distance
  auto search = [&](size_t pos, size_t end) {  // the longest match within `end`, the nearest among equals
    Match best{0, 0};
    const size_t maxLen = std::min<size_t>(516, end - pos);
    for (size_t dist = 1; dist < dict && dist <= pos && best.first < maxLen; ++dist) {
      size_t len = 0;
      while (len < maxLen && input[pos + len] == input[pos - dist + len]) ++len;
      if (len >= 2 && len > best.first) best = {len, dist};
    }
    return best;
  };
  size_t cur = 0;
  for (size_t blockEnd = 4096; cur < input.size() || blockEnd == 4096; blockEnd += 4096) {
    const size_t end = std::min(input.size(), blockEnd), limit = input.size() < blockEnd ? end : end - 516;
    for (Match m, next; cur < limit; m = next, next = {0, 0}) {
      if (m.first == 0) m = search(cur, end);
      if (m.first < 8 && m.first >= 2 && cur + 1 < limit) next = search(cur + 1, end);
      if (m.first < 2 || (m.first == 2 && m.second > 256) ||
          (next.first > m.first && !(next.first == m.first + 1 && m.second <= 129))) {
        out.Literal(input[cur++]);
        continue;
      }
      out.Repeat(unsigned(m.first), unsigned(m.second));
      cur += m.first;
      next = {0, 0};
    }
  }
  out.Repeat(519, 0);
  return out;
}

// Sample data from one seeded generator: kind 0 English-like text, 1 tagged records (a
// binary tag and length, then a word), 2 random bytes, 3 code-like bytes (calls to
// repeated addresses, runs of zeros, short opcodes).
inline Bytes Sample(unsigned kind, size_t size, uint32_t seed) {
  static const std::string kWords[] = {
      "the ", "of ", "and ", "to ", "in ", "a ", "is ", "that ", "for ", "it ", "with ", "not ", "this ", "from ",
      "which ", "cable ", "test ", "length ", "pair ", "limit ", "result ", "PASS ", "FAIL ", "Cat 6A ", "100 Ohm ",
      "crosstalk ", "attenuation ", "measured ", "channel ", "remote ", "report", ", ", ".\r\n", ". The "};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    const uint32_t r = rng(), a = 0x1000 + r % 16 * 0x3C4;
    const std::string& word = kWords[r % std::size(kWords)];
    const Bytes code[] = {{0xE8, uint8_t(a), uint8_t(a >> 8), 0x40, 0}, Bytes(1 + r % 12, 0), {0x8B, uint8_t(r >> 16), 0x5D, 0xC3}};
    const Bytes piece = kind == 0 ? Bytes(word.begin(), word.end())
                        : kind == 1 ? Bytes{uint8_t(r >> 8 & 0x3F), 1, uint8_t(word.size()), 0}
                        : kind == 2 ? Bytes{uint8_t(r)} : code[(r >> 8) % 3];
    out.insert(out.end(), piece.begin(), piece.end());
    if (kind == 1) out.insert(out.end(), word.begin(), word.end());
  }
  out.resize(size);
  return out;
}
inline Bytes EnglishText(size_t size, uint32_t seed = 1) { return Sample(0, size, seed); }
inline Bytes TaggedRecords(size_t size, uint32_t seed = 2) { return Sample(1, size, seed); }
inline Bytes RandomBytes(size_t size, uint32_t seed = 3) { return Sample(2, size, seed); }
inline Bytes CodeLikeBytes(size_t size, uint32_t seed = 4) { return Sample(3, size, seed); }

}  // namespace dcltest
