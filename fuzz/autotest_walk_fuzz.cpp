// Fuzz target for the autotest walk: random format entries laid out by ComputeRecordLayout
// for a random version and autotest type, walked over random record bytes. The walk may
// read nothing outside the record (it lies on the heap, exactly its length), must report
// a failure with an error code, and must keep the record build buffer within bounds.
//
// Input: 2 bytes of settings (bit 0 of the first: a version from "V04"; bits 1-2: the
// autotest type; bit 3: the conversion log on; the second: the number of entries, 1-64),
// then 8 bytes per entry (tag, size, scale, conversion, precision; the size is taken
// modulo 48 and the conversion picks one of the known codes, the section switches and one
// code without a rule), then the record.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "conversion_setup.h"
#include "convert/autotest_walk.h"
#include "convert/config_state.h"
#include "convert/instrument_config.h"
#include "session/state.h"

namespace {
constexpr uint8_t kCodes[] = {0,   1,   2,   3,   4,   5,   6,   50,  100, 102, 104, 105, 106, 107, 108, 109, 110, 111,
                              112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 253, 254, 200};
constexpr uint16_t kTypes[] = {3841, 3874, 3877, 3841};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareConversionOnce();
  const size_t count = size < 2 ? 0 : std::min<size_t>(data[1] % 64 + 1, (size - 2) / kFormatEntrySize);
  if (count == 0) return 0;
  std::memcpy(VersionInfo, data[0] & 1 ? "V06.11" : "V03.50", 7);
  DebugLevel = data[0] & 8 ? DBG_LOGFILE : 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t* entry = FormatEntryBuffer + i * kFormatEntrySize;
    std::memcpy(entry, data + 2 + i * kFormatEntrySize, kFormatEntrySize);
    entry[2] %= 48;
    entry[3] = 0;
    entry[5] = kCodes[entry[5] % sizeof kCodes];
  }
  ComputeRecordLayout(FormatEntryCount = static_cast<uint16_t>(count), kTypes[(data[0] >> 1) & 3]);
  const std::vector<uint8_t> record(data + 2 + count * kFormatEntrySize, data + size);
  SetScannerModelName("VEXAScanner");
  RecordBuildLength = 0;
  ConversionContext context;
  uint32_t error = 0;
  if (!WalkATRecord(record.data(), static_cast<uint32_t>(record.size()), &context, &error) && error == 0) std::abort();
  if (RecordBuildLength > kRecordBuildBufferSize) std::abort();
  return 0;
}
