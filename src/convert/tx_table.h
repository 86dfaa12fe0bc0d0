// The translation table: the library's dictionary of the instrument's data IDs (ID_...)
// and of the data file's field tags (XTG_...). It labels the lines of the conversion log,
// and the data-file reader takes tag names from it; the tags that go into a data file come
// from the format entries, never from here.
#pragma once

#include <cstdint>

// One row: a data ID with its name, the tag the converter writes for it and the tag's
// name. Rows that describe a tag only have data ID 0 and an empty ID name; tag 32767
// (UNUSED_DATAID) marks data IDs that have no field of their own. 88 bytes.
struct TXEntry {
  int32_t dataId;
  char dataIdName[40];
  int32_t tag;
  char tagName[40];
};
static_assert(sizeof(TXEntry) == 88);

constexpr uint32_t kTXTableRows = 440;
extern const TXEntry TXTable[kTXTableRows];
// The row count the lookup uses as its bound.
extern const uint32_t TXTableRowCount;

// Log lookup: the first row whose tag equals `tag`, or row 0 (UNKNOWN_DATAID /
// UNUSED_DATAID) when no row has it, after tracing "  Couldn't find an entry in TXTable \n"
// and writing "Couldn't find an entry in TXTable\n" to the log. With the conversion log
// off (DebugLevel without DBG_LOGFILE) it does nothing and returns null. The result also
// becomes CurrentTXEntry, which labels the log lines until the next lookup.
const TXEntry* FindTXEntryByTag(uint16_t tag);
extern const TXEntry* CurrentTXEntry;

// Lookup independent of the log: the first row whose tag equals `tag`, or null.
const TXEntry* FindTXRow(uint32_t tag);
// The tag's name from its first row ("UNUSED_DATAID" for tags 0 and 32767), or null
// when no row has the tag.
const char* TagName(uint32_t tag);

// One conversion-log line for a value written under `tag`:
//   "%2.2u %-12.12s %4.4x %-31.31s %4.4x %-24.24s\n"
// size (the value's size from its format entry), the value text (at most 12 characters
// shown), the tag, then the tag name, data ID and data-ID name of `entry` (row 0 when
// null). Writes only when the log is on.
void WriteConversionLogLine(uint32_t size, const char* text, uint16_t tag, const TXEntry* entry);
// The same line labelled with explicit names (the converter's own trailer items).
void WriteConversionLogLine(uint32_t size, const char* text, uint16_t tag, const char* tagName,
                            int32_t dataId, const char* dataIdName);
// The same line labelled with CurrentTXEntry.
void LogConvertedValue(uint32_t size, const char* text, uint16_t tag);
