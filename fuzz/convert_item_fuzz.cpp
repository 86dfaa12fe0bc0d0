// Fuzz target for the item converter: up to eight format entries with their value types,
// converted in turn with one conversion context, against a record of random length that
// holds the values, the section switches' moves and the sweep data. No conversion may
// read outside the record, report more bytes than it appended, or move the walk cursor
// or the sweep pointer out of the record.
//
// Input: 16 bytes of settings, then 1-8 items of 10 bytes (format entry, value type,
// value offset in the record), then the record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "conversion_setup.h"
#include "convert/autotest_state.h"
#include "convert/config_state.h"
#include "convert/item_conversion.h"
#include "convert/tx_table.h"
#include "session/state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareConversionOnce();
  constexpr size_t kSettings = 16, kItem = 10;
  if (size < kSettings + kItem) return 0;
  const uint8_t* s = data;
  const char version[] = {'V', static_cast<char>('0' + s[0] % 10), static_cast<char>('0' + s[1] % 10), 0};
  std::memcpy(VersionInfo, version, sizeof version);
  LanguageIndex = s[2];
  DebugLevel = s[3] & (DBG_TRACE | DBG_LOGFILE);
  ConversionContext context;
  context.units = static_cast<uint16_t>(s[4] | s[5] << 8);
  context.fiberConfig = static_cast<int16_t>(s[6] | s[7] << 8);
  context.fiberConfigTable = static_cast<uint16_t>(s[8] | s[9] << 8);
  context.sweepBits = static_cast<int16_t>(s[10] | s[11] << 8);
  context.sweepLength = s[12];
  context.powerSumLetter = s[3] & 0x80 ? 'P' : 0;
  typeAreaBytes = s[13];
  BitIDOffset = s[14];
  SetScannerModelName(s[3] & 0x40 ? "VEXAFiber SM" : "VEXAScanner");
  const size_t items = std::min<size_t>(s[15] % 8 + 1, (size - kSettings) / kItem);
  // The record on the heap, exactly its length, so a read past it is caught.
  std::vector<uint8_t> record(data + kSettings + items * kItem, data + size);
  const uint8_t* begin = record.data();
  const uint8_t* end = begin + record.size();
  const uint8_t* cursor = begin + (record.empty() ? 0 : s[15] % record.size());
  const uint8_t* sweep = s[3] & 0x20 ? cursor : nullptr;
  uint8_t pairs[kExpectedPairsSize] = {}, wiremap[kMeasuredWiremapSize] = {};
  RecordBuildLength = 0;
  for (const uint8_t* item = data + kSettings; item < data + kSettings + items * kItem; item += kItem) {
    FormatEntry entry;
    std::memcpy(&entry, item, sizeof entry);
    const size_t offset = record.empty() ? 0 : item[9] % record.size();
    FindTXEntryByTag(entry.tag);
    uint32_t error = 0;
    const uint32_t before = RecordBuildLength;
    const int32_t n = ConvertATItem(&entry, item[8], begin + offset, static_cast<uint32_t>(record.size() - offset),
                                    &context, &cursor, &sweep, end, pairs, wiremap, &error);
    if (n < 0 || static_cast<uint32_t>(n) > RecordBuildLength - before) std::abort();
    if (cursor < begin || cursor > end || (sweep && (sweep < begin || sweep > end))) std::abort();
  }
  return 0;
}
