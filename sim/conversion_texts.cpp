#include "sim/conversion_texts.h"

#include <cstdlib>
#include <cstring>

namespace kxsim {
namespace {

// The display texts, English, by table and item; a null item is absent.
constexpr int kTables = 16;
constexpr int kItems = 16;
constexpr const char* kStrings[kTables][kItems] = {
    /* 0 */ {"English", "French", "German", "Italian", "Spanish", "Portuguese", "Japanese", "Simplified Chinese",
             "Traditional Chinese"},
    /* 1 */ {"E", "F", "G", "I", "S", "P", "J", "C", "T"},
    /* 2 */ {"", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    /* 3 */ {"F", "P"},
    /* 4 */ {"FAIL", "PASS"},
    /* 5 */ {"!", " ", "*+", "i", "*-"},
    /* 6 */ {"ft", "m"},
    /* 7 */ {"1-2", "3-6", "4-5", "7-8"},
    /* 8 */ {"12/36", "12/45", "12/78", "36/45", "36/78", "45/78"},
    /* 9 */ {"12/36", "12/45", "12/78", "36/12", "36/45", "36/78", "45/12", "45/36", "45/78", "78/12", "78/36",
             "78/45"},
    /* 10 */ {"VexaFiber -> Remote", "Remote -> VexaFiber", "Bidirectional"},
    /* 11 */ {"Loopback", "2 Jumper Method", "1 Jumper Method", "3 Jumper Method"},
    /* 12 */ {"", "Coax", "Single-mode", "Multimode", "Multimode 62.5um", "Multimode 50um"},
    /* 13 */ {"Loopback"},
    /* 14 */ {"Margin", "Limit"},
    /* 15 */ {"", "Open", "Short"},
};

int64_t PowerOfTen(int n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

}  // namespace

VersionTraits TraitsOf(const std::string& versionText) {
  VersionTraits t;
  const std::string digits = versionText.size() >= 3 ? versionText.substr(1, 2) : std::string();
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    t.major = t.major * 10 + (c - '0');
  }
  char padded[4] = {};
  std::memcpy(padded, versionText.data(), versionText.size() < 3 ? versionText.size() : 3);
  t.digitsBelow06 = std::strncmp(padded + 1, "06", 2) < 0;
  t.packedLayout = std::strncmp(padded, "V04", 3) >= 0;
  return t;
}

std::string TableText(int table, int item) {
  if (table < 0 || table >= kTables || item < 0 || item >= kItems) return "";
  const char* text = kStrings[table][item];
  return text != nullptr ? text : "";
}

char LanguageLetter(int language) { return TableText(1, language).c_str()[0]; }

std::string ScaledText(int64_t value, int scale, int precision, int major) {
  if (scale == 0) return std::to_string(value);
  if (precision > scale) precision = scale;
  const int dropped = scale - precision;
  const int64_t magnitude = std::llabs(value);
  const int64_t unit = PowerOfTen(dropped);
  const int64_t kept = major >= 4 ? (magnitude + unit / 2) / unit : magnitude / unit;
  const bool sign = value < 0 && !(major < 4 && magnitude < unit);
  std::string fraction = std::to_string(kept % PowerOfTen(precision));
  fraction.insert(0, static_cast<size_t>(precision) - fraction.size(), '0');
  std::string text = sign ? "-" : "";
  text.append(std::to_string(kept / PowerOfTen(precision))).append(".").append(fraction);
  return text;
}

std::string PrintFormatName(const std::string& base, int language, char powerSumLetter) {
  std::string name = base.substr(0, 6);
  name += LanguageLetter(language);
  if (powerSumLetter != 0) name += powerSumLetter;
  return name + ".PTF";
}

WiremapTexts TextsOf(const Wiring& wiring) {
  // The positions of each pair: 1-2, 3-6, 4-5, 7-8, shield.
  constexpr int kPairPositions[5][2] = {{0, 1}, {2, 5}, {3, 4}, {6, 7}, {8, 8}};
  WiremapTexts t{"12345678S", "12345678 ", "", false};
  for (int pair = 0; pair < 5; ++pair) {
    if (wiring.pairPresent[pair]) continue;
    for (int position : kPairPositions[pair]) t.expected[static_cast<size_t>(position)] = ' ';
  }
  for (int position = 0; position < 9; ++position) {
    const int partner = wiring.shortedTo[position];
    if (partner >= 0) t.nearEnd[static_cast<size_t>(position)] = static_cast<char>('1' + partner);
    const int far = wiring.farPosition[position];
    t.farEnd += far < 0 ? ' ' : far == 8 ? 'S' : static_cast<char>('1' + far);
  }
  if (wiring.farPosition[8] >= 0 && t.nearEnd[8] == ' ') t.nearEnd[8] = 'S';
  for (size_t i = 0; i < 9; ++i) {
    if (t.expected[i] != ' ' && (t.nearEnd[i] != t.expected[i] || t.farEnd[i] != t.expected[i])) t.wrong = true;
  }
  return t;
}

}  // namespace kxsim
