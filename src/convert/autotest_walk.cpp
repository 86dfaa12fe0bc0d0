#include "convert/autotest_walk.h"

#include <cstring>

#include "compress/dcl.h"
#include "convert/autotest_state.h"
#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "convert/format.h"
#include "convert/limits.h"
#include "convert/memstream.h"
#include "convert/tx_table.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "services/record.h"
#include "session/trace.h"
#include "wire/byte_order.h"
#include "wire/text.h"

int16_t ExplodeATRecord(uint32_t inputCount) {
  MemStream.written = 0;
  if (!ExplodedATBuffer || !CompressionWorkArea || !MemStream.source) return 0;
  const uint32_t available = inputCount < MemStream.sourceRemaining ? inputCount : MemStream.sourceRemaining;
  const uint32_t prefixLength = available >= 2 ? GetU16(MemStream.source) : 0;
  if (available < 2 || prefixLength > available - 2) {
    Trace("  Explode Failed ");
    return 0;
  }
  std::memcpy(ExplodedATBuffer, MemStream.source + 2, prefixLength);
  MemStream.source += 2 + prefixLength;
  MemStream.sourceRemaining = available - 2 - prefixLength;
  MemStream.destination = ExplodedATBuffer + prefixLength;
  MemStream.written = prefixLength;
  MemStream.capacity = kExplodedATBufferSize;
  MemStream.truncated = 0;
  const uint32_t result = Explode(MemRead, MemWrite, reinterpret_cast<char*>(CompressionWorkArea), &MemStream);
  if (result == kExplodeOk) return 1;
  Trace("  Explode Failed ");
  if (result == kExplodeAbort) {
    Trace("    Ignoring ABORT during Explode ");
    return 1;
  }
  return 0;
}

namespace {

// Where the walk stands in the exploded record.
struct Walk {
  const uint8_t* begin;
  const uint8_t* end;
  const uint8_t* cursor;
  const uint8_t* sweepPointer = nullptr;
  uint32_t nibbleIndex = 0;
  uint8_t bitIndex = 0;
  uint8_t bitValue = 0;  // the value of a bit-section entry, handed on by pointer
};

// One value as the walk hands it to the converter.
struct Value {
  uint8_t type = 0;
  const uint8_t* bytes = nullptr;
  uint32_t readable = 0;  // bytes from `bytes` to the end of the record
};

uint32_t Remaining(const Walk& w) { return static_cast<uint32_t>(w.end - w.cursor); }

// `size` bytes at the cursor, the cursor moved past them; false when they run past the end.
bool TakeBytes(Walk& w, uint32_t size, Value* v) {
  if (size > Remaining(w)) return false;
  v->bytes = w.cursor;
  v->readable = Remaining(w);
  w.cursor += size;
  return true;
}

// The next type nibble of the type area; false when its byte lies past the end.
bool TakeTypeNibble(Walk& w, uint8_t* type) {
  const uint64_t at = static_cast<uint64_t>(DataTypeOffset) + w.nibbleIndex / 2;
  if (at >= static_cast<uint64_t>(w.end - w.begin)) return false;
  const uint8_t pair = w.begin[at];
  *type = w.nibbleIndex % 2 == 0 ? pair >> 4 : pair & 0x0F;
  ++w.nibbleIndex;
  return true;
}

// The next value bit and its blank flag; false when the bit byte lies past the end.
bool TakeBit(Walk& w, Value* v) {
  if (w.cursor >= w.end) return false;
  const uint8_t bits = *w.cursor;
  w.bitValue = (bits >> w.bitIndex) & 1;
  v->type = (bits >> (w.bitIndex + 1)) & 1 ? BLANK : 0;
  v->bytes = &w.bitValue;
  v->readable = 1;
  w.bitIndex += 2;
  if (w.bitIndex > 7) {
    ++w.cursor;
    w.bitIndex = 0;
  }
  return true;
}

// The next value by the walk mode; false when it lies past the end of the record.
bool TakeValue(Walk& w, const FormatEntry& entry, Value* v) {
  switch (CurrentWalkMode) {
    case NormalMode:
      if (!TakeTypeNibble(w, &v->type)) return false;
      if (typeAreaBytes != 0 && v->type == BLANK) {  // packed: a blank value is not stored
        v->bytes = w.cursor;
        v->readable = Remaining(w);
        return true;
      }
      return TakeBytes(w, entry.size, v);
    case BitMode:
      return TakeBit(w, v);
    default:
      return TakeBytes(w, entry.size, v);
  }
}

// The bytes a section switch skips (the type area) must lie inside the record.
bool SwitchFits(const Walk& w, const FormatEntry& entry) {
  if (entry.conversion == CONV_NORMAL_SECTION) return typeAreaBytes <= Remaining(w);
  if (entry.conversion == CONV_BIT_SECTION) return BitIDOffset <= Remaining(w);
  return true;
}

bool RunsPast(uint32_t index, uint32_t* error) {
  Trace("  Autotest format runs past the record at entry %u \n", index);
  *error = KXERR_AUTOTEST_LOAD;
  return false;
}

}  // namespace

bool WalkATRecord(const uint8_t* record, uint32_t length, ConversionContext* context, uint32_t* error) {
  if (!record || !FormatEntryBuffer) return RunsPast(0, error);
  Walk w{record, record + length, record};
  uint8_t expectedPairs[kExpectedPairsSize] = {};
  uint8_t measuredWiremap[kMeasuredWiremapSize] = {};
  CurrentWalkMode = FixedMode;
  const uint32_t count = FormatEntryCount < kFormatEntryBufferSize / kFormatEntrySize
                             ? FormatEntryCount
                             : kFormatEntryBufferSize / kFormatEntrySize;
  for (uint32_t i = 0; i < count; ++i) {
    const FormatEntry entry = FormatEntryAt(i);
    Value v;
    if (!TakeValue(w, entry, &v)) return RunsPast(i, error);
    FindTXEntryByTag(entry.tag);
    if (entry.conversion == CONV_NORMAL_SECTION || entry.conversion == CONV_BIT_SECTION) {
      v.type = 0;
      if (!SwitchFits(w, entry)) return RunsPast(i, error);
    }
    const int32_t n = ConvertATItem(&entry, v.type, v.bytes, v.readable, context, &w.cursor, &w.sweepPointer,
                                    w.end, expectedPairs, measuredWiremap, error);
    if (n == 0 && *error != 0) return false;
  }
  return true;
}

namespace {

constexpr uint16_t XTG_UPREF_OWNERNAME = 82;

void WriteTrailerItem(uint16_t tag, const char* tagName, const char* text, uint32_t* error) {
  WriteDataItem(tag, static_cast<uint16_t>(std::strlen(text)), text, error);
  WriteConversionLogLine(0, text, tag, tagName, 0, "");
}

// A NUL-terminated text of at most `limit` characters from a record field.
void FieldText(char* out, const uint8_t* field, size_t limit) {
  const size_t n = strnlen(reinterpret_cast<const char*>(field), limit);
  std::memcpy(out, field, n);
  out[n] = '\0';
}

// The items that follow the walk's: for fiber the OLB texts, then the print-format name,
// the scanner identification and the owner name, and for copper the limit curves (a
// missing limit sets KXERR_FILE_WRITE).
void WriteTrailer(uint16_t recordType, const ConversionContext& context, uint32_t* error) {
  const bool fiber = recordType == FIBER_AUTOTEST_REC;
  char printFormat[32] = {};
  FieldText(printFormat, DataFormatRecord + (fiber ? kFiberPrintFormatName : kCopperPrintFormatName), 15);
  if (fiber) {
    if (!StartsWithNoCase(reinterpret_cast<const uint8_t*>(ScannerModelName),
                          strnlen(ScannerModelName, kScannerModelNameLength), "VexaFiber")) {
      SetScannerModelName("VEXAFiber");
    }
    const char* olb = context.olbSeen ? "OLB =" : "<";
    WriteTrailerItem(XTG_OLB850_STRING, "XTG_OLB850_STRING", olb, error);
    WriteTrailerItem(XTG_OLB1300_STRING, "XTG_OLB1300_STRING", olb, error);
  }
  BuildPrintFormatName(printFormat, LanguageIndex, context.powerSumLetter, sizeof printFormat);
  WriteTrailerItem(XTG_PRINT_FORMAT, "XTG_PRINT_FORMAT", printFormat, error);
  WriteTrailerItem(XTG_SCANNER_IDENT, "XTG_SCANNER_IDENT", ScannerModelName, error);
  char owner[kUserPrefSize] = {};
  FieldText(owner, UserPrefRecord + kUserPrefOwnerName, kUserPrefSize - kUserPrefOwnerName);
  WriteTrailerItem(XTG_UPREF_OWNERNAME, "XTG_UPREF_OWNERNAME", owner, error);
  if (recordType == COPPER_AUTOTEST_REC) {
    LogPrintf("Writing Limits\n");
    if (WriteLimits() < 0) *error = KXERR_FILE_WRITE;
  }
}

// Appends the built record and its index entry. A write that failed still has its entry
// (length 0): the record counts as written. A refusal adds no entry.
int16_t AppendRecord(platform::FileHandle outFile, uint32_t* error) {
  const uint32_t entriesBefore = DatRecordCount;
  uint32_t appendError = 0;
  if (AppendDatRecord(outFile, &appendError) != 0) return 1;
  *error = appendError;
  return DatRecordCount > entriesBefore ? 1 : 0;
}

}  // namespace

int16_t ProcessATResult(int32_t recordLength, platform::FileHandle outFile, uint16_t recordType, uint32_t* error) {
  *error = 0;
  ClearLimitNames();
  ConversionContext context;
  RecordBuildLength = 0;
  int16_t result = 1;
  if (!ExplodeATRecord(recordLength > 0 ? static_cast<uint32_t>(recordLength) : 0)) {
    *error = KXERR_AUTOTEST_LOAD;
    result = 0;
  }
  const uint32_t length = MemStream.written < kExplodedATBufferSize ? MemStream.written : kExplodedATBufferSize;
  DumpRecordStart(length);
  if (result && !WalkATRecord(ExplodedATBuffer, length, &context, error)) result = 0;
  if (result) {
    WriteTrailer(recordType, context, error);
    result = AppendRecord(outFile, error);
  }
  LogPrintf("\n \n");
  return result;
}
