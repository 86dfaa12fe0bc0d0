// Converting one stored autotest into one record of the data file: the raw record is
// exploded, walked value by value with the format entries (each value handed to
// ConvertATItem), completed with the trailer items and the limit curves, imploded and
// appended to the data file with its index entry.
//
// Raw autotest record, as the instrument delivers it (little-endian):
//   0  u16 prefixLength    plain bytes that follow
//   2  prefixLength bytes  plain prefix, copied unchanged
//   .. the rest            imploded body
// Exploded record: the prefix followed by the exploded body, in the workspace's
// exploded-autotest buffer; every offset of the record layout counts from its first byte.
//
// The walk takes each value by the walk mode (CurrentWalkMode):
//   FixedMode   type 0, the value's `size` bytes at the cursor;
//   NormalMode  the type is the next nibble of the type area at DataTypeOffset (high
//               nibble first); `size` bytes at the cursor, none when the layout is packed
//               (typeAreaBytes != 0) and the type is BLANK;
//   BitMode     two bits of the byte at the cursor, from the least significant: the
//               value bit, then the blank flag (type BLANK when set); the cursor moves on
//               after four values.
// The section switches (conversions 253 and 254) move the walk on to the next mode.
#pragma once

#include <cstdint>

#include "convert/item_conversion.h"
#include "platform/files.h"

// Explodes the raw record that MemStream's read side points at (`inputCount` bytes, never
// more than the read side holds) into the exploded-autotest buffer; MemStream.written is
// then the exploded length, prefix included. Returns 1 when the record can be converted:
// explode ended cleanly, or it stopped with its abort result (input ran out), traced
// "  Explode Failed " and "    Ignoring ABORT during Explode ", when the bytes decoded so
// far are converted. Returns 0 after "  Explode Failed " for every other explode result,
// and for a record too short for its prefix or without a workspace.
int16_t ExplodeATRecord(uint32_t inputCount);

// Walks the `length` bytes of an exploded record with the FormatEntryCount entries of the
// format-entry buffer and the record layout, converting each value into the record build
// buffer. Reads nothing outside the record. Returns true when every entry was converted;
// false when a conversion failed (its code in *error, e.g. KXERR_VERSION_MISMATCH) or the
// format runs past the record (a value's bytes, a type-area byte, a bit-area byte, the
// type area skipped at a section switch or sweep data beyond its end: KXERR_AUTOTEST_LOAD).
bool WalkATRecord(const uint8_t* record, uint32_t length, ConversionContext* context, uint32_t* error);

// Converts the raw autotest that MemStream's read side points at (`recordLength` bytes)
// and appends it to `outFile`, the data file prepared for appending (PrepareDatAppend),
// with its index entry. `recordType`: 3841 copper, 3874 fiber, 3877 coax; the
// configuration (LoadInstrumentConfiguration) must be loaded for it. The record is the
// walk's items followed by the trailer: for fiber the two OLB items (5005, 5006), then the
// print-format name (2000), the scanner identification (455), the owner name (82), and for
// copper the curves of the named limits. With the conversion log on, logs the record dump,
// one line per item and "\n \n" at the end.
// Returns 1 when the record was written; *error is then 0, KXERR_FILE_WRITE when a named
// limit was missing or the file write failed (the entry then has length 0), or the code of
// a trailer item the record build buffer refused.
// Returns 0 when nothing was written and the index is unchanged, with *error:
//   - KXERR_AUTOTEST_LOAD: the record did not explode, or the format runs past it;
//   - the failing conversion's code (KXERR_VERSION_MISMATCH for a code without a rule);
//   - the data file's refusal (AppendDatRecord): KXERR_NOT_OPEN, KXERR_MAX_RECORDS,
//     KXERR_RECORD_TOO_LARGE, KXERR_FILE_WRITE.
int16_t ProcessATResult(int32_t recordLength, platform::FileHandle outFile, uint16_t recordType, uint32_t* error);
