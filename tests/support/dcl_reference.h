// A test-side model of the imploded stream format, written apart from the library's code
// and tables so that a misreading in one of them shows up as a disagreement:
// - BitStream builds streams field by field, and the bytes they decode to;
// - ReferenceExplode decodes bit by bit. The format's decoder keeps 8 to 15 bits in its
//   buffer, so taking a field fails when fewer than 8 bits would follow it in the stream;
//   only the end marker's extra bits may be taken that way;
// - ReferenceImplode encodes with an exhaustive search over every distance, following
//   the encoder's rules (blocks of 4096 with 516 bytes of lookahead, longest match with
//   the nearest one among equals, the 256-byte limit for length 2, lazy evaluation).
// Slow by design; for tests and fuzz targets only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace dcltest {

// The format's code tables, transcribed again for the tests.
inline constexpr unsigned kLenBits[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
inline constexpr unsigned kLenCode[16] = {0x05, 0x03, 0x01, 0x06, 0x0A, 0x02, 0x0C, 0x14,
                                          0x04, 0x18, 0x08, 0x30, 0x10, 0x20, 0x40, 0x00};
inline constexpr unsigned kExLenBits[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
inline constexpr unsigned kLenBase[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};
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

struct AsciiTable {
  unsigned bits[256] = {};
  unsigned code[256] = {};
};

#ifdef KXLIB_SHARED_DIR
// The ASCII literal code as the shared file gives it (rows of symbol, bits, hex code);
// symbols the file lacks stay at 0 bits.
inline const AsciiTable& SharedAscii() {
  static const AsciiTable table = [] {
    AsciiTable t;
    std::ifstream in(std::string(KXLIB_SHARED_DIR) + "/dcl-ascii-literals.tsv");
    unsigned s, bits, code;
    for (std::string line; std::getline(in, line);) {
      if (std::sscanf(line.c_str(), "%u %u %x", &s, &bits, &code) == 3 && s < 256) {
        t.bits[s] = bits;
        t.code[s] = code;
      }
    }
    return t;
  }();
  return table;
}
#endif

// Appends `length` bytes copied from `distance` back; before the first byte, zeros.
inline void AppendCopy(std::vector<uint8_t>& out, unsigned length, unsigned distance) {
  for (unsigned k = 0; k < length; ++k) out.push_back(out.size() >= distance ? out[out.size() - distance] : 0);
}

// Builds a stream bit by bit, least-significant bit of each field first (a partial last
// byte padded with zero bits), and the bytes it decodes to.
struct BitStream {
  BitStream(unsigned literalMode, unsigned dsize, const AsciiTable* table = nullptr)
      : bytes{static_cast<uint8_t>(literalMode), static_cast<uint8_t>(dsize)}, dsizeBits(dsize),
        ascii(literalMode == 1 ? table : nullptr) {}

  void Put(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i, bitPos = (bitPos + 1) & 7) {
      if (bitPos == 0) bytes.push_back(0);
      bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << bitPos);
    }
  }
  void Literal(uint8_t byte) {
    Put(0, 1);
    Put(ascii ? ascii->code[byte] : byte, ascii ? ascii->bits[byte] : 8);
    expected.push_back(byte);
  }
  // A length 2..519 as flag, length code and extra bits.
  void Length(unsigned length) {
    unsigned i = 15;
    while (kLenBase[i] + 2 > length) --i;
    Put(1, 1);
    Put(kLenCode[i], kLenBits[i]);
    Put(length - 2 - kLenBase[i], kExLenBits[i]);
  }
  void Repeat(unsigned length, unsigned distance) {
    Length(length);
    const unsigned lowBits = length == 2 ? 2 : dsizeBits, d = distance - 1;
    Put(kDistCode[d >> lowBits], DistBitsOf(d >> lowBits));
    Put(d & ((1u << lowBits) - 1), lowBits);
    AppendCopy(expected, length, distance);
  }
  void End() { Length(519); }

  std::vector<uint8_t> bytes, expected;
  unsigned bitPos = 0, dsizeBits;
  const AsciiTable* ascii;
};

struct Token {
  bool literal;
  unsigned value;     // the byte of a literal, the length of a repetition
  unsigned distance;  // repetitions only
};

struct Decoded {
  uint32_t result = 4;
  std::vector<uint8_t> output;
  std::vector<Token> tokens;
};

// Decodes `s` as the format's decoder does. `ascii` is only used in ASCII mode.
inline Decoded ReferenceExplode(const std::vector<uint8_t>& s, const AsciiTable& ascii) {
  Decoded r;
  r.result = s.size() < 5 ? 3 : s[1] < 4 || s[1] > 6 ? 1 : s[0] > 1 ? 2 : 4;
  if (r.result != 4) return r;
  const size_t total = s.size() * 8;
  size_t pos = 16;
  auto peek = [&](unsigned n) {
    unsigned v = 0;
    for (size_t b = pos; b < pos + n && b < total; ++b) v |= ((s[b >> 3] >> (b & 7)) & 1u) << (b - pos);
    return v;
  };
  auto take = [&](unsigned n) { return (pos += n) + 8 <= total; };
  for (;;) {
    const bool repeat = peek(1);
    if (!take(1)) return r;
    unsigned i = 0, d = 0;
    if (!repeat) {
      if (s[0] == 1) {
        while (i < 255 && peek(ascii.bits[i]) != ascii.code[i]) ++i;
      } else {
        i = peek(8);
      }
      if (!take(s[0] == 1 ? ascii.bits[i] : 8)) return r;
      r.tokens.push_back({true, i, 0});
      r.output.push_back(static_cast<uint8_t>(i));
      continue;
    }
    while (peek(kLenBits[i]) != kLenCode[i]) ++i;  // the code is complete: always found
    if (!take(kLenBits[i])) return r;
    const unsigned length = kLenBase[i] + peek(kExLenBits[i]) + 2;
    if (!take(kExLenBits[i]) && length != 519) return r;
    if (length == 519) {
      r.result = 0;
      return r;
    }
    while (peek(DistBitsOf(d)) != kDistCode[d]) ++d;
    if (!take(DistBitsOf(d))) return r;
    const unsigned lowBits = length == 2 ? 2 : s[1];
    const unsigned distance = ((d << lowBits) | peek(lowBits)) + 1;
    if (!take(lowBits)) return r;
    r.tokens.push_back({false, length, distance});
    AppendCopy(r.output, length, distance);
  }
}

// Encodes `input` by the encoder's rules with an exhaustive longest-match search.
inline std::vector<uint8_t> ReferenceImplode(const std::vector<uint8_t>& input, unsigned literalMode,
                                             unsigned dictSize, const AsciiTable& ascii) {
  BitStream out(literalMode, dictSize == 1024 ? 4 : dictSize == 2048 ? 5 : 6, &ascii);
  const uint8_t* const in = input.data();
  struct Match {
    size_t length = 0, distance = 0;
  };
  // The longest match at `pos` within the first `end` bytes, the nearest among equals.
  auto search = [&](size_t pos, size_t end) {
    Match best;
    const size_t maxLen = std::min<size_t>(516, end - pos);
    for (size_t dist = 1; dist < dictSize && dist <= pos && best.length < maxLen; ++dist) {
      size_t len = 0;
      while (len < maxLen && in[pos + len] == in[pos - dist + len]) ++len;
      if (len >= 2 && len > best.length) best = {len, dist};
    }
    return best;
  };
  size_t cur = 0;
  for (size_t blockEnd = 4096;; blockEnd += 4096) {
    const bool last = input.size() < blockEnd;  // a short (or empty) block ends the input
    const size_t end = std::min(input.size(), blockEnd), limit = last ? end : end - 516;
    for (Match m, next; cur < limit; m = next, next = {}) {
      if (m.length == 0) m = search(cur, end);
      if (m.length < 2 || (m.length == 2 && m.distance > 256)) {
        out.Literal(in[cur++]);
        continue;
      }
      if (m.length < 8 && cur + 1 < limit) {
        next = search(cur + 1, end);
        if (next.length > m.length && !(next.length == m.length + 1 && m.distance <= 129)) {
          out.Literal(in[cur++]);
          continue;
        }
        next = {};
      }
      out.Repeat(static_cast<unsigned>(m.length), static_cast<unsigned>(m.distance));
      cur += m.length;
    }
    if (last) break;
  }
  out.End();
  return out.bytes;
}

}  // namespace dcltest
