// Reading data files back: a decoder over the bytes of a whole data file (no I/O of its
// own, so tests and fuzz targets link it directly) and a thin loader that reads a file
// into memory. Every length, offset and count in the file is checked before use; a problem
// becomes an error text, never a read outside the bytes.
//
// The file is accepted when its header names "KXLIB.DLL" or "VXP27.DLL" and "V02.00", and
// its index and trailer lie inside the file. Records are decoded one at a time: a record
// that does not decode carries its own error and the others stay readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/datafile.h"

// The largest file that a header can describe: header, 8191 records of 65,535 bytes, the
// index and a trailer.
constexpr uint64_t kMaxDatFileSize = 44ull + 8191ull * 65535ull + 65535ull + 65535ull;
// A record expands to at most the record build buffer of the writer.
constexpr uint32_t kMaxDatRecordExpanded = 262140;

struct DatFileView {
  const uint8_t* bytes = nullptr;  // the whole file (not owned)
  size_t size = 0;
  DatFileHeader header{};
  std::string creator;    // the header texts, up to their NUL
  std::string version;
  std::string buildDate;
  std::vector<DatIndexEntry> index;
};

struct DatRecordItem {
  uint16_t tag = 0;
  uint16_t length = 0;
  uint32_t valueOffset = 0;      // where the value starts in DatRecord::data
  const char* name = nullptr;    // the tag's name from the translation table, or null
};

struct DatRecord {
  uint32_t offset = 0;           // from the index entry
  uint32_t length = 0;
  std::string error;             // empty when the record decoded
  std::vector<uint8_t> data;     // the expanded record
  std::vector<DatRecordItem> items;

  const uint8_t* Value(const DatRecordItem& item) const { return data.data() + item.valueOffset; }
  std::string Text(const DatRecordItem& item) const {
    return std::string(reinterpret_cast<const char*>(Value(item)), item.length);
  }
};

// Checks the header and reads the index. Returns true, or false with *error naming the
// problem (a truncated file, another creator or version, an index or trailer outside the
// file, an index length that is not a multiple of 8).
bool OpenDatBytes(const uint8_t* bytes, size_t size, DatFileView* view, std::string* error);

// Expands one stored record and splits it into items. Returns true, or false with
// record->error set (the record lies outside the file, is empty or too short, does not
// expand, expands past 262,140 bytes, or an item runs past its end) and no items.
// The 4-byte stream of an empty record ("00 06 01 FF") reads as a record without items.
bool DecodeDatRecord(const uint8_t* stored, size_t size, DatRecord* record);
// The same for record n of an opened file (its bytes located by the index).
bool ReadDatRecord(const DatFileView& view, uint32_t n, DatRecord* record);

// Reads a whole file into *bytes through the platform's files. Returns false with *error
// when it cannot be read or is larger than any data file can be.
bool LoadFileBytes(const char* path, std::vector<uint8_t>* bytes, std::string* error);
