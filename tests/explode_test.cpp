// Explode against streams built by hand, field by field, with the test's own tables
// (never with the library's Implode), and against the test's model decoder for damaged
// and truncated input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dcl_harness.h"
#include "dcl_reference.h"

namespace {

using Bytes = std::vector<uint8_t>;
using dcltest::BitStream;
using dcltest::RunExplode;

TEST(Explode, KnownAnswers) {
  struct Case {
    const char* name;
    Bytes stream;
    size_t chunk;
    uint32_t result;
    std::string out;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const dcltest::Run run = RunExplode(c.stream, c.chunk);
    EXPECT_EQ(run.result, c.result) << c.name;
    EXPECT_EQ(std::string(run.out.begin(), run.out.end()), c.out) << c.name;
  }
}

void ExpectDecodes(const BitStream& s, size_t chunk = SIZE_MAX, size_t misalign = 0) {
  const dcltest::Run run = RunExplode(s.bytes, chunk, misalign);
  EXPECT_EQ(run.result, kExplodeOk);
  EXPECT_TRUE(run.out == s.expected) << "decoded " << run.out.size() << " bytes, not the " << s.expected.size() << " expected";
  EXPECT_TRUE(dcltest::CallsInBlocks(run, 4096, 2048, 2048));
}

TEST(Explode, HandBuiltStreamsWithEveryCode) {
  for (unsigned mode : {0u, 1u}) {
    for (unsigned dsize : {4u, 5u, 6u}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " dsize " + std::to_string(dsize));
      BitStream s(mode, dsize, &dcltest::SharedAscii());
      const unsigned dict = 1u << (dsize + 6);
      s.Repeat(10, dict);  // history before the first byte reads as zeros
      s.Literal('x');
      s.Repeat(300, 100);  // from before the start on into the output
      for (unsigned b = 0; b < 256; ++b) s.Literal(static_cast<uint8_t>(b));  // every ASCII code length
      std::mt19937 rng(dsize);
      while (s.expected.size() < 4200) s.Literal(static_cast<uint8_t>(rng()));
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
      s.End();
      ExpectDecodes(s);
    }
  }
}

// Random tokens, not yet ended: literals, length 2, long near and short far repetitions.
BitStream RandomStream(unsigned mode, unsigned dsize, uint32_t seed, size_t tokens) {
  BitStream s(mode, dsize, &dcltest::SharedAscii());
  std::mt19937 rng(seed);
  for (size_t t = 0; t < tokens; ++t) {
    const unsigned kind = rng() % 8;
    if (kind < 4) {
      s.Literal(static_cast<uint8_t>(mode == 1 ? "etaoin shrdlu\r\n"[rng() % 15] : rng()));
    } else if (kind == 4) {
      s.Repeat(2, 1 + rng() % 256);
    } else if (kind == 5) {
      s.Repeat(3 + rng() % 516, 1 + rng() % 16);
    } else {
      s.Repeat(3 + rng() % 30, 1 + rng() % (1u << (dsize + 6)));
    }
  }
  return s;
}

TEST(Explode, RandomTokenStreamsInAnyReadSizeAndAtAnOddWorkArea) {
  for (unsigned mode : {0u, 1u}) {
    for (unsigned dsize : {4u, 5u, 6u}) {
      BitStream s = RandomStream(mode, dsize, 100 * mode + dsize, 6000);
      s.End();
      ASSERT_GT(s.bytes.size(), 3 * 2048u);
      ASSERT_GT(s.expected.size(), 5 * 4096u);
      for (size_t chunk : {size_t{SIZE_MAX}, size_t{2047}, size_t{64}, size_t{5}}) {
        SCOPED_TRACE("mode " + std::to_string(mode) + " dsize " + std::to_string(dsize) + " reads of " + std::to_string(chunk));
        ExpectDecodes(s, chunk, chunk % 8);
      }
    }
  }
}

TEST(Explode, CutAndArbitraryStreamsDecodeLikeTheModel) {
  auto expectLikeModel = [](const Bytes& stream, size_t chunk, const std::string& name) {
    const dcltest::Decoded model = dcltest::ReferenceExplode(stream, dcltest::SharedAscii());
    const dcltest::Run run = RunExplode(stream, chunk);
    EXPECT_EQ(run.result, model.result) << name;
    EXPECT_TRUE(run.out == model.output) << name;
    return model.result;
  };
  // Every cut of streams whose end marker ends at each bit of its last byte: whatever
  // decoded is written, then an abort; the whole stream succeeds even though its end
  // marker's last extra bits come with no byte after them.
  for (unsigned mode : {0u, 1u}) {
    for (unsigned pad = 0; pad < 8; ++pad) {
      BitStream s = RandomStream(mode, 5, 42 + mode, 40);
      for (unsigned k = 0; k < pad; ++k) s.Repeat(4, 1);  // 11 bits
      s.End();
      const Bytes& stream = s.bytes;
      for (size_t cut = 0; cut <= stream.size(); ++cut) {
        const std::string name = "mode " + std::to_string(mode) + " pad " + std::to_string(pad) + " cut " + std::to_string(cut);
        const uint32_t want = cut < 5 ? kExplodeShortInput : cut < stream.size() ? kExplodeAbort : kExplodeOk;
        for (size_t chunk : {size_t{SIZE_MAX}, size_t{7}}) {
          EXPECT_EQ(expectLikeModel(Bytes(stream.begin(), stream.begin() + cut), chunk, name), want) << name;
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
    expectLikeModel(stream, 5 + rng() % 64, "trial " + std::to_string(trial));
  }
}

}  // namespace
