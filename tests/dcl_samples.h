// Deterministic sample inputs for the compression tests and benchmarks: English-like
// text, tagged records like the data file holds, bytes that do not compress, and runs.
#pragma once

#include <cstdint>
#include <cstdio>
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
  bool capital = true;
  while (text.size() < size) {
    std::string word = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    if (capital) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    text += word;
    capital = false;
    const unsigned r = rng() % 100;
    if (r < 6) {
      text += ".";
      capital = true;
      text += rng() % 5 == 0 ? "\r\n" : " ";
    } else if (r < 10) {
      text += ", ";
    } else {
      text += " ";
    }
  }
  text.resize(size);
  return {text.begin(), text.end()};
}

// Records of 2-byte tag, 2-byte length and a short decimal or word value.
inline std::vector<uint8_t> TaggedRecords(size_t size, uint32_t seed = 2) {
  static const char* const kValues[] = {"PASS", "FAIL", "Cat 6A", "TIA-568", "100 Ohm", "Link", "Channel", "N/A"};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  char value[32];
  while (out.size() < size) {
    const unsigned tag = 0x100 + rng() % 60;
    const unsigned kind = rng() % 3;
    int n;
    if (kind == 0) {
      n = std::snprintf(value, sizeof value, "%u.%u", static_cast<unsigned>(rng() % 1000), static_cast<unsigned>(rng() % 10));
    } else if (kind == 1) {
      n = std::snprintf(value, sizeof value, "%s", kValues[rng() % 8]);
    } else {
      n = std::snprintf(value, sizeof value, "%d", static_cast<int>(rng() % 200) - 100);
    }
    out.push_back(static_cast<uint8_t>(tag));
    out.push_back(static_cast<uint8_t>(tag >> 8));
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(0);
    out.insert(out.end(), value, value + n);
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
    switch (rng() % 6) {
      case 0: out.insert(out.end(), {0x55, 0x48, 0x89, 0xE5}); break;
      case 1: {
        const uint32_t a = addresses[rng() % 16];
        out.insert(out.end(), {0xE8, uint8_t(a), uint8_t(a >> 8), uint8_t(a >> 16), 0});
        break;
      }
      case 2: out.insert(out.end(), {0x8B, uint8_t(0x40 + rng() % 8), uint8_t(rng() % 64 * 4)}); break;
      case 3: out.insert(out.end(), 1 + rng() % 12, 0); break;
      case 4: out.push_back(static_cast<uint8_t>(rng())); break;
      default: out.insert(out.end(), {0x5D, 0xC3}); break;
    }
  }
  out.resize(size);
  return out;
}

}  // namespace dcltest
