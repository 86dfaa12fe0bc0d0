// Converting one value of a stored autotest. A stored autotest is a packed block of values
// without names; its format entries say what each value is, and ConvertATItem turns one
// value into the data file's tagged items (appended to the record build buffer with
// WriteDataItem), or into state that later values and the record's trailer use.
//
// Value types (a type nibble of the normal section, the blank flag of the bit section,
// or a card item's data type):
//   1 BLANK  nothing written            4 NEF    "NEF" written
//   2 DASH   "---" written              5 UNDR   "UND" written
//   3 OVR    "OVR" written              11 INVIS nothing written
// Every other type means the value is present and its conversion code decides.
//
// Numbers in a value are little-endian; each rule reads the width it names from the
// start of the value. Texts are built in the scratch text area (the workspace's output
// buffer) and written without their NUL; an empty text is the one-byte empty item.
#pragma once

#include <cstdint>

#include "convert/autotest_state.h"

constexpr uint8_t BLANK = 1;
constexpr uint8_t DASH = 2;
constexpr uint8_t OVR = 3;
constexpr uint8_t NEF = 4;
constexpr uint8_t UNDR = 5;
constexpr uint8_t INVIS = 11;

// Conversion codes of a format entry.
enum ConversionCode : uint8_t {
  CONV_NOT_SAVED = 0,
  CONV_CTOA = 1,
  CONV_SHORT = 2,
  CONV_BTOA = 3,
  CONV_LONG = 4,
  CONV_RAW = 5,
  CONV_PASS_FAIL = 6,
  CONV_TABLE = 50,
  CONV_UNITS = 100,
  CONV_WIREMAP = 102,
  CONV_LENGTH_FEET = 104,
  CONV_POWERSUM = 105,
  CONV_TWO_DIGITS = 106,
  CONV_CABLE = 107,
  CONV_SWEEP_BITS = 108,
  CONV_SWEEP_LENGTH = 109,
  CONV_SWEEP_DATA = 110,
  CONV_LIMIT_NAME = 111,
  CONV_LENGTH_BELOW = 112,
  CONV_FIBER_DIRECTION = 113,
  CONV_TABLE_QUIET = 114,
  CONV_OLB = 115,
  CONV_FIBER_CONFIG = 116,
  CONV_LENGTH_METRES = 117,
  CONV_MARK_ONE = 118,
  CONV_TABLE_AND_CODE = 119,
  CONV_PRINT_FORMAT = 120,
  CONV_LIMIT_RECORD = 121,
  CONV_RAW_QUIET = 122,
  CONV_FIBER_MODEL = 123,
  CONV_COPPER_MODEL = 124,
  CONV_INTEGER = 125,
  CONV_WIREMAP_RESULT = 126,
  CONV_NORMAL_SECTION = 253,
  CONV_BIT_SECTION = 254,
};

// Per-autotest conversion state; a fresh one (these initial values) for every autotest.
struct ConversionContext {
  uint16_t units = 0;                  // lengths: 0 not yet known, 1 feet, 2 metres
  int16_t fiberConfig = -1;            // fiber configuration value; -1 not yet seen
  uint16_t fiberConfigTable = 0xFFFF;  // string table of the fiber configuration entry
  uint8_t olbSeen = 0;                 // 1 once an OLB value above 0 was converted
  int16_t sweepBits = 0;               // which sweep blocks are stored
  int16_t sweepLength = 0;             // frequency points per sweep block
  char powerSumLetter = 0;             // 'P' or 0
  uint32_t wiremapParts = 0;           // wire-map parts collected so far
};

// The wire-map parts the caller keeps per autotest until both have arrived.
constexpr uint32_t kExpectedPairsSize = 16;
constexpr uint32_t kMeasuredWiremapSize = 27;
constexpr uint16_t XTG_WIREMAP_EXPECTED = 227;
// Tags of the items an autotest record ends with, written by the record walk and the
// card-file saver alike.
constexpr uint16_t XTG_SCANNER_IDENT = 455;
constexpr uint16_t XTG_PRINT_FORMAT = 2000;
constexpr uint16_t XTG_OLB850_STRING = 5005;
constexpr uint16_t XTG_OLB1300_STRING = 5006;

// Converts one value. `value` points at the value's bytes, of which `valueLength` may be
// read (the caller passes what lies between the value and the end of the record, or 1
// for a bit value); a rule that reads past them reads zeros, raw copies and texts stop
// at them. The caller owns, per autotest: `context`, the walk cursor and sweep pointer
// (moved by the section switches and the sweep data, never past `recordEnd`, the end of
// the record's bytes) and the two wire-map part buffers.
//
// Returns the number of bytes appended to the record build buffer (the sum of the
// WriteDataItem results; a refused item adds 0 and the conversion goes on), 0 when
// nothing was appended. *error is set only by the item writes and by these failures:
//   - a conversion code without a rule (255 included): KXERR_VERSION_MISMATCH, trace and
//     log "  Unknown Conversion Function "; the caller abandons the autotest;
//   - no workspace: KXERR_BAD_MEMORY_HANDLE;
//   - sweep data that runs past recordEnd: KXERR_AUTOTEST_LOAD (WriteSweepData).
// With the conversion log on, most conversions add one log line labelled with
// CurrentTXEntry.
int32_t ConvertATItem(const FormatEntry* entry, uint8_t type, const uint8_t* value, uint32_t valueLength,
                      ConversionContext* context, const uint8_t** cursor, const uint8_t** sweepPointer,
                      const uint8_t* recordEnd, uint8_t* expectedPairs, uint8_t* measuredWiremap,
                      uint32_t* error);
