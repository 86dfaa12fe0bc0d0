// Deterministic sample inputs for the compression tests and benchmarks: English-like
// text, tagged records like the data file holds, bytes that do not compress, and code.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace dcltest {

// Sentences of common English words with punctuation and line breaks.
inline std::vector<uint8_t> EnglishText(size_t size, uint32_t seed = 1) {
  static const char* const kWords[] = {
      "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be", "by",
      "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have", "an", "had",
      "they", "you", "were", "their", "one", "all", "we", "can", "her", "has", "there", "been", "if",
      "more", "when", "will", "would", "who", "so", "no", "cable", "test", "length", "pair", "limit",
      "result", "passed", "failed", "crosstalk", "attenuation", "instrument", "measured", "between",
      "through", "should", "because", "channel", "frequency", "remote", "autotest", "report"};
  std::mt19937 rng(seed);
  std::string text;
  for (bool capital = true; text.size() < size;) {
    std::string word = kWords[rng() % std::size(kWords)];
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    const unsigned r = rng() % 100;
    capital = r < 6;
    text += word + (r >= 10 ? " " : r >= 6 ? ", " : rng() % 5 == 0 ? ".\r\n" : ". ");
  }
  text.resize(size);
  return {text.begin(), text.end()};
}

// Records of 2-byte tag, 2-byte length and a short decimal or word value.
inline std::vector<uint8_t> TaggedRecords(size_t size, uint32_t seed = 2) {
  static const char* const kValues[] = {"PASS", "FAIL", "Cat 6A", "TIA-568", "100 Ohm", "Link", "Channel", "N/A"};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const unsigned tag = 0x100 + rng() % 60, kind = rng() % 3;
    std::string value;
    if (kind == 0) {
      value = std::to_string(rng() % 1000);
      value += '.';
      value += std::to_string(rng() % 10);
    } else {
      value = kind == 1 ? kValues[rng() % 8] : std::to_string(static_cast<int>(rng() % 200) - 100);
    }
    out.insert(out.end(), {uint8_t(tag), uint8_t(tag >> 8), uint8_t(value.size()), 0});
    out.insert(out.end(), value.begin(), value.end());
  }
  out.resize(size);
  return out;
}

inline std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed = 3) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Machine-code-like bytes: short opcodes, small immediates, repeated addresses, zero pads.
inline std::vector<uint8_t> CodeLikeBytes(size_t size, uint32_t seed = 4) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  uint32_t addresses[16];
  for (auto& a : addresses) a = 0x401000 + (rng() % 0x10000);
  while (out.size() < size) {
    const uint32_t kind = rng() % 6, a = addresses[rng() % 16], r = rng();
    if (kind == 0) out.insert(out.end(), {0x55, 0x48, 0x89, 0xE5});
    if (kind == 1) out.insert(out.end(), {0xE8, uint8_t(a), uint8_t(a >> 8), uint8_t(a >> 16), 0});
    if (kind == 2) out.insert(out.end(), {0x8B, uint8_t(0x40 + r % 8), uint8_t(r >> 8 << 2)});
    if (kind == 3) out.insert(out.end(), 1 + r % 12, 0);
    if (kind == 4) out.push_back(static_cast<uint8_t>(r));
    if (kind == 5) out.insert(out.end(), {0x5D, 0xC3});
  }
  out.resize(size);
  return out;
}

}  // namespace dcltest
