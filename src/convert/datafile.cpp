#include "convert/datafile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "compress/dcl.h"
#include "convert/conversion_log.h"
#include "convert/memstream.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "session/state.h"
#include "session/trace.h"

uint32_t DatWritePosition = 0;
uint32_t DatRecordCount = 0;
FILE* DatPreparedFile = nullptr;

namespace {

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Exact comparison of a NUL-terminated text in a fixed-size field.
bool FieldEquals(const char* field, size_t fieldSize, const char* text) {
  const void* nul = std::memchr(field, 0, fieldSize);
  return nul != nullptr && std::strcmp(field, text) == 0;
}

void SetField(char* field, size_t fieldSize, const char* text) {
  std::memset(field, 0, fieldSize);
  std::memcpy(field, text, std::min(std::strlen(text), fieldSize - 1));
}

// Size of the open stream in bytes, or -1.
long StreamSize(FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  return std::ftell(file);
}

bool ReadAt(FILE* file, uint32_t offset, uint8_t* buffer, uint32_t length) {
  if (length == 0) return true;
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, length, file) == length;
}

bool WriteAt(FILE* file, uint32_t offset, const uint8_t* buffer, uint32_t length) {
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return length == 0 || std::fwrite(buffer, 1, length, file) == length;
}

void SetError(uint32_t* error, uint32_t code) {
  if (error) *error = code;
}

}  // namespace

void EncodeDatFileHeader(const DatFileHeader& header, uint8_t out[kDatHeaderSize]) {
  std::memcpy(out + 0, header.creator, 10);
  std::memcpy(out + 10, header.version, 10);
  std::memcpy(out + 20, header.buildDate, 12);
  PutU32(out + 32, header.trailerOffset);
  PutU16(out + 36, header.trailerLength);
  PutU32(out + 38, header.indexOffset);
  PutU16(out + 42, header.indexLength);
}

void DecodeDatFileHeader(const uint8_t in[kDatHeaderSize], DatFileHeader* header) {
  std::memcpy(header->creator, in + 0, 10);
  std::memcpy(header->version, in + 10, 10);
  std::memcpy(header->buildDate, in + 20, 12);
  header->trailerOffset = GetU32(in + 32);
  header->trailerLength = GetU16(in + 36);
  header->indexOffset = GetU32(in + 38);
  header->indexLength = GetU16(in + 42);
}

bool DatHeaderAccepted(const DatFileHeader& header) {
  const bool creator = FieldEquals(header.creator, sizeof header.creator, kDatCreator) ||
                       FieldEquals(header.creator, sizeof header.creator, kDatCreatorOld);
  return creator && FieldEquals(header.version, sizeof header.version, kDatVersion);
}

void MakeNewDatFileHeader(DatFileHeader* header) {
  std::memset(header, 0, sizeof *header);
  SetField(header->creator, sizeof header->creator, kDatCreator);
  SetField(header->version, sizeof header->version, kDatVersion);
  SetField(header->buildDate, sizeof header->buildDate, kDatBuildDate);
  header->trailerOffset = 0;
  header->trailerLength = 0;
  header->indexOffset = kDatHeaderSize;
  header->indexLength = 0;
}

DatIndexEntry GetDatIndexEntry(uint32_t n) {
  const uint8_t* p = IndexBuffer + n * kDatIndexEntrySize;
  return DatIndexEntry{GetU32(p), GetU32(p + 4)};
}

void SetDatIndexEntry(uint32_t n, const DatIndexEntry& entry) {
  uint8_t* p = IndexBuffer + n * kDatIndexEntrySize;
  PutU32(p, entry.fileOffset);
  PutU32(p + 4, entry.length);
}

int16_t OpenDatFile(const char* path, int16_t append, FILE** file, DatFileHeader* header) {
  std::memset(header, 0, sizeof *header);
  *file = nullptr;
  // Nothing of an earlier file's bookkeeping carries over: until PrepareDatAppend accepts
  // the new stream, no record is appended and finishing writes nothing.
  DatWritePosition = 0;
  DatRecordCount = 0;
  DatPreparedFile = nullptr;
  FILE* stream = nullptr;
  if (append) {
    errno = 0;
    stream = std::fopen(path, "r+b");
    if (!stream && errno == ENOENT) append = 0;  // a missing file is created
  }
  if (!append) stream = std::fopen(path, "w+b");
  if (!stream) {
    Trace("Couldn't Open .DAT file\n");
    return 0;
  }
  if (append) {
    uint8_t raw[kDatHeaderSize] = {};
    if (std::fread(raw, 1, sizeof raw, stream) == sizeof raw) DecodeDatFileHeader(raw, header);
  } else {
    MakeNewDatFileHeader(header);
  }
  if (!DatHeaderAccepted(*header)) {
    Trace("%s\n", pxErrorMsg(KXERR_INVALID_DATA_FILE));
    std::fclose(stream);
    return 0;
  }
  *file = stream;
  return 1;
}

uint32_t WriteDataItem(uint16_t tag, uint16_t length, const void* value, uint32_t* error) {
  *error = 0;
  static const uint8_t kEmptyValue = 0;
  if (length == 0) {
    length = 1;
    value = &kEmptyValue;
  }
  if (length == 0xFFFF) {
    Trace("Invalid Length in WriteDataItem\n");
    return 0;
  }
  // Value bytes promised but none given: a caller's mistake, reported as an invalid call
  // (KXERR_INVALID_FUNCTION) rather than a silent refusal.
  if (!value) {
    *error = KXERR_INVALID_FUNCTION;
    LastError = KXERR_INVALID_FUNCTION;
    TraceError(KXERR_INVALID_FUNCTION, "WriteDataItem: item %u has no value for %u bytes: ", tag, length);
    return 0;
  }
  if (!RecordBuildBuffer) {
    *error = KXERR_BAD_MEMORY_HANDLE;
    return 0;
  }
  const uint32_t size = kDataItemHeaderSize + length;
  if (RecordBuildLength > kRecordBuildBufferSize || size > kRecordBuildBufferSize - RecordBuildLength) {
    *error = KXERR_RECORD_TOO_LARGE;
    LastError = KXERR_RECORD_TOO_LARGE;
    TraceError(KXERR_RECORD_TOO_LARGE, "WriteDataItem: item %u of %u bytes does not fit: ", tag, size);
    return 0;
  }
  uint8_t* p = RecordBuildBuffer + RecordBuildLength;
  PutU16(p, tag);
  PutU16(p + 2, length);
  std::memcpy(p + kDataItemHeaderSize, value, length);
  RecordBuildLength += size;
  return size;
}

uint32_t ImplodeRecord(uint32_t* error) {
  SetError(error, 0);
  if (!RecordBuildBuffer || !OutputBuffer || !CompressionWorkArea) {
    SetError(error, KXERR_FILE_WRITE);
    LastError = KXERR_FILE_WRITE;
    TraceError(KXERR_FILE_WRITE, "%s", "");
    return 0;
  }
  MemStream.source = RecordBuildBuffer;
  MemStream.sourceRemaining = RecordBuildLength;
  MemStream.destination = OutputBuffer;
  MemStream.written = 0;
  MemStream.capacity = kOutputBufferSize;
  MemStream.truncated = 0;
  uint32_t literalMode = kDclBinary;
  uint32_t dictSize = 4096;
  const uint32_t result = Implode(MemRead, MemWrite, reinterpret_cast<char*>(CompressionWorkArea),
                                  nullptr, &literalMode, &dictSize);
  // A record that did not implode whole, or that is too long for the index's idea of a
  // record, is not stored: a file holds only records that read back. Both are logged as
  // a write error; the caller hears which one it was.
  const bool whole = result == kImplodeOk && !MemStream.truncated;
  if (!whole || MemStream.written > kDatMaxStoredRecord) {
    SetError(error, whole ? KXERR_RECORD_TOO_LARGE : KXERR_FILE_WRITE);
    LastError = KXERR_FILE_WRITE;
    TraceError(KXERR_FILE_WRITE, "%s", "");
    return 0;
  }
  return MemStream.written;
}

uint32_t WriteATBuffer(FILE* file) {
  const uint32_t length = ImplodeRecord(nullptr);
  if (length == 0) return 0;
  if (std::fwrite(OutputBuffer, 1, length, file) != length) {
    Trace("WriteATBuffer Failed \n");
    return 0;
  }
  return length;
}

int16_t PrepareDatAppend(FILE* file, const DatFileHeader& header, uint32_t* error) {
  SetError(error, 0);
  DatPreparedFile = nullptr;
  if (!file) {
    SetError(error, KXERR_NOT_OPEN);
    return 0;
  }
  if (!IndexBuffer || !TrailerBuffer) {
    SetError(error, KXERR_NO_MEMORY);
    return 0;
  }
  const uint32_t count = header.indexLength / kDatIndexEntrySize;
  if (count >= kDatMaxRecords) {
    SetError(error, KXERR_MAX_RECORDS);
    return 0;
  }
  const long size = StreamSize(file);
  if (size < 0) {
    SetError(error, KXERR_INVALID_DATA_FILE);
    return 0;
  }
  const uint64_t fileSize = static_cast<uint64_t>(size);
  const uint64_t indexEnd = static_cast<uint64_t>(header.indexOffset) + header.indexLength;
  const uint64_t trailerEnd = static_cast<uint64_t>(header.trailerOffset) + header.trailerLength;
  const uint64_t writeLimit = fileSize > kDatHeaderSize ? fileSize : kDatHeaderSize;
  if (header.indexLength % kDatIndexEntrySize != 0 || header.indexOffset < kDatHeaderSize ||
      indexEnd > writeLimit || (header.indexLength > 0 && indexEnd > fileSize) ||
      (header.trailerLength > 0 && trailerEnd > fileSize)) {
    SetError(error, KXERR_INVALID_DATA_FILE);
    return 0;
  }
  if (!ReadAt(file, header.indexOffset, IndexBuffer, header.indexLength) ||
      !ReadAt(file, header.trailerOffset, TrailerBuffer, header.trailerLength)) {
    SetError(error, KXERR_INVALID_DATA_FILE);
    return 0;
  }
  for (uint32_t n = 0; n < count; ++n) {
    const DatIndexEntry entry = GetDatIndexEntry(n);
    if (static_cast<uint64_t>(entry.fileOffset) + entry.length > header.indexOffset) {
      SetError(error, KXERR_INVALID_DATA_FILE);
      return 0;
    }
  }
  if (std::fseek(file, static_cast<long>(header.indexOffset), SEEK_SET) != 0) {
    SetError(error, KXERR_INVALID_DATA_FILE);
    return 0;
  }
  DatRecordCount = count;
  DatWritePosition = header.indexOffset;
  DatPreparedFile = file;
  return 1;
}

uint32_t AppendDatRecord(FILE* file, uint32_t* error) {
  SetError(error, 0);
  if (!file || file != DatPreparedFile) {
    SetError(error, KXERR_NOT_OPEN);
    return 0;
  }
  if (DatRecordCount >= kDatMaxRecords) {
    SetError(error, KXERR_MAX_RECORDS);
    Trace("%s\n", pxErrorMsg(KXERR_MAX_RECORDS));
    return 0;
  }
  uint32_t implodeError = 0;
  const uint32_t length = ImplodeRecord(&implodeError);
  if (length == 0) {
    SetError(error, implodeError);
    return 0;
  }
  bool written = std::fseek(file, static_cast<long>(DatWritePosition), SEEK_SET) == 0 &&
                 std::fwrite(OutputBuffer, 1, length, file) == length;
  if (!written) Trace("WriteATBuffer Failed \n");
  SetDatIndexEntry(DatRecordCount, DatIndexEntry{DatWritePosition, written ? length : 0});
  ++DatRecordCount;
  if (!written) {
    std::clearerr(file);
    SetError(error, KXERR_FILE_WRITE);
    return 0;
  }
  DatWritePosition += length;
  return length;
}

int16_t FinishDatFile(FILE** file, DatFileHeader* header, uint32_t* error) {
  SetError(error, 0);
  if (!*file) return 0;
  FILE* stream = *file;
  *file = nullptr;
  const bool prepared = stream == DatPreparedFile;
  DatPreparedFile = nullptr;
  if (!prepared) {
    // The append was refused (or never prepared): the bookkeeping does not describe this
    // file, so nothing is written and the file stays as it was.
    if (std::fclose(stream) != 0) {
      SetError(error, KXERR_FILE_WRITE);
      return 0;
    }
    return 1;
  }
  const uint32_t indexLength = DatRecordCount * kDatIndexEntrySize;
  bool ok = IndexBuffer && TrailerBuffer &&
            WriteAt(stream, DatWritePosition, IndexBuffer, indexLength);
  header->indexOffset = DatWritePosition;
  header->indexLength = static_cast<uint16_t>(indexLength);
  for (uint32_t n = 0; n < DatRecordCount && IndexBuffer; ++n) {
    const DatIndexEntry entry = GetDatIndexEntry(n);
    LogPrintf("Autotest Index = %6u Length = %4x  File Offset = %x \n", n, entry.length, entry.fileOffset);
  }
  const uint32_t trailerOffset = DatWritePosition + indexLength;
  ok = ok && WriteAt(stream, trailerOffset, TrailerBuffer, header->trailerLength);
  header->trailerOffset = trailerOffset;
  uint8_t raw[kDatHeaderSize];
  EncodeDatFileHeader(*header, raw);
  ok = ok && WriteAt(stream, 0, raw, kDatHeaderSize);
  if (std::fclose(stream) != 0) ok = false;
  if (!ok) {
    SetError(error, KXERR_FILE_WRITE);
    LastError = KXERR_FILE_WRITE;
    TraceError(KXERR_FILE_WRITE, "%s", "");
    return 0;
  }
  return 1;
}
