// The autotest data file: what a save writes and users keep. It reaches the disk only
// through the platform's files (platform/files.h).
//
// File layout (all numbers little-endian):
//   offset 0   DatFileHeader, 44 bytes
//   offset 44  the records, each the imploded form (binary literals, 4096-byte dictionary)
//              of a sequence of DataItems, with no length prefix or end marker of its own
//   ...        the record index: one DatIndexEntry (8 bytes) per record, in record order
//   ...        the trailer block: trailerLength bytes carried over unchanged, never read
// The index begins right after the last record and the trailer right after the index.
// indexLength is 16 bits wide, so a file holds at most 8191 records.
//
// DatFileHeader, 44 bytes:
//   0  char[10] creator       "KXLIB.DLL" (files made here); "VXP27.DLL" also accepted
//   10 char[10] version       "V02.00"
//   20 char[12] buildDate     "Jan 22 2003" in files made here; not compared
//   32 u32      trailerOffset
//   36 u16      trailerLength
//   38 u32      indexOffset
//   42 u16      indexLength   8 bytes per record
// Each text is NUL-terminated and the bytes after its NUL are zero.
//
// DatIndexEntry, 8 bytes: u32 fileOffset of the record's first byte, u32 length of the
// stored (imploded) record.
//
// DataItem (inside an uncompressed record): u16 tag (the XTG_ vocabulary), u16 length
// (1 to 65,534), then `length` value bytes: the value as text without a terminating NUL
// for almost every field, raw bytes for sweep data and limit curves. An empty value is one
// NUL byte with length 1. A tag may occur more than once.
#pragma once

#include <cstdint>

#include "platform/files.h"

constexpr uint32_t kDatHeaderSize = 44;
constexpr uint32_t kDatIndexEntrySize = 8;
constexpr uint32_t kDataItemHeaderSize = 4;
constexpr uint32_t kDatMaxRecords = 8191;             // 0xFFFF / 8
constexpr uint32_t kDatMaxStoredRecord = 65535;       // largest imploded record written
constexpr uint32_t kDataItemMaxLength = 65534;

constexpr char kDatCreator[] = "KXLIB.DLL";
constexpr char kDatCreatorOld[] = "VXP27.DLL";
constexpr char kDatVersion[] = "V02.00";
constexpr char kDatBuildDate[] = "Jan 22 2003";

struct DatFileHeader {
  char creator[10];
  char version[10];
  char buildDate[12];
  uint32_t trailerOffset;
  uint16_t trailerLength;
  uint32_t indexOffset;
  uint16_t indexLength;
};

struct DatIndexEntry {
  uint32_t fileOffset;
  uint32_t length;
};

struct DataItem {
  uint16_t tag;
  uint16_t length;
};

// The 44-byte file form of a header, and back.
void EncodeDatFileHeader(const DatFileHeader& header, uint8_t out[kDatHeaderSize]);
void DecodeDatFileHeader(const uint8_t in[kDatHeaderSize], DatFileHeader* header);
// True when the header names an accepted creator and version (exact comparisons of the
// NUL-terminated texts; a text without its NUL inside the field is not accepted).
bool DatHeaderAccepted(const DatFileHeader& header);
// The header of a new file: KXLIB.DLL, V02.00, Jan 22 2003, no trailer, empty index at 44.
void MakeNewDatFileHeader(DatFileHeader* header);

// Index entry `n` of the index buffer, and storing one.
DatIndexEntry GetDatIndexEntry(uint32_t n);
void SetDatIndexEntry(uint32_t n, const DatIndexEntry& entry);

// Opens the data file. With `append` (non-zero) and an existing file: opens it for update
// and reads its header; a missing file is created as without append. Without append:
// creates the file or truncates it to empty and makes a new header (nothing is written
// yet). Clears the append bookkeeping (DatWritePosition, DatRecordCount, the prepared
// file): nothing is appended to the new file before PrepareDatAppend accepts it.
// Returns 1 when the file is open and its header accepted, *file then its handle.
// Returns 0 with *file platform::kNoFile when the file cannot be opened (trace "Couldn't
// Open .DAT file\n") or its header names another creator or version (trace "Invalid data
// file" and a line break; the file is left unchanged and closed). Callers report
// KXERR_READ_ONLY_FILE.
int16_t OpenDatFile(const char* path, int16_t append, platform::FileHandle* file, DatFileHeader* header);

// Appends one DataItem to the record build buffer. *error is set to 0. A length of 0
// becomes the one-byte empty value (a NUL). Returns 4 + length (32 bits wide, so lengths
// up to 65,534 are reported without wrapping), or 0 when the item is refused:
//   - length 65,535: trace "Invalid Length in WriteDataItem\n";
//   - the item does not fit in the rest of the record build buffer: *error and LastError
//     KXERR_RECORD_TOO_LARGE, trace;
//   - no workspace: *error KXERR_BAD_MEMORY_HANDLE;
//   - a null value with a non-zero length: *error and LastError KXERR_INVALID_FUNCTION
//     (a caller's mistake), trace.
// Nothing is appended when the item is refused.
uint32_t WriteDataItem(uint16_t tag, uint16_t length, const void* value, uint32_t* error);

// Implodes the record build buffer into the output buffer (binary literals, 4096-byte
// dictionary). Returns the imploded length, or 0 when the record cannot be stored, with
// LastError KXERR_FILE_WRITE and its trace in each case and *error (when not null):
//   - KXERR_RECORD_TOO_LARGE: the imploded record is above 65,535 bytes;
//   - KXERR_FILE_WRITE: an implode error, output that did not fit the output buffer, or
//     no workspace.
uint32_t ImplodeRecord(uint32_t* error);

// Implodes the record build buffer and writes it at the file's current position as one
// block. Returns the stored length, or 0 when nothing was written: the record cannot be
// stored (see ImplodeRecord; nothing is written) or the write failed (trace
// "WriteATBuffer Failed \n").
uint32_t WriteATBuffer(platform::FileHandle file);

// The append procedure around a save's records. Its bookkeeping is process-global:
// DatWritePosition is where the next record goes, DatRecordCount the number of entries in
// the index buffer (the next free entry is DatRecordCount), DatPreparedFile the file
// that PrepareDatAppend accepted (platform::kNoFile while none is). The bookkeeping
// describes that file only: records go to it and it alone is finished with an index and
// header.
extern uint32_t DatWritePosition;
extern uint32_t DatRecordCount;
extern platform::FileHandle DatPreparedFile;

// After OpenDatFile: reads the index (indexLength bytes at indexOffset) into the index
// buffer and the trailer (trailerLength bytes at trailerOffset) into the trailer buffer,
// sets DatRecordCount to indexLength / 8 and DatWritePosition to indexOffset and seeks
// there: new records overwrite the old index and trailer, which are written again at the
// end, and makes `file` the prepared file. Returns 1, or 0 with the file left unchanged
// and no file prepared (appending is then refused and finishing only closes the file):
//   - KXERR_NOT_OPEN: no file (platform::kNoFile);
//   - KXERR_MAX_RECORDS: the file already holds 8191 records;
//   - KXERR_INVALID_DATA_FILE: the index or trailer lies outside the file, the index
//     length is not a multiple of 8, the index would overwrite the header, or a record
//     lies beyond the index (appending would overwrite it), or the file cannot be read;
//   - KXERR_NO_MEMORY: the workspace is not allocated.
int16_t PrepareDatAppend(platform::FileHandle file, const DatFileHeader& header, uint32_t* error);

// Writes the record in the record build buffer at DatWritePosition and adds its index
// entry. Returns the stored length, or 0:
//   - KXERR_NOT_OPEN: `file` is not the prepared file; nothing is written;
//   - KXERR_MAX_RECORDS: the index is full (8191 records); nothing is written;
//   - KXERR_RECORD_TOO_LARGE: the imploded record would exceed 65,535 bytes; nothing is
//     written and no entry is added;
//   - KXERR_FILE_WRITE without an entry: the record did not implode whole, or there is no
//     workspace (ImplodeRecord); nothing is written;
//   - KXERR_FILE_WRITE: the write failed; the entry is added with length 0 and the write
//     position stays, so the next record or the index overwrites what was written.
uint32_t AppendDatRecord(platform::FileHandle file, uint32_t* error);

// Finishes the file: writes the index (DatRecordCount entries) at DatWritePosition, then
// the trailer after it, then the header (indexOffset, indexLength, trailerOffset updated)
// at offset 0, and closes the file (*file becomes platform::kNoFile). With the log on, writes
// "Autotest Index = %6u Length = %4x  File Offset = %x \n" per index entry. Returns 1, or
// 0 with *error KXERR_FILE_WRITE when a write or the close failed.
// A save finishes the file also after a failure; a file that is not the prepared one
// (its append was refused) is only closed: nothing is written, the file stays byte for
// byte as it was, and the result is 1 (0 with KXERR_FILE_WRITE if the close failed). The
// refusal itself is reported by PrepareDatAppend.
int16_t FinishDatFile(platform::FileHandle* file, DatFileHeader* header, uint32_t* error);
