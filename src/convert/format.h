// Value formatting: the building blocks for turning the instrument's stored values into
// data-file text. Scaled integers become decimal text with version-dependent rounding,
// table items become display texts by language, wiremap bit patterns become the three
// wiremap strings, sweep arrays are copied into data items.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

// Rewrites `text`, a NUL-terminated decimal integer with an optional leading '-', in place
// as a number with `scale` implied decimal places, keeping `precision` decimals. `capacity`
// is the size of the buffer; it should hold scale + 3 more characters than the text.
//   - scale < precision: traces "Error: Scale Less than Precision in InsertDecimalPoint!\n"
//     and keeps scale decimals;
//   - scale 0: the text stays unchanged;
//   - instrument major version 4 and above: rounds half away from zero at the last kept
//     decimal; below 4 the dropped decimals are cut off, and a negative number with no
//     digit left before the kept decimals becomes an unsigned zero ("-5", 2, 1 -> "0.0");
//   - at least one digit stands before the point ("5", 2, 2 -> "0.05").
// Precision 0 with a non-zero scale keeps all scale decimals and does not round (it is
// read as "no precision given"). A text that is not a decimal integer is left unchanged.
// Returns true, or false when the result does not fit the buffer (or the text is not
// terminated inside it, or is a decimal integer longer than 64 characters): the text is
// then empty, never a number cut short ("123.4" for "123.45"), so a caller that writes
// it anyway stores the empty value.
bool InsertDecimalPoint(char* text, uint8_t scale, uint16_t precision, size_t capacity);

// String tables: 20 tables x 9 languages x 16 items. Languages: 0 English, 1 French,
// 2 German, 3 Italian, 4 Spanish, 5 Portuguese, 6 Japanese, 7 Simplified Chinese,
// 8 Traditional Chinese. Only English holds texts; the others fall back to it.
constexpr int kStringTableCount = 20;
constexpr int kLanguageCount = 9;
constexpr int kStringItemCount = 16;
extern const char* const StringTables[kStringTableCount][kLanguageCount][kStringItemCount];

// The item's text in the language, else in English, else "" (also for a table, language or
// item out of range, such as the item -1 of a sign-extended 0xFF). Never null.
const char* LocalString(int table, int language, int item);
// Copies LocalString(table, language, item) to destination (cut to capacity - 1).
void GetLocalString(char* destination, int table, int language, int item, size_t capacity);

// Composes a print-format file name from the base name in `name`: positions 0-5 keep the
// base, the language letter (item `language` of table 1 in English, E for language 0)
// goes to position 6 and the format character to position 7, the text ends after
// position 7, and ".PTF" is appended to the text. "KX0500", 0, '1' -> "KX0500E1.PTF";
// "KX0500", 0, NUL -> "KX0500E.PTF". Since the text ends at its first NUL, a language
// without a letter (outside 0-8) gives "KX0500.PTF" and a base shorter than six
// characters hides what follows it ("KX05", 0, '1' -> "KX05.PTF"). `capacity` is the size
// of name (13 is enough); a longer result is cut to it.
void BuildPrintFormatName(char* name, int language, char formatCharacter, size_t capacity);

// The wiremap strings (each NUL-terminated, 9 characters in use, the rest zero) and the
// verdict, from the pair-presence flags (5 bytes: pairs 1-2, 3-6, 4-5, 7-8, shield;
// non-zero when the pair belongs to the cable) and the measured wiremap (9 groups of
// 3 bytes, one per near-end position: pins 1-8 and the shield).
struct WiremapText {
  char expected[16];  // "12345678S" with absent pairs blanked
  char nearEnd[16];   // from byte 0 of each group (its far-end connection mask)
  char farEnd[16];    // from byte 2 of each group (where the position arrives)
  bool wrong;         // a present position differs at the near or the far end
};
constexpr uint32_t kPairPresenceSize = 5;
constexpr uint32_t kWiremapSize = 27;
void BuildWiremapText(const uint8_t pairPresence[kPairPresenceSize], const uint8_t wiremap[kWiremapSize],
                      WiremapText* out);

// Writes the wiremap items: the expected string under tag 227 (XTG_WIREMAP_EXPECTED), the
// near-end string under 228 (XTG_WIREMAP_ACTUAL_NEAR), the far-end string under 229, and
// for instruments whose version digits are below "06" the result mark under 119: "!" when
// the wiremap is wrong, a blank when it is right. Returns the total size of the items, or
// 0 when one of them was refused: the items after it are not written (those before stay
// in the record build buffer) and *error keeps the refusal's code.
uint32_t WriteWiremap(const uint8_t pairPresence[kPairPresenceSize], const uint8_t wiremap[kWiremapSize],
                      uint32_t* error);

// Sweep blocks in the order they are stored, with their flag bit, tag and bytes per
// frequency point.
struct SweepBlock {
  uint16_t flag;
  uint16_t tag;
  uint16_t bytesPerPoint;
  const char* logLine;  // "Writing ... Data from %06x\n" with the read position
};
constexpr int kSweepBlockCount = 7;
extern const SweepBlock SweepBlocks[kSweepBlockCount];

// For each sweep block selected in `flags`, in order, writes pointCount x bytes-per-point
// bytes (taken as 16 bits) from *cursor as one item under the block's tag and advances
// *cursor past them (also when the item was refused). Reading stops at `end`: a block
// that runs past it is not written, *cursor moves to `end` and *error becomes
// KXERR_AUTOTEST_LOAD. With the log on, writes the block's log line to logFile first
// (nothing when it is platform::kNoFile).
// Returns the total size of the items, or 0 after a failure (a refused item or an
// overrun) or when nothing was selected.
uint32_t WriteSweepData(platform::FileHandle logFile, const uint8_t** cursor, const uint8_t* end, uint16_t flags,
                        uint16_t pointCount, uint32_t* error);

// Metres to feet: (value x 3937 + 600) / 1200 in unsigned 32-bit arithmetic
// (x 3.28083, rounded to the nearest foot).
uint32_t MetresToFeet(uint32_t value);
