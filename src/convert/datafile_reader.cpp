#include "convert/datafile_reader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "compress/dcl.h"
#include "convert/tx_table.h"
#include "platform/platform.h"

namespace {

uint32_t GetU16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// A header text up to its NUL (or the whole field), with unprintable bytes escaped so it
// can go into a message.
std::string FieldText(const char* field, size_t size) {
  return std::string(field, strnlen(field, size));
}
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c <= 0x7E && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02x", c);
    }
  }
  return out;
}

// Explode's callbacks over memory, with their state behind the user parameter.
struct ExpandState {
  const uint8_t* source;
  size_t remaining;
  std::vector<uint8_t>* out;
  bool overflow;
};

uint32_t ExpandRead(char* buffer, uint32_t* size, void* param) {
  auto* state = static_cast<ExpandState*>(param);
  const size_t n = *size < state->remaining ? *size : state->remaining;
  if (n == 0) return 0;
  std::memcpy(buffer, state->source, n);
  state->source += n;
  state->remaining -= n;
  return static_cast<uint32_t>(n);
}

void ExpandWrite(char* buffer, uint32_t* size, void* param) {
  auto* state = static_cast<ExpandState*>(param);
  size_t n = *size;
  const size_t room = kMaxDatRecordExpanded - state->out->size();
  if (n > room) {
    n = room;
    state->overflow = true;
  }
  state->out->insert(state->out->end(), reinterpret_cast<uint8_t*>(buffer), reinterpret_cast<uint8_t*>(buffer) + n);
}

const char* ExplodeProblem(uint32_t result) {
  switch (result) {
    case kExplodeBadDictSize: return "its dictionary size code is not 4, 5 or 6";
    case kExplodeBadLiteralMode: return "its literal mode is neither binary nor ASCII";
    case kExplodeShortInput: return "it is too short";
    case kExplodeAbort: return "it ends before its end marker or holds a repetition that does not decode";
    default: return "of an unknown error";
  }
}

bool Fail(DatRecord* record, std::string message) {
  record->error = std::move(message);
  record->items.clear();
  return false;
}

}  // namespace

bool OpenDatBytes(const uint8_t* bytes, size_t size, DatFileView* view, std::string* error) {
  *view = DatFileView{};
  view->bytes = bytes;
  view->size = size;
  if (size < kDatHeaderSize) {
    *error = Format("file is %zu bytes, shorter than the 44-byte header of a data file", size);
    return false;
  }
  if (size > kMaxDatFileSize) {
    *error = Format("file is %zu bytes, larger than any data file", size);
    return false;
  }
  DecodeDatFileHeader(bytes, &view->header);
  const DatFileHeader& h = view->header;
  view->creator = FieldText(h.creator, sizeof h.creator);
  view->version = FieldText(h.version, sizeof h.version);
  view->buildDate = FieldText(h.buildDate, sizeof h.buildDate);
  if (!DatHeaderAccepted(h)) {
    if (view->creator != kDatCreator && view->creator != kDatCreatorOld) {
      *error = "not a data file: creator \"" + Printable(view->creator) + "\" is neither KXLIB.DLL nor VXP27.DLL";
    } else {
      *error = "unsupported data file version \"" + Printable(view->version) + "\" (V02.00 expected)";
    }
    return false;
  }
  if (h.indexLength % kDatIndexEntrySize != 0) {
    *error = Format("index length %u is not a multiple of 8", h.indexLength);
    return false;
  }
  if (static_cast<uint64_t>(h.indexOffset) + h.indexLength > size) {
    *error = Format("index (offset %u, %u bytes) runs past the end of the file (%zu bytes)", h.indexOffset,
                    h.indexLength, size);
    return false;
  }
  if (static_cast<uint64_t>(h.trailerOffset) + h.trailerLength > size) {
    *error = Format("trailer (offset %u, %u bytes) runs past the end of the file (%zu bytes)", h.trailerOffset,
                    h.trailerLength, size);
    return false;
  }
  const uint32_t count = h.indexLength / kDatIndexEntrySize;
  view->index.reserve(count);
  for (uint32_t n = 0; n < count; ++n) {
    const uint8_t* p = bytes + h.indexOffset + n * kDatIndexEntrySize;
    view->index.push_back(DatIndexEntry{GetU32(p), GetU32(p + 4)});
  }
  return true;
}

bool DecodeDatRecord(const uint8_t* stored, size_t size, DatRecord* record) {
  record->error.clear();
  record->data.clear();
  record->items.clear();
  if (size == 0) return Fail(record, "record is empty (length 0): it was not written");
  // Explode wants at least 5 bytes in its first read; the shortest complete stream (two
  // header bytes and the 16-bit end marker, as an empty record is stored) has 4. A zero
  // byte after it changes nothing that is decoded.
  uint8_t padded[5] = {};
  const uint8_t* source = stored;
  if (size == 4) {
    std::memcpy(padded, stored, 4);
    source = padded;
    size = 5;
  } else if (size < 4) {
    return Fail(record, Format("record is too short to decode (%zu bytes)", size));
  }
  std::vector<char> workArea(kExplodeWorkAreaSize);
  ExpandState state{source, size, &record->data, false};
  const uint32_t result = Explode(ExpandRead, ExpandWrite, workArea.data(), &state);
  if (result != kExplodeOk) {
    return Fail(record, Format("record does not decode (result %u): %s", result, ExplodeProblem(result)));
  }
  if (state.overflow) return Fail(record, Format("record expands past %u bytes", kMaxDatRecordExpanded));

  const std::vector<uint8_t>& data = record->data;
  size_t at = 0;
  while (at < data.size()) {
    if (data.size() - at < kDataItemHeaderSize) {
      return Fail(record, Format("item at offset %zu: its 4-byte header runs past the end of the record (%zu bytes)",
                                 at, data.size()));
    }
    DatRecordItem item;
    item.tag = static_cast<uint16_t>(GetU16(&data[at]));
    item.length = static_cast<uint16_t>(GetU16(&data[at + 2]));
    if (item.length == 0 || item.length == 0xFFFF) {
      return Fail(record, Format("item at offset %zu (tag %u): invalid length %u", at, item.tag, item.length));
    }
    if (data.size() - at - kDataItemHeaderSize < item.length) {
      return Fail(record, Format("item at offset %zu (tag %u): length %u runs past the end of the record (%zu bytes)",
                                 at, item.tag, item.length, data.size()));
    }
    item.valueOffset = static_cast<uint32_t>(at + kDataItemHeaderSize);
    item.name = TagName(item.tag);
    record->items.push_back(item);
    at += kDataItemHeaderSize + item.length;
  }
  return true;
}

bool ReadDatRecord(const DatFileView& view, uint32_t n, DatRecord* record) {
  *record = DatRecord{};
  if (n >= view.index.size()) return Fail(record, Format("no record %u", n));
  const DatIndexEntry& entry = view.index[n];
  record->offset = entry.fileOffset;
  record->length = entry.length;
  if (static_cast<uint64_t>(entry.fileOffset) + entry.length > view.size) {
    return Fail(record, Format("record (offset %u, %u bytes) lies outside the file (%zu bytes)", entry.fileOffset,
                               entry.length, view.size));
  }
  return DecodeDatRecord(view.bytes + entry.fileOffset, entry.length, record);
}

namespace {

// The system's words for a file error, as the C library prints them.
const char* FileErrorText(uint32_t winError) {
  switch (winError) {
    case platform::kErrorFileNotFound: return "No such file or directory";
    case platform::kErrorAccessDenied: return "Permission denied";
    case platform::kErrorNotEnoughMemory: return "Cannot allocate memory";
    case platform::kErrorDiskFull: return "No space left on device";
    default: return "Input/output error";
  }
}

// Reads the open file to its end into *bytes; false with *error when a read fails or the
// file is larger than any data file.
bool ReadWholeFile(platform::FileHandle file, const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  uint8_t chunk[65536];
  for (;;) {
    size_t got = 0;
    uint32_t winError = 0;
    const bool read = platform::FileRead(file, chunk, sizeof chunk, &got, &winError);
    if (bytes->size() + got > kMaxDatFileSize) {
      *error = std::string(path) + " is larger than any data file";
      return false;
    }
    bytes->insert(bytes->end(), chunk, chunk + got);
    if (!read) {
      *error = std::string("cannot read ") + path;
      return false;
    }
    if (got < sizeof chunk) return true;  // the end of the file
  }
}

}  // namespace

bool LoadFileBytes(const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->clear();
  uint32_t winError = 0;
  const platform::FileHandle file = platform::FileOpen(path, platform::FileMode::kRead, &winError);
  if (file == platform::kNoFile) {
    *error = std::string("cannot open ") + path + ": " + FileErrorText(winError);
    return false;
  }
  const bool ok = ReadWholeFile(file, path, bytes, error);
  platform::FileClose(file);
  return ok;
}
