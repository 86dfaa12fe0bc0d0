// Implode: known answers, the tokens it chooses (read back with the test's model
// decoder), byte-for-byte agreement with the test's exhaustive-search encoder, and round
// trips through Explode across every block and window boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dcl_harness.h"
#include "dcl_reference.h"
#include "dcl_samples.h"

namespace {

using Bytes = std::vector<uint8_t>;
using dcltest::RunExplode;
using dcltest::RunImplode;

const dcltest::AsciiTable& Ascii() {
  static const dcltest::AsciiTable table = [] {
    dcltest::AsciiTable t;
    const bool loaded = dcltest::LoadAsciiTable(std::string(KXLIB_SHARED_DIR) + "/dcl-ascii-literals.tsv", t);
    EXPECT_TRUE(loaded);
    return t;
  }();
  return table;
}

Bytes Compress(const Bytes& input, uint32_t mode, uint32_t dict, size_t chunk = SIZE_MAX) {
  const dcltest::Run run = RunImplode(input, mode, dict, chunk);
  EXPECT_EQ(run.result, kImplodeOk);
  return run.out;
}

// Round trip through Explode, and the tokens checked against the encoder's limits.
void ExpectRoundTrip(const Bytes& input, uint32_t mode, uint32_t dict) {
  SCOPED_TRACE("size " + std::to_string(input.size()) + " mode " + std::to_string(mode) + " dict " + std::to_string(dict));
  const Bytes stream = Compress(input, mode, dict);
  ASSERT_GE(stream.size(), 4u);
  EXPECT_EQ(stream[0], mode);
  EXPECT_EQ(stream[1], dict == 1024 ? 4 : dict == 2048 ? 5 : 6);
  const dcltest::Run run = RunExplode(stream);
  if (stream.size() < 5) {
    EXPECT_EQ(run.result, kExplodeShortInput);
    EXPECT_TRUE(input.empty());
    return;
  }
  EXPECT_EQ(run.result, kExplodeOk);
  ASSERT_EQ(run.out.size(), input.size());
  EXPECT_TRUE(run.out == input) << "round trip differs";
}

void ExpectTokensWithinLimits(const Bytes& stream, uint32_t dict) {
  const dcltest::Decoded d = dcltest::ReferenceExplode(stream, Ascii());
  ASSERT_EQ(d.result, 0u);
  for (const auto& t : d.tokens) {
    if (t.literal) continue;
    EXPECT_LE(t.value, 516u);
    EXPECT_LE(t.distance, dict - 1);
    if (t.value == 2) {
      EXPECT_LE(t.distance, 256u);
    }
  }
}

TEST(Implode, EmptyInputIsTheHeaderAndTheEndMarker) {
  EXPECT_EQ(Compress({}, kDclBinary, 4096), (Bytes{0x00, 0x06, 0x01, 0xFF}));
  EXPECT_EQ(Compress({}, kDclBinary, 1024), (Bytes{0x00, 0x04, 0x01, 0xFF}));
  EXPECT_EQ(Compress({}, kDclAscii, 2048), (Bytes{0x01, 0x05, 0x01, 0xFF}));
  // Too short for Explode's first read, as the format says.
  EXPECT_EQ(RunExplode({0x00, 0x06, 0x01, 0xFF}).result, kExplodeShortInput);
}

TEST(Implode, ParameterErrorsReadAndWriteNothing) {
  const Bytes input = dcltest::EnglishText(100);
  struct Case {
    uint32_t mode, dict, result;
  };
  for (const Case& c : {Case{0, 3000, kImplodeBadDictSize}, Case{2, 4096, kImplodeBadLiteralMode},
                        Case{2, 3000, kImplodeBadDictSize}, Case{0, 0, kImplodeBadDictSize},
                        Case{1, 8192, kImplodeBadDictSize}, Case{0, 512, kImplodeBadDictSize},
                        Case{0xFFFFFFFF, 1024, kImplodeBadLiteralMode}}) {
    const dcltest::Run run = RunImplode(input, c.mode, c.dict);
    EXPECT_EQ(run.result, c.result) << c.mode << " " << c.dict;
    EXPECT_TRUE(run.readRequests.empty());
    EXPECT_TRUE(run.writeSizes.empty());
  }
}

TEST(Implode, RunOfOneByteIsALiteralThenRepetitionsAtDistance1) {
  for (size_t size : {3u, 517u, 518u, 1000u, 4096u, 10000u}) {
    for (uint32_t dict : {1024u, 4096u}) {
      const Bytes input(size, 'a');
      const Bytes stream = Compress(input, kDclBinary, dict);
      const dcltest::Decoded d = dcltest::ReferenceExplode(stream, Ascii());
      ASSERT_EQ(d.result, 0u);
      ASSERT_EQ(d.output, input);
      ASSERT_GE(d.tokens.size(), 2u);
      EXPECT_TRUE(d.tokens[0].literal);
      // A single byte left over at the end can only be a literal.
      const bool oneLeft = (size - 1) % 516 == 1;
      EXPECT_EQ(d.tokens.back().literal, oneLeft);
      size_t full = 0;
      for (size_t i = 1; i + (oneLeft ? 1 : 0) < d.tokens.size(); ++i) {
        ASSERT_FALSE(d.tokens[i].literal) << "token " << i << " of a run of " << size;
        EXPECT_EQ(d.tokens[i].distance, 1u);
        EXPECT_LE(d.tokens[i].value, 516u);
        if (d.tokens[i].value == 516) ++full;
      }
      EXPECT_EQ(full, (size - 1) / 516);
    }
  }
}

TEST(Implode, Length2MatchesOnlyWithin256Bytes) {
  // "ab", filler, "ab": a pair with no longer match around it. The filler never repeats
  // a pair: 253 distinct bytes, then bytes 3 and 8 of those.
  Bytes distinct;
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned v = b ^ 0x80;  // high bytes first
    if (v != 'a' && v != 'b' && v != '!') distinct.push_back(static_cast<uint8_t>(v));
  }
  auto withGap = [&](size_t gap) {
    Bytes input = {'a', 'b'};
    for (size_t k = 0; k < gap; ++k) input.push_back(k < distinct.size() ? distinct[k] : distinct[3 + 5 * (k - distinct.size())]);
    input.insert(input.end(), {'a', 'b', '!'});
    return input;
  };
  for (uint32_t dict : {1024u, 2048u, 4096u}) {
    const Bytes near = withGap(200);  // distance 202
    const dcltest::Decoded d = dcltest::ReferenceExplode(Compress(near, kDclBinary, dict), Ascii());
    ASSERT_EQ(d.output, near);
    ASSERT_EQ(d.tokens.size(), near.size() - 1);
    const dcltest::Token& pair = d.tokens[202];
    EXPECT_FALSE(pair.literal);
    EXPECT_EQ(pair.value, 2u);
    EXPECT_EQ(pair.distance, 202u);

    const Bytes far = withGap(255);  // distance 257: literals instead
    const dcltest::Decoded f = dcltest::ReferenceExplode(Compress(far, kDclBinary, dict), Ascii());
    ASSERT_EQ(f.output, far);
    EXPECT_EQ(f.tokens.size(), far.size());
  }
}

// The token that starts at output position `at`, or null.
const dcltest::Token* TokenAt(const dcltest::Decoded& d, size_t at) {
  size_t pos = 0;
  for (const auto& t : d.tokens) {
    if (pos == at) return &t;
    pos += t.literal ? 1 : t.value;
  }
  return nullptr;
}

TEST(Implode, LazyEvaluationKeepsAMatchWithin129BytesAgainstOneByteLonger) {
  // At position 800 "ABC" repeats from `distance` back (3 bytes); at 801 "BCDE" repeats
  // from 701 back (4 bytes). Within 129 bytes the 3-byte match is kept; further back the
  // encoder writes 'A' as a literal and takes the 4-byte match.
  for (unsigned distance : {128u, 129u, 130u, 131u}) {
    Bytes input = dcltest::RandomBytes(900, 77);
    for (auto& b : input) b |= 0x80;  // filler never contains the letters
    auto put = [&input](size_t at, const char* text) {
      for (size_t k = 0; text[k] != 0; ++k) input[at + k] = static_cast<uint8_t>(text[k]);
    };
    put(100, "BCDEy");
    put(800 - distance, "ABCz");
    put(800, "ABCDEq");
    const Bytes stream = Compress(input, kDclBinary, 4096);
    EXPECT_EQ(stream, dcltest::ReferenceImplode(input, kDclBinary, 4096, Ascii()));
    const dcltest::Decoded d = dcltest::ReferenceExplode(stream, Ascii());
    ASSERT_EQ(d.output, input);
    const dcltest::Token* at800 = TokenAt(d, 800);
    ASSERT_NE(at800, nullptr) << "distance " << distance;
    if (distance <= 129) {
      EXPECT_FALSE(at800->literal) << "distance " << distance;
      EXPECT_EQ(at800->value, 3u);
      EXPECT_EQ(at800->distance, distance);
    } else {
      EXPECT_TRUE(at800->literal) << "distance " << distance;
      const dcltest::Token* at801 = TokenAt(d, 801);
      ASSERT_NE(at801, nullptr);
      EXPECT_EQ(at801->value, 4u);
      EXPECT_EQ(at801->distance, 701u);
    }
  }
}

TEST(Implode, MatchesReachDictionarySizeMinusOneAndNoFurther) {
  for (uint32_t dict : {1024u, 2048u, 4096u}) {
    const Bytes block = dcltest::RandomBytes(600, dict);
    for (size_t gap : {size_t{dict - 1}, size_t{dict}}) {
      // block, random filler, block again at distance `gap`.
      Bytes input = block;
      const Bytes filler = dcltest::RandomBytes(gap - block.size(), dict + 7);
      input.insert(input.end(), filler.begin(), filler.end());
      input.insert(input.end(), block.begin(), block.end());
      const Bytes stream = Compress(input, kDclBinary, dict);
      const dcltest::Decoded d = dcltest::ReferenceExplode(stream, Ascii());
      ASSERT_EQ(d.output, input);
      unsigned longest = 0, at = 0;
      for (const auto& t : d.tokens) {
        if (!t.literal && t.value > longest) {
          longest = t.value;
          at = t.distance;
        }
      }
      if (gap == dict - 1) {
        EXPECT_EQ(longest, 516u);
        EXPECT_EQ(at, dict - 1);
      } else {
        EXPECT_LT(longest, 8u) << "a repetition reached " << at << " bytes back";
      }
      ExpectRoundTrip(input, kDclBinary, dict);
    }
  }
}

TEST(Implode, SameBytesAsTheExhaustiveSearchEncoder) {
  struct Sample {
    const char* name;
    Bytes data;
  };
  Bytes mixed = dcltest::EnglishText(3000, 5);
  const Bytes zeros(1500, 0);
  const Bytes code = dcltest::CodeLikeBytes(4000, 6);
  mixed.insert(mixed.end(), zeros.begin(), zeros.end());
  mixed.insert(mixed.end(), code.begin(), code.end());
  const Sample samples[] = {
      {"text", dcltest::EnglishText(9000)},
      {"records", dcltest::TaggedRecords(9000)},
      {"code", dcltest::CodeLikeBytes(9000)},
      {"random", dcltest::RandomBytes(5000)},
      {"mixed", mixed},
      {"short", {'a', 'b', 'a', 'b', 'a', 'b', 'c'}},
  };
  for (const Sample& s : samples) {
    for (uint32_t mode : {kDclBinary, kDclAscii}) {
      for (uint32_t dict : {1024u, 2048u, 4096u}) {
        if (mode == kDclAscii && dict == 2048 && s.data.size() > 6000) continue;  // keep the suite quick
        SCOPED_TRACE(std::string(s.name) + " mode " + std::to_string(mode) + " dict " + std::to_string(dict));
        const Bytes ours = Compress(s.data, mode, dict);
        const Bytes reference = dcltest::ReferenceImplode(s.data, mode, dict, Ascii());
        EXPECT_EQ(ours.size(), reference.size());
        EXPECT_TRUE(ours == reference);
      }
    }
  }
}

TEST(Implode, LongRunsUseTheNearestOfEqualMatches) {
  // A run longer than 517 bytes: every position has 516-byte matches at many distances;
  // the nearest (distance 1) is the one to take, and it codes shortest.
  Bytes input = dcltest::EnglishText(700);
  input.insert(input.end(), 3000, ' ');
  const Bytes text = dcltest::EnglishText(700, 9);
  input.insert(input.end(), text.begin(), text.end());
  const Bytes ours = Compress(input, kDclBinary, 4096);
  EXPECT_EQ(ours, dcltest::ReferenceImplode(input, kDclBinary, 4096, Ascii()));
  const dcltest::Decoded d = dcltest::ReferenceExplode(ours, Ascii());
  ASSERT_EQ(d.output, input);
  for (const auto& t : d.tokens) {
    if (!t.literal && t.value == 516) {
      EXPECT_EQ(t.distance, 1u);
    }
  }
}

TEST(Implode, RoundTripsAcrossEveryBoundary) {
  // 1 byte; the 516-byte lookahead; 2048 (Explode's input and Implode's output blocks);
  // 4096 (blocks); 4096 - 516 (first block's encode limit); the window of
  // dictionary + 516 + 4096 bytes and its slides.
  const size_t sizes[] = {1, 2, 3, 4, 515, 516, 517, 518, 2047, 2048, 2049, 3579, 3580, 3581,
                          4095, 4096, 4097, 4611, 4612, 4613, 8191, 8192, 8193, 8707, 8708, 8709, 12289, 20000};
  const Bytes text = dcltest::EnglishText(20000);
  const Bytes random = dcltest::RandomBytes(20000);
  const Bytes records = dcltest::TaggedRecords(20000);
  const Bytes zeros(20000, 0);
  for (size_t size : sizes) {
    for (uint32_t mode : {kDclBinary, kDclAscii}) {
      for (uint32_t dict : {1024u, 2048u, 4096u}) {
        for (const Bytes* source : {&text, &random, &records, &zeros}) {
          ExpectRoundTrip(Bytes(source->begin(), source->begin() + static_cast<ptrdiff_t>(size)), mode, dict);
        }
      }
    }
  }
}

TEST(Implode, RoundTripsOfSeveralMegabytes) {
  Bytes big;
  for (uint32_t seed = 0; big.size() < 3u << 20; ++seed) {
    Bytes part;
    switch (seed % 5) {
      case 0: part = dcltest::EnglishText(150000, seed); break;
      case 1: part = dcltest::RandomBytes(70000, seed); break;
      case 2: part = dcltest::TaggedRecords(120000, seed); break;
      case 3: part = Bytes(9000 + seed, static_cast<uint8_t>(seed)); break;
      default: part = dcltest::CodeLikeBytes(150000, seed); break;
    }
    big.insert(big.end(), part.begin(), part.end());
  }
  ExpectRoundTrip(big, kDclBinary, 4096);
  const Bytes smaller(big.begin(), big.begin() + (1 << 20));
  ExpectRoundTrip(smaller, kDclAscii, 1024);
  ExpectRoundTrip(smaller, kDclBinary, 2048);
  ExpectTokensWithinLimits(Compress(smaller, kDclBinary, 1024), 1024);
}

TEST(Implode, CompressesTypicalInputAndBoundsIncompressibleInput) {
  const Bytes text = dcltest::EnglishText(50000);
  EXPECT_LT(Compress(text, kDclBinary, 4096).size(), text.size() / 2);
  EXPECT_LT(Compress(text, kDclAscii, 4096).size(), Compress(text, kDclBinary, 4096).size());
  const Bytes records = dcltest::TaggedRecords(50000);
  EXPECT_LT(Compress(records, kDclBinary, 4096).size(), records.size() / 2);
  // Random bytes: 9 bits per literal at worst, plus header and marker.
  const Bytes random = dcltest::RandomBytes(50000);
  const Bytes packed = Compress(random, kDclBinary, 4096);
  EXPECT_LE(packed.size(), (random.size() * 9 + 7) / 8 + 4);
  ExpectTokensWithinLimits(packed, 4096);
  EXPECT_LT(Compress(Bytes(50000, 0), kDclBinary, 4096).size(), 300u);
}

TEST(Implode, ReadSizesDoNotChangeTheOutputAndBlocksAreWhole) {
  const Bytes input = dcltest::TaggedRecords(30000);
  const dcltest::Run whole = RunImplode(input, kDclBinary, 4096);
  ASSERT_EQ(whole.result, kImplodeOk);
  for (size_t chunk : {size_t{1}, size_t{1000}, size_t{4095}}) {
    const dcltest::Run run = RunImplode(input, kDclBinary, 4096, chunk);
    EXPECT_EQ(run.out, whole.out) << "reads of " << chunk;
  }
  for (uint32_t request : whole.readRequests) EXPECT_LE(request, 4096u);
  EXPECT_EQ(whole.readsAfterEnd, 0);
  ASSERT_GE(whole.writeSizes.size(), 2u);
  for (size_t i = 0; i + 1 < whole.writeSizes.size(); ++i) EXPECT_EQ(whole.writeSizes[i], 2048u);
  EXPECT_LE(whole.writeSizes.back(), 2048u);
  EXPECT_GT(whole.writeSizes.back(), 0u);
}

TEST(Implode, WorkAreaAtAnOddAddress) {
  const Bytes input = dcltest::EnglishText(20000);
  const dcltest::Run odd = RunImplode(input, kDclAscii, 2048, SIZE_MAX, 5);
  EXPECT_EQ(odd.result, kImplodeOk);
  EXPECT_EQ(odd.out, Compress(input, kDclAscii, 2048));
}

}  // namespace
