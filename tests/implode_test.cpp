// Implode: known answers, the tokens it chooses (read back with the test's model
// decoder), byte-for-byte agreement with the test's exhaustive-search encoder, and round
// trips through Explode across every block and window boundary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dcl_harness.h"
#include "dcl_reference.h"
#include "dcl_samples.h"

namespace {

using Bytes = std::vector<uint8_t>;
using dcltest::RunExplode;
using dcltest::RunImplode;

Bytes Compress(const Bytes& input, uint32_t mode, uint32_t dict, size_t chunk = SIZE_MAX, size_t misalign = 0) {
  const dcltest::Run run = RunImplode(input, mode, dict, chunk, misalign);
  EXPECT_EQ(run.result, kImplodeOk);
  EXPECT_TRUE(dcltest::CallsInBlocks(run, 2048, 1, 4096)) << "mode " << mode << ", dictionary " << dict;
  return run.out;
}

void ExpectRoundTrip(const Bytes& input, uint32_t mode, uint32_t dict) {
  const Bytes stream = Compress(input, mode, dict);
  const dcltest::Run run = RunExplode(stream);
  EXPECT_EQ(run.result, kExplodeOk);
  EXPECT_TRUE(run.out == input) << input.size() << " bytes, " << "mode " << mode << ", dictionary " << dict;
}

TEST(Implode, KnownAnswersAndParameterErrors) {
  struct Case {
    uint32_t mode, dict, result;
    Bytes out;
  };
  const Case cases[] = {
      {kDclBinary, 4096, kImplodeOk, {0x00, 0x06, 0x01, 0xFF}},  {kDclBinary, 1024, kImplodeOk, {0x00, 0x04, 0x01, 0xFF}},
      {kDclAscii, 2048, kImplodeOk, {0x01, 0x05, 0x01, 0xFF}},   {kDclBinary, 3000, kImplodeBadDictSize, {}},
      {2, 4096, kImplodeBadLiteralMode, {}},                     {2, 3000, kImplodeBadDictSize, {}},
      {kDclBinary, 0, kImplodeBadDictSize, {}},                  {kDclAscii, 8192, kImplodeBadDictSize, {}},
      {kDclBinary, 512, kImplodeBadDictSize, {}},                {0xFFFFFFFF, 1024, kImplodeBadLiteralMode, {}},
  };
  for (const Case& c : cases) {
    // The empty input; on a parameter error some input that is never read.
    const dcltest::Run run = RunImplode(c.result == kImplodeOk ? Bytes{} : Bytes(100, 'x'), c.mode, c.dict);
    EXPECT_EQ(run.result, c.result) << c.mode << " " << c.dict;
    EXPECT_EQ(run.out, c.out) << c.mode << " " << c.dict;
    EXPECT_EQ(run.readRequests.empty(), c.result != kImplodeOk) << c.mode << " " << c.dict;
  }
}

TEST(Implode, RunOfOneByteIsALiteralThenRepetitionsAtDistance1) {
  // Past 517 bytes every distance in the run gives a 516-byte match: the nearest is taken.
  for (size_t size : {3u, 517u, 518u, 1000u, 4096u, 10000u}) {
    for (uint32_t dict : {1024u, 4096u}) {
      dcltest::BitStream expected(kDclBinary, dict == 1024 ? 4 : 6);
      expected.Literal('a');
      for (size_t left = size - 1; left > 0; left -= std::min<size_t>(left, 516)) {
        if (left == 1) {
          expected.Literal('a');
        } else {
          expected.Repeat(static_cast<unsigned>(std::min<size_t>(left, 516)), 1);
        }
      }
      expected.End();
      EXPECT_EQ(Compress(Bytes(size, 'a'), kDclBinary, dict), expected.bytes) << "a run of " << size << ", dict " << dict;
    }
  }
}

// Implode's stream for `input` is the reference encoder's, and the token that starts at
// output position `at` is `want`.
void ExpectTokenAt(const std::string& name, const Bytes& input, uint32_t dict, size_t at, dcltest::Token want) {
  const Bytes stream = Compress(input, kDclBinary, dict);
  EXPECT_TRUE(stream == dcltest::ReferenceImplode(input, kDclBinary, dict, dcltest::SharedAscii())) << name;
  const dcltest::Decoded d = dcltest::ReferenceExplode(stream, dcltest::SharedAscii());
  ASSERT_TRUE(d.output == input) << name;
  size_t pos = 0;
  auto t = d.tokens.begin();
  for (; t != d.tokens.end() && pos < at; ++t) pos += t->literal ? 1 : t->value;
  ASSERT_TRUE(pos == at && t != d.tokens.end()) << name << ": no token starts at " << at;
  EXPECT_TRUE(t->literal == want.literal && t->value == want.value && t->distance == want.distance)
      << name << ": " << (t->literal ? "literal " : "length ") << t->value << ", distance " << t->distance;
}

TEST(Implode, ChoosesItsTokensByTheRules) {
  Bytes noisy = dcltest::RandomBytes(900, 77);
  for (auto& b : noisy) b |= 0x80;  // no letters
  // A pair with no longer match around it: used 256 bytes back, not 257.
  for (uint32_t dict : {1024u, 4096u}) {
    for (unsigned gap : {254u, 255u}) {
      Bytes input;
      input.reserve(gap + 5);
      input.insert(input.end(), {'a', 'b'});
      input.insert(input.end(), noisy.begin(), noisy.begin() + gap);
      input.insert(input.end(), {'a', 'b', '!'});
      ExpectTokenAt("a pair " + std::to_string(gap + 2) + " back", input, dict, gap + 2,
                    gap + 2 <= 256 ? dcltest::Token{false, 2, 256} : dcltest::Token{true, 'a', 0});
    }
  }
  // Lazy evaluation: at 800 "ABC" repeats from `distance` back, at 801 "BCDE" from 701
  // back. Within 129 bytes the 3-byte match is kept; further back 'A' goes out as a
  // literal and the 4-byte match follows.
  for (unsigned distance : {128u, 129u, 130u, 131u}) {
    Bytes input = noisy;
    for (auto [at, text] : {std::pair<size_t, std::string>{100, "BCDEy"}, {800 - distance, "ABCz"}, {800, "ABCDEq"}}) {
      std::copy(text.begin(), text.end(), input.begin() + static_cast<ptrdiff_t>(at));
    }
    ExpectTokenAt("lazy evaluation against a match " + std::to_string(distance) + " back", input, 4096,
                  distance <= 129 ? 800 : 801, distance <= 129 ? dcltest::Token{false, 3, distance} : dcltest::Token{false, 4, 701});
  }
  // 600 bytes again dictionary-size - 1 bytes later are found, one byte further are not.
  for (uint32_t dict : {1024u, 2048u, 4096u}) {
    for (uint32_t gap : {dict - 1, dict}) {
      Bytes input = dcltest::RandomBytes(gap + 600, dict);
      std::copy(input.begin(), input.begin() + 600, input.begin() + gap);
      ExpectTokenAt("a block " + std::to_string(gap) + " back, dictionary " + std::to_string(dict), input, dict, gap,
                    gap < dict ? dcltest::Token{false, 516, gap} : dcltest::Token{true, input[gap], 0});
    }
  }
}

TEST(Implode, SameBytesAsTheExhaustiveSearchEncoder) {
  // Three blocks and two window slides (random bytes: two blocks), from literals only to
  // long matches.
  Bytes mixed = dcltest::EnglishText(3000, 5);
  mixed.insert(mixed.end(), 1500, 0);
  const Bytes code = dcltest::CodeLikeBytes(4000, 6);
  mixed.insert(mixed.end(), code.begin(), code.end());
  const struct {
    const char* name;
    Bytes data;
  } samples[] = {
      {"text", dcltest::EnglishText(8400)},        {"records", dcltest::TaggedRecords(8400)},
      {"code", dcltest::CodeLikeBytes(8400)},      {"random", dcltest::RandomBytes(5000)},
      {"mixed", mixed},                            {"short", {'a', 'b', 'a', 'b', 'a', 'b', 'c'}},
  };
  // The literal mode does not change the tokens chosen: each sample in each mode in turn.
  for (size_t k = 0; k < std::size(samples); ++k) {
    for (uint32_t dsize : {4u, 5u, 6u}) {
      const uint32_t mode = (k + dsize) % 2, dict = 1u << (dsize + 6);
      const Bytes reference = dcltest::ReferenceImplode(samples[k].data, mode, dict, dcltest::SharedAscii());
      EXPECT_TRUE(Compress(samples[k].data, mode, dict) == reference) << samples[k].name << ", mode " << mode << ", dictionary " << dict;
    }
  }
}

TEST(Implode, RoundTripsAcrossEveryBoundary) {
  // 1 byte; the 516-byte lookahead; 2048 (Explode's input and Implode's output blocks);
  // 4096 (blocks); 4096 - 516 (first block's encode limit); the window of
  // dictionary + 516 + 4096 bytes and its slides.
  const size_t sizes[] = {1, 2, 3, 4, 515, 516, 517, 518, 2047, 2048, 2049, 3579, 3580, 3581,
                          4095, 4096, 4097, 4611, 4612, 4613, 8191, 8192, 8193, 8707, 8708, 8709, 12289, 20000};
  const Bytes sources[] = {dcltest::EnglishText(20000), dcltest::RandomBytes(20000), dcltest::TaggedRecords(20000),
                           Bytes(20000, 0)};
  for (size_t size : sizes) {
    for (uint32_t mode : {kDclBinary, kDclAscii}) {
      for (uint32_t dict : {1024u, 2048u, 4096u}) {
        for (const Bytes& source : sources) ExpectRoundTrip(Bytes(source.begin(), source.begin() + size), mode, dict);
      }
    }
  }
}

TEST(Implode, RoundTripsOfSeveralMegabytesAndAnyReadSize) {
  Bytes big;
  for (uint32_t seed = 0; big.size() < 3u << 20; ++seed) {
    for (const Bytes& part : {dcltest::EnglishText(150000, seed), dcltest::RandomBytes(70000, seed),
                              dcltest::TaggedRecords(120000, seed), Bytes(9000 + seed, uint8_t(seed)),
                              dcltest::CodeLikeBytes(150000, seed)}) {
      big.insert(big.end(), part.begin(), part.end());
    }
  }
  ExpectRoundTrip(big, kDclBinary, 4096);
  // The same stream whatever the read sizes and wherever the work area starts.
  const Bytes input(big.begin() + 200000, big.begin() + 230000);
  const Bytes whole = Compress(input, kDclAscii, 2048);
  for (size_t chunk : {size_t{1}, size_t{1000}, size_t{4095}}) {
    EXPECT_TRUE(Compress(input, kDclAscii, 2048, chunk, chunk % 8) == whole) << "reads of " << chunk;
  }
}

}  // namespace
