// The data file writer: opening and validating, the item writer, records and the append
// procedure, the workspace and memory streams, and the log dumps.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
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
#include "kxlib32.h"
#include "session/state.h"
#include "tests/support/library_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Item {
  uint16_t tag;
  Bytes value;
};
using Record = std::vector<Item>;

Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

uint32_t U32At(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16At(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// Bytes that implode badly: a simple generator with no repetitions worth coding.
Bytes Noise(size_t n, uint32_t seed = 12345) {
  Bytes b(n);
  for (auto& x : b) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

// The empty record as implode stores it: binary, 4096-byte dictionary, end marker.
const Bytes kEmptyRecord = {0x00, 0x06, 0x01, 0xFF};

// A header written byte by byte, independent of the library's encoder.
Bytes RawHeader(const char* creator, const char* version, const char* date, uint32_t trailerOffset,
                uint16_t trailerLength, uint32_t indexOffset, uint16_t indexLength) {
  Bytes h(44, 0);
  std::memcpy(&h[0], creator, std::min<size_t>(std::strlen(creator), 10));
  std::memcpy(&h[10], version, std::min<size_t>(std::strlen(version), 10));
  std::memcpy(&h[20], date, std::min<size_t>(std::strlen(date), 12));
  PutU32(h, 32, trailerOffset);
  PutU16(h, 36, trailerLength);
  PutU32(h, 38, indexOffset);
  PutU16(h, 42, indexLength);
  return h;
}

// A file of `count` records that are all the empty record at offset 44, then the index
// and `trailer`.
Bytes CraftFile(uint32_t count, const Bytes& trailer = {}, const char* creator = "KXLIB.DLL",
                const char* date = "Jan 22 2003") {
  const uint32_t indexOffset = 44 + 4;
  Bytes file = RawHeader(creator, "V02.00", date, indexOffset + count * 8, static_cast<uint16_t>(trailer.size()),
                         indexOffset, static_cast<uint16_t>(count * 8));
  file.insert(file.end(), kEmptyRecord.begin(), kEmptyRecord.end());
  for (uint32_t n = 0; n < count; ++n) {
    Bytes entry(8);
    PutU32(entry, 0, 44);
    PutU32(entry, 4, 4);
    file.insert(file.end(), entry.begin(), entry.end());
  }
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}

class DataFileTest : public testsupport::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ResetConvertState();
    char pattern[] = "/tmp/kxlib-datafile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(AllocConversionBuffers(), 1);
  }
  void TearDown() override {
    ResetConvertState();
    std::filesystem::remove_all(dir_);
    LibraryTest::TearDown();
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  static void BuildRecord(const Record& record) {
    RecordBuildLength = 0;
    for (const Item& item : record) {
      uint32_t error = 1;
      ASSERT_EQ(WriteDataItem(item.tag, static_cast<uint16_t>(item.value.size()), item.value.data(), &error),
                4 + std::max<size_t>(item.value.size(), 1));
      ASSERT_EQ(error, 0u);
    }
  }

  // One save: open, read index and trailer, append the records, finish.
  void Save(const std::string& path, bool append, const std::vector<Record>& records) {
    FILE* file = nullptr;
    DatFileHeader header;
    ASSERT_EQ(OpenDatFile(path.c_str(), append ? 1 : 0, &file, &header), 1);
    uint32_t error = 1;
    ASSERT_EQ(PrepareDatAppend(file, header, &error), 1) << std::hex << error;
    for (const Record& record : records) {
      BuildRecord(record);
      ASSERT_GT(AppendDatRecord(file, &error), 0u) << std::hex << error;
    }
    ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);
    EXPECT_EQ(file, nullptr);
  }

  // Opens `path` for append and expects the preparation to be refused with `expected`;
  // then does what a save does after a failure: tries a record and finishes the file.
  // Neither may touch the file.
  void RefusedAppend(const std::string& path, uint32_t expected, const char* what) {
    FILE* file = nullptr;
    DatFileHeader header;
    ASSERT_EQ(OpenDatFile(path.c_str(), 1, &file, &header), 1) << what;
    uint32_t error = 0;
    EXPECT_EQ(PrepareDatAppend(file, header, &error), 0) << what;
    EXPECT_EQ(error, expected) << what;
    BuildRecord({{24, TextBytes("REFUSED")}});
    EXPECT_EQ(AppendDatRecord(file, &error), 0u) << what;
    EXPECT_EQ(error, KXERR_NOT_OPEN) << what;
    EXPECT_EQ(FinishDatFile(&file, &header, &error), 1) << what;
    EXPECT_EQ(error, 0u) << what;
    EXPECT_EQ(file, nullptr) << what;
  }

  // Reads a file back with the reader; every record must decode.
  static std::vector<Record> Load(const std::string& path, DatFileView* viewOut = nullptr) {
    static Bytes bytes;
    std::string error;
    EXPECT_TRUE(LoadFileBytes(path.c_str(), &bytes, &error)) << error;
    DatFileView view;
    EXPECT_TRUE(OpenDatBytes(bytes.data(), bytes.size(), &view, &error)) << error;
    std::vector<Record> records;
    for (uint32_t n = 0; n < view.index.size(); ++n) {
      DatRecord record;
      EXPECT_TRUE(ReadDatRecord(view, n, &record)) << "record " << n << ": " << record.error;
      Record items;
      for (const auto& item : record.items) {
        items.push_back({item.tag, Bytes(record.Value(item), record.Value(item) + item.length)});
      }
      records.push_back(items);
    }
    if (viewOut) *viewOut = view;
    return records;
  }

  std::string dir_;
};

bool SameRecords(const std::vector<Record>& a, const std::vector<Record>& b) {
  if (a.size() != b.size()) return false;
  for (size_t r = 0; r < a.size(); ++r) {
    if (a[r].size() != b[r].size()) return false;
    for (size_t i = 0; i < a[r].size(); ++i) {
      if (a[r][i].tag != b[r][i].tag || a[r][i].value != b[r][i].value) return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Layout of a new file

TEST_F(DataFileTest, NewFileWithOneRecordIsLaidOutHeaderRecordIndexTrailer) {
  const std::string path = Path("new.dat");
  Save(path, false, {{{24, TextBytes("LINK-001")}, {176, TextBytes("PASS")}}});
  const Bytes file = ReadFile(path);
  ASSERT_GE(file.size(), 44u + 8u);

  // Header texts with zero bytes after their NULs.
  EXPECT_EQ(0, std::memcmp(&file[0], "KXLIB.DLL\0", 10));
  EXPECT_EQ(0, std::memcmp(&file[10], "V02.00\0\0\0\0", 10));
  EXPECT_EQ(0, std::memcmp(&file[20], "Jan 22 2003\0", 12));

  const uint32_t indexOffset = U32At(file, 38);
  const uint32_t recordLength = indexOffset - 44;
  EXPECT_EQ(U16At(file, 42), 8);
  EXPECT_EQ(U32At(file, indexOffset), 44u);             // the record starts at 44
  EXPECT_EQ(U32At(file, indexOffset + 4), recordLength);  // and fills up to the index
  EXPECT_EQ(U32At(file, 32), indexOffset + 8);          // empty trailer at the end of the index
  EXPECT_EQ(U16At(file, 36), 0);
  EXPECT_EQ(file.size(), indexOffset + 8u);

  // The record at 44 explodes to the two items, laid out tag, length, value.
  struct Sink {
    Bytes out;
    const uint8_t* in;
    uint32_t left;
  } sink{{}, &file[44], recordLength};
  std::vector<char> work(kExplodeWorkAreaSize);
  auto read = [](char* buf, uint32_t* size, void* p) -> uint32_t {
    auto* s = static_cast<Sink*>(p);
    const uint32_t n = std::min(*size, s->left);
    std::memcpy(buf, s->in, n);
    s->in += n;
    s->left -= n;
    return n;
  };
  auto write = [](char* buf, uint32_t* size, void* p) {
    auto* s = static_cast<Sink*>(p);
    s->out.insert(s->out.end(), buf, buf + *size);
  };
  ASSERT_EQ(Explode(read, write, work.data(), &sink), kExplodeOk);
  const Bytes expected = {24, 0, 8, 0, 'L', 'I', 'N', 'K', '-', '0', '0', '1', 176, 0, 4, 0, 'P', 'A', 'S', 'S'};
  EXPECT_EQ(sink.out, expected);
}

TEST_F(DataFileTest, SaveWithoutRecordsLeavesAHeaderOnlyFile) {
  const std::string path = Path("empty.dat");
  Save(path, false, {});
  const Bytes file = ReadFile(path);
  ASSERT_EQ(file.size(), 44u);
  EXPECT_EQ(U32At(file, 38), 44u);
  EXPECT_EQ(U16At(file, 42), 0);
  EXPECT_EQ(U32At(file, 32), 44u);
  EXPECT_TRUE(Load(path).empty());
}

TEST_F(DataFileTest, OpenWithoutAppendTruncatesAndWritesNothingYet) {
  const std::string path = Path("old.dat");
  WriteFile(path, CraftFile(3));
  FILE* file = nullptr;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile(path.c_str(), 0, &file, &header), 1);
  EXPECT_STREQ(header.creator, "KXLIB.DLL");
  EXPECT_STREQ(header.version, "V02.00");
  EXPECT_STREQ(header.buildDate, "Jan 22 2003");
  EXPECT_EQ(header.indexOffset, 44u);
  EXPECT_EQ(header.indexLength, 0);
  EXPECT_EQ(header.trailerOffset, 0u);
  EXPECT_EQ(header.trailerLength, 0);
  std::fclose(file);
  EXPECT_EQ(ReadFile(path).size(), 0u);
}

TEST_F(DataFileTest, AppendingToAMissingPathCreatesTheFile) {
  const std::string path = Path("missing.dat");
  const Record record = {{24, TextBytes("A")}};
  Save(path, true, {record});
  DatFileView view;
  EXPECT_TRUE(SameRecords(Load(path, &view), {record}));
  EXPECT_EQ(view.creator, "KXLIB.DLL");
  EXPECT_EQ(view.index[0].fileOffset, 44u);
}

// ---------------------------------------------------------------------------------------
// Appending

TEST_F(DataFileTest, AppendKeepsRecordsAndAddsNewOnes) {
  const std::string path = Path("append.dat");
  const std::vector<Record> first = {{{24, TextBytes("ONE")}}, {{24, TextBytes("TWO")}, {82, TextBytes("me")}}};
  const std::vector<Record> second = {{{24, TextBytes("THREE")}, {0, {}}}};
  Save(path, false, first);
  const Bytes before = ReadFile(path);
  const uint32_t oldIndex = U32At(before, 38);
  Save(path, true, second);
  const Bytes after = ReadFile(path);
  // The old records stay where they were; the new one starts at the old index offset.
  EXPECT_TRUE(std::equal(before.begin() + 44, before.begin() + oldIndex, after.begin() + 44));
  DatFileView view;
  std::vector<Record> expected = first;
  expected.push_back({{24, TextBytes("THREE")}, {0, {0}}});
  EXPECT_TRUE(SameRecords(Load(path, &view), expected));
  ASSERT_EQ(view.index.size(), 3u);
  EXPECT_EQ(view.index[2].fileOffset, oldIndex);
}

TEST_F(DataFileTest, AppendToAnOldCreatorKeepsItsCreatorAndBuildDate) {
  const std::string path = Path("vxp.dat");
  WriteFile(path, CraftFile(1, {}, "VXP27.DLL", "Mar 03 1999"));
  const Record record = {{24, TextBytes("NEW")}};
  Save(path, true, {record});
  const Bytes file = ReadFile(path);
  EXPECT_EQ(0, std::memcmp(&file[0], "VXP27.DLL\0", 10));
  EXPECT_EQ(0, std::memcmp(&file[20], "Mar 03 1999\0", 12));
  EXPECT_TRUE(SameRecords(Load(path), {{}, record}));
}

TEST_F(DataFileTest, AnotherCreatorOrVersionIsRefusedAndLeftUnchanged) {
  DebugLevel = DBG_TRACE;
  struct Case {
    const char* creator;
    const char* version;
  } cases[] = {{"KXLIB.DLX", "V02.00"}, {"kxlib.dll", "V02.00"}, {"KXLIB.DLL", "V02.01"},
               {"VXP27.DLL", "V2.00"}, {"KXLIB.DLL", "v02.00"}, {"", ""}};
  for (const Case& c : cases) {
    const std::string path = Path("other.dat");
    Bytes content = CraftFile(2, TextBytes("TR"));
    Bytes header = RawHeader(c.creator, c.version, "Jan 22 2003", U32At(content, 32), 2, 48, 16);
    std::copy(header.begin(), header.end(), content.begin());
    WriteFile(path, content);
    ClearTraces();
    FILE* file = nullptr;
    DatFileHeader h;
    EXPECT_EQ(OpenDatFile(path.c_str(), 1, &file, &h), 0) << c.creator << " " << c.version;
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(CountTrace("Invalid data file\n"), 1);
    EXPECT_EQ(ReadFile(path), content);
  }
}

TEST_F(DataFileTest, CreatorWithoutItsNulIsRefused) {
  const std::string path = Path("nonul.dat");
  Bytes content = CraftFile(1);
  std::memcpy(&content[0], "KXLIB.DLLX", 10);  // fills the field, no NUL
  WriteFile(path, content);
  FILE* file = nullptr;
  DatFileHeader h;
  EXPECT_EQ(OpenDatFile(path.c_str(), 1, &file, &h), 0);
  EXPECT_EQ(ReadFile(path), content);
}

TEST_F(DataFileTest, AFileShorterThanAHeaderIsRefusedUnchanged) {
  const std::string path = Path("short.dat");
  const Bytes content = TextBytes("KXLIB.DLL\0V02");
  WriteFile(path, content);
  FILE* file = nullptr;
  DatFileHeader h;
  EXPECT_EQ(OpenDatFile(path.c_str(), 1, &file, &h), 0);
  EXPECT_EQ(ReadFile(path), content);
}

TEST_F(DataFileTest, UnopenablePathIsTraced) {
  DebugLevel = DBG_TRACE;
  FILE* file = nullptr;
  DatFileHeader h;
  EXPECT_EQ(OpenDatFile(Path("no/such/dir.dat").c_str(), 0, &file, &h), 0);
  EXPECT_EQ(CountTrace("Couldn't Open .DAT file\n"), 1);
}

TEST_F(DataFileTest, TrailerIsCarriedUnchangedToAfterTheNewIndex) {
  const std::string path = Path("trailer.dat");
  const Bytes trailer = TextBytes("TRAILER-BLOCK\x01\x02");
  WriteFile(path, CraftFile(2, trailer));
  Save(path, true, {{{24, TextBytes("X")}}});
  const Bytes file = ReadFile(path);
  const uint32_t indexOffset = U32At(file, 38);
  EXPECT_EQ(U16At(file, 42), 24);
  EXPECT_EQ(U32At(file, 32), indexOffset + 24);
  EXPECT_EQ(U16At(file, 36), trailer.size());
  ASSERT_EQ(file.size(), indexOffset + 24 + trailer.size());
  EXPECT_EQ(Bytes(file.end() - static_cast<long>(trailer.size()), file.end()), trailer);
}

TEST_F(DataFileTest, IndexOrTrailerOutsideTheFileRefusesTheAppend) {
  const std::string path = Path("broken.dat");
  struct Case {
    const char* what;
    void (*damage)(Bytes&);
  } cases[] = {
      {"index past end", [](Bytes& f) { PutU32(f, 38, static_cast<uint32_t>(f.size())); }},
      {"index length odd", [](Bytes& f) { PutU16(f, 42, 12); }},
      {"index over header", [](Bytes& f) { PutU32(f, 38, 20); }},
      {"trailer past end", [](Bytes& f) { PutU16(f, 36, 200); }},
      {"record beyond index", [](Bytes& f) { PutU32(f, 48, 60); }},
  };
  for (const Case& c : cases) {
    Bytes content = CraftFile(2, TextBytes("TR"));
    c.damage(content);
    WriteFile(path, content);
    RefusedAppend(path, KXERR_INVALID_DATA_FILE, c.what);
    EXPECT_EQ(ReadFile(path), content) << c.what;
  }
}

TEST_F(DataFileTest, AFullFileRefusesTheAppendAndStaysUnchanged) {
  // An earlier save leaves its bookkeeping behind; the refused file must not inherit it.
  Save(Path("earlier.dat"), false, {{{24, TextBytes("A")}}, {{24, TextBytes("B")}}});
  const std::string path = Path("full.dat");
  const Bytes content = CraftFile(8191, TextBytes("T"));
  WriteFile(path, content);
  RefusedAppend(path, KXERR_MAX_RECORDS, "full");
  EXPECT_EQ(ReadFile(path), content);
}

TEST_F(DataFileTest, ASaveThatReachesTheLimitStopsAndStillFinishesTheFile) {
  const std::string path = Path("limit.dat");
  WriteFile(path, CraftFile(8190));
  FILE* file = nullptr;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile(path.c_str(), 1, &file, &header), 1);
  uint32_t error = 0;
  ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
  BuildRecord({{24, TextBytes("LAST")}});
  EXPECT_GT(AppendDatRecord(file, &error), 0u);
  EXPECT_EQ(error, 0u);
  BuildRecord({{24, TextBytes("TOO MANY")}});
  EXPECT_EQ(AppendDatRecord(file, &error), 0u);
  EXPECT_EQ(error, KXERR_MAX_RECORDS);
  EXPECT_EQ(DatRecordCount, 8191u);
  ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);

  const std::vector<Record> records = Load(path);
  ASSERT_EQ(records.size(), 8191u);
  EXPECT_TRUE(SameRecords({records.back()}, {{{24, TextBytes("LAST")}}}));
  EXPECT_EQ(U16At(ReadFile(path), 42), 8191 * 8);
}

// ---------------------------------------------------------------------------------------
// Items and records

TEST_F(DataFileTest, WriteDataItemAppendsTagLengthValue) {
  uint32_t error = 7;
  const char text[] = "12.5";
  EXPECT_EQ(WriteDataItem(0x1234, 4, text, &error), 8u);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(WriteDataItem(24, 0, nullptr, &error), 5u);  // empty: one NUL byte
  EXPECT_EQ(WriteDataItem(25, 3, nullptr, &error), 0u);  // no value for 3 bytes
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  const Bytes expected = {0x34, 0x12, 4, 0, '1', '2', '.', '5', 24, 0, 1, 0, 0};
  ASSERT_EQ(RecordBuildLength, expected.size());
  EXPECT_EQ(Bytes(RecordBuildBuffer, RecordBuildBuffer + RecordBuildLength), expected);
}

TEST_F(DataFileTest, WriteDataItemLengthLimits) {
  DebugLevel = DBG_TRACE;
  uint32_t error = 0;
  const Bytes big(65535, 'x');
  // 65,534 is the longest value; its size does not fit 16 bits and is reported whole.
  EXPECT_EQ(WriteDataItem(1, 65534, big.data(), &error), 65538u);
  EXPECT_EQ(RecordBuildLength, 65538u);
  // 65,535 is refused and nothing is appended.
  EXPECT_EQ(WriteDataItem(1, 65535, big.data(), &error), 0u);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(RecordBuildLength, 65538u);
  EXPECT_EQ(CountTrace("Invalid Length in WriteDataItem\n"), 1);
}

TEST_F(DataFileTest, AnItemThatDoesNotFitTheBuildBufferIsRefused) {
  uint32_t error = 0;
  const Bytes big(65534, 'y');
  for (int i = 0; i < 3; ++i) ASSERT_EQ(WriteDataItem(2, 65534, big.data(), &error), 65538u);
  // 262,140 - 3 x 65,538 = 65,526 bytes left: an item of 65,522 fills them exactly.
  EXPECT_EQ(WriteDataItem(3, 65522, big.data(), &error), 65526u);
  EXPECT_EQ(RecordBuildLength, kRecordBuildBufferSize);
  EXPECT_EQ(WriteDataItem(4, 1, "z", &error), 0u);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
  EXPECT_EQ(RecordBuildLength, kRecordBuildBufferSize);
}

TEST_F(DataFileTest, WriteDataItemWithoutWorkspaceIsRefused) {
  FreeConversionBuffers();
  uint32_t error = 0;
  EXPECT_EQ(WriteDataItem(1, 1, "a", &error), 0u);
  EXPECT_EQ(error, KXERR_BAD_MEMORY_HANDLE);
}

TEST_F(DataFileTest, LargeValuesRoundTripOrAreRefusedWithTheFileStillReadable) {
  const std::string path = Path("large.dat");
  Bytes compressible(65534);
  for (size_t i = 0; i < compressible.size(); ++i) compressible[i] = static_cast<uint8_t>("ABCDEFGHIJ"[i % 10]);
  const Record small = {{24, TextBytes("before")}};
  const Record large = {{632, compressible}};
  Save(path, false, {small, large});

  FILE* file = nullptr;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile(path.c_str(), 1, &file, &header), 1);
  uint32_t error = 0;
  ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
  BuildRecord({{633, Noise(65534)}});
  EXPECT_EQ(AppendDatRecord(file, &error), 0u);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
  EXPECT_EQ(LastError, KXERR_FILE_WRITE);
  EXPECT_EQ(DatRecordCount, 2u);  // no index entry for it
  BuildRecord({{24, TextBytes("after")}});
  EXPECT_GT(AppendDatRecord(file, &error), 0u);
  ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);

  EXPECT_TRUE(SameRecords(Load(path), {small, large, {{24, TextBytes("after")}}}));
}

TEST_F(DataFileTest, ARecordThatCannotBeImplodedIsAWriteError) {
  const std::string path = Path("overflow.dat");
  FILE* file = nullptr;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile(path.c_str(), 0, &file, &header), 1);
  uint32_t error = 0;
  ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
  // A full build buffer of noise implodes to more than the output buffer holds.
  BuildRecord({{1, Noise(65534, 1)}, {2, Noise(65534, 2)}, {3, Noise(65534, 3)}, {4, Noise(65522, 4)}});
  ASSERT_EQ(RecordBuildLength, kRecordBuildBufferSize);
  LastError = 0;
  EXPECT_EQ(AppendDatRecord(file, &error), 0u);
  EXPECT_EQ(error, KXERR_FILE_WRITE);
  EXPECT_EQ(LastError, KXERR_FILE_WRITE);
  EXPECT_EQ(MemStream.truncated, 1);
  // Without a workspace there is nothing to implode.
  FreeConversionBuffers();
  EXPECT_EQ(AppendDatRecord(file, &error), 0u);
  EXPECT_EQ(error, KXERR_FILE_WRITE);
  EXPECT_EQ(DatRecordCount, 0u);
  std::fclose(file);
}

TEST_F(DataFileTest, WriteATBufferRefusesATooLargeRecordAndWritesNothing) {
  DebugLevel = DBG_TRACE;
  const std::string path = Path("raw.bin");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  BuildRecord({{1, Noise(65534, 1)}, {2, Noise(20000, 2)}});
  EXPECT_EQ(WriteATBuffer(file), 0u);
  EXPECT_EQ(LastError, KXERR_FILE_WRITE);
  EXPECT_EQ(CountTrace("Error writing to file"), 1);
  BuildRecord({{1, TextBytes("ok")}});
  const uint32_t n = WriteATBuffer(file);
  std::fclose(file);
  EXPECT_GT(n, 0u);
  EXPECT_EQ(ReadFile(path).size(), n);
}

TEST_F(DataFileTest, AnEmptyRecordIsStoredAsTheFourByteStream) {
  const std::string path = Path("emptyrec.dat");
  Save(path, false, {{}});
  const Bytes file = ReadFile(path);
  EXPECT_EQ(Bytes(file.begin() + 44, file.begin() + 48), kEmptyRecord);
  const auto records = Load(path);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].empty());
}

TEST_F(DataFileTest, AFailedWriteGivesALengthZeroEntryAndAFailedFinish) {
  // Writes to /dev/full fail with "no space".
  FILE* file = nullptr;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile("/dev/full", 0, &file, &header), 1);
  uint32_t error = 0;
  ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
  BuildRecord({{1, Noise(40000)}});  // larger than the stream's buffer: written at once
  EXPECT_EQ(AppendDatRecord(file, &error), 0u);
  EXPECT_EQ(error, KXERR_FILE_WRITE);
  ASSERT_EQ(DatRecordCount, 1u);
  EXPECT_EQ(GetDatIndexEntry(0).length, 0u);
  EXPECT_EQ(GetDatIndexEntry(0).fileOffset, 44u);
  EXPECT_EQ(DatWritePosition, 44u);
  EXPECT_EQ(FinishDatFile(&file, &header, &error), 0);
  EXPECT_EQ(error, KXERR_FILE_WRITE);
  EXPECT_EQ(file, nullptr);
}

TEST_F(DataFileTest, ManyRecordsNewAndAppendedRoundTrip) {
  const std::string path = Path("many.dat");
  std::vector<Record> all;
  for (int save = 0; save < 3; ++save) {
    std::vector<Record> records;
    for (int r = 0; r < 40; ++r) {
      Record record;
      for (int i = 0; i < 1 + (r % 7); ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "S%dR%dI%d", save, r, i);
        record.push_back({static_cast<uint16_t>(100 + i), TextBytes(text)});
      }
      record.push_back({632, Noise(static_cast<size_t>(r) * 37, static_cast<uint32_t>(r))});
      records.push_back(record);
    }
    Save(path, save > 0, records);
    all.insert(all.end(), records.begin(), records.end());
  }
  for (auto& record : all) {
    for (auto& item : record) {
      if (item.value.empty()) item.value = {0};
    }
  }
  EXPECT_TRUE(SameRecords(Load(path), all));
}

// ---------------------------------------------------------------------------------------
// Workspace and memory streams

TEST_F(DataFileTest, WorkspaceIsZeroFilledAndFreedSafely) {
  const uint8_t* buffers[] = {OutputBuffer, CompressionWorkArea, ExplodedATBuffer, FormatEntryBuffer, LimitTable,
                              SpareBuffer, IndexBuffer, TrailerBuffer, RecordBuildBuffer};
  const uint32_t sizes[] = {262140, 36312, 262140, 65535, 131070, 65535, 65535, 65535, 262140};
  for (size_t b = 0; b < 9; ++b) {
    ASSERT_NE(buffers[b], nullptr) << b;
    EXPECT_EQ(buffers[b][0], 0);
    EXPECT_EQ(buffers[b][sizes[b] - 1], 0) << b;  // the whole size is there (ASan checks)
  }
  RecordBuildLength = 10;
  FreeConversionBuffers();
  EXPECT_EQ(RecordBuildBuffer, nullptr);
  EXPECT_EQ(OutputBuffer, nullptr);
  EXPECT_EQ(RecordBuildLength, 0u);
  FreeConversionBuffers();  // twice is harmless
  ASSERT_EQ(AllocConversionBuffers(), 1);
  EXPECT_NE(TrailerBuffer, nullptr);
}

TEST_F(DataFileTest, MemReadServesTheSourceUntilItEnds) {
  const uint8_t source[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  MemStream.source = source;
  MemStream.sourceRemaining = 10;
  char buffer[8];
  uint32_t size = 8;
  EXPECT_EQ(MemRead(buffer, &size, nullptr), 8u);
  EXPECT_EQ(buffer[7], 7);
  EXPECT_EQ(MemRead(buffer, &size, nullptr), 2u);
  EXPECT_EQ(buffer[0], 8);
  EXPECT_EQ(buffer[1], 9);
  EXPECT_EQ(MemRead(buffer, &size, nullptr), 0u);
}

TEST_F(DataFileTest, MemWriteClipsAtCapacityAndRaisesTheFlag) {
  DebugLevel = DBG_TRACE;
  uint8_t destination[12] = {};
  MemStream.destination = destination + 2;  // two bytes already in use
  MemStream.written = 2;
  MemStream.capacity = 10;
  char data[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  uint32_t size = 6;
  MemWrite(data, &size, nullptr);
  EXPECT_EQ(MemStream.written, 8u);
  EXPECT_EQ(MemStream.truncated, 0);
  MemWrite(data, &size, nullptr);
  EXPECT_EQ(MemStream.written, 10u);
  EXPECT_EQ(MemStream.truncated, 1);
  EXPECT_EQ(0, std::memcmp(destination + 2, "abcdefab", 8));
  EXPECT_EQ(destination[10], 0);  // nothing past the capacity
  EXPECT_EQ(CountTrace("Truncation during explode\n"), 1);
}

// ---------------------------------------------------------------------------------------
// Log dumps

std::string ReadStream(FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  return text;
}

TEST(HexDumpTest, TwentyBytesGiveTwoLines) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  uint8_t data[20];
  for (int i = 0; i < 20; ++i) data[i] = static_cast<uint8_t>('A' + i);
  data[3] = 0x07;  // not printable
  HexDump(f, data, 20);
  const std::string text = ReadStream(f);
  std::fclose(f);
  EXPECT_EQ(text,
            "000000 | 41 42 43 07 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50| ABC EFGHIJKLMNOP\n"
            "000010 | 51 52 53 54                                    | QRST\n"
            "\n \n \n");
}

TEST_F(DataFileTest, RecordDumpShowsNumberBytesAndColumnHeader) {
  DebugLevel = DBG_LOGFILE;
  LogFile = std::tmpfile();
  ASSERT_NE(LogFile, nullptr);
  SaveRecordNumber = 5;
  std::memcpy(ExplodedATBuffer, "0123456789abcdefXYZ", 19);
  MemStream.written = 17;
  DumpRecordStart();
  const std::string text = ReadStream(LogFile);
  EXPECT_EQ(text,
            "Record Number: 4  \n"
            "000000 | 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66| 0123456789abcdef\n"
            "000010 | 58                                             | X\n"
            "\n \n \n"
            "\n \n \n"
            "Len Value      XTGID XTGTag                         TagID Tagdef Tag       \n"
            "--- -----      ----- ------------------------       ----- -----------------\n");
}

TEST_F(DataFileTest, RecordDumpWritesNothingWithTheLogOff) {
  DebugLevel = DBG_TRACE;
  LogFile = std::tmpfile();
  ASSERT_NE(LogFile, nullptr);
  MemStream.written = 4;
  DumpRecordStart();
  EXPECT_EQ(ReadStream(LogFile), "");
}

TEST_F(DataFileTest, FinishLogsOneLinePerIndexEntry) {
  DebugLevel = DBG_LOGFILE;
  LogFile = std::tmpfile();
  ASSERT_NE(LogFile, nullptr);
  const std::string path = Path("logged.dat");
  Save(path, false, {{{24, TextBytes("A")}}, {{24, TextBytes("B")}}});
  DatFileView view;
  Load(path, &view);
  char expected[200];
  std::snprintf(expected, sizeof expected,
                "Autotest Index =      0 Length = %4x  File Offset = 2c \n"
                "Autotest Index =      1 Length = %4x  File Offset = %x \n",
                view.index[0].length, view.index[1].length, view.index[1].fileOffset);
  EXPECT_EQ(ReadStream(LogFile), expected);
}

TEST_F(DataFileTest, ConversionLogIsCreatedInTheCurrentDirectory) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  ASSERT_EQ(OpenConversionLog(), 1);
  DebugLevel = DBG_LOGFILE;
  LogPrintf("line %d\n", 1);
  CloseConversionLog();
  EXPECT_EQ(LogFile, nullptr);
  ASSERT_EQ(chdir(cwd), 0);
  const Bytes log = ReadFile(Path("KXLIB.LOG"));
  EXPECT_EQ(std::string(log.begin(), log.end()), "line 1\n");
}

}  // namespace
