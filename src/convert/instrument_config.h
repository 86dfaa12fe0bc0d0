// The instrument's configuration for a save: its data-format, version and user-preference
// records, the format definition of the autotests being saved (which says, value by
// value, what a stored autotest holds), the record layout computed from it, and the
// copper model. A save from the instrument loads all of it before its first autotest.
//
// Record layout. The format entries fall into three sections: fixed values (entries
// before the first entry with conversion 253), typed values (between it and the first
// entry with conversion 254; n of them, each with a 4-bit type in a type area, two per
// byte, the first in the high nibble) and bit values (after the 254 entry; two bits each
// in a bit area, whose sweep data lies 28 bytes after its start). Two layouts:
//   classic (fiber; copper and coax below "V04"): fixed values, typed values, the type
//     area (ceil(n/2) bytes), bit area. DataTypeOffset = the sizes of all entries before
//     the 254 entry, BitIDOffset = ceil(n/2), typeAreaBytes = 0.
//   packed (copper and coax from "V04"): fixed values in the first 28 bytes, the type area
//     at 28, typed values (a BLANK one takes no bytes), bit area. DataTypeOffset = 28,
//     typeAreaBytes = ceil(n/2), BitIDOffset = 0.
#pragma once

#include <cstdint>

// Record types of the format definitions, by the autotests they describe.
constexpr uint16_t kCopperFormatRecord = 773;  // PDF_FORMAT_REC
constexpr uint16_t kFiberFormatRecord = 776;   // PDF_FIBER_FORMAT_REC
constexpr uint16_t kCoaxFormatRecord = 777;    // PDF_COAX_FORMAT_REC

// Loads the configuration for saving autotests of `recordType` (3841 copper, 3874 fiber,
// anything else coax): the DATA_FORMAT, VERSION_INFO and USER_UPREF_RECORD records (and
// LanguageIndex from the last), then the format definition (LoadFormatRecord: copper and
// fiber by the file names of the data-format record, coax as "kz0600.pdf"), then the
// layout (ComputeRecordLayout). *progress grows by one per record obtained. Traces each
// step. Returns 1, or 0 with *error:
//   - KXERR_RECORD_NOT_FOUND: a record could not be read, or no format definition was
//     found or it did not expand;
//   - KXERR_CANCELED: KXCancel was called (checked after each of the first three records).
// What was read before a failure stays.
int16_t LoadInstrumentConfiguration(uint32_t* error, uint16_t recordType, uint16_t* progress);

// Expands a format definition into `entries` (the format-entry buffer, 65,535 bytes): a
// readable and writable local file `fileName` (relative names in the current directory)
// wins, else record 0 of `formatRecordType` (773 copper, 776 fiber, anything else 777
// coax) is read from the instrument. Either is read into `readBuffer` (at least 65,535
// bytes) and exploded with `workArea`. Returns the number of 8-byte entries expanded (a
// remainder of fewer than 8 bytes is ignored), 0 when there was nothing to read or it did
// not explode.
uint16_t LoadFormatRecord(const char* fileName, uint8_t* entries, uint8_t* readBuffer, uint8_t* workArea,
                          uint16_t formatRecordType);

// Computes DataTypeOffset, BitIDOffset, SweepOffset and typeAreaBytes from the first
// `entryCount` entries of the format-entry buffer for autotests of `recordType`. With the
// conversion log on, logs each entry examined and the result.
void ComputeRecordLayout(uint16_t entryCount, uint16_t recordType);

// Asks the instrument for data ID 705 and sets ScannerModelName: "VEXAScanner2" when the
// value is not empty and its byte 8 is 12, else "VEXAScanner"; empty when the request
// failed. Returns KXGetDataID's result.
int16_t GetScannerID(uint32_t* error);
