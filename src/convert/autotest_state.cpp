#include "convert/autotest_state.h"

#include <cstring>

#include "convert/limits.h"

WalkMode CurrentWalkMode = FixedMode;
uint32_t DataTypeOffset = 0;
uint32_t BitIDOffset = 0;
uint32_t SweepOffset = kSweepOffset;
uint32_t typeAreaBytes = 0;
char ScannerModelName[kScannerModelNameLength + 1] = {};

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
  ClearLimitNames();
}
