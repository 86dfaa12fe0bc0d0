// Explode and Implode against the test-side model of the imploded format (support/
// dcl_harness.h): streams built field by field, whole, in any read size and cut at every
// byte; Implode's stream against the exhaustive-search encoder byte for byte, with the
// tokens the encoder's rules choose at their boundaries, and at every block and window
// boundary; megabytes round trip.
#include <gtest/gtest.h>

#include "tests/support/dcl_harness.h"

namespace {

using dcltest::BitStream;
using dcltest::Bytes;

const dcltest::AsciiTable* const kAscii = &dcltest::SharedAscii();

std::string Where(unsigned mode, unsigned dict, size_t chunk, size_t at = 0) {
  return "mode " + std::to_string(mode) + "/" + std::to_string(dict) + " reads of " + std::to_string(chunk) + " at " +
         std::to_string(at);
}

// Appends random tokens: literals, length 2, long near and short far repetitions.
BitStream& AddRandomTokens(BitStream& s, uint32_t seed, size_t tokens) {
  std::mt19937 rng(seed);
  for (size_t t = 0; t < tokens; ++t) {
    const unsigned kind = rng() % 8, length = kind == 4 ? 2 : kind == 5 ? 3 + rng() % 516 : 3 + rng() % 30;
    if (kind < 4) s.Literal(static_cast<uint8_t>(s.ascii != nullptr ? "etaoin shrdlu\r\n"[rng() % 15] : rng()));
    if (kind >= 4) s.Repeat(length, 1 + rng() % (kind == 4 ? 256 : kind == 5 ? 16 : 1u << (s.dsizeBits + 6)));
  }
  return s;
}

// Every code of each mode and dictionary size, then random tokens, decoded in reads of
// any size with the work area at any alignment; other headers are refused before output.
TEST(DclExplode, HandBuiltStreamsWithEveryCodeInAnyReadSize) {
  for (unsigned mode : {0u, 1u, 2u, 255u}) {
    for (unsigned dsize = 3; dsize <= 7; ++dsize) {
      BitStream s(mode, dsize, kAscii);
      s.Repeat(10, 1u << (dsize + 6));  // the whole dictionary back, before the first byte
      s.Literal('x');
      s.Repeat(300, 100);  // from before the start on into the output
      for (unsigned b = 0; b < 256; ++b) s.Literal(static_cast<uint8_t>(b));
      for (unsigned i = 0; i < 16; ++i) {  // every length code, smallest, middle and largest extra bits
        const unsigned first = dcltest::LenBase(i) + 2, last = first + (1u << dcltest::ExLenBits(i)) - 1;
        for (unsigned length : {first, (first + last) / 2, std::min(last, 518u)}) s.Repeat(length, 1 + length % 19);
      }
      for (unsigned d = 0; d < 64; ++d) {  // every distance code, smallest and largest low bits
        s.Repeat(3 + d % 7, (d << dsize) + 1);
        s.Repeat(5, (d << dsize) + (1u << dsize));
        s.Repeat(2, (d << 2) + 1);
        s.Repeat(2, (d << 2) + 4);
      }
      for (unsigned distance = 1; distance <= 20; ++distance) {  // overlapping copies
        for (unsigned length : {2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 100u, 518u}) s.Repeat(length, distance);
        s.Literal(static_cast<uint8_t>('a' + distance));
      }
      AddRandomTokens(s, 100 * mode + dsize, 6000).Repeat(519, 0);
      const uint32_t want = dsize < 4 || dsize > 6 ? kExplodeBadDictSize : mode > 1 ? kExplodeBadLiteralMode : kExplodeOk;
      for (size_t chunk : {size_t{SIZE_MAX}, size_t{2047}, size_t{64}, size_t{5}}) {
        const dcltest::Run run = dcltest::RunExplode(s.bytes, chunk, chunk % 8);
        EXPECT_TRUE(run.result == want && run.out == (want == kExplodeOk ? s.expected : Bytes{}) &&
                    dcltest::CallsInBlocks(run, 4096, 2048, 2048))
            << Where(mode, dsize, chunk) << " result " << run.result;
      }
    }
  }
}

// Every cut of streams whose end marker ends at each bit of its last byte: the tokens
// followed by at least 8 more bits (the decoder reads that far ahead) are written, then
// an abort; the whole stream succeeds although its end marker's last bits come with no
// byte after them. A first read of fewer than 5 bytes is too short whatever follows.
TEST(DclExplode, CutStreamsWriteWhatDecodedThenAbort) {
  for (unsigned mode : {0u, 1u}) {
    for (unsigned pad = 0; pad < 8; ++pad) {
      BitStream s(mode, 5, kAscii);
      AddRandomTokens(s, 42 + mode, 40);
      for (unsigned k = 0; k < pad; ++k) s.Repeat(4, 1);  // 11 bits
      s.Repeat(519, 0);
      for (size_t cut = 0; cut <= s.bytes.size(); ++cut) {
        for (size_t chunk : {size_t{SIZE_MAX}, size_t{7}, size_t{4}}) {
          const bool shortInput = std::min(cut, chunk) < 5;
          size_t decoded = 0;
          for (const auto& t : s.tokens) decoded = !shortInput && t.endBit + 8 <= cut * 8 ? t.outEnd : decoded;
          const dcltest::Run run = dcltest::RunExplode(Bytes(s.bytes.begin(), s.bytes.begin() + long(cut)), chunk);
          EXPECT_TRUE(run.result == (shortInput ? kExplodeShortInput : cut < s.bytes.size() ? kExplodeAbort : kExplodeOk) &&
                      run.out == Bytes(s.expected.begin(), s.expected.begin() + long(decoded)))
              << Where(mode, pad, chunk, cut) << " result " << run.result;
        }
      }
    }
  }
}

Bytes Compress(const Bytes& input, uint32_t mode, uint32_t dict, size_t chunk = SIZE_MAX, size_t misalign = 0) {
  const dcltest::Run run = dcltest::RunImplode(input, mode, dict, chunk, misalign);
  EXPECT_EQ(run.result, kImplodeOk);
  EXPECT_TRUE(dcltest::CallsInBlocks(run, 2048, 1, 4096)) << Where(mode, dict, chunk);
  return run.out;
}

TEST(DclImplode, EmptyInputAndParameterErrors) {
  const struct { uint32_t mode, dict, result; Bytes out; } cases[] = {
      {kDclBinary, 4096, kImplodeOk, {0x00, 0x06, 0x01, 0xFF}}, {kDclBinary, 1024, kImplodeOk, {0x00, 0x04, 0x01, 0xFF}},
      {kDclAscii, 2048, kImplodeOk, {0x01, 0x05, 0x01, 0xFF}},  {kDclBinary, 3000, kImplodeBadDictSize, {}},
      {2, 4096, kImplodeBadLiteralMode, {}},                    {2, 3000, kImplodeBadDictSize, {}},
      {kDclAscii, 8192, kImplodeBadDictSize, {}},
  };
  for (const auto& c : cases) {  // the empty input; on a parameter error some input that is never read
    const dcltest::Run run = dcltest::RunImplode(c.result == kImplodeOk ? Bytes{} : Bytes(100, 'x'), c.mode, c.dict);
    EXPECT_TRUE(run.result == c.result && run.out == c.out && run.readRequests.empty() == (c.result != kImplodeOk))
        << Where(c.mode, c.dict, 0) << " result " << run.result;
  }
}

Bytes With(Bytes base, std::initializer_list<std::pair<size_t, std::string>> parts) {
  for (const auto& [at, text] : parts) std::copy(text.begin(), text.end(), base.begin() + long(at));
  return base;
}

// Implode's stream, in reads of any size, is the exhaustive-search encoder's: for samples
// of three blocks and two window slides, and for inputs built around one rule, where the
// token that starts at `at` is the rule's (`length` 1 for a literal).
TEST(DclImplode, SameBytesAsTheExhaustiveSearchEncoder) {
  struct Case { Bytes input; uint32_t mode, dict; size_t at; unsigned length, distance; };
  std::vector<Case> cases;
  Bytes noisy = dcltest::RandomBytes(900, 77);
  for (auto& b : noisy) b |= 0x80;  // no letters
  for (unsigned gap : {254u, 255u}) {  // a pair with no longer match around it: used 256 bytes back, not 257
    cases.push_back({With(noisy, {{0, "ab"}, {gap + 2, "ab!"}}), 0, 1024, gap + 2, gap == 254 ? 2u : 1u, gap == 254 ? 256u : 0u});
  }
  // A pair in the input's last three bytes: taken from one byte back.
  cases.push_back({With(noisy, {{897, "aaa"}}), 0, 1024, 898, 2, 1});
  // Lazy evaluation: at 800 "ABC" repeats from `d` back, at 801 "BCDE" from 701 back. Within
  // 129 bytes the 3-byte match is kept; further back 'A' goes out as a literal.
  for (unsigned d : {128u, 129u, 130u}) {
    cases.push_back({With(noisy, {{100, "BCDEy"}, {800 - d, "ABCz"}, {800, "ABCDEq"}}), 0, 4096, 800u + (d > 129),
                     d > 129 ? 4u : 3u, d > 129 ? 701u : d});
  }
  for (uint32_t dict : {1024u, 2048u, 4096u}) {  // 600 bytes again dictionary size - 1 bytes later, not one further
    for (uint32_t gap : {dict - 1, dict}) {
      Bytes input = dcltest::RandomBytes(gap + 600, dict);
      std::copy(input.begin(), input.begin() + 600, input.begin() + gap);
      cases.push_back({input, 0, dict, gap, gap < dict ? 516u : 1u, gap < dict ? gap : 0u});
    }
  }
  for (size_t size : {518u, 1000u}) {  // a run: a literal, then repetitions at distance 1 of at most 516 bytes
    cases.push_back({Bytes(size, 'a'), 0, 1024, 517, size == 518 ? 1u : 483u, size == 518 ? 0u : 1u});
  }
  for (uint32_t dict : {1024u, 4096u}) {  // long repeats, broken every 509 bytes, from 300 to 899 bytes back
    Bytes input = dcltest::RandomBytes(14000, dict);
    for (size_t i = 600; i < input.size(); ++i) input[i] = i % 509 ? input[i - 300 - i / 1500 * 97 % 600] : input[i];
    cases.push_back({input, dict == 1024, dict, SIZE_MAX, 0, 0});
  }
  for (unsigned kind = 0; kind < 4; ++kind) {  // the literal mode does not change the tokens chosen
    for (uint32_t dsize : {4u, 5u, 6u}) cases.push_back({dcltest::Sample(kind, 8400, kind), (kind + dsize) % 2, 64u << dsize, SIZE_MAX, 0, 0});
  }
  // Sizes around 1 byte; the 516-byte lookahead; 2048 (Explode's input and Implode's output
  // blocks); 4096 (blocks); 4096 - 516 (the first block's encode limit); the window of
  // dictionary + 516 + 4096 bytes and its slides.
  const size_t sizes[] = {1, 2, 3, 4, 515, 516, 517, 518, 2047, 2048, 2049, 3579, 3580, 3581,
                          4095, 4096, 4097, 4611, 4612, 4613, 8191, 8192, 8193, 8707, 8708, 8709, 12289};
  for (unsigned i = 0; i < std::size(sizes); ++i) {
    const Bytes input = i % 4 == 3 ? Bytes(sizes[i], 0) : dcltest::Sample(i % 4, sizes[i], i);
    cases.push_back({input, i % 2, 1024u << i % 3, SIZE_MAX, 0, 0});
  }
  for (size_t n = 0; n < cases.size(); ++n) {  // each stream also read back by Explode
    const Case& c = cases[n];
    const size_t chunk = n % 3 == 0 ? SIZE_MAX : n % 3 == 1 ? 1 : 1000 + n;
    const BitStream model = dcltest::ReferenceImplode(c.input, c.mode, c.dict, kAscii);
    const Bytes packed = Compress(c.input, c.mode, c.dict, chunk, n % 8);
    const dcltest::Run back = dcltest::RunExplode(packed);
    EXPECT_TRUE(packed == model.bytes && back.result == kExplodeOk && back.out == c.input) << "case " << n;
    auto t = std::find_if(model.tokens.begin(), model.tokens.end(), [&](auto& t) { return t.outEnd - t.length == c.at; });
    EXPECT_TRUE(c.at == SIZE_MAX || (t != model.tokens.end() && t->length == c.length && t->distance == c.distance))
        << "case " << n;
  }
}

// Megabytes of mixed samples come back whole.
TEST(DclImplode, RoundTripsMegabytes) {
  Bytes big;
  for (uint32_t seed = 0; big.size() < 3u << 20; ++seed) {
    for (unsigned kind : {0u, 1u, 2u, 3u}) {
      const Bytes part = dcltest::Sample(kind, 20000 + seed * 999, seed);
      big.insert(big.end(), part.begin(), part.end());
    }
  }
  const dcltest::Run run = dcltest::RunExplode(Compress(big, kDclBinary, 4096));
  EXPECT_TRUE(run.result == kExplodeOk && run.out == big);
}

}  // namespace
