// Code tables of the imploded stream format, shared by Explode and Implode, and the
// decoding and encoding tables derived from them at compile time.
//
// Every code below is stored least-significant bit first: the value listed is matched
// against the low bits of the bit buffer, and the encoder writes it from bit 0 upward.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace dcl {

// ---------------------------------------------------------------------------------------
// Repetition lengths. A length code i is LenBits[i] bits of value LenCode[i], followed by
// ExLenBits[i] extra bits e; the repetition length is LenBase[i] + e + 2 (2 to 519).
// Length 519 (code 15, e = 255) is the end-of-stream marker.
// ---------------------------------------------------------------------------------------
inline constexpr uint8_t kLenBits[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
inline constexpr uint8_t kLenCode[16] = {0x05, 0x03, 0x01, 0x06, 0x0A, 0x02, 0x0C, 0x14,
                                         0x04, 0x18, 0x08, 0x30, 0x10, 0x20, 0x40, 0x00};
inline constexpr uint8_t kExLenBits[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
inline constexpr uint16_t kLenBase[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};

inline constexpr unsigned kMinLength = 2;
inline constexpr unsigned kEndMarkerLength = 519;        // LenBase[15] + 255 + 2
inline constexpr unsigned kMaxLength = kEndMarkerLength - 1;  // longest repetition Explode reads

// ---------------------------------------------------------------------------------------
// Distances. A distance code d (0..63) is DistBits[d] bits of value DistCode[d], followed
// by the low bits: 2 for a length-2 repetition, otherwise dsize_bits (4, 5 or 6).
// The distance back into the output is (d << lowbits) + low + 1.
// ---------------------------------------------------------------------------------------
inline constexpr uint8_t kDistBits[64] = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6,  // 0x00
    6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,  // 0x10
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,  // 0x20
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,  // 0x30
};
inline constexpr uint8_t kDistCode[64] = {
    0x03, 0x0D, 0x05, 0x19, 0x09, 0x11, 0x01, 0x3E, 0x1E, 0x2E, 0x0E, 0x36, 0x16, 0x26, 0x06, 0x3A,  // 0x00
    0x1A, 0x2A, 0x0A, 0x32, 0x12, 0x22, 0x42, 0x02, 0x7C, 0x3C, 0x5C, 0x1C, 0x6C, 0x2C, 0x4C, 0x0C,  // 0x10
    0x74, 0x34, 0x54, 0x14, 0x64, 0x24, 0x44, 0x04, 0x78, 0x38, 0x58, 0x18, 0x68, 0x28, 0x48, 0x08,  // 0x20
    0xF0, 0x70, 0xB0, 0x30, 0xD0, 0x50, 0x90, 0x10, 0xE0, 0x60, 0xA0, 0x20, 0xC0, 0x40, 0x80, 0x00,  // 0x30
};

// ---------------------------------------------------------------------------------------
// The fixed literal code of ASCII mode: for each byte value its code length (4 to 13
// bits) and code. The code is prefix-free and complete.
// ---------------------------------------------------------------------------------------
inline constexpr uint8_t kAsciiBits[256] = {
    11, 12, 12, 12, 12, 12, 12, 12, 12,  8,  7, 12, 12,  7, 12, 12,  // 0x00
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12,  // 0x10
     4, 10,  8, 12, 10, 12, 10,  8,  7,  7,  8,  9,  7,  6,  7,  8,  // 0x20
     7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8, 12, 11,  7,  9, 11,  // 0x30
    12,  6,  7,  6,  6,  5,  7,  8,  8,  6, 11,  9,  6,  7,  6,  6,  // 0x40
     7, 11,  6,  6,  6,  7,  9,  8,  9,  9, 11,  8, 11,  9, 12,  8,  // 0x50
    12,  5,  6,  6,  6,  5,  6,  6,  6,  5, 11,  7,  5,  6,  5,  5,  // 0x60
     6, 10,  5,  5,  5,  5,  8,  7,  8,  8, 10, 11, 11, 12, 12, 12,  // 0x70
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0x80
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0x90
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0xA0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 0xB0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 0xC0
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,  // 0xD0
    13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13,  // 0xE0
    13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,  // 0xF0
};
inline constexpr uint16_t kAsciiCode[256] = {
    0x0490, 0x0FE0, 0x07E0, 0x0BE0, 0x03E0, 0x0DE0, 0x05E0, 0x09E0,  // 0x00
    0x01E0, 0x00B8, 0x0062, 0x0EE0, 0x06E0, 0x0022, 0x0AE0, 0x02E0,  // 0x08
    0x0CE0, 0x04E0, 0x08E0, 0x00E0, 0x0F60, 0x0760, 0x0B60, 0x0360,  // 0x10
    0x0D60, 0x0560, 0x1240, 0x0960, 0x0160, 0x0E60, 0x0660, 0x0A60,  // 0x18
    0x000F, 0x0250, 0x0038, 0x0260, 0x0050, 0x0C60, 0x0390, 0x00D8,  // 0x20
    0x0042, 0x0002, 0x0058, 0x01B0, 0x007C, 0x0029, 0x003C, 0x0098,  // 0x28
    0x005C, 0x0009, 0x001C, 0x006C, 0x002C, 0x004C, 0x0018, 0x000C,  // 0x30
    0x0074, 0x00E8, 0x0068, 0x0460, 0x0090, 0x0034, 0x00B0, 0x0710,  // 0x38
    0x0860, 0x0031, 0x0054, 0x0011, 0x0021, 0x0017, 0x0014, 0x00A8,  // 0x40
    0x0028, 0x0001, 0x0310, 0x0130, 0x003E, 0x0064, 0x001E, 0x002E,  // 0x48
    0x0024, 0x0510, 0x000E, 0x0036, 0x0016, 0x0044, 0x0030, 0x00C8,  // 0x50
    0x01D0, 0x00D0, 0x0110, 0x0048, 0x0610, 0x0150, 0x0060, 0x0088,  // 0x58
    0x0FA0, 0x0007, 0x0026, 0x0006, 0x003A, 0x001B, 0x001A, 0x002A,  // 0x60
    0x000A, 0x000B, 0x0210, 0x0004, 0x0013, 0x0032, 0x0003, 0x001D,  // 0x68
    0x0012, 0x0190, 0x000D, 0x0015, 0x0005, 0x0019, 0x0008, 0x0078,  // 0x70
    0x00F0, 0x0070, 0x0290, 0x0410, 0x0010, 0x07A0, 0x0BA0, 0x03A0,  // 0x78
    0x0240, 0x1C40, 0x0C40, 0x1440, 0x0440, 0x1840, 0x0840, 0x1040,  // 0x80
    0x0040, 0x1F80, 0x0F80, 0x1780, 0x0780, 0x1B80, 0x0B80, 0x1380,  // 0x88
    0x0380, 0x1D80, 0x0D80, 0x1580, 0x0580, 0x1980, 0x0980, 0x1180,  // 0x90
    0x0180, 0x1E80, 0x0E80, 0x1680, 0x0680, 0x1A80, 0x0A80, 0x1280,  // 0x98
    0x0280, 0x1C80, 0x0C80, 0x1480, 0x0480, 0x1880, 0x0880, 0x1080,  // 0xA0
    0x0080, 0x1F00, 0x0F00, 0x1700, 0x0700, 0x1B00, 0x0B00, 0x1300,  // 0xA8
    0x0DA0, 0x05A0, 0x09A0, 0x01A0, 0x0EA0, 0x06A0, 0x0AA0, 0x02A0,  // 0xB0
    0x0CA0, 0x04A0, 0x08A0, 0x00A0, 0x0F20, 0x0720, 0x0B20, 0x0320,  // 0xB8
    0x0D20, 0x0520, 0x0920, 0x0120, 0x0E20, 0x0620, 0x0A20, 0x0220,  // 0xC0
    0x0C20, 0x0420, 0x0820, 0x0020, 0x0FC0, 0x07C0, 0x0BC0, 0x03C0,  // 0xC8
    0x0DC0, 0x05C0, 0x09C0, 0x01C0, 0x0EC0, 0x06C0, 0x0AC0, 0x02C0,  // 0xD0
    0x0CC0, 0x04C0, 0x08C0, 0x00C0, 0x0F40, 0x0740, 0x0B40, 0x0340,  // 0xD8
    0x0300, 0x0D40, 0x1D00, 0x0D00, 0x1500, 0x0540, 0x0500, 0x1900,  // 0xE0
    0x0900, 0x0940, 0x1100, 0x0100, 0x1E00, 0x0E00, 0x0140, 0x1600,  // 0xE8
    0x0600, 0x1A00, 0x0E40, 0x0640, 0x0A40, 0x0A00, 0x1200, 0x0200,  // 0xF0
    0x1C00, 0x0C00, 0x1400, 0x0400, 0x1800, 0x0800, 0x1000, 0x0000,  // 0xF8
};

// =======================================================================================
// Derived tables, computed by the compiler from the tables above.
// =======================================================================================

// For every 8-bit value of the bit buffer, the code whose bit pattern it begins with.
// Both codes are complete, so every value has exactly one code.
template <size_t N>
constexpr std::array<uint8_t, 256> MakePrefixLookup(const uint8_t (&bits)[N], const uint8_t (&code)[N]) {
  std::array<uint8_t, 256> table{};
  for (size_t i = 0; i < N; ++i) {
    for (unsigned v = code[i]; v < 256; v += 1u << bits[i]) table[v] = static_cast<uint8_t>(i);
  }
  return table;
}
inline constexpr std::array<uint8_t, 256> kLenLookup = MakePrefixLookup(kLenBits, kLenCode);
inline constexpr std::array<uint8_t, 256> kDistLookup = MakePrefixLookup(kDistBits, kDistCode);

// ASCII literal decoding in two levels of 8-bit lookups. The first level is indexed by
// the low 8 bits of the code. A code of at most 8 bits is resolved there: symbol and
// length. The low 8 bits of a longer code are shared with other long codes; that entry
// instead names a second-level table, indexed by the next `subBits` bits.
struct AsciiFirst {
  uint16_t value;   // the symbol (length != 0) or the second-level table's offset
  uint8_t length;   // code length in bits, or 0 for "go to the second level"
  uint8_t subBits;  // index width of the second-level table
};
struct AsciiSecond {
  uint8_t symbol;
  uint8_t length;  // full code length in bits
};

namespace detail {
// Number of second-level entries for the low-8-bit pattern `prefix` (0 when none).
constexpr unsigned SecondLevelBits(unsigned prefix) {
  unsigned longest = 0;
  for (unsigned s = 0; s < 256; ++s) {
    if (kAsciiBits[s] > 8 && (kAsciiCode[s] & 0xFFu) == prefix && kAsciiBits[s] - 8u > longest) {
      longest = kAsciiBits[s] - 8u;
    }
  }
  return longest;
}
constexpr size_t SecondLevelSize() {
  size_t n = 0;
  for (unsigned p = 0; p < 256; ++p) {
    const unsigned b = SecondLevelBits(p);
    if (b != 0) n += size_t{1} << b;
  }
  return n;
}
}  // namespace detail

inline constexpr size_t kAsciiSecondSize = detail::SecondLevelSize();

struct AsciiDecodeTables {
  std::array<AsciiFirst, 256> first{};
  std::array<AsciiSecond, kAsciiSecondSize> second{};
};

constexpr AsciiDecodeTables MakeAsciiDecodeTables() {
  AsciiDecodeTables t{};
  size_t offset = 0;
  for (unsigned p = 0; p < 256; ++p) {
    const unsigned sub = detail::SecondLevelBits(p);
    if (sub == 0) continue;
    t.first[p] = AsciiFirst{static_cast<uint16_t>(offset), 0, static_cast<uint8_t>(sub)};
    for (unsigned s = 0; s < 256; ++s) {
      if (kAsciiBits[s] <= 8 || (kAsciiCode[s] & 0xFFu) != p) continue;
      const unsigned rest = kAsciiBits[s] - 8u;
      for (unsigned v = kAsciiCode[s] >> 8; v < (1u << sub); v += 1u << rest) {
        t.second[offset + v] = AsciiSecond{static_cast<uint8_t>(s), kAsciiBits[s]};
      }
    }
    offset += size_t{1} << sub;
  }
  for (unsigned s = 0; s < 256; ++s) {
    if (kAsciiBits[s] > 8) continue;
    for (unsigned v = kAsciiCode[s]; v < 256; v += 1u << kAsciiBits[s]) {
      t.first[v] = AsciiFirst{static_cast<uint16_t>(s), kAsciiBits[s], 0};
    }
  }
  return t;
}
inline constexpr AsciiDecodeTables kAsciiDecode = MakeAsciiDecodeTables();

// Encoding of a repetition length (2..519, 519 being the end-of-stream marker) as one
// field: the flag bit 1, the length code and its extra bits, first bit lowest.
struct SymbolCode {
  uint16_t code;
  uint8_t bits;
};
constexpr std::array<SymbolCode, kEndMarkerLength + 1> MakeLengthCodes() {
  std::array<SymbolCode, kEndMarkerLength + 1> t{};
  for (unsigned i = 0; i < 16; ++i) {
    for (unsigned e = 0; e < (1u << kExLenBits[i]); ++e) {
      const unsigned length = kLenBase[i] + e + 2;
      t[length] = SymbolCode{static_cast<uint16_t>((e << (kLenBits[i] + 1)) | (kLenCode[i] << 1) | 1u),
                             static_cast<uint8_t>(kLenBits[i] + kExLenBits[i] + 1)};
    }
  }
  return t;
}
inline constexpr std::array<SymbolCode, kEndMarkerLength + 1> kLengthCodes = MakeLengthCodes();

// Encoding of a literal in ASCII mode: the flag bit 0, then the literal's code.
constexpr std::array<SymbolCode, 256> MakeAsciiLiteralCodes() {
  std::array<SymbolCode, 256> t{};
  for (unsigned s = 0; s < 256; ++s) {
    t[s] = SymbolCode{static_cast<uint16_t>(kAsciiCode[s] << 1), static_cast<uint8_t>(kAsciiBits[s] + 1)};
  }
  return t;
}
inline constexpr std::array<SymbolCode, 256> kAsciiLiteralCodes = MakeAsciiLiteralCodes();

}  // namespace dcl
