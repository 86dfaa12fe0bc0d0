// A test-side model of the imploded stream format, written apart from the library's code
// and tables so that a misreading in one of them shows up as a disagreement:
// - BitStream builds streams field by field, for hand-made test streams;
// - ReferenceExplode decodes the way the format's decoder is described: an 8-bit bit
//   buffer with up to 7 extra bits, one input byte fetched at a time, the input served
//   in 2048-byte reads, and the full output kept as history;
// - ReferenceImplode encodes with an exhaustive search over every distance, following
//   the encoder's rules (blocks of 4096 with 516 bytes of lookahead, longest match with
//   the nearest one among equals, the 256-byte limit for length 2, lazy evaluation).
// Slow by design; for tests and fuzz targets only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
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

// Reads the ASCII literal code from its tab-separated file (symbol, bits, hex code; '#'
// comments and a header line). Returns false if the file is missing or malformed.
inline bool LoadAsciiTable(const std::string& path, AsciiTable& table) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  int rows = 0;
  bool seen[256] = {};
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("symbol", 0) == 0) continue;
    std::istringstream fields(line);
    unsigned symbol = 0, bits = 0;
    std::string code;
    if (!(fields >> symbol >> bits >> code) || symbol > 255 || seen[symbol]) return false;
    seen[symbol] = true;
    table.bits[symbol] = bits;
    table.code[symbol] = static_cast<unsigned>(std::stoul(code, nullptr, 16));
    ++rows;
  }
  return rows == 256;
}

// Builds a stream bit by bit, least-significant bit of each field first.
class BitStream {
 public:
  BitStream(unsigned literalMode, unsigned dsizeBits) : dsizeBits_(dsizeBits) {
    bytes_ = {static_cast<uint8_t>(literalMode), static_cast<uint8_t>(dsizeBits)};
  }

  void Put(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if (bitPos_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(1u << bitPos_);
      bitPos_ = (bitPos_ + 1) & 7;
    }
  }

  void Literal(uint8_t byte) {
    Put(0, 1);
    Put(byte, 8);
  }
  void AsciiLiteral(const AsciiTable& table, uint8_t byte) {
    Put(0, 1);
    Put(table.code[byte], table.bits[byte]);
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
    const unsigned lowBits = length == 2 ? 2 : dsizeBits_;
    const unsigned d = distance - 1;
    Put(kDistCode[d >> lowBits], DistBitsOf(d >> lowBits));
    Put(d & ((1u << lowBits) - 1), lowBits);
  }
  void End() { Length(519); }

  // The bytes so far; a partial last byte is padded with zero bits.
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t BitCount() const { return (bytes_.size() - 2) * 8 - ((8 - bitPos_) & 7); }

 private:
  std::vector<uint8_t> bytes_;
  unsigned bitPos_ = 0;
  unsigned dsizeBits_;
};

struct Token {
  bool literal;
  unsigned value;     // the byte of a literal, the length of a repetition
  unsigned distance;  // repetitions only
};

struct Decoded {
  uint32_t result = 0;
  std::vector<uint8_t> output;
  std::vector<Token> tokens;
};

// Decodes `stream` as the format's decoder does. `ascii` is only used in ASCII mode.
inline Decoded ReferenceExplode(const std::vector<uint8_t>& stream, const AsciiTable& ascii) {
  Decoded r;
  const size_t firstRead = std::min<size_t>(stream.size(), 2048);
  if (firstRead < 5) {
    r.result = 3;
    return r;
  }
  const unsigned mode = stream[0], dsize = stream[1];
  if (dsize < 4 || dsize > 6) {
    r.result = 1;
    return r;
  }
  if (mode > 1) {
    r.result = 2;
    return r;
  }

  uint32_t buffer = stream[2];
  unsigned extra = 0;
  size_t next = 3;
  // Drops n (<= 8) bits; false when a byte was needed and the input has none.
  auto drop = [&](unsigned n) {
    if (extra >= n) {
      buffer >>= n;
      extra -= n;
      return true;
    }
    buffer >>= extra;
    if (next >= stream.size()) return false;
    buffer |= uint32_t{stream[next++]} << 8;
    buffer >>= n - extra;
    extra = extra - n + 8;
    return true;
  };
  auto low = [&](unsigned n) { return buffer & ((1u << n) - 1); };

  for (;;) {
    if (buffer & 1) {
      if (!drop(1)) break;
      unsigned i = 0;
      while (low(kLenBits[i]) != kLenCode[i]) ++i;  // the code is complete: always found
      if (!drop(kLenBits[i])) break;
      unsigned e = 0;
      if (kExLenBits[i] != 0) {
        e = low(kExLenBits[i]);
        if (!drop(kExLenBits[i]) && i + e != 270) break;
      }
      const unsigned length = kLenBase[i] + e + 2;
      if (length == 519) {
        r.result = 0;
        return r;
      }
      unsigned d = 0;
      while (low(DistBitsOf(d)) != kDistCode[d]) ++d;
      if (!drop(DistBitsOf(d))) break;
      const unsigned lowBits = length == 2 ? 2 : dsize;
      const unsigned lowValue = low(lowBits);
      if (!drop(lowBits)) break;
      const unsigned distance = ((d << lowBits) | lowValue) + 1;
      r.tokens.push_back({false, length, distance});
      for (unsigned k = 0; k < length; ++k) {
        const size_t at = r.output.size();
        r.output.push_back(at >= distance ? r.output[at - distance] : 0);
      }
    } else {
      if (!drop(1)) break;
      unsigned value = 0;
      bool found = false;
      if (mode == 0) {
        value = low(8);
        found = drop(8);
      } else {
        for (unsigned s = 0; s < 256 && !found; ++s) {
          if (ascii.bits[s] <= 8 && low(ascii.bits[s]) == ascii.code[s]) {
            value = s;
            found = true;
          }
        }
        if (found) {
          found = drop(ascii.bits[value]);
        } else {
          const unsigned prefix = low(8);
          if (!drop(8)) break;
          for (unsigned s = 0; s < 256 && !found; ++s) {
            if (ascii.bits[s] > 8 && (ascii.code[s] & 0xFF) == prefix &&
                low(ascii.bits[s] - 8) == (ascii.code[s] >> 8)) {
              value = s;
              found = true;
            }
          }
          found = found && drop(ascii.bits[value] - 8);
        }
      }
      if (!found) break;
      r.tokens.push_back({true, value, 0});
      r.output.push_back(static_cast<uint8_t>(value));
    }
  }
  r.result = 4;
  return r;
}

// Encodes `input` by the encoder's rules with an exhaustive longest-match search.
inline std::vector<uint8_t> ReferenceImplode(const std::vector<uint8_t>& input, unsigned literalMode,
                                             unsigned dictSize, const AsciiTable& ascii) {
  const unsigned dsize = dictSize == 1024 ? 4 : dictSize == 2048 ? 5 : 6;
  BitStream out(literalMode, dsize);
  const size_t n = input.size();

  struct Found {
    unsigned length = 0, distance = 0;
  };
  auto search = [&](size_t pos, size_t available) {
    Found best;
    const size_t maxLen = std::min<size_t>(516, available - pos);
    for (size_t dist = 1; dist <= std::min<size_t>(dictSize - 1, pos); ++dist) {
      size_t len = 0;
      while (len < maxLen && input[pos + len] == input[pos - dist + len]) ++len;
      if (len >= 2 && len > best.length) best = {static_cast<unsigned>(len), static_cast<unsigned>(dist)};
      if (len == maxLen) break;
    }
    return best;
  };
  auto literal = [&](uint8_t b) {
    if (literalMode == 0) {
      out.Literal(b);
    } else {
      out.AsciiLiteral(ascii, b);
    }
  };

  size_t cur = 0;
  for (size_t block = 0; n > 0; ++block) {
    const size_t got = std::min<size_t>(4096, n - std::min(n, block * 4096));
    const bool last = got < 4096;
    const size_t available = block * 4096 + got;
    const size_t limit = last ? available : available - 516;
    Found m;
    bool pending = false;
    while (cur < limit) {
      if (!pending) m = search(cur, available);
      pending = false;
      if (m.length < 2 || (m.length == 2 && m.distance > 256)) {
        literal(input[cur++]);
        continue;
      }
      if (m.length < 8 && cur + 1 < limit) {
        const Found next = search(cur + 1, available);
        if (next.length > m.length && !(next.length == m.length + 1 && m.distance <= 129)) {
          literal(input[cur++]);
          m = next;
          pending = true;
          continue;
        }
      }
      out.Repeat(m.length, m.distance);
      cur += m.length;
    }
    if (last) break;
  }
  out.End();
  return out.Bytes();
}

}  // namespace dcltest
