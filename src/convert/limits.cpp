#include "convert/limits.h"

#include <cstring>

#include "convert/datafile.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "session/runtime.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

char LimitNames[kLimitNameSlots][kLimitNameSize] = {};
uint32_t LimitCount = 0;

// clang-format off
const LimitFamily LimitFamilies[kLimitFamilyCount] = {
    // record type, trace name,  LimitNames slot, curve tag
    {3862, "NEXT",         0, 661},
    {3868, "PSNEXT",       5, 662},
    {3866, "Attenuation",  1, 660},
    {3863, "ACR",          2, 665},
    {3869, "PSACR",        7, 666},
    {3865, "RETLOSS",      4, 667},
    {3864, "ELFEXT",       3, 663},
    {3870, "PSELFEXT",     6, 664},
    {3867, "BLANK",       -1,   0},
};
// clang-format on

void ClearLimitNames() { std::memset(LimitNames, 0, sizeof LimitNames); }

namespace {

constexpr int16_t kTerminatingPoint = -32767;

// The order in which WriteLimits writes the named limits, by LimitNames slot: NEXT, ACR,
// ELFEXT, return loss, attenuation, PSNEXT, PSACR, PSELFEXT.
constexpr uint8_t kWriteOrder[] = {0, 2, 3, 4, 1, 5, 7, 6};

// Limit records are read with room for 320 bytes; a slot keeps the first 318.
constexpr uint16_t kLimitReadSize = 320;

uint8_t* SlotAt(uint32_t slot) { return LimitTable + slot * kLimitSlotSize; }

// Stores a record of `recordType` read into `record` (`length` bytes) in the next free
// slot; returns that slot.
uint32_t StoreLimit(uint16_t recordType, const uint8_t* record, uint16_t length) {
  uint8_t* slot = SlotAt(LimitCount);
  std::memset(slot, 0, kLimitSlotSize);
  PutU16(slot, recordType);
  std::memcpy(slot + 2, record, length < kLimitRecordSize ? length : kLimitRecordSize);
  return LimitCount++;
}

bool TableHasRoom() { return LimitTable && LimitCount < kLimitSlotCount; }

// Reads the records of one family into the table; returns false when the pass must end
// (a cancel, or a read error other than "not found", left in *error).
bool ReadLimitFamily(const LimitFamily& family, uint16_t* progress, uint32_t* error) {
  uint32_t got = 0;
  uint8_t record[kLimitReadSize];
  for (uint32_t number = 0; number <= 0xFFFF && TableHasRoom(); ++number) {
    uint16_t asked = static_cast<uint16_t>(number);
    uint16_t length = sizeof record;
    if (KXReadRecord(family.recordType, &asked, record, &length, error) != 1) {
      if (CancelRequested) return false;
      if (*error != 0 && *error != KXERR_RECORD_NOT_FOUND) return false;
      break;
    }
    StoreLimit(family.recordType, record, length);
    ++got;
    if (CancelRequested) return false;
    if (asked > number) number = asked;  // past a gap: the next read asks after the one delivered
  }
  Trace("   Got %u %s Limits \n", got, family.traceName);
  if (progress) ++*progress;
  PumpMessages();
  return true;
}

// The first slot in 0 .. LimitCount - 1 of `recordType` named `name`; the search ends at a
// record of that type whose name is empty.
int32_t SearchTable(uint16_t recordType, const char* name) {
  const size_t nameLength = std::strlen(name);
  for (uint32_t slot = 0; slot < LimitCount; ++slot) {
    const uint8_t* at = SlotAt(slot);
    if (GetU16(at) != recordType) continue;
    const char* slotName = reinterpret_cast<const char*>(at + 2);
    const size_t slotNameLength = strnlen(slotName, kLimitPointsOffset);
    if (slotNameLength == nameLength && std::memcmp(slotName, name, nameLength) == 0) {
      return static_cast<int32_t>(slot);
    }
    if (slotNameLength == 0) break;
  }
  return kNoLimitSlot;
}

// The limit named `name` read by its key from the instrument into the table.
int32_t FetchLimit(uint16_t recordType, const char* name) {
  if (SendOnlyMode || !TableHasRoom()) return kNoLimitSlot;
  uint8_t record[kLimitReadSize];
  uint16_t number = 0;
  uint16_t length = sizeof record;
  uint32_t error = 0;
  const auto keyLength = static_cast<uint16_t>(std::strlen(name) + 1);
  if (KXReadRecordWithKey(recordType, &number, record, &length, &error, name, keyLength, 0) != 1) {
    return kNoLimitSlot;
  }
  return static_cast<int32_t>(StoreLimit(recordType, record, length));
}

const LimitFamily* FamilyOfSlot(uint8_t nameSlot) {
  for (const LimitFamily& family : LimitFamilies) {
    if (family.nameSlot == nameSlot) return &family;
  }
  return nullptr;
}

}  // namespace

void GetLimitRecords(uint16_t* progress, uint32_t* error) {
  LimitCount = 0;
  *error = 0;
  for (const LimitFamily& family : LimitFamilies) {
    if (!ReadLimitFamily(family, progress, error)) return;
  }
  Trace(" Got %u Limits \n", LimitCount);
  *error = 0;
}

int32_t FindLimit(uint16_t recordType, const char* name) {
  if (!LimitTable || !name) return kNoLimitSlot;
  int32_t slot = SearchTable(recordType, name);
  if (slot == kNoLimitSlot) slot = SearchTable(kBlankLimitRecord, name);
  if (slot == kNoLimitSlot) slot = FetchLimit(recordType, name);
  if (slot == kNoLimitSlot) Trace("Error - Couldn't find Limit %s\n", name);
  return slot;
}

int32_t WriteLimits() {
  int32_t total = 0;
  for (const uint8_t nameSlot : kWriteOrder) {
    const char* name = LimitNames[nameSlot];
    if (name[0] == '\0') continue;
    const LimitFamily* family = FamilyOfSlot(nameSlot);
    uint32_t error = 0;
    const uint32_t n = WriteLimitPoints(FindLimit(family->recordType, name), family->curveTag, &error);
    if (n == 0) return -total;
    total += static_cast<int32_t>(n);
  }
  return total;
}

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
