#include "convert/autotest_state.h"

#include <cstring>

#include "convert/limits.h"
#include "convert/workspace.h"
#include "wire/byte_order.h"

WalkMode CurrentWalkMode = FixedMode;
uint32_t DataTypeOffset = 0;
uint32_t BitIDOffset = 0;
uint32_t SweepOffset = kSweepOffset;
uint32_t typeAreaBytes = 0;
char ScannerModelName[kScannerModelNameLength + 1] = {};
uint16_t FormatEntryCount = 0;

FormatEntry FormatEntryAt(uint32_t index) {
  const uint8_t* at = FormatEntryBuffer + index * kFormatEntrySize;
  return FormatEntry{GetU16(at), GetU16(at + 2), at[4], at[5], GetU16(at + 6)};
}

void SetScannerModelName(const char* name) {
  std::memset(ScannerModelName, 0, sizeof ScannerModelName);
  std::strncpy(ScannerModelName, name, kScannerModelNameLength);
}

void ResetAutotestState() {
  CurrentWalkMode = FixedMode;
  DataTypeOffset = 0;
  BitIDOffset = 0;
  SweepOffset = kSweepOffset;
  typeAreaBytes = 0;
  std::memset(ScannerModelName, 0, sizeof ScannerModelName);
  FormatEntryCount = 0;
  ClearLimitNames();
  LimitCount = 0;
}
