// The code tables of the imploded format: the ASCII literal code against the shared file,
// every code's prefix property, and the decode and encode tables derived from them.
#include <gtest/gtest.h>

#include "compress/dcl_tables.h"
#include "dcl_reference.h"

namespace {

// Every 13-bit pattern begins with exactly one code: no code is a prefix of another and
// together they fill the code space.
template <class Code>
void ExpectPrefixFreeAndComplete(const char* name, const uint8_t* bits, const Code* code, size_t count) {
  for (unsigned v = 0; v < (1u << 13); ++v) {
    int matches = 0;
    for (size_t i = 0; i < count; ++i) matches += (v & ((1u << bits[i]) - 1)) == code[i];
    ASSERT_EQ(matches, 1) << name << " codes that bit pattern " << v << " begins with";
  }
}

TEST(DclTables, AsciiCodeIsTheSharedFileAndEveryCodeIsPrefixFreeAndComplete) {
  for (unsigned s = 0; s < 256; ++s) {
    EXPECT_EQ(dcl::kAsciiBits[s], dcltest::SharedAscii().bits[s]) << "symbol " << s;
    EXPECT_EQ(dcl::kAsciiCode[s], dcltest::SharedAscii().code[s]) << "symbol " << s;
  }
  ExpectPrefixFreeAndComplete("ASCII literal", dcl::kAsciiBits, dcl::kAsciiCode, 256);
  ExpectPrefixFreeAndComplete("length", dcl::kLenBits, dcl::kLenCode, 16);
  ExpectPrefixFreeAndComplete("distance", dcl::kDistBits, dcl::kDistCode, 64);
}

TEST(DclTables, DerivedTablesDecodeAndEncodeEveryCode) {
  for (unsigned v = 0; v < 256; ++v) {
    const unsigned i = dcl::kLenLookup[v], d = dcl::kDistLookup[v];
    EXPECT_EQ(v & ((1u << dcl::kLenBits[i]) - 1), dcl::kLenCode[i]) << "length lookup " << v;
    EXPECT_EQ(v & ((1u << dcl::kDistBits[d]) - 1), dcl::kDistCode[d]) << "distance lookup " << v;
  }
  // Each ASCII code followed by any bits decodes to its symbol in one or two lookups.
  for (unsigned s = 0; s < 256; ++s) {
    for (unsigned after : {0u, 0x1FFFu, 0x0A5Au}) {
      const unsigned bits = dcl::kAsciiCode[s] | (after << dcl::kAsciiBits[s]);
      const dcl::AsciiFirst& first = dcl::kAsciiDecode.first[bits & 0xFF];
      const size_t index = first.value + ((bits >> 8) & ((1u << first.subBits) - 1));
      ASSERT_TRUE(first.length != 0 || index < dcl::kAsciiSecondSize) << "symbol " << s;
      EXPECT_EQ(first.length != 0 ? first.value : dcl::kAsciiDecode.second[index].symbol, s);
      EXPECT_EQ(first.length != 0 ? first.length : dcl::kAsciiDecode.second[index].length, dcl::kAsciiBits[s]);
    }
  }
  // Each length's one-field code is the flag, length code and extra bits (a final 1 bit
  // shows a field of the wrong width).
  for (unsigned length = 2; length <= 519; ++length) {
    dcltest::BitStream expected(0, 6), actual(0, 6);
    expected.Length(length);
    actual.Put(dcl::kLengthCodes[length].code, dcl::kLengthCodes[length].bits);
    expected.Put(1, 1);
    actual.Put(1, 1);
    EXPECT_EQ(actual.bytes, expected.bytes) << "length " << length;
  }
}

}  // namespace
