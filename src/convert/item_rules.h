// Inside the item converter: what one call of ConvertATItem hands its conversion rules,
// the bounded value reads and the text helpers they share, and the rules that read or
// change per-autotest state (stateful_conversions.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/item_conversion.h"
#include "convert/workspace.h"

struct ItemArgs {
  const FormatEntry& entry;
  const uint8_t* value;
  uint32_t valueLength;
  ConversionContext& context;
  const uint8_t** cursor;
  const uint8_t** sweepPointer;
  const uint8_t* recordEnd;
  uint8_t* expectedPairs;
  uint8_t* measuredWiremap;
  uint32_t* error;
};

using ConversionRule = int32_t (*)(const ItemArgs& a);

// The `width` bytes (1, 2 or 4) of the value at `offset`, little-endian; bytes past the
// readable ones count as 0.
uint32_t ReadUnsigned(const ItemArgs& a, uint32_t width, uint32_t offset = 0);
int32_t ReadSigned(const ItemArgs& a, uint32_t width);
// Bytes of the value that raw copies and texts use: its size, cut to what is readable.
uint32_t ValueBytes(const ItemArgs& a);
// A text of at most `limit` characters from `available` bytes: up to the first NUL,
// copied to the scratch area.
char* CopyText(const uint8_t* bytes, uint32_t available, uint32_t limit);
// The value as a text: CopyText of ValueBytes(a).
char* ValueText(const ItemArgs& a, uint32_t limit);
// True when the value begins with `pattern`, letter case ignored; the pattern must lie
// within ValueBytes(a).
bool ValueBeginsWith(const ItemArgs& a, const char* pattern);

// The scratch text area: the workspace's output buffer.
constexpr size_t kScratchCapacity = kOutputBufferSize;
char* Scratch();
// The decimal text of `number` in the scratch area; with `scaled`, passed through
// InsertDecimalPoint with the entry's scale and precision.
char* DecimalText(const ItemArgs& a, int64_t number, bool scaled);
// Item `item` of string table `table` in `language`, in the scratch area ("" when absent).
char* TableText(int table, int language, int item);

// Writes `text` (without its NUL) under `tag`; returns WriteDataItem's result. A text
// longer than an item can hold is refused.
uint32_t WriteText(uint16_t tag, const char* text, uint32_t* error);
// The conversion-log line for `text` written under `tag`, labelled with CurrentTXEntry.
void LogItem(const ItemArgs& a, const char* text, uint16_t tag);
// Writes `text` under `tag` and logs it.
int32_t WriteAndLog(const ItemArgs& a, uint16_t tag, const char* text);
// Writes the value's bytes (ValueBytes(a)) unchanged under the entry's tag; with `log`,
// logs them as text.
int32_t WriteValueBytes(const ItemArgs& a, bool log);

// Rules that keep state within one autotest.
int32_t ConvertUnits(const ItemArgs& a);
int32_t ConvertWiremap(const ItemArgs& a);
int32_t ConvertLengthFeet(const ItemArgs& a);
int32_t ConvertPowerSum(const ItemArgs& a);
int32_t ConvertCable(const ItemArgs& a);
int32_t ConvertSweepBits(const ItemArgs& a);
int32_t ConvertSweepLength(const ItemArgs& a);
int32_t ConvertSweepData(const ItemArgs& a);
int32_t ConvertLimitName(const ItemArgs& a);
int32_t ConvertLengthBelow(const ItemArgs& a);
int32_t ConvertFiberDirection(const ItemArgs& a);
int32_t ConvertOlb(const ItemArgs& a);
int32_t ConvertFiberConfig(const ItemArgs& a);
int32_t ConvertLengthMetres(const ItemArgs& a);
int32_t ConvertPrintFormat(const ItemArgs& a);
int32_t ConvertFiberModel(const ItemArgs& a);
int32_t ConvertCopperModel(const ItemArgs& a);
