// What a correct conversion writes for a value the generated instrument chose: the
// display texts of the string tables, scaled numbers as decimal text, print-format file
// names and the three wiremap strings. The generator derives each expected item from the
// value it picked with these, in integer arithmetic, never by running the library's
// converter, so a misreading shared by both sides cannot pass unseen.
#pragma once

#include <cstdint>
#include <string>

namespace kxsim {

// The instrument's software version as the conversion reads it from the first bytes of
// its VERSION_INFO record ("V06.11 ...").
struct VersionTraits {
  int major = 0;             // the two characters after the first, as a decimal number
  bool digitsBelow06 = false;  // those two characters compare below "06"
  bool packedLayout = false;   // the first three compare at or above "V04" (copper, coax)
};
VersionTraits TraitsOf(const std::string& versionText);

// Item `item` of string table `table` (English; the other languages show the English
// texts), or "" when the table has no such item.
std::string TableText(int table, int item);
// The letter of language 0 to 8 (E, F, G, I, S, P, J, C, T).
char LanguageLetter(int language);

// `value` with `scale` implied decimals, `precision` of them kept (1 <= precision <=
// scale, or scale 0), as an instrument of major version `major` writes it: from major 4
// on the last kept decimal is rounded half away from zero, below 4 the dropped decimals
// are cut off and a negative value with no digit beyond the dropped ones loses its sign.
std::string ScaledText(int64_t value, int scale, int precision, int major);

// A print-format file name: the first six characters of `base`, the language letter,
// the power-sum letter (none when 0), ".PTF".
std::string PrintFormatName(const std::string& base, int language, char powerSumLetter);

// The wiring of a cable under test, as the generator chooses it: which pairs belong to
// the cable, where each near-end position (pins 1-8, shield) arrives at the far end, and
// which positions are shorted to a lower one.
struct Wiring {
  bool pairPresent[5] = {};  // pairs 1-2, 3-6, 4-5, 7-8 and the shield
  int farPosition[9] = {};   // 0-7 pins, 8 shield, -1 open
  int shortedTo[9] = {};     // the lower position a position is shorted to, or -1
};
struct WiremapTexts {
  std::string expected;  // "12345678S" with the absent pairs' positions blank
  std::string nearEnd;   // "12345678 " with a shorted position showing its partner
  std::string farEnd;    // where each position arrives, blank when open
  bool wrong = false;
};
WiremapTexts TextsOf(const Wiring& wiring);

}  // namespace kxsim
