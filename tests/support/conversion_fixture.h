// Test support for the conversion and data-file tests: a fresh workspace in a private
// working folder (so KXLIB.LOG lands there), files read and written whole, records and
// data files laid out by hand, and records read back with the library's own reader.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compress/dcl.h"
#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "convert/datafile_reader.h"
#include "convert/memstream.h"
#include "convert/workspace.h"
#include "tests/support/library_fixture.h"

namespace testsupport {

using Bytes = std::vector<uint8_t>;

inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline void PutLE(Bytes& b, size_t at, uint32_t v, int width) {
  for (int i = 0; i < width; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Item {
  uint16_t tag;
  Bytes value;
  bool operator==(const Item&) const = default;
};
using Record = std::vector<Item>;

// A record's items as they lie in it: tag and length (two bytes each), the value.
inline Bytes RecordBytes(const Record& record) {
  Bytes out;
  for (const Item& item : record) {
    out.insert(out.end(), 4, 0);
    PutLE(out, out.size() - 4, item.tag, 2);
    PutLE(out, out.size() - 2, static_cast<uint32_t>(item.value.size()), 2);
    out.insert(out.end(), item.value.begin(), item.value.end());
  }
  return out;
}

// A data file laid out by hand: header (creator, version, date), the stored records from
// offset 44, the index, the trailer.
inline Bytes DataFileBytes(const std::vector<Bytes>& stored, const Bytes& trailer = {},
                           const char* creator = "KXLIB.DLL", const char* version = "V02.00",
                           const char* date = "Jan 22 2003") {
  Bytes file(44, 0), index;
  std::memcpy(&file[0], creator, std::min<size_t>(std::strlen(creator), 10));
  std::memcpy(&file[10], version, std::min<size_t>(std::strlen(version), 10));
  std::memcpy(&file[20], date, std::min<size_t>(std::strlen(date), 12));
  for (const Bytes& record : stored) {
    index.resize(index.size() + 8);
    PutLE(index, index.size() - 8, static_cast<uint32_t>(file.size()), 4);
    PutLE(index, index.size() - 4, static_cast<uint32_t>(record.size()), 4);
    file.insert(file.end(), record.begin(), record.end());
  }
  PutLE(file, 38, static_cast<uint32_t>(file.size()), 4);
  PutLE(file, 42, static_cast<uint32_t>(index.size()), 2);
  file.insert(file.end(), index.begin(), index.end());
  PutLE(file, 32, static_cast<uint32_t>(file.size()), 4);
  PutLE(file, 36, static_cast<uint32_t>(trailer.size()), 2);
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}

// The empty record as implode stores it: binary, 4096-byte dictionary, end marker.
inline const Bytes kEmptyRecord = {0x00, 0x06, 0x01, 0xFF};
// A record that does not decode, as ReadBack gives it (no item reads back with length 0).
inline const Record kUnreadable = {{0xFFFF, {}}};

// Items (of any type with a tag and a value) as "tag=value" lines, so that a difference
// shows where it lies.
template <typename ItemList>
std::string Shown(const ItemList& items) {
  std::string text;
  for (const auto& item : items) {
    text += std::to_string(item.tag) + "=";
    for (uint8_t b : item.value) text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
    text += "\n";
  }
  return text;
}

class ConversionTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ResetConvertState();
    char pattern[] = "/tmp/kxlib-convert-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    oldDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    ASSERT_EQ(AllocConversionBuffers(), 1);
  }
  void TearDown() override {
    ResetConvertState();
    std::filesystem::current_path(oldDir_);
    std::filesystem::remove_all(dir_);
    LibraryTest::TearDown();
  }

  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string LogText() {
    const Bytes log = ReadFile("KXLIB.LOG");
    return std::string(log.begin(), log.end());
  }

  // Bytes imploded as the writer stores a record (binary, 4096-byte dictionary).
  static Bytes Stored(const Bytes& raw) {
    Bytes out(raw.size() + raw.size() / 4 + 64);
    MemStreamState stream;
    stream.source = raw.data();
    stream.sourceRemaining = static_cast<uint32_t>(raw.size());
    stream.destination = out.data();
    stream.capacity = static_cast<uint32_t>(out.size());
    uint32_t mode = kDclBinary, dict = 4096;
    EXPECT_EQ(Implode(MemRead, MemWrite, reinterpret_cast<char*>(CompressionWorkArea), &stream, &mode, &dict),
              kImplodeOk);
    out.resize(stream.written);
    return out;
  }

  // The items of stored bytes as the reader finds them; the decode must succeed.
  static Record Decoded(const Bytes& stored) {
    DatRecord record;
    EXPECT_TRUE(DecodeDatRecord(stored.data(), stored.size(), &record)) << record.error;
    return ItemsOf(record);
  }
  // The items of the record build buffer, imploded and read back.
  static Record BuiltItems() {
    uint32_t error = 0;
    return Decoded(Bytes(OutputBuffer, OutputBuffer + ImplodeRecord(&error)));
  }
  static Record ItemsOf(const DatRecord& record) {
    Record items;
    for (const auto& item : record.items) {
      items.push_back({item.tag, Bytes(record.Value(item), record.Value(item) + item.length)});
    }
    return items;
  }
  // Every record of a data file's bytes, read with the project's reader; a record that does
  // not decode reads as kUnreadable. `viewOut` gets the header and index.
  static std::vector<Record> ReadBack(const Bytes& file, DatFileView* viewOut = nullptr) {
    DatFileView view;
    std::string error;
    EXPECT_TRUE(OpenDatBytes(file.data(), file.size(), &view, &error)) << error;
    std::vector<Record> records;
    for (uint32_t n = 0; n < view.index.size(); ++n) {
      DatRecord record;
      records.push_back(ReadDatRecord(view, n, &record) ? ItemsOf(record) : kUnreadable);
    }
    if (viewOut) *viewOut = view;
    return records;
  }

  std::string dir_;
  std::filesystem::path oldDir_;
};

}  // namespace testsupport
