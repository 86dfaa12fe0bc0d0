// The code tables of the imploded format: the library's constant tables against the
// shared ASCII literal code file and the test's own transcription, the codes' prefix
// property, and the decode and encode tables derived from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compress/dcl_tables.h"
#include "dcl_reference.h"

namespace {

struct Code {
  unsigned bits;
  unsigned value;
};

// True when no code is the low-bit prefix of another and the code lengths fill the whole
// code space (Kraft sum exactly 1), so every bit pattern starts with exactly one code.
void ExpectPrefixFreeAndComplete(const std::vector<Code>& codes) {
  uint64_t space = 0;  // in units of 2^-16
  for (size_t i = 0; i < codes.size(); ++i) {
    ASSERT_GE(codes[i].bits, 1u);
    ASSERT_LE(codes[i].bits, 16u);
    ASSERT_LT(codes[i].value, 1u << codes[i].bits) << "code " << i << " has bits above its length";
    space += uint64_t{1} << (16 - codes[i].bits);
    for (size_t j = 0; j < codes.size(); ++j) {
      if (i == j || codes[j].bits < codes[i].bits) continue;
      const unsigned mask = (1u << codes[i].bits) - 1;
      EXPECT_NE(codes[j].value & mask, codes[i].value) << "code " << i << " is a prefix of code " << j;
    }
  }
  EXPECT_EQ(space, uint64_t{1} << 16);
}

dcltest::AsciiTable SharedAsciiTable() {
  dcltest::AsciiTable table;
  EXPECT_TRUE(dcltest::LoadAsciiTable(std::string(KXLIB_SHARED_DIR) + "/dcl-ascii-literals.tsv", table));
  return table;
}

TEST(DclTables, AsciiLiteralCodeMatchesTheSharedFileAndIsPrefixFreeAndComplete) {
  const dcltest::AsciiTable shared = SharedAsciiTable();
  std::vector<Code> codes;
  for (unsigned s = 0; s < 256; ++s) {
    EXPECT_EQ(dcl::kAsciiBits[s], shared.bits[s]) << "symbol " << s;
    EXPECT_EQ(dcl::kAsciiCode[s], shared.code[s]) << "symbol " << s;
    codes.push_back({dcl::kAsciiBits[s], dcl::kAsciiCode[s]});
  }
  ExpectPrefixFreeAndComplete(codes);
  // Known first entries: NUL 11 bits 0x490, 1 12 bits 0xFE0, tab 8, line feed 7, CR 7.
  EXPECT_EQ(dcl::kAsciiBits[0], 11);
  EXPECT_EQ(dcl::kAsciiCode[0], 0x490);
  EXPECT_EQ(dcl::kAsciiCode[1], 0xFE0);
  EXPECT_EQ(dcl::kAsciiCode[2], 0x7E0);
  EXPECT_EQ(dcl::kAsciiCode[3], 0xBE0);
  EXPECT_EQ(dcl::kAsciiBits[9], 8);
  EXPECT_EQ(dcl::kAsciiBits[10], 7);
  EXPECT_EQ(dcl::kAsciiBits[13], 7);
}

TEST(DclTables, LengthAndDistanceCodesMatchAndArePrefixFreeAndComplete) {
  std::vector<Code> lengths, distances;
  for (unsigned i = 0; i < 16; ++i) {
    EXPECT_EQ(dcl::kLenBits[i], dcltest::kLenBits[i]) << i;
    EXPECT_EQ(dcl::kLenCode[i], dcltest::kLenCode[i]) << i;
    EXPECT_EQ(dcl::kExLenBits[i], dcltest::kExLenBits[i]) << i;
    EXPECT_EQ(dcl::kLenBase[i], dcltest::kLenBase[i]) << i;
    lengths.push_back({dcl::kLenBits[i], dcl::kLenCode[i]});
  }
  for (unsigned d = 0; d < 64; ++d) {
    EXPECT_EQ(dcl::kDistBits[d], dcltest::DistBitsOf(d)) << d;
    EXPECT_EQ(dcl::kDistCode[d], dcltest::kDistCode[d]) << d;
    distances.push_back({dcl::kDistBits[d], dcl::kDistCode[d]});
  }
  ExpectPrefixFreeAndComplete(lengths);
  ExpectPrefixFreeAndComplete(distances);
  // Each length code's range ends where the next one's begins, up to 519.
  for (unsigned i = 0; i < 15; ++i) EXPECT_EQ(dcl::kLenBase[i] + (1u << dcl::kExLenBits[i]), dcl::kLenBase[i + 1]);
  EXPECT_EQ(dcl::kLenBase[15] + 255u + 2u, dcl::kEndMarkerLength);
}

TEST(DclTables, EightBitLookupsFindTheCodeEachPatternBeginsWith) {
  for (unsigned v = 0; v < 256; ++v) {
    const unsigned i = dcl::kLenLookup[v];
    EXPECT_EQ(v & ((1u << dcl::kLenBits[i]) - 1), dcl::kLenCode[i]) << "pattern " << v;
    const unsigned d = dcl::kDistLookup[v];
    EXPECT_EQ(v & ((1u << dcl::kDistBits[d]) - 1), dcl::kDistCode[d]) << "pattern " << v;
  }
}

TEST(DclTables, AsciiDecodeTablesResolveEveryCodeFollowedByAnyBits) {
  for (unsigned s = 0; s < 256; ++s) {
    for (unsigned after : {0u, 0x1FFFu, 0x0A5Au}) {
      const unsigned bits = dcl::kAsciiCode[s] | (after << dcl::kAsciiBits[s]);
      const dcl::AsciiFirst& first = dcl::kAsciiDecode.first[bits & 0xFF];
      unsigned symbol, length;
      if (first.length != 0) {
        symbol = first.value;
        length = first.length;
      } else {
        const unsigned index = first.value + ((bits >> 8) & ((1u << first.subBits) - 1));
        ASSERT_LT(index, dcl::kAsciiSecondSize);
        symbol = dcl::kAsciiDecode.second[index].symbol;
        length = dcl::kAsciiDecode.second[index].length;
      }
      EXPECT_EQ(symbol, s);
      EXPECT_EQ(length, dcl::kAsciiBits[s]);
    }
  }
}

TEST(DclTables, EncodedLengthsDecodeToTheirLength) {
  for (unsigned length = 2; length <= dcl::kEndMarkerLength; ++length) {
    dcltest::BitStream expected(0, 6);
    expected.Length(length);
    const dcl::SymbolCode& c = dcl::kLengthCodes[length];
    dcltest::BitStream actual(0, 6);
    actual.Put(c.code, c.bits);
    EXPECT_EQ(actual.Bytes(), expected.Bytes()) << "length " << length;
    EXPECT_EQ(actual.BitCount(), expected.BitCount()) << "length " << length;
  }
  EXPECT_EQ(dcl::kLengthCodes[dcl::kEndMarkerLength].code, 0xFF01);
  EXPECT_EQ(dcl::kLengthCodes[dcl::kEndMarkerLength].bits, 16);
}

}  // namespace
