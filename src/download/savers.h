// Downloading stored autotests into an autotest data file: counting them, saving all of
// one type (optionally those matching search keys) and saving one by its record number.
// The exports (exports/savers.cpp) are thin forms of these.
#pragma once

#include <cstdint>

// Record types of the stored autotests.
constexpr uint16_t kCopperAutotests = 3841;
constexpr uint16_t kFiberAutotests = 3874;
constexpr uint16_t kCoaxAutotests = 3877;

// Search keys: at most 16 values, ended by -1; each makes one download pass whose record
// requests carry the value's low byte as a 1-byte key.
constexpr int16_t kEndOfKeys = -1;
constexpr uint32_t kMaxSearchKeys = 16;

// The number of stored autotests of `recordType` (matching the low byte of `key` when
// `key` >= 0): the instrument answers a request for record 0xFFFF with "no such record"
// and the count in its record number. Returns 1 with *count, or 0 with *count 0 and the
// read's error.
int16_t CountAutotests(uint16_t recordType, uint16_t* count, int16_t key, uint32_t* error);

// Downloads every stored autotest of `recordType` (one pass per search key of `keys`, or
// one without key when `keys` is null) into the data file `path`, replacing it or, with
// `append`, adding to it. *progress grows as the work advances. Returns 1 when every pass
// completed or the download was cancelled (KXERR_CANCELED), else 0 with the error. The
// file is finished with the autotests converted so far whenever it was opened.
int16_t SaveAutotests(uint16_t recordType, const int16_t* keys, uint16_t* progress, const char* path,
                      int16_t append, uint32_t* error);

// Downloads stored autotest `number` of `recordType` with one plain exchange and adds it
// to the data file `path`. Returns 1 when it was added.
int16_t SaveOneAutotest(uint16_t recordType, uint16_t number, const char* path, int16_t append, uint32_t* error);
