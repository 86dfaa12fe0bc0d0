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

// Limit families, in the order GetLimitRecords reads them: the record type, the name its
// trace uses, the LimitNames slot its limit-name value fills and the tag of its curve.
// BLANK records (3867) are a shared pool that FindLimit searches when a family lacks a
// name; no autotest names a BLANK limit.
struct LimitFamily {
  uint16_t recordType;
  const char* traceName;
  int8_t nameSlot;  // -1: none
  uint16_t curveTag;
};
constexpr uint32_t kLimitFamilyCount = 9;
extern const LimitFamily LimitFamilies[kLimitFamilyCount];
constexpr uint16_t kBlankLimitRecord = 3867;

// Number of table slots in use (at most 409), filled from slot 0 in reading order.
extern uint32_t LimitCount;

// Fills the limit table from scratch with every limit record of the instrument, family by
// family, each from record 0 until the instrument has no more; traces the count of each
// family and the total. *progress grows by one per family. *error is 0 after a complete
// pass; a read that fails with anything but KXERR_RECORD_NOT_FOUND ends the pass with that
// error, and a cancel (KXERR_CANCELED) ends it at once; the table keeps what was read.
// A full table reads no more records. A record longer than a slot's 318 bytes keeps its
// first 318.
void GetLimitRecords(uint16_t* progress, uint32_t* error);

// The slot of the limit named `name` (exact, case-sensitive): first among the table's
// records of `recordType`, then among its BLANK records (each search ends at a record
// with an empty name); else, unless SendOnlyMode is set and while the table has room,
// the record of `recordType` with that name (the key, NUL included) is read from the
// instrument and stored in the next free slot, where later searches find it. Returns
// kNoLimitSlot after tracing "Error - Couldn't find Limit <name>\n" when none is found.
int32_t FindLimit(uint16_t recordType, const char* name);

// Writes the curves of the limits named in LimitNames, in the order NEXT, ACR, ELFEXT,
// return loss, attenuation, PSNEXT, PSACR, PSELFEXT, each under its family's curve tag.
// Returns the total of bytes appended, or, as soon as a named limit is not found or its
// curve is refused, the total so far negated (0 when it was the first).
int32_t WriteLimits();
