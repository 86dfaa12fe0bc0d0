// Card autotest files of the generated instrument: the files an instrument leaves on its
// memory card when it stores an autotest there, built from values the generator chose,
// each with the items a correct conversion of the file writes.
//
// Card autotest file (little-endian): model name char[16], software version char[12],
// circuit identifier char[17], u16 language, u16 result flags (bit 5: result 3, else
// bit 0: pass), then the item list: per item u16 data ID, u8 scale, u8 unused, u16
// element count, u8 element size, u8 value type, count x size data bytes; the list ends
// at data ID 0xFFFF or at the end of the file.
//
// A file holds copper or fiber items (NEXT and far-end NEXT pairs, attenuation, lengths in
// the units chosen, frequencies, pass marks, fiber losses and connector counts ...), some
// of them with a value type other than "present", items without data, items of data IDs
// no conversion knows, and sometimes bytes after the end marker or no end marker at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/generated_autotests.h"
#include "sim/seeded_random.h"

namespace kxsim {

struct GeneratedCardAutotest {
  std::string path;  // where the card keeps it, e.g. "\AUTOTEST\CARD0001.ATR"
  Bytes file;
  // The record's items in order: the model name (all 16 bytes), the circuit identifier
  // (all 17), the verdict, the items' values, and for fiber the two OLB texts.
  std::vector<ExpectedItem> items;
};

// `count` card autotest files of an instrument running software `version`, alternately
// copper and fiber, numbered from 1.
std::vector<GeneratedCardAutotest> GenerateCardAutotests(const std::string& version, unsigned count,
                                                         SeededRandom& random);

}  // namespace kxsim
