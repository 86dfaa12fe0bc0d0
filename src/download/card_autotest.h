// Saving an autotest that the instrument stored as a file on its memory card: the file,
// copied to the PC, carries its own header and a self-describing item list, and becomes
// one record appended to a data file. No instrument is involved.
//
// Card autotest file (numbers little-endian):
//   0   char[16]  instrument model name, NUL-terminated ("VexaScanner2", "VexaFiber ...")
//   16  char[12]  instrument software version text, NUL-terminated
//   28  char[17]  circuit identifier
//   45  u16       language index
//   47  u16       result flags: bit 5 gives the result value 3, else bit 0 is the result
//   49  ...       item list, at most 131,071 bytes of it read
// Item: an 8-byte header followed by its data; the list ends at data ID 0xFFFF or at the
// end of the bytes read.
//   0 u16 data ID   2 u8 scale   3 u8 not read   4 u16 element count (0: no data)
//   6 u8 element size   7 u8 data type (the value type: BLANK, DASH, OVR ...)
//   8 count x size bytes of data
#pragma once

#include <cstdint>

#include "convert/autotest_state.h"

constexpr uint32_t kCardHeaderSize = 49;
constexpr uint32_t kCardModelNameSize = 16;
constexpr uint32_t kCardVersionOffset = 16;
constexpr uint32_t kCardVersionSize = 12;
constexpr uint32_t kCardCircuitIdOffset = 28;
constexpr uint32_t kCardCircuitIdSize = 17;
constexpr uint32_t kCardLanguageOffset = 45;
constexpr uint32_t kCardFlagsOffset = 47;
constexpr uint32_t kCardItemListSize = 131071;
constexpr uint32_t kCardItemHeaderSize = 8;
constexpr uint16_t kCardEndOfList = 0xFFFF;

// One entry of the card item table: for a data ID, the tag, conversion and precision of
// the format entry the converter gets (the item gives the scale and the size).
struct CardItemEntry {
  uint16_t dataId;
  uint16_t tag;
  uint8_t conversion;
  uint16_t precision;
};
constexpr uint32_t kCardItemTableEntries = 481;

// The card item table's entry for `dataId`; false when the table has none (data ID 0
// included).
bool FindCardItem(uint16_t dataId, CardItemEntry* entry);

// The format entry of one card item: the table's tag, conversion and precision, the
// item's scale, and size = element count x element size taken as 16 bits.
FormatEntry CardItemFormat(const CardItemEntry& entry, uint8_t scale, uint16_t count, uint8_t elementSize);

// Builds the record of one card file in the record build buffer (the workspace allocated,
// RecordBuildLength 0): the model name, circuit identifier and verdict of the 49-byte
// `header`, the items of the `listLength` bytes of item list at `list` (nothing outside
// them is read), and for a fiber model the OLB texts. Sets LanguageIndex and
// ScannerModelName from the header.
void BuildCardRecord(const uint8_t* header, const uint8_t* list, uint32_t listLength);
