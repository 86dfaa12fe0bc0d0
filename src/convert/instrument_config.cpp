#include "convert/instrument_config.h"

#include <cstring>

#include "compress/dcl.h"
#include "convert/autotest_state.h"
#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/memstream.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "platform/files.h"
#include "services/record.h"
#include "session/runtime.h"
#include "session/state.h"
#include "session/trace.h"

namespace {

// The three records read before the format definition, in reading order.
struct ConfigRecord {
  uint16_t type;
  uint8_t* buffer;
  uint16_t size;
  const char* looking;
  const char* failed;
  const char* got;
};

const ConfigRecord kConfigRecords[] = {
    {DATA_FORMAT, DataFormatRecord, kDataFormatSize, "Attempting to read DATA_FORMAT Record\n",
     "  Failed read of DATA_FORMAT record\n", "  Got DATA_FORMAT record\n"},
    {VERSION_INFO, reinterpret_cast<uint8_t*>(VersionInfo), kVersionInfoSize, "Looking for VERSION_INFO Record\n",
     "  Failed Read of VERSION_INFO record\n", "  Got VERSION_INFO record\n"},
    {USER_UPREF_RECORD, UserPrefRecord, kUserPrefSize, "Looking for USER_UPREF_RECORD\n",
     "  Failed read of USER_UPREF_RECORD\n", "  Got USER_UPREF record\n"},
};

// The format definition of each kind of autotest: where its local file name comes from
// (none for coax, whose name is fixed), its record type and the loader's failure lines.
struct FormatSource {
  uint16_t autotestType;  // 0: every other type
  int32_t fileNameOffset; // in the data-format record; -1: kCoaxFormatFile
  uint16_t formatRecordType;
  const char* missingLine;
};

constexpr char kCoaxFormatFile[] = "kz0600.pdf";

constexpr FormatSource kFormatSources[] = {
    {COPPER_AUTOTEST_REC, kCopperFormatFileName, kCopperFormatRecord, "  Couldn't find a Copper PDF File \n"},
    {FIBER_AUTOTEST_REC, kFiberFormatFileName, kFiberFormatRecord, "  Couldn't find a Fiber PDF File \n"},
    {0, -1, kCoaxFormatRecord, "  Couldn't find a Coax PDF File \n"},
};

const FormatSource& FormatSourceFor(uint16_t recordType) {
  for (const FormatSource& source : kFormatSources) {
    if (source.autotestType == recordType) return source;
  }
  return kFormatSources[2];
}

const char* MissingFormatRecordLine(uint16_t formatRecordType) {
  if (formatRecordType == kCopperFormatRecord) return "Scanner doesn't have PDF_FORMAT_REC\n";
  if (formatRecordType == kFiberFormatRecord) return "Scanner doesn't have PDF_FIBER_FORMAT_REC\n";
  return "Scanner doesn't have PDF_COAX_FORMAT_REC\n";
}

// After each record obtained: the caller's step, the host's pump.
void Step(uint16_t* progress) {
  if (progress) ++*progress;
  PumpMessages();
}

// Reads record 0 of `record.type` into its buffer (zeroed first, so a short record leaves
// no bytes of an earlier save behind).
bool ReadConfigRecord(const ConfigRecord& record) {
  std::memset(record.buffer, 0, record.size);
  uint16_t number = 0;
  uint16_t length = record.size;
  uint32_t error = 0;
  return KXReadRecord(record.type, &number, record.buffer, &length, &error) == 1;
}

// The compressed definition from a local file into readBuffer: its length, or -1 when
// the file cannot be opened for reading and update (absent or write-protected).
int32_t ReadLocalFormatFile(const char* fileName, uint8_t* readBuffer) {
  uint32_t winError = 0;
  const platform::FileHandle file = platform::FileOpen(fileName, platform::FileMode::kUpdate, &winError);
  if (file == platform::kNoFile) return -1;
  size_t got = 0;
  platform::FileRead(file, readBuffer, kFormatEntryBufferSize, &got, &winError);
  platform::FileClose(file);
  Trace("Using Local PDF_FORMAT_REC %s\n", fileName);
  return static_cast<int32_t>(got);
}

// The compressed definition from the instrument into readBuffer: its length, or -1.
int32_t ReadScannerFormatRecord(uint16_t formatRecordType, uint8_t* readBuffer) {
  uint16_t number = 0;
  uint16_t length = 0xFFFF;
  uint32_t error = 0;
  if (KXReadRecord(formatRecordType, &number, readBuffer, &length, &error) != 1) {
    Trace("%s", MissingFormatRecordLine(formatRecordType));
    return -1;
  }
  Trace("Using Scanner's PDF_FORMAT_REC\n");
  return length;
}

}  // namespace

uint16_t LoadFormatRecord(const char* fileName, uint8_t* entries, uint8_t* readBuffer, uint8_t* workArea,
                          uint16_t formatRecordType) {
  if (!entries || !readBuffer || !workArea) return 0;
  int32_t compressed = fileName ? ReadLocalFormatFile(fileName, readBuffer) : -1;
  if (compressed < 0) {
    Trace("Couldn't Open Local PDF.BIN \n");
    compressed = ReadScannerFormatRecord(formatRecordType, readBuffer);
    if (compressed < 0) return 0;
  }
  MemStreamState stream;
  stream.source = readBuffer;
  stream.sourceRemaining = static_cast<uint32_t>(compressed);
  stream.destination = entries;
  stream.capacity = kFormatEntryBufferSize;
  if (Explode(MemRead, MemWrite, reinterpret_cast<char*>(workArea), &stream) != kExplodeOk) {
    Trace("Error exploding PDF file \n");
    return 0;
  }
  return static_cast<uint16_t>(stream.written / kFormatEntrySize);
}

void ComputeRecordLayout(uint16_t entryCount, uint16_t recordType) {
  typeAreaBytes = 0;
  BitIDOffset = 0;
  DataTypeOffset = 0;
  uint32_t offset = 0;
  uint32_t typed = 0;
  bool inTypedSection = false;
  LogPrintf("  #   XTG ID   Offset\n");
  const uint32_t count = FormatEntryBuffer ? entryCount : 0;
  for (uint32_t i = 0; i < count && i < kFormatEntryBufferSize / kFormatEntrySize; ++i) {
    const FormatEntry entry = FormatEntryAt(i);
    LogPrintf(" %4.4u  %4.4x     %4.4x \n", typed, entry.tag, offset);
    if (entry.conversion == 253) inTypedSection = true;
    if (entry.conversion == 254) {
      DataTypeOffset = offset;
      break;
    }
    if (entry.conversion != 253 && inTypedSection) ++typed;
    offset += entry.size;
  }
  BitIDOffset = (typed + 1) / 2;
  SweepOffset = kSweepOffset;
  const bool packed = std::memcmp(VersionInfo, "V04", 3) >= 0 &&
                      (recordType == COPPER_AUTOTEST_REC || recordType == COAX_AUTOTEST_REC);
  if (packed) {
    DataTypeOffset = 28;
    typeAreaBytes = (typed + 1) / 2;
    BitIDOffset = 0;
  }
  LogPrintf("DataType Offset = %#x, BitIDOffset = %#x (%#x) SweepOffset = %#x (%#x)\n\n", DataTypeOffset,
            BitIDOffset, DataTypeOffset + BitIDOffset, SweepOffset, DataTypeOffset + BitIDOffset + SweepOffset);
}

int16_t LoadInstrumentConfiguration(uint32_t* error, uint16_t recordType, uint16_t* progress) {
  *error = 0;
  for (const ConfigRecord& record : kConfigRecords) {
    Trace("%s", record.looking);
    if (!ReadConfigRecord(record)) {
      Trace("%s", record.failed);
      *error = KXERR_RECORD_NOT_FOUND;
      return 0;
    }
    Step(progress);
    if (record.buffer == UserPrefRecord) LanguageIndex = UserPrefRecord[kUserPrefLanguage];
    Trace("%s", record.got);
    if (CancelRequested) {
      *error = KXERR_CANCELED;
      return 0;
    }
  }
  Trace("Looking for PDF Files\n");
  const FormatSource& source = FormatSourceFor(recordType);
  char fileName[kDataFormatNameSize + 1] = {};
  if (source.fileNameOffset >= 0) {
    std::memcpy(fileName, DataFormatRecord + source.fileNameOffset, kDataFormatNameSize);
  } else {
    std::memcpy(fileName, kCoaxFormatFile, sizeof kCoaxFormatFile);
  }
  FormatEntryCount =
      LoadFormatRecord(fileName, FormatEntryBuffer, OutputBuffer, CompressionWorkArea, source.formatRecordType);
  if (FormatEntryCount == 0) {
    Trace("%s", source.missingLine);
    *error = KXERR_RECORD_NOT_FOUND;
    return 0;
  }
  Step(progress);
  ComputeRecordLayout(FormatEntryCount, recordType);
  return 1;
}

int16_t GetScannerID(uint32_t* error) {
  SetScannerModelName("");
  uint8_t value[10] = {};
  uint16_t length = sizeof value;
  const int16_t result = KXGetDataID(705, value, &length, error);
  if (result) SetScannerModelName(length != 0 && value[8] == 12 ? "VEXAScanner2" : "VEXAScanner");
  return result;
}
