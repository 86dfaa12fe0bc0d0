// SaveMMCAutotest: one card autotest file converted into one record appended to a data
// file, each item through the same converter as a downloaded autotest, with the format
// entry the card item table supplies.
#include "download/card_autotest.h"

#include <cstring>
#include <memory>
#include <new>

#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "convert/item_conversion.h"
#include "convert/limits.h"
#include "convert/tx_table.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "platform/files.h"
#include "session/runtime.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"
#include "wire/text.h"

namespace {

constexpr uint16_t XTG_CIRCUITID = 121;
constexpr uint16_t XTG_AUTOTEST_PASSFAIL = 176;
constexpr uint8_t kLanguageCountLimit = 9;
constexpr uint16_t kFlagResultThree = 0x0020;
constexpr uint16_t kFlagPass = 0x0001;

// The result is a table value: string table 4, pass or fail, kept to one byte.
constexpr FormatEntry kResultFormat{XTG_AUTOTEST_PASSFAIL, 1, 0, CONV_TABLE, 4};

bool AcceptedModel(const uint8_t* name) {
  const size_t length = strnlen(reinterpret_cast<const char*>(name), kCardModelNameSize);
  const bool second = length == std::strlen("VexaScanner2") && StartsWithNoCase(name, length, "VexaScanner2");
  return second || StartsWithNoCase(name, length, "VexaFiber");
}

// The conversion state of one card autotest: the converter's context and the wire-map
// part buffers; the walk cursor and sweep pointer stay null (a card file carries no
// sweep area).
struct CardConversion {
  ConversionContext context;
  const uint8_t* cursor = nullptr;
  const uint8_t* sweepPointer = nullptr;
  uint8_t expectedPairs[kExpectedPairsSize] = {};
  uint8_t measuredWiremap[kMeasuredWiremapSize] = {};

  // What each item write reports is left out of the result: a refused item costs that
  // item only, and the record's own write says whether it fits.
  void Convert(const FormatEntry& entry, uint8_t type, const uint8_t* value, uint32_t valueLength, const uint8_t* end) {
    uint32_t itemError = 0;
    FindTXEntryByTag(entry.tag);
    ConvertATItem(&entry, type, value, valueLength, &context, &cursor, &sweepPointer, end, expectedPairs,
                  measuredWiremap, &itemError);
  }
};

// A text field of the header written whole (NUL bytes included), its text logged.
void WriteHeaderField(uint16_t tag, const char* tagName, const uint8_t* field, uint32_t size) {
  uint32_t itemError = 0;
  WriteDataItem(tag, static_cast<uint16_t>(size), field, &itemError);
  char text[32] = {};
  std::memcpy(text, field, strnlen(reinterpret_cast<const char*>(field), size));
  WriteConversionLogLine(0, text, tag, tagName, 0, "");
}

void WriteOlbText(uint16_t tag, const char* tagName, const char* text) {
  uint32_t itemError = 0;
  WriteDataItem(tag, static_cast<uint16_t>(std::strlen(text)), text, &itemError);
  WriteConversionLogLine(0, text, tag, tagName, 0, "");
}

// Walks the item list. The walk stops at the end marker, at a header that does not fit
// in the bytes read, and at an item whose data runs past them (its data is not there to
// convert, and what follows it cannot be told apart from it).
void WalkItemList(const uint8_t* list, uint32_t length, CardConversion* conversion) {
  const uint8_t* end = list + length;
  uint32_t offset = 0;
  while (offset < length) {
    PumpMessages();
    if (length - offset < kCardItemHeaderSize) break;
    const uint8_t* header = list + offset;
    const uint16_t dataId = GetU16(header);
    if (dataId == kCardEndOfList) break;
    const uint16_t count = GetU16(header + 4);
    const uint8_t elementSize = header[6];
    offset += kCardItemHeaderSize;
    if (count == 0) continue;
    const uint32_t dataBytes = static_cast<uint32_t>(count) * elementSize;
    if (dataBytes > length - offset) break;
    CardItemEntry item{};
    if (FindCardItem(dataId, &item)) {
      const FormatEntry entry = CardItemFormat(item, header[2], count, elementSize);
      conversion->Convert(entry, header[7], list + offset, length - offset, end);
    }
    offset += dataBytes;
  }
}

}  // namespace

void BuildCardRecord(const uint8_t* header, const uint8_t* list, uint32_t listLength) {
  CardConversion conversion;
  const uint16_t language = GetU16(header + kCardLanguageOffset);
  LanguageIndex = language < kLanguageCountLimit ? static_cast<uint8_t>(language) : 0;

  WriteHeaderField(XTG_SCANNER_IDENT, "XTG_SCANNER_IDENT", header, kCardModelNameSize);
  char model[kCardModelNameSize + 1] = {};
  std::memcpy(model, header, kCardModelNameSize);
  SetScannerModelName(model);
  WriteHeaderField(XTG_CIRCUITID, "XTG_CIRCUITID", header + kCardCircuitIdOffset, kCardCircuitIdSize);

  const uint16_t flags = GetU16(header + kCardFlagsOffset);
  const uint8_t result = (flags & kFlagResultThree) ? 3 : static_cast<uint8_t>(flags & kFlagPass);
  conversion.Convert(kResultFormat, 0, &result, 1, &result + 1);

  WalkItemList(list, listLength, &conversion);

  if (StartsWithNoCase(header, kCardModelNameSize, "VexaFiber")) {
    const char* olb = conversion.context.olbSeen ? "OLB =" : "<";
    WriteOlbText(XTG_OLB850_STRING, "XTG_OLB850_STRING", olb);
    WriteOlbText(XTG_OLB1300_STRING, "XTG_OLB1300_STRING", olb);
  }
}

namespace {

// What a save holds open, released on every path.
struct CardSave {
  bool logOpened = false;
  platform::FileHandle cardFile = platform::kNoFile;
  platform::FileHandle datFile = platform::kNoFile;
  DatFileHeader datHeader{};
  std::unique_ptr<uint8_t[]> list;

  // A data file still open here was refused before its record (it is only closed) or
  // its record was refused (its index and header are written back as they were); either
  // way before the workspace that holds the index goes.
  ~CardSave() {
    if (datFile != platform::kNoFile) {
      uint32_t ignored = 0;
      FinishDatFile(&datFile, &datHeader, &ignored);
    }
    FreeConversionBuffers();
    platform::FileClose(cardFile);
    if (logOpened) CloseConversionLog();
  }
};

int16_t Fail(uint32_t* error, uint32_t code, const char* trace) {
  Trace("%s", trace);
  *error = code;
  return 0;
}

// Reads up to `count` bytes; false only when nothing was read and the read failed.
bool ReadSome(platform::FileHandle file, uint8_t* buffer, uint32_t count, uint32_t* got) {
  size_t n = 0;
  uint32_t winError = 0;
  const bool ok = platform::FileRead(file, buffer, count, &n, &winError);
  *got = static_cast<uint32_t>(n);
  return ok || n != 0;
}

int16_t SaveCardAutotest(const char* cardFile, const char* datFile, uint8_t append, uint32_t* error) {
  ClearLimitNames();
  *error = 0;
  RecordBuildLength = 0;
  CardSave save;
  if (DebugLevel & DBG_LOGFILE) {
    if (!OpenConversionLog()) return Fail(error, KXERR_READ_ONLY_FILE, "Couldn't Open DEBUG Output file \n");
    save.logOpened = true;
  }
  uint32_t winError = 0;
  save.cardFile = cardFile ? platform::FileOpen(cardFile, platform::FileMode::kRead, &winError) : platform::kNoFile;
  if (save.cardFile == platform::kNoFile) return Fail(error, KXERR_READ_ONLY_FILE, "Unable to open MMC File \n");

  uint8_t header[kCardHeaderSize] = {};
  uint32_t headerLength = 0;
  if (!ReadSome(save.cardFile, header, kCardHeaderSize, &headerLength)) {
    return Fail(error, KXERR_INVALID_DATA_FILE, "Error reading MMC file header \n");
  }
  if (!AcceptedModel(header)) return Fail(error, KXERR_INVALID_DATA_FILE, "File is not a valid MMC file \n");
  std::memset(VersionInfo, 0, kVersionInfoSize);
  std::memcpy(VersionInfo, header + kCardVersionOffset, kCardVersionSize);

  save.list.reset(new (std::nothrow) uint8_t[kCardItemListSize]());
  if (!save.list) return Fail(error, KXERR_NO_MEMORY, "Failed to Allocate Memory \n");
  uint32_t listLength = 0;
  if (!ReadSome(save.cardFile, save.list.get(), kCardItemListSize, &listLength)) {
    return Fail(error, KXERR_INVALID_DATA_FILE, "Error reading MMC file \n");
  }
  if (!AllocConversionBuffers()) return Fail(error, KXERR_NO_MEMORY, "Failed to Allocate Memory \n");
  RecordBuildLength = 0;

  if (!datFile || !OpenDatFile(datFile, append, &save.datFile, &save.datHeader)) {
    return Fail(error, KXERR_READ_ONLY_FILE, "Unable to Open DAT File \n");
  }
  if (!PrepareDatAppend(save.datFile, save.datHeader, error)) return 0;

  BuildCardRecord(header, save.list.get(), listLength);

  if (AppendDatRecord(save.datFile, error) == 0) return 0;
  const int16_t finished = FinishDatFile(&save.datFile, &save.datHeader, error);
  return finished ? 1 : 0;
}

}  // namespace

extern "C" KXAPI int16_t KXAPI_CALL SaveMMCAutotest(const char* cardFile, const char* datFile, uint8_t append,
                                                    uint32_t* error) {
  uint32_t ignored = 0;
  return SaveCardAutotest(cardFile, datFile, append, error ? error : &ignored);
}
