// The item dispatcher and the conversions that keep no state: decimal and table texts,
// raw copies, limit curves carried in a value, and the two section switches of the walk.
#include "convert/item_conversion.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "convert/format.h"
#include "convert/item_rules.h"
#include "convert/limits.h"
#include "convert/tx_table.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "session/trace.h"
#include "wire/text.h"

// ---- shared helpers ---------------------------------------------------------------------

uint32_t ReadUnsigned(const ItemArgs& a, uint32_t width, uint32_t offset) {
  uint32_t number = 0;
  for (uint32_t i = 0; i < width && a.value && offset + i < a.valueLength; ++i) {
    number |= static_cast<uint32_t>(a.value[offset + i]) << (8 * i);
  }
  return number;
}

int32_t ReadSigned(const ItemArgs& a, uint32_t width) {
  const uint32_t number = ReadUnsigned(a, width);
  if (width == 1) return static_cast<int8_t>(number);
  if (width == 2) return static_cast<int16_t>(number);
  return static_cast<int32_t>(number);
}

uint32_t ValueBytes(const ItemArgs& a) {
  if (!a.value) return 0;
  return a.entry.size < a.valueLength ? a.entry.size : a.valueLength;
}

char* Scratch() { return reinterpret_cast<char*>(OutputBuffer); }

char* CopyText(const uint8_t* bytes, uint32_t available, uint32_t limit) {
  char* text = Scratch();
  const size_t n = bytes ? strnlen(reinterpret_cast<const char*>(bytes), available < limit ? available : limit) : 0;
  if (n) std::memcpy(text, bytes, n);
  text[n] = '\0';
  return text;
}

char* ValueText(const ItemArgs& a, uint32_t limit) { return CopyText(a.value, ValueBytes(a), limit); }

bool ValueBeginsWith(const ItemArgs& a, const char* pattern) {
  return StartsWithNoCase(a.value, ValueBytes(a), pattern);
}

char* DecimalText(const ItemArgs& a, int64_t number, bool scaled) {
  char* text = Scratch();
  std::snprintf(text, kScratchCapacity, "%" PRId64, number);
  if (scaled) InsertDecimalPoint(text, a.entry.scale, a.entry.precision, kScratchCapacity);
  return text;
}

char* TableText(int table, int language, int item) {
  char* text = Scratch();
  GetLocalString(text, table, language, item, kScratchCapacity);
  return text;
}

uint32_t WriteText(uint16_t tag, const char* text, uint32_t* error) {
  const size_t length = std::strlen(text);
  // 0xFFFF is the length WriteDataItem refuses (with its trace); a longer text is refused
  // the same way rather than cut to another text.
  const uint16_t itemLength = length < 0xFFFF ? static_cast<uint16_t>(length) : 0xFFFF;
  return WriteDataItem(tag, itemLength, text, error);
}

void LogItem(const ItemArgs& a, const char* text, uint16_t tag) { LogConvertedValue(a.entry.size, text, tag); }

int32_t WriteAndLog(const ItemArgs& a, uint16_t tag, const char* text) {
  const uint32_t n = WriteText(tag, text, a.error);
  LogItem(a, text, tag);
  return static_cast<int32_t>(n);
}

int32_t WriteValueBytes(const ItemArgs& a, bool log) {
  // The log shows at most 12 characters of the value.
  const uint32_t n = WriteDataItem(a.entry.tag, static_cast<uint16_t>(ValueBytes(a)), a.value, a.error);
  if (log) LogItem(a, ValueText(a, 12), a.entry.tag);
  return static_cast<int32_t>(n);
}

namespace {

// ---- conversions without state ------------------------------------------------------------

int32_t NotSaved(const ItemArgs& a) {
  LogItem(a, "<NOT SAVED>", a.entry.tag);
  return 0;
}

int32_t CharToText(const ItemArgs& a) {
  if (a.entry.scale != 0) Trace("  Error - Scale Requested on CToA ");
  return WriteAndLog(a, a.entry.tag, DecimalText(a, ReadSigned(a, 1), false));
}

int32_t ShortToText(const ItemArgs& a) { return WriteAndLog(a, a.entry.tag, DecimalText(a, ReadSigned(a, 2), true)); }

int32_t LongToText(const ItemArgs& a) { return WriteAndLog(a, a.entry.tag, DecimalText(a, ReadSigned(a, 4), true)); }

int32_t MarkToText(const ItemArgs& a) {
  if (a.entry.scale != 0) Trace("  Error - Scale Requested on bToA ");
  return WriteAndLog(a, a.entry.tag, TableText(5, 0, ReadSigned(a, 1)));
}

int32_t Raw(const ItemArgs& a) { return WriteValueBytes(a, true); }
int32_t RawQuiet(const ItemArgs& a) { return WriteValueBytes(a, false); }

int32_t PassFail(const ItemArgs& a) {
  return WriteAndLog(a, a.entry.tag, TableText(4, LanguageIndex, ReadSigned(a, 1)));
}

int32_t Table(const ItemArgs& a) {
  return WriteAndLog(a, a.entry.tag, TableText(a.entry.precision, LanguageIndex, ReadSigned(a, 1)));
}

int32_t TableQuiet(const ItemArgs& a) {
  const char* text = TableText(a.entry.precision, LanguageIndex, static_cast<int>(ReadUnsigned(a, 1)));
  return static_cast<int32_t>(WriteText(a.entry.tag, text, a.error));
}

int32_t TwoDigits(const ItemArgs& a) {
  char* text = Scratch();
  std::snprintf(text, kScratchCapacity, "%2.2d", static_cast<int>(ReadUnsigned(a, 1)));
  return WriteAndLog(a, a.entry.tag, text);
}

int32_t MarkOne(const ItemArgs& a) {
  const int item = ReadSigned(a, 1) == 1 ? 0 : 1;
  return WriteAndLog(a, a.entry.tag, TableText(5, 0, item));
}

constexpr uint16_t kResultCodeTag = 679;

int32_t TableAndCode(const ItemArgs& a) {
  const auto code = static_cast<int>(ReadUnsigned(a, 1));
  int32_t total = WriteAndLog(a, a.entry.tag, TableText(a.entry.precision, LanguageIndex, code));
  total += WriteAndLog(a, kResultCodeTag, DecimalText(a, code, false));
  return total;
}

int32_t LimitRecord(const ItemArgs& a) {
  return static_cast<int32_t>(WriteLimitPointsFromRecord(a.value, a.valueLength, a.entry.tag, a.error));
}

int32_t Integer(const ItemArgs& a) {
  int64_t number = ReadSigned(a, 2);
  if (a.entry.size == 1) number = ReadUnsigned(a, 1);
  if (a.entry.size == 4) number = ReadSigned(a, 4);
  return WriteAndLog(a, a.entry.tag, DecimalText(a, number, true));
}

constexpr uint16_t kWiremapResultTag = 119;

// From version "06" the result mark is a value of its own; below, the wire map writes it.
int32_t WiremapResult(const ItemArgs& a) {
  if (VersionDigitsBelow("06")) return 0;
  return WriteAndLog(a, kWiremapResultTag, TableText(5, 0, ReadSigned(a, 1)));
}

// Moves the walk cursor `distance` bytes on, never past the end of the record.
const uint8_t* Advance(const uint8_t* at, uint32_t distance, const uint8_t* end) {
  if (!at || !end || at > end) return at;
  return static_cast<size_t>(end - at) < distance ? end : at + distance;
}

int32_t NormalSection(const ItemArgs& a) {
  CurrentWalkMode = NormalMode;
  if (a.cursor) *a.cursor = Advance(*a.cursor, typeAreaBytes, a.recordEnd);
  LogPrintf(" Switching to Normal Processing ");
  return 0;
}

int32_t BitSection(const ItemArgs& a) {
  CurrentWalkMode = BitMode;
  if (a.cursor) {
    *a.cursor = Advance(*a.cursor, BitIDOffset, a.recordEnd);
    if (a.sweepPointer) *a.sweepPointer = Advance(*a.cursor, SweepOffset, a.recordEnd);
  }
  LogPrintf(" Switching to Bit Processing ");
  return 0;
}

struct RuleEntry {
  uint8_t code;
  ConversionRule rule;
};

constexpr RuleEntry kRules[] = {
    {CONV_NOT_SAVED, NotSaved},
    {CONV_CTOA, CharToText},
    {CONV_SHORT, ShortToText},
    {CONV_BTOA, MarkToText},
    {CONV_LONG, LongToText},
    {CONV_RAW, Raw},
    {CONV_PASS_FAIL, PassFail},
    {CONV_TABLE, Table},
    {CONV_UNITS, ConvertUnits},
    {CONV_WIREMAP, ConvertWiremap},
    {CONV_LENGTH_FEET, ConvertLengthFeet},
    {CONV_POWERSUM, ConvertPowerSum},
    {CONV_TWO_DIGITS, TwoDigits},
    {CONV_CABLE, ConvertCable},
    {CONV_SWEEP_BITS, ConvertSweepBits},
    {CONV_SWEEP_LENGTH, ConvertSweepLength},
    {CONV_SWEEP_DATA, ConvertSweepData},
    {CONV_LIMIT_NAME, ConvertLimitName},
    {CONV_LENGTH_BELOW, ConvertLengthBelow},
    {CONV_FIBER_DIRECTION, ConvertFiberDirection},
    {CONV_TABLE_QUIET, TableQuiet},
    {CONV_OLB, ConvertOlb},
    {CONV_FIBER_CONFIG, ConvertFiberConfig},
    {CONV_LENGTH_METRES, ConvertLengthMetres},
    {CONV_MARK_ONE, MarkOne},
    {CONV_TABLE_AND_CODE, TableAndCode},
    {CONV_PRINT_FORMAT, ConvertPrintFormat},
    {CONV_LIMIT_RECORD, LimitRecord},
    {CONV_RAW_QUIET, RawQuiet},
    {CONV_FIBER_MODEL, ConvertFiberModel},
    {CONV_COPPER_MODEL, ConvertCopperModel},
    {CONV_INTEGER, Integer},
    {CONV_WIREMAP_RESULT, WiremapResult},
    {CONV_NORMAL_SECTION, NormalSection},
    {CONV_BIT_SECTION, BitSection},
};

ConversionRule FindRule(uint8_t code) {
  for (const RuleEntry& entry : kRules) {
    if (entry.code == code) return entry.rule;
  }
  return nullptr;
}

struct SpecialType {
  uint8_t type;
  const char* logText;
  const char* itemText;  // null: nothing written
};

constexpr SpecialType kSpecialTypes[] = {
    {BLANK, "<BLANK TYPE>", nullptr}, {DASH, "<DASH TYPE>", "---"}, {OVR, "<OVR TYPE>", "OVR"},
    {NEF, "<NEF TYPE>", "NEF"},       {UNDR, "<UNDR TYPE>", "UND"}, {INVIS, "<INVIS TYPE>", nullptr},
};

const SpecialType* FindSpecialType(uint8_t type) {
  for (const SpecialType& special : kSpecialTypes) {
    if (special.type == type) return &special;
  }
  return nullptr;
}

}  // namespace

int32_t ConvertATItem(const FormatEntry* entry, uint8_t type, const uint8_t* value, uint32_t valueLength,
                      ConversionContext* context, const uint8_t** cursor, const uint8_t** sweepPointer,
                      const uint8_t* recordEnd, uint8_t* expectedPairs, uint8_t* measuredWiremap,
                      uint32_t* error) {
  if (!OutputBuffer) {  // no workspace: no scratch area and no record to build
    *error = KXERR_BAD_MEMORY_HANDLE;
    return 0;
  }
  if (const SpecialType* special = FindSpecialType(type)) {
    LogConvertedValue(entry->size, special->logText, entry->tag);
    if (!special->itemText) return 0;
    return static_cast<int32_t>(WriteText(entry->tag, special->itemText, error));
  }
  const ConversionRule rule = FindRule(entry->conversion);
  if (!rule) {
    Trace("  Unknown Conversion Function ");
    LogPrintf("  Unknown Conversion Function ");
    *error = KXERR_VERSION_MISMATCH;
    return 0;
  }
  const ItemArgs args{*entry,      value,     valueLength,   *context,        cursor,
                      sweepPointer, recordEnd, expectedPairs, measuredWiremap, error};
  return rule(args);
}
