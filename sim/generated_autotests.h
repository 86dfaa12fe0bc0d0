// The autotests of the generated instrument: records built from values the generator
// chose (lengths, NEXT, attenuation and return-loss values and margins, verdicts and
// marks, right and wrong wiremaps, cables, sweep blocks, limit names), stored as the
// instrument stores them, each with the items a correct conversion writes for it.
//
// Exploded record (prefix included), in the order its format describes it:
//   fixed values;
//   packed layout: the type area (a 4-bit value type per typed value, two per byte, the
//     first in the high nibble; 28 bytes after the start), then the typed values, a
//     BLANK one taking no bytes;
//   classic layout: the typed values (a BLANK one filling its size with left-over
//     bytes), then the type area;
//   the bit area, 28 bytes: per bit value two bits, the value and above it the blank
//     flag, four values a byte from the least significant bit;
//   the sweep blocks the autotest stores.
// Stored record: u16 prefix length, the prefix (the first bytes of the exploded record,
// plain), the rest imploded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/generated_formats.h"
#include "sim/generated_limits.h"
#include "sim/seeded_random.h"

namespace kxsim {

// One item of a data-file record: its tag and value bytes.
struct ExpectedItem {
  uint16_t tag = 0;
  Bytes value;
  bool operator==(const ExpectedItem&) const = default;
};

struct GeneratedAutotest {
  uint16_t type = 0;    // 3841 copper, 3874 fiber, 3877 coax
  uint16_t number = 0;  // within its type
  Bytes key;            // the 1-byte search key: the cable group, 1 to 4
  Bytes exploded;       // the record as a conversion walks it
  Bytes stored;         // the record as the instrument keeps and sends it
  // The items a correct conversion writes, in order: the values', then the trailer's
  // (for fiber the two OLB texts; the print-format name, the model name, the owner
  // name; for copper the limit curves).
  std::vector<ExpectedItem> items;
  // 0, or 0x20000014 when a named limit was missing after another limit's curve was
  // written (the record is written all the same).
  uint32_t error = 0;
  // The same for a streamed download of all autotests, which cannot ask the instrument
  // for a limit by name while its record requests are in flight: a limit found only that
  // way is missing, and ends the curves there.
  std::vector<ExpectedItem> streamedItems;
  uint32_t streamedError = 0;
  // The same for a save of this autotest alone, which reads no limit record first and asks
  // the instrument for each named limit in its own family: a limit kept only in the
  // BLANK pool is missing.
  std::vector<ExpectedItem> singleItems;
  uint32_t singleError = 0;
};

// What the whole instrument settles, on which the conversion of every autotest depends.
struct InstrumentSettings {
  std::string version;           // the VERSION_INFO text, "V06.11 ..."
  uint8_t language = 0;          // byte 45 of the user preferences
  std::string ownerName;         // from byte 2 of the user preferences
  std::string copperPrintBase;   // DATA_FORMAT bytes 16-31, also for coax
  std::string fiberPrintBase;    // DATA_FORMAT bytes 58-73
  std::vector<GeneratedLimit> limits;
};

// `count` autotests of `format`, numbered from 0, as they are converted in this order in
// one save (after the limit records were read). `modelName` is the instrument's model
// text when the save starts: for copper and coax what data ID 705 gives, for fiber empty;
// it ends as those conversions leave it.
std::vector<GeneratedAutotest> GenerateAutotests(const GeneratedFormat& format, const InstrumentSettings& settings,
                                                 unsigned count, SeededRandom& random, std::string& modelName);

}  // namespace kxsim
