// Explode and Implode against the test-side model of the imploded format (support/
// dcl_reference.h): streams built by hand field by field, the model decoder for damaged
// input and for the tokens Implode chooses, the exhaustive-search encoder byte for byte,
// and round trips across every block and window boundary.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/dcl_harness.h"
#include "tests/support/dcl_reference.h"
#include "tests/support/dcl_samples.h"

namespace {

using Bytes = std::vector<uint8_t>;
using dcltest::BitStream;
using dcltest::RunExplode;
using dcltest::SharedAscii;

std::string Where(unsigned mode, unsigned dsize, size_t chunk = SIZE_MAX) {
  return "mode " + std::to_string(mode) + " dsize " + std::to_string(dsize) + " reads of " + std::to_string(chunk);
}

TEST(DclExplode, KnownAnswers) {
  const struct {
    const char* name;
    Bytes stream;
    size_t chunk;
    uint32_t result;
    std::string out;
  } cases[] = {
      {"empty input", {}, SIZE_MAX, kExplodeShortInput, ""},
      {"the 4-byte shortest stream", {0x00, 0x06, 0x01, 0xFF}, SIZE_MAX, kExplodeShortInput, ""},
      {"the shortest stream and a byte", {0x00, 0x06, 0x01, 0xFF, 0x00}, SIZE_MAX, kExplodeOk, ""},
      {"5 bytes in reads of 2: only the first read counts", {0x00, 0x06, 0x01, 0xFF, 0x00}, 2, kExplodeShortInput, ""},
      {"header 00 07", {0x00, 0x07, 0x01, 0xFF, 0x00}, SIZE_MAX, kExplodeBadDictSize, ""},
      {"header 02 06", {0x02, 0x06, 0x01, 0xFF, 0x00}, SIZE_MAX, kExplodeBadLiteralMode, ""},
      {"header 02 07", {0x02, 0x07, 0x01, 0xFF, 0x00}, SIZE_MAX, kExplodeBadDictSize, ""},
      {"header 00 03", {0x00, 0x03, 0x01, 0xFF, 0x00}, SIZE_MAX, kExplodeBadDictSize, ""},
      {"header FF 04", {0xFF, 0x04, 0x01, 0xFF, 0x00}, SIZE_MAX, kExplodeBadLiteralMode, ""},
      // 'A' 'B' 'C' as 9-bit literals; length 2 (flag 1, length code 101) 3 back: distance
      // code 11 and 2 low bits 10 whatever the dictionary size; the end marker.
      {"a length-2 repetition", {0x00, 0x06, 0x82, 0x08, 0x19, 0xDA, 0x0D, 0xF8, 0x07}, SIZE_MAX, kExplodeOk, "ABCAB"},
  };
  for (const auto& c : cases) {
    const dcltest::Run run = RunExplode(c.stream, c.chunk);
    EXPECT_EQ(run.result, c.result) << c.name;
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()), c.out) << c.name;
  }
}

// Appends random tokens: literals, length 2, long near and short far repetitions.
BitStream& AddRandomTokens(BitStream& s, uint32_t seed, size_t tokens) {
  std::mt19937 rng(seed);
  for (size_t t = 0; t < tokens; ++t) {
    const unsigned kind = rng() % 8;
    if (kind < 4) {
      s.Literal(static_cast<uint8_t>(s.ascii != nullptr ? "etaoin shrdlu\r\n"[rng() % 15] : rng()));
    } else {
      const unsigned length = kind == 4 ? 2 : kind == 5 ? 3 + rng() % 516 : 3 + rng() % 30;
      s.Repeat(length, 1 + rng() % (kind == 4 ? 256 : kind == 5 ? 16 : 1u << (s.dsizeBits + 6)));
    }
  }
  return s;
}

// Every code of each mode and dictionary size, then random tokens, decoded in reads of
// any size with the work area at any alignment.
TEST(DclExplode, HandBuiltStreamsWithEveryCodeInAnyReadSize) {
  for (unsigned mode : {0u, 1u}) {
    for (unsigned dsize : {4u, 5u, 6u}) {
      BitStream s(mode, dsize, &SharedAscii());
      const unsigned dict = 1u << (dsize + 6);
      s.Repeat(10, dict);  // history before the first byte reads as zeros
      s.Literal('x');
      s.Repeat(300, 100);  // from before the start on into the output
      for (unsigned b = 0; b < 256; ++b) s.Literal(static_cast<uint8_t>(b));  // every literal code
      for (unsigned i = 0; i < 16; ++i) {  // every length code, smallest, middle and largest extra bits
        const unsigned first = dcltest::kLenBase[i] + 2, last = first + (1u << dcltest::kExLenBits[i]) - 1;
        for (unsigned length : {first, (first + last) / 2, std::min(last, 518u)}) s.Repeat(length, 1 + length % 19);
      }
      for (unsigned d = 0; d < 64; ++d) {  // every distance code, smallest and largest low bits
        s.Repeat(3 + d % 7, (d << dsize) + 1);
        s.Repeat(5, (d << dsize) + (1u << dsize));
        s.Repeat(2, (d << 2) + 1);
        s.Repeat(2, (d << 2) + 4);
      }
      s.Repeat(9, dict);  // the whole dictionary back
      for (unsigned distance = 1; distance <= 20; ++distance) {  // overlapping copies
        for (unsigned length : {2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 100u, 518u}) s.Repeat(length, distance);
        s.Literal(static_cast<uint8_t>('a' + distance));
      }
      AddRandomTokens(s, 100 * mode + dsize, 6000).End();
      for (size_t chunk : {size_t{SIZE_MAX}, size_t{2047}, size_t{64}, size_t{5}}) {
        const dcltest::Run run = RunExplode(s.bytes, chunk, chunk % 8);
        EXPECT_EQ(run.result, kExplodeOk) << Where(mode, dsize, chunk);
        EXPECT_TRUE(run.out == s.expected) << Where(mode, dsize, chunk);
        EXPECT_TRUE(dcltest::CallsInBlocks(run, 4096, 2048, 2048)) << Where(mode, dsize, chunk);
      }
    }
  }
}

// Every cut of streams whose end marker ends at each bit of its last byte: what decoded
// is written, then an abort; the whole stream succeeds even though its end marker's last
// bits come with no byte after them. Then arbitrary bytes: the same result as the model.
TEST(DclExplode, CutAndArbitraryStreamsDecodeLikeTheModel) {
  auto likeModel = [](const Bytes& stream, size_t chunk, const std::string& name) {
    const dcltest::Decoded model = dcltest::ReferenceExplode(stream, SharedAscii());
    const dcltest::Run run = RunExplode(stream, chunk);
    EXPECT_EQ(run.result, model.result) << name;
    EXPECT_TRUE(run.out == model.output) << name;
    return model.result;
  };
  for (unsigned mode : {0u, 1u}) {
    for (unsigned pad = 0; pad < 8; ++pad) {
      BitStream s(mode, 5, &SharedAscii());
      AddRandomTokens(s, 42 + mode, 40);
      for (unsigned k = 0; k < pad; ++k) s.Repeat(4, 1);  // 11 bits
      s.End();
      for (size_t cut = 0; cut <= s.bytes.size(); ++cut) {
        const uint32_t want = cut < 5 ? kExplodeShortInput : cut < s.bytes.size() ? kExplodeAbort : kExplodeOk;
        for (size_t chunk : {size_t{SIZE_MAX}, size_t{7}}) {
          const std::string name = Where(mode, 5, chunk) + " pad " + std::to_string(pad) + " cut " +
                                   std::to_string(cut);
          const Bytes head(s.bytes.begin(), s.bytes.begin() + static_cast<long>(cut));
          EXPECT_EQ(likeModel(head, chunk, name), want) << name;
        }
      }
    }
  }
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 400; ++trial) {
    Bytes stream(5 + rng() % 300);
    for (auto& b : stream) b = static_cast<uint8_t>(rng());
    stream[0] = static_cast<uint8_t>(rng() % 3 == 0 ? 1 : 0);
    stream[1] = static_cast<uint8_t>(4 + rng() % 3);
    likeModel(stream, 5 + rng() % 64, "trial " + std::to_string(trial));
  }
}

Bytes Compress(const Bytes& input, uint32_t mode, uint32_t dict, size_t chunk = SIZE_MAX, size_t misalign = 0) {
  const dcltest::Run run = dcltest::RunImplode(input, mode, dict, chunk, misalign);
  EXPECT_EQ(run.result, kImplodeOk);
  EXPECT_TRUE(dcltest::CallsInBlocks(run, 2048, 1, 4096)) << "mode " << mode << ", dictionary " << dict;
  return run.out;
}

void RoundTrip(const Bytes& input, uint32_t mode, uint32_t dict) {
  const dcltest::Run run = RunExplode(Compress(input, mode, dict));
  EXPECT_EQ(run.result, kExplodeOk);
  EXPECT_TRUE(run.out == input) << input.size() << " bytes, mode " << mode << ", dictionary " << dict;
}

TEST(DclImplode, KnownAnswersAndParameterErrors) {
  const struct {
    uint32_t mode, dict, result;
    Bytes out;
  } cases[] = {
      {kDclBinary, 4096, kImplodeOk, {0x00, 0x06, 0x01, 0xFF}}, {kDclBinary, 1024, kImplodeOk, {0x00, 0x04, 0x01, 0xFF}},
      {kDclAscii, 2048, kImplodeOk, {0x01, 0x05, 0x01, 0xFF}}, {kDclBinary, 3000, kImplodeBadDictSize, {}},
      {2, 4096, kImplodeBadLiteralMode, {}},     {2, 3000, kImplodeBadDictSize, {}},
      {kDclBinary, 0, kImplodeBadDictSize, {}},  {kDclAscii, 8192, kImplodeBadDictSize, {}},
      {kDclBinary, 512, kImplodeBadDictSize, {}}, {0xFFFFFFFF, 1024, kImplodeBadLiteralMode, {}},
  };
  for (const auto& c : cases) {
    // The empty input; on a parameter error some input that is never read.
    const dcltest::Run run = dcltest::RunImplode(c.result == kImplodeOk ? Bytes{} : Bytes(100, 'x'), c.mode, c.dict);
    EXPECT_EQ(run.result, c.result) << c.mode << " " << c.dict;
    EXPECT_EQ(run.out, c.out) << c.mode << " " << c.dict;
    EXPECT_EQ(run.readRequests.empty(), c.result != kImplodeOk) << c.mode << " " << c.dict;
  }
}

// The token that starts at output position `at` of Implode's stream for `input`, read
// with the model decoder; the stream is also the exhaustive-search encoder's.
dcltest::Token TokenAt(const std::string& name, const Bytes& input, uint32_t dict, size_t at) {
  const Bytes stream = Compress(input, kDclBinary, dict);
  EXPECT_TRUE(stream == dcltest::ReferenceImplode(input, kDclBinary, dict, SharedAscii())) << name;
  const dcltest::Decoded d = dcltest::ReferenceExplode(stream, SharedAscii());
  EXPECT_TRUE(d.output == input) << name;
  size_t pos = 0;
  for (const dcltest::Token& t : d.tokens) {
    if (pos == at) return t;
    pos += t.literal ? 1 : t.value;
  }
  ADD_FAILURE() << name << ": no token starts at " << at;
  return {};
}

TEST(DclImplode, ChoosesItsTokensByTheRules) {
  struct Case {
    std::string name;
    Bytes input;
    uint32_t dict;
    size_t at;
    dcltest::Token want;
  };
  std::vector<Case> cases;
  Bytes noisy = dcltest::RandomBytes(900, 77);
  for (auto& b : noisy) b |= 0x80;  // no letters
  // A pair with no longer match around it: used 256 bytes back, not 257.
  for (uint32_t dict : {1024u, 4096u}) {
    for (unsigned gap : {254u, 255u}) {
      Bytes input = {'a', 'b'};
      input.insert(input.end(), noisy.begin(), noisy.begin() + gap);
      input.insert(input.end(), {'a', 'b', '!'});
      cases.push_back({"a pair " + std::to_string(gap + 2) + " back", input, dict, gap + 2,
                       gap + 2 <= 256 ? dcltest::Token{false, 2, 256} : dcltest::Token{true, 'a', 0}});
    }
  }
  // Lazy evaluation: at 800 "ABC" repeats from `distance` back, at 801 "BCDE" from 701
  // back. Within 129 bytes the 3-byte match is kept; further back 'A' goes out as a
  // literal and the 4-byte match follows.
  for (unsigned distance : {128u, 129u, 130u}) {
    Bytes input = noisy;
    for (auto [at, text] : {std::pair<size_t, std::string>{100, "BCDEy"}, {800 - distance, "ABCz"}, {800, "ABCDEq"}}) {
      std::copy(text.begin(), text.end(), input.begin() + static_cast<ptrdiff_t>(at));
    }
    cases.push_back({"lazy evaluation against a match " + std::to_string(distance) + " back", input, 4096,
                     distance <= 129 ? 800u : 801u,
                     distance <= 129 ? dcltest::Token{false, 3, distance} : dcltest::Token{false, 4, 701}});
  }
  // 600 bytes again dictionary-size - 1 bytes later are found, one byte further are not.
  for (uint32_t dict : {1024u, 2048u, 4096u}) {
    for (uint32_t gap : {dict - 1, dict}) {
      Bytes input = dcltest::RandomBytes(gap + 600, dict);
      std::copy(input.begin(), input.begin() + 600, input.begin() + gap);
      cases.push_back({"a block " + std::to_string(gap) + " back, dictionary " + std::to_string(dict), input, dict, gap,
                       gap < dict ? dcltest::Token{false, 516, gap} : dcltest::Token{true, input[gap], 0}});
    }
  }
  // A run of one byte: a literal, then repetitions at distance 1 of at most 516 bytes.
  for (size_t size : {518u, 1000u}) {
    cases.push_back({"a run of " + std::to_string(size), Bytes(size, 'a'), 1024, 517,
                     size == 518 ? dcltest::Token{true, 'a', 0} : dcltest::Token{false, 483, 1}});
  }
  for (const Case& c : cases) {
    const dcltest::Token t = TokenAt(c.name, c.input, c.dict, c.at);
    EXPECT_TRUE(t.literal == c.want.literal && t.value == c.want.value && t.distance == c.want.distance)
        << c.name << ": " << (t.literal ? "literal " : "length ") << t.value << ", distance " << t.distance;
  }
}

TEST(DclImplode, SameBytesAsTheExhaustiveSearchEncoder) {
  // Three blocks and two window slides (random bytes: two blocks), from literals only to
  // long matches; the literal mode does not change the tokens chosen.
  Bytes mixed = dcltest::EnglishText(3000, 5);
  mixed.insert(mixed.end(), 1500, 0);
  const Bytes code = dcltest::CodeLikeBytes(4000, 6);
  mixed.insert(mixed.end(), code.begin(), code.end());
  const Bytes samples[] = {dcltest::EnglishText(8400), dcltest::TaggedRecords(8400), dcltest::CodeLikeBytes(8400),
                           dcltest::RandomBytes(5000), mixed, {'a', 'b', 'a', 'b', 'a', 'b', 'c'}};
  for (size_t k = 0; k < std::size(samples); ++k) {
    for (uint32_t dsize : {4u, 5u, 6u}) {
      const uint32_t mode = (k + dsize) % 2, dict = 1u << (dsize + 6);
      EXPECT_TRUE(Compress(samples[k], mode, dict) == dcltest::ReferenceImplode(samples[k], mode, dict, SharedAscii()))
          << "sample " << k << ", " << Where(mode, dsize);
    }
  }
}

// 1 byte; the 516-byte lookahead; 2048 (Explode's input and Implode's output blocks);
// 4096 (blocks); 4096 - 516 (first block's encode limit); the window of dictionary + 516
// + 4096 bytes and its slides.
TEST(DclImplode, RoundTripsAcrossEveryBoundary) {
  const size_t sizes[] = {1, 2, 3, 4, 515, 516, 517, 518, 2047, 2048, 2049, 3579, 3580, 3581,
                          4095, 4096, 4097, 4611, 4612, 4613, 8191, 8192, 8193, 8707, 8708, 8709, 12289, 20000};
  const Bytes sources[] = {dcltest::EnglishText(20000), dcltest::RandomBytes(20000), dcltest::TaggedRecords(20000),
                           Bytes(20000, 0)};
  for (size_t size : sizes) {
    for (uint32_t mode : {kDclBinary, kDclAscii}) {
      for (uint32_t dict : {1024u, 2048u, 4096u}) {
        for (const Bytes& source : sources) {
          RoundTrip(Bytes(source.begin(), source.begin() + static_cast<long>(size)), mode, dict);
        }
      }
    }
  }
}

TEST(DclImplode, RoundTripsOfMegabytesInAnyReadSize) {
  Bytes big;
  for (uint32_t seed = 0; big.size() < 3u << 20; ++seed) {
    for (const Bytes& part : {dcltest::EnglishText(150000, seed), dcltest::RandomBytes(70000, seed),
                              dcltest::TaggedRecords(120000, seed), Bytes(9000 + seed, uint8_t(seed))}) {
      big.insert(big.end(), part.begin(), part.end());
    }
  }
  RoundTrip(big, kDclBinary, 4096);
  const Bytes input(big.begin() + 200000, big.begin() + 230000);
  const Bytes whole = Compress(input, kDclAscii, 2048);
  for (size_t chunk : {size_t{1}, size_t{1000}, size_t{4095}}) {
    EXPECT_TRUE(Compress(input, kDclAscii, 2048, chunk, chunk % 8) == whole) << "reads of " << chunk;
  }
}

}  // namespace
