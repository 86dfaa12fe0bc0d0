// Limit records: the test-limit curves an autotest was judged against, written with the
// autotest so that the PC application can draw them, and the limit names the converter
// collects from the autotest being converted.
//
// Limit record (as the instrument sends it, 318 bytes):
//   0   char[18]        the limit's name, NUL-terminated
//   18  6 x up to 50    limit points; only the i16 at offset 4 of a point is read: -32767
//                       (0x8001) marks the terminating point
// Limit table: the limit buffer of the workspace cut into 320-byte slots, each a u16
// record type followed by one limit record.
#pragma once

#include <cstdint>

// LimitNames: one name per limit family, slot = limit-name tag - 618:
// 0 NEXT, 1 attenuation, 2 ACR, 3 ELFEXT, 4 return loss, 5 PSNEXT, 6 PSELFEXT, 7 PSACR.
// An empty name means the autotest has no limit of that family.
constexpr uint32_t kLimitNameSlots = 8;
constexpr uint32_t kLimitNameSize = 32;  // 31 characters and the NUL
constexpr uint16_t kFirstLimitNameTag = 618;
extern char LimitNames[kLimitNameSlots][kLimitNameSize];
void ClearLimitNames();

constexpr uint32_t kLimitRecordSize = 318;
constexpr uint32_t kLimitSlotSize = 320;
constexpr uint32_t kLimitSlotCount = 409;  // 131,070 / 320
constexpr uint32_t kLimitPointsOffset = 18;
constexpr uint32_t kLimitPointSize = 6;
constexpr uint32_t kMaxLimitPoints = 50;
constexpr int32_t kNoLimitSlot = -1;

// Writes the points of the limit record in table slot `slot` as one item under `tag`:
// the points up to and including the terminating point. Returns WriteDataItem's result,
// or 0 when slot is kNoLimitSlot (or outside the table), there is no workspace, or the
// write was refused.
uint32_t WriteLimitPoints(int32_t slot, uint16_t tag, uint32_t* error);

// The same for a limit record lying anywhere in memory, of which `length` bytes may be
// read. At most 50 points are written, and only points that lie whole within `length`:
// a record without a terminating point among them is written with the points it has,
// and a record too short for one point writes nothing and returns 0 (*error untouched).
uint32_t WriteLimitPointsFromRecord(const uint8_t* record, uint32_t length, uint16_t tag, uint32_t* error);
