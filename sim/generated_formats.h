// The result formats of the generated instrument: the format-definition records that
// describe its copper, fiber and coax autotests entry by entry.
//
// FormatEntry, 8 bytes, little-endian: u16 tag, u16 size, u8 scale, u8 conversion,
// u16 precision. Entries before the one with conversion 253 are fixed values; those
// between it and the one with conversion 254 are typed values (each with a 4-bit value
// type in the record's type area); those after it take two bits each of the 28-byte bit
// area, which the sweep data follows.
//
// Together the three formats use every conversion code, both section switches, every
// value type and the bit section. Copper and coax keep their fixed values to exactly 28
// bytes, so that an instrument from software "V04" on can store them in the packed
// layout (type area at offset 28); below "V04", and for fiber always, the classic layout
// applies (type area after the typed values). The switches occupy no bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/instrument.h"

namespace kxsim {

// Conversion codes the formats use.
enum : uint8_t {
  kNotSaved = 0, kCtoA = 1, kShort = 2, kBtoA = 3, kLong = 4, kRaw = 5, kPassFail = 6, kTable = 50,
  kUnits = 100, kWiremap = 102, kLengthFeet = 104, kPowerSum = 105, kTwoDigits = 106, kCable = 107,
  kSweepBits = 108, kSweepLength = 109, kSweepData = 110, kLimitName = 111, kLengthBelow = 112,
  kFiberDirection = 113, kTableQuiet = 114, kOlb = 115, kFiberConfig = 116, kLengthMetres = 117,
  kMarkOne = 118, kTableAndCode = 119, kPrintFormat = 120, kLimitRecord = 121, kRawQuiet = 122,
  kFiberModel = 123, kCopperModel = 124, kInteger = 125, kWiremapResult = 126,
  kNormalSection = 253, kBitSection = 254,
};

// A run of format entries: `count` entries whose tags rise by one from `tag`, all alike.
// `low` to `high` is the range of plausible numbers the generator picks from; `odd` is
// the chance in percent that a typed value carries a value type other than "present", or
// that a bit value is blank (0 for values the rest of the autotest depends on).
struct FieldRun {
  uint16_t tag;
  uint8_t count;
  uint16_t size;
  uint8_t scale;
  uint8_t conversion;
  uint16_t precision;
  int32_t low;
  int32_t high;
  uint8_t odd;
};

// One format entry with the generator's choices for its value.
struct FieldSpec {
  uint16_t tag;
  uint16_t size;
  uint8_t scale;
  uint8_t conversion;
  uint16_t precision;
  int32_t low;
  int32_t high;
  uint8_t odd;
};

struct GeneratedFormat {
  const char* name;           // "copper", "fiber", "coax"
  uint16_t formatRecordType;  // where the instrument keeps the format definition
  uint16_t autotestType;      // the record type of the autotests it describes
  uint16_t prefixLength;      // plain bytes before an autotest's imploded body
  bool packedFromV04;         // copper and coax: the packed layout from software "V04" on
  uint16_t sweepFlags;        // the sweep blocks a typical autotest stores
  const FieldRun* runs;
  size_t runCount;
};

extern const GeneratedFormat kCopperFormat;
extern const GeneratedFormat kFiberFormat;
extern const GeneratedFormat kCoaxFormat;

// The entries of a format, runs expanded, in record order.
std::vector<FieldSpec> FieldsOf(const GeneratedFormat& format);
// The format-definition entries as the instrument keeps them before imploding.
Bytes FormatEntryBytes(const GeneratedFormat& format);

}  // namespace kxsim
