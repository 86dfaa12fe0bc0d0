#include "convert/limits.h"

#include <cstring>

#include "convert/datafile.h"
#include "convert/workspace.h"
#include "wire/byte_order.h"

char LimitNames[kLimitNameSlots][kLimitNameSize] = {};

void ClearLimitNames() { std::memset(LimitNames, 0, sizeof LimitNames); }

namespace {

constexpr int16_t kTerminatingPoint = -32767;

}  // namespace

uint32_t WriteLimitPointsFromRecord(const uint8_t* record, uint32_t length, uint16_t tag, uint32_t* error) {
  if (!record || length < kLimitPointsOffset + kLimitPointSize) return 0;
  uint32_t available = (length - kLimitPointsOffset) / kLimitPointSize;
  if (available > kMaxLimitPoints) available = kMaxLimitPoints;
  const uint8_t* points = record + kLimitPointsOffset;
  uint32_t count = 0;
  while (count < available) {
    const auto marker = static_cast<int16_t>(GetU16(points + count * kLimitPointSize + 4));
    ++count;
    if (marker == kTerminatingPoint) break;
  }
  return WriteDataItem(tag, static_cast<uint16_t>(count * kLimitPointSize), points, error);
}

uint32_t WriteLimitPoints(int32_t slot, uint16_t tag, uint32_t* error) {
  if (slot < 0 || static_cast<uint32_t>(slot) >= kLimitSlotCount || !LimitTable) return 0;
  const uint8_t* record = LimitTable + static_cast<uint32_t>(slot) * kLimitSlotSize + 2;
  return WriteLimitPointsFromRecord(record, kLimitRecordSize, tag, error);
}
