// Explode against streams built by hand, field by field, with the test's own tables
// (never with the library's Implode), and against the test's step-by-step model decoder
// for damaged and truncated input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dcl_harness.h"
#include "dcl_reference.h"

namespace {

using dcltest::RunExplode;
using Bytes = std::vector<uint8_t>;

const dcltest::AsciiTable& Ascii() {
  static const dcltest::AsciiTable table = [] {
    dcltest::AsciiTable t;
    const bool loaded = dcltest::LoadAsciiTable(std::string(KXLIB_SHARED_DIR) + "/dcl-ascii-literals.tsv", t);
    EXPECT_TRUE(loaded);
    return t;
  }();
  return table;
}

// A stream written token by token together with the bytes it must decode to.
class Script {
 public:
  Script(unsigned literalMode, unsigned dsizeBits) : mode_(literalMode), stream_(literalMode, dsizeBits) {}

  void Lit(uint8_t b) {
    if (mode_ == 0) {
      stream_.Literal(b);
    } else {
      stream_.AsciiLiteral(Ascii(), b);
    }
    expected_.push_back(b);
  }
  void Rep(unsigned length, unsigned distance) {
    stream_.Repeat(length, distance);
    for (unsigned k = 0; k < length; ++k) {
      const size_t at = expected_.size();
      expected_.push_back(at >= distance ? expected_[at - distance] : 0);  // before the start: zeros
    }
  }
  Bytes Finish() {
    stream_.End();
    return stream_.Bytes();
  }
  dcltest::BitStream& Stream() { return stream_; }
  const Bytes& Expected() const { return expected_; }

 private:
  unsigned mode_;
  dcltest::BitStream stream_;
  Bytes expected_;
};

void ExpectDecodes(const Bytes& stream, const Bytes& expected, size_t maxChunk = SIZE_MAX) {
  const dcltest::Run run = RunExplode(stream, maxChunk);
  EXPECT_EQ(run.result, kExplodeOk);
  ASSERT_EQ(run.out.size(), expected.size());
  EXPECT_TRUE(run.out == expected) << "decoded bytes differ";
}

TEST(Explode, ShortestStreamNeedsFiveBytesInTheFirstRead) {
  const Bytes four = {0x00, 0x06, 0x01, 0xFF};
  dcltest::Run run = RunExplode(four);
  EXPECT_EQ(run.result, kExplodeShortInput);
  EXPECT_TRUE(run.out.empty());
  EXPECT_TRUE(run.writeSizes.empty());

  Bytes five = four;
  five.push_back(0x00);
  run = RunExplode(five);
  EXPECT_EQ(run.result, kExplodeOk);
  EXPECT_TRUE(run.out.empty());

  // Only the first read counts: 5 bytes delivered 2 at a time is still too short.
  run = RunExplode(five, 2);
  EXPECT_EQ(run.result, kExplodeShortInput);
  EXPECT_EQ(RunExplode({}).result, kExplodeShortInput);
}

TEST(Explode, HeaderChecksDictionarySizeBeforeLiteralMode) {
  auto result = [](uint8_t mode, uint8_t dsize) { return RunExplode({mode, dsize, 0x01, 0xFF, 0x00}).result; };
  EXPECT_EQ(result(0x00, 0x07), kExplodeBadDictSize);
  EXPECT_EQ(result(0x02, 0x06), kExplodeBadLiteralMode);
  EXPECT_EQ(result(0x02, 0x07), kExplodeBadDictSize);
  EXPECT_EQ(result(0x00, 0x03), kExplodeBadDictSize);
  EXPECT_EQ(result(0x00, 0x00), kExplodeBadDictSize);
  EXPECT_EQ(result(0xFF, 0x04), kExplodeBadLiteralMode);
  for (uint8_t dsize : {4, 5, 6}) {
    EXPECT_EQ(result(0x00, dsize), kExplodeOk);
    // In ASCII mode 0x01 0xFF still begins with the end marker (a flag bit of 1).
    EXPECT_EQ(result(0x01, dsize), kExplodeOk);
  }
}

TEST(Explode, EveryLengthCodeWithItsSmallestAndLargestExtraBits) {
  for (unsigned dsize : {4u, 5u, 6u}) {
    Script s(0, dsize);
    for (uint8_t b : std::string("The imploded format")) s.Lit(b);
    for (unsigned i = 0; i < 16; ++i) {
      const unsigned first = dcltest::kLenBase[i] + 2;
      const unsigned last = first + (1u << dcltest::kExLenBits[i]) - 1;
      for (unsigned length : {first, (first + last) / 2, last}) {
        if (length >= 519) continue;  // 519 is the end marker
        s.Rep(length, 1 + length % 19);
        s.Lit(static_cast<uint8_t>(length));
      }
    }
    s.Rep(518, 3);  // the longest repetition
    ExpectDecodes(s.Finish(), s.Expected());
  }
}

TEST(Explode, EveryDistanceCodeWithEveryDictionarySizeAndLength2) {
  for (unsigned dsize : {4u, 5u, 6u}) {
    Script s(0, dsize);
    std::mt19937 rng(dsize);
    for (int k = 0; k < 4200; ++k) s.Lit(static_cast<uint8_t>(rng()));
    const unsigned dict = 1u << (dsize + 6);
    for (unsigned d = 0; d < 64; ++d) {
      // Longer repetitions: dsize_bits low bits, smallest and largest.
      s.Rep(3 + d % 7, (d << dsize) + 1);
      s.Rep(5, (d << dsize) + (1u << dsize));
      // Length 2: always 2 low bits.
      s.Rep(2, (d << 2) + 1);
      s.Rep(2, (d << 2) + 4);
      s.Lit(static_cast<uint8_t>(d));
    }
    s.Rep(9, dict);  // the whole dictionary back
    ExpectDecodes(s.Finish(), s.Expected());
  }
}

TEST(Explode, Length2RepetitionUsesTwoLowBitsWhateverTheDictionary) {
  // Written by hand: 'A' 'B' 'C', then length 2 (length code 0, bits 101) at distance 3:
  // distance code 0 (bits 11) and 2 low bits of value 2, then the end marker.
  dcltest::BitStream s(0, 6);
  for (uint8_t b : {'A', 'B', 'C'}) s.Literal(b);
  s.Put(1, 1);       // repetition
  s.Put(0x05, 3);    // length code 0: length 2
  s.Put(0x03, 2);    // distance code 0
  s.Put(0x2, 2);     // low bits: distance - 1 = 2
  s.End();
  ExpectDecodes(s.Bytes(), {'A', 'B', 'C', 'A', 'B'});
}

TEST(Explode, AsciiLiteralsOfEveryCodeLength) {
  for (unsigned dsize : {4u, 5u, 6u}) {
    Script s(1, dsize);
    bool seenLength[14] = {};
    for (unsigned b = 0; b < 256; ++b) {
      s.Lit(static_cast<uint8_t>(b));
      seenLength[Ascii().bits[b]] = true;
    }
    for (unsigned len = 4; len <= 13; ++len) EXPECT_TRUE(seenLength[len]) << len;
    for (unsigned b = 256; b-- > 0;) s.Lit(static_cast<uint8_t>(b));
    s.Rep(40, 300);
    for (uint8_t b : std::string("line one\r\nline two\ttabbed\r\n")) s.Lit(b);
    s.Rep(2, 5);
    ExpectDecodes(s.Finish(), s.Expected());
  }
}

TEST(Explode, HistoryBeforeTheFirstByteReadsAsZeros) {
  Script s(0, 6);
  s.Rep(10, 4096);
  s.Lit('x');
  s.Rep(300, 4096);
  s.Rep(2, 256);
  ASSERT_EQ(s.Expected()[10], 'x');
  ExpectDecodes(s.Finish(), s.Expected());
  EXPECT_EQ(s.Expected()[0], 0);
}

TEST(Explode, OverlappingRepetitionsRepeatTheirPattern) {
  for (unsigned distance = 1; distance <= 20; ++distance) {
    Script s(0, 5);
    for (unsigned k = 0; k < distance; ++k) s.Lit(static_cast<uint8_t>('a' + k));
    for (unsigned length : {2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 100u, 518u}) s.Rep(length, distance);
    ExpectDecodes(s.Finish(), s.Expected());
  }
}

TEST(Explode, EndMarkerAtTheVeryEndOfTheInputSucceeds) {
  for (unsigned literals = 0; literals < 8; ++literals) {
    Script s(0, 6);
    // 9 bits per literal: after 8 of them, or none, the marker ends on a byte boundary.
    for (unsigned k = 0; k < literals; ++k) s.Lit(static_cast<uint8_t>('0' + k));
    s.Lit('x');
    s.Lit('y');
    s.Lit('z');
    const Bytes stream = s.Finish();
    const bool endsOnByte = s.Stream().BitCount() % 8 == 0;
    if (stream.size() < 5) continue;
    ExpectDecodes(stream, s.Expected());
    // Cutting off the marker's last byte loses its extra bits: an abort with the literals out.
    const Bytes cut(stream.begin(), stream.end() - 1);
    const dcltest::Run run = RunExplode(cut);
    if (endsOnByte) {
      EXPECT_EQ(run.result, kExplodeAbort);
    }
    const dcltest::Decoded model = dcltest::ReferenceExplode(cut, Ascii());
    EXPECT_EQ(run.result, model.result);
    EXPECT_EQ(run.out, model.output);
  }
}

// Builds a long stream of random tokens: literals, near and far repetitions.
Bytes RandomStream(unsigned mode, unsigned dsize, uint32_t seed, size_t tokens, Bytes* expected) {
  Script s(mode, dsize);
  std::mt19937 rng(seed);
  const unsigned dict = 1u << (dsize + 6);
  for (size_t t = 0; t < tokens; ++t) {
    const unsigned kind = rng() % 8;
    if (kind < 4) {
      s.Lit(static_cast<uint8_t>(mode == 1 ? "etaoin shrdlu\r\n"[rng() % 15] : rng()));
    } else if (kind == 4) {
      s.Rep(2, 1 + rng() % 256);
    } else if (kind == 5) {
      s.Rep(3 + rng() % 516, 1 + rng() % 16);
    } else {
      s.Rep(3 + rng() % 30, 1 + rng() % dict);
    }
  }
  *expected = s.Expected();
  return s.Finish();
}

TEST(Explode, RandomTokenStreamsAcrossBlockBoundariesAndReadSizes) {
  for (unsigned mode : {0u, 1u}) {
    for (unsigned dsize : {4u, 5u, 6u}) {
      Bytes expected;
      const Bytes stream = RandomStream(mode, dsize, 100 * mode + dsize, 6000, &expected);
      ASSERT_GT(stream.size(), 3 * 2048u);
      ASSERT_GT(expected.size(), 5 * 4096u);
      for (size_t chunk : {size_t{SIZE_MAX}, size_t{2047}, size_t{64}, size_t{5}}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        ExpectDecodes(stream, expected, chunk);
      }
    }
  }
}

TEST(Explode, WritesWholeBlocksOf4096AndAsksFor2048) {
  Bytes expected;
  const Bytes stream = RandomStream(0, 6, 7, 3000, &expected);
  const dcltest::Run run = RunExplode(stream, 100);
  ASSERT_EQ(run.result, kExplodeOk);
  ASSERT_EQ(run.out, expected);
  ASSERT_GE(run.writeSizes.size(), 2u);
  for (size_t i = 0; i + 1 < run.writeSizes.size(); ++i) EXPECT_EQ(run.writeSizes[i], 4096u);
  EXPECT_GT(run.writeSizes.back(), 0u);
  EXPECT_LE(run.writeSizes.back(), 4096u);
  for (uint32_t request : run.readRequests) EXPECT_EQ(request, 2048u);
  EXPECT_EQ(run.readsAfterEnd, 0);
}

TEST(Explode, TruncatedStreamsAbortAfterWritingWhatDecodedLikeTheModel) {
  for (unsigned mode : {0u, 1u}) {
    Bytes expected;
    const Bytes stream = RandomStream(mode, 5, 42 + mode, 120, &expected);
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
      const Bytes part(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
      const dcltest::Decoded model = dcltest::ReferenceExplode(part, Ascii());
      // Reads of 7 bytes still give a first read of at least 5 whenever the input has them.
      for (size_t chunk : {size_t{SIZE_MAX}, size_t{7}}) {
        const dcltest::Run run = RunExplode(part, chunk);
        ASSERT_EQ(run.result, model.result) << "cut at " << cut;
        ASSERT_EQ(run.out, model.output) << "cut at " << cut;
      }
      if (cut < 5) {
        EXPECT_EQ(model.result, kExplodeShortInput);
      } else if (cut < stream.size()) {
        EXPECT_EQ(model.result, kExplodeAbort) << "cut at " << cut;
      }
    }
  }
}

TEST(Explode, ArbitraryBytesDecodeLikeTheModel) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 400; ++trial) {
    Bytes stream(5 + rng() % 300);
    for (auto& b : stream) b = static_cast<uint8_t>(rng());
    stream[0] = static_cast<uint8_t>(rng() % 3 == 0 ? 1 : 0);
    stream[1] = static_cast<uint8_t>(4 + rng() % 3);
    const dcltest::Decoded model = dcltest::ReferenceExplode(stream, Ascii());
    const dcltest::Run run = RunExplode(stream, 5 + rng() % 64);
    ASSERT_EQ(run.result, model.result) << "trial " << trial;
    ASSERT_EQ(run.out, model.output) << "trial " << trial;
  }
}

TEST(Explode, WorkAreaAtAnOddAddress) {
  Bytes expected;
  const Bytes stream = RandomStream(1, 6, 9, 2000, &expected);
  const dcltest::Run run = RunExplode(stream, SIZE_MAX, 3);
  EXPECT_EQ(run.result, kExplodeOk);
  EXPECT_EQ(run.out, expected);
}

}  // namespace
