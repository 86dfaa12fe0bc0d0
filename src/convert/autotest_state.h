// State the autotest walk and the item converter share: the format entry that describes
// one stored value, the walk mode and record layout the walk follows, and the model name
// that becomes the record's scanner identification. Process-global, one save at a time.
#pragma once

#include <cstdint>

// FormatEntry, 8 bytes, one per value of a stored autotest, in record order (numbers
// little-endian):
//   0 u16 tag         field tag the value is written under
//   2 u16 size        bytes the value occupies in the record (moves the walk)
//   4 u8  scale       implied decimal places of a stored number
//   5 u8  conversion  conversion code (253 starts the typed section, 254 the bit section)
//   6 u16 precision   decimals to keep after scaling, or a string-table number
struct FormatEntry {
  uint16_t tag;
  uint16_t size;
  uint8_t scale;
  uint8_t conversion;
  uint16_t precision;
};
static_assert(sizeof(FormatEntry) == 8);
constexpr uint32_t kFormatEntrySize = 8;

// Number of format entries expanded into the workspace's format-entry buffer for the
// current save (at most 65,535 / 8).
extern uint16_t FormatEntryCount;
// Format entry `index` of the format-entry buffer, decoded from its little-endian bytes.
// The caller keeps index below FormatEntryCount.
FormatEntry FormatEntryAt(uint32_t index);

// How the walk takes the next value: fixed values carry no type, normal values have a
// type nibble in the type area, bit values take two bits of the bit area. The walk starts
// every record in FixedMode; the section switches of the converter move it on.
enum WalkMode : uint8_t { FixedMode = 0, NormalMode = 1, BitMode = 2 };
extern WalkMode CurrentWalkMode;

// Record layout of the current format: where the type area lies, how far the walk skips
// at the normal-section switch (typeAreaBytes) and at the bit-section switch
// (BitIDOffset), and the distance from the start of the bit area to the sweep data.
extern uint32_t DataTypeOffset;
extern uint32_t BitIDOffset;
extern uint32_t SweepOffset;  // always 28
extern uint32_t typeAreaBytes;
constexpr uint32_t kSweepOffset = 28;

// The instrument model text (16 characters and a NUL), written as the record's scanner
// identification: set from the instrument, changed by the model-name values of an autotest.
constexpr uint32_t kScannerModelNameLength = 16;
extern char ScannerModelName[kScannerModelNameLength + 1];
// Sets ScannerModelName to `name`, cut to 16 characters.
void SetScannerModelName(const char* name);

// Returns the state above (the autotest's limit names and the limit table's count too)
// to the load values.
void ResetAutotestState();
