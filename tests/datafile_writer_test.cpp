// The data-file writer: opening and validating, the item writer, records and the append
// procedure, failing system calls, and the log it writes. Results are read back with the
// library's data-file reader.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "kxlib32.h"
#include "platform/platform.h"
#include "session/state.h"
#include "tests/support/conversion_fixture.h"

namespace {

using namespace testsupport;

// Bytes that implode badly: a simple generator with no repetitions worth coding.
Bytes Noise(size_t n, uint32_t seed = 12345) {
  Bytes b(n);
  for (auto& x : b) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

// A file of `count` empty records, all stored once at offset 44, then index and trailer.
Bytes EmptyRecordsFile(uint32_t count, const Bytes& trailer = {}, const char* creator = "KXLIB.DLL",
                       const char* date = "Jan 22 2003") {
  Bytes file = DataFileBytes({kEmptyRecord}, {}, creator, "V02.00", date);
  file.resize(48);
  for (uint32_t n = 0; n < count; ++n) file.insert(file.end(), {44, 0, 0, 0, 4, 0, 0, 0});
  file.insert(file.end(), trailer.begin(), trailer.end());
  PutLE(file, 32, 48 + count * 8, 4);
  PutLE(file, 36, static_cast<uint32_t>(trailer.size()), 2);
  PutLE(file, 42, count * 8, 2);
  return file;
}

uint32_t U32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24; }

class DataFileTest : public ConversionTest {
 protected:
  static void BuildRecord(const Record& record) {
    RecordBuildLength = 0;
    for (const Item& item : record) {
      uint32_t error = 1;
      ASSERT_GT(WriteDataItem(item.tag, static_cast<uint16_t>(item.value.size()), item.value.data(), &error), 0u);
      ASSERT_EQ(error, 0u);
    }
  }

  // One save: open, prepare, append the records, finish.
  static void Save(const std::string& path, bool append, const std::vector<Record>& records) {
    platform::FileHandle file = platform::kNoFile;
    DatFileHeader header;
    ASSERT_EQ(OpenDatFile(path.c_str(), append ? 1 : 0, &file, &header), 1);
    uint32_t error = 1;
    ASSERT_EQ(PrepareDatAppend(file, header, &error), 1) << std::hex << error;
    for (const Record& record : records) {
      BuildRecord(record);
      ASSERT_GT(AppendDatRecord(file, &error), 0u) << std::hex << error;
    }
    ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);
    EXPECT_EQ(file, platform::kNoFile);
  }

  // The file read back with the reader; every record must decode. Empty values read
  // back as the one NUL byte they are stored as.
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
      records.push_back(ItemsOf(record));
    }
    if (viewOut) *viewOut = view;
    return records;
  }
};

// ---------------------------------------------------------------------------------------
// New files and appends

TEST_F(DataFileTest, NewFilesAreLaidOutHeaderRecordsIndexTrailer) {
  const std::vector<Record> cases[] = {{}, {{{24, TextBytes("LINK-001")}, {176, TextBytes("PASS")}}}};
  for (const auto& records : cases) {
    WriteFile("new.dat", Bytes(300, 0xEE));  // emptied when opened
    Save("new.dat", false, records);
    const Bytes file = ReadFile("new.dat");
    DatFileView view;
    EXPECT_EQ(Load("new.dat", &view), records);
    ASSERT_GE(file.size(), 44u);
    // Header texts with zero bytes after their NULs.
    EXPECT_EQ(0, std::memcmp(&file[0], "KXLIB.DLL\0V02.00\0\0\0\0Jan 22 2003\0", 32));
    const uint32_t stored = records.empty() ? 0 : view.index[0].length;
    EXPECT_EQ(view.header.indexOffset, 44 + stored);
    EXPECT_EQ(view.header.indexLength, 8 * records.size());
    EXPECT_EQ(view.header.trailerOffset, 44 + stored + 8 * records.size());  // empty, after the index
    EXPECT_EQ(view.header.trailerLength, 0);
    EXPECT_EQ(file.size(), view.header.trailerOffset);
    if (!records.empty()) {
      EXPECT_EQ(view.index[0].fileOffset, 44u);
    }
  }
}

// Appending keeps every stored byte of the records, adds the new ones where the index
// was, keeps creator and build date, and carries the trailer to after the new index.
TEST_F(DataFileTest, AppendsKeepRecordsHeaderTextsAndTrailer) {
  const Record added = {{24, TextBytes("THREE")}, {0, {'x'}}};
  const std::vector<Record> saved = {{{24, TextBytes("ONE")}}, {{24, TextBytes("TWO")}, {82, TextBytes("me")}}};
  const Bytes trailer = TextBytes("TRAILER-BLOCK\x01\x02");
  struct Case {
    const char* what;
    std::vector<Record> before;  // the records already there
    const char* creator;
    const char* date;
    Bytes trailer;
  } cases[] = {
      {"missing file", {}, "KXLIB.DLL", "Jan 22 2003", {}},
      {"saved here", saved, "KXLIB.DLL", "Jan 22 2003", {}},
      {"old creator", {{}, {}}, "VXP27.DLL", "Mar 03 1999", trailer},
  };
  for (const Case& c : cases) {
    std::filesystem::remove("a.dat");
    if (c.trailer.size()) WriteFile("a.dat", EmptyRecordsFile(2, c.trailer, c.creator, c.date));
    if (!c.trailer.size() && !c.before.empty()) Save("a.dat", false, c.before);
    const Bytes before = ReadFile("a.dat");
    const uint32_t oldIndex = before.empty() ? 44 : U32(before, 38);
    Save("a.dat", true, {added});
    const Bytes after = ReadFile("a.dat");
    std::vector<Record> expected = c.before;
    expected.push_back(added);
    DatFileView view;
    EXPECT_EQ(Load("a.dat", &view), expected) << c.what;
    EXPECT_EQ(view.creator, c.creator) << c.what;
    EXPECT_EQ(view.buildDate, c.date) << c.what;
    if (!before.empty()) {
      EXPECT_TRUE(std::equal(before.begin() + 44, before.begin() + oldIndex, after.begin() + 44)) << c.what;
    }
    EXPECT_EQ(view.index.back().fileOffset, oldIndex) << c.what;
    EXPECT_EQ(view.header.trailerOffset, view.header.indexOffset + view.header.indexLength) << c.what;
    EXPECT_EQ(Bytes(after.begin() + view.header.trailerOffset, after.end()), c.trailer) << c.what;
  }
}

// ---------------------------------------------------------------------------------------
// Refusals: nothing of a refused file changes

TEST_F(DataFileTest, FilesOfAnotherCreatorOrVersionAreNotOpened) {
  DebugLevel = DBG_TRACE;
  struct Case {
    std::string header;  // over the first bytes of a good file
    bool cut;            // the file ends after these bytes
  } cases[] = {
      {{"KXLIB.DLX\0V02.00", 16}, false}, {{"kxlib.dll\0V02.00", 16}, false}, {{"KXLIB.DLL\0V02.01", 16}, false},
      {{"VXP27.DLL\0V2.00\0", 16}, false}, {{"KXLIB.DLL\0v02.00", 16}, false}, {std::string(16, '\0'), false},
      {"KXLIB.DLLX", false},  // the creator fills its field: no NUL
      {{"KXLIB.DLL\0V02", 13}, true},  // shorter than a header
  };
  for (const Case& c : cases) {
    Bytes content = EmptyRecordsFile(2, TextBytes("TR"));
    std::copy(c.header.begin(), c.header.end(), content.begin());
    if (c.cut) content.resize(c.header.size());
    WriteFile("other.dat", content);
    ClearTraces();
    platform::FileHandle file = 7;
    DatFileHeader h;
    EXPECT_EQ(OpenDatFile("other.dat", 1, &file, &h), 0) << c.header;
    EXPECT_EQ(file, platform::kNoFile);
    EXPECT_EQ(CountTrace("Invalid data file\n"), 1) << c.header;
    EXPECT_EQ(ReadFile("other.dat"), content) << c.header;
  }
  platform::FileHandle file = 7;
  DatFileHeader h;
  EXPECT_EQ(OpenDatFile("no/such/dir.dat", 0, &file, &h), 0);
  EXPECT_EQ(file, platform::kNoFile);
  EXPECT_EQ(CountTrace("Couldn't Open .DAT file\n"), 1);
}

// A refused append: the record after it and the finish leave the file as it was, also
// when an earlier save left its bookkeeping behind.
TEST_F(DataFileTest, DamagedOrFullFilesRefuseTheAppend) {
  struct Case {
    const char* what;
    void (*damage)(Bytes&);
    uint32_t error;
  } cases[] = {
      {"index past end", [](Bytes& f) { PutLE(f, 38, static_cast<uint32_t>(f.size()), 4); }, KXERR_INVALID_DATA_FILE},
      {"index length odd", [](Bytes& f) { PutLE(f, 42, 12, 2); }, KXERR_INVALID_DATA_FILE},
      {"index over header", [](Bytes& f) { PutLE(f, 38, 20, 4); }, KXERR_INVALID_DATA_FILE},
      {"trailer past end", [](Bytes& f) { PutLE(f, 36, 200, 2); }, KXERR_INVALID_DATA_FILE},
      {"record beyond index", [](Bytes& f) { PutLE(f, 48, 60, 4); }, KXERR_INVALID_DATA_FILE},
      {"record into index", [](Bytes& f) { PutLE(f, 52, 5, 4); }, KXERR_INVALID_DATA_FILE},
      {"full", [](Bytes& f) { f = EmptyRecordsFile(8191, TextBytes("T")); }, KXERR_MAX_RECORDS},
  };
  for (const Case& c : cases) {
    Save("earlier.dat", false, {{{24, TextBytes("A")}}, {{24, TextBytes("B")}}});
    Bytes content = EmptyRecordsFile(2, TextBytes("TR"));
    c.damage(content);
    WriteFile("broken.dat", content);
    platform::FileHandle file = platform::kNoFile;
    DatFileHeader header;
    ASSERT_EQ(OpenDatFile("broken.dat", 1, &file, &header), 1) << c.what;
    uint32_t error = 0;
    EXPECT_EQ(PrepareDatAppend(file, header, &error), 0) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
    BuildRecord({{24, TextBytes("REFUSED")}});
    EXPECT_EQ(AppendDatRecord(file, &error), 0u) << c.what;
    EXPECT_EQ(error, KXERR_NOT_OPEN) << c.what;
    EXPECT_EQ(FinishDatFile(&file, &header, &error), 1) << c.what;
    EXPECT_EQ(error, 0u) << c.what;
    EXPECT_EQ(ReadFile("broken.dat"), content) << c.what;
  }
}

TEST_F(DataFileTest, ASaveThatReachesTheLimitStopsAndStillFinishesTheFile) {
  WriteFile("limit.dat", EmptyRecordsFile(8190));
  platform::FileHandle file = platform::kNoFile;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile("limit.dat", 1, &file, &header), 1);
  uint32_t error = 0;
  ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
  BuildRecord({{24, TextBytes("LAST")}});
  EXPECT_GT(AppendDatRecord(file, &error), 0u);
  BuildRecord({{24, TextBytes("TOO MANY")}});
  EXPECT_EQ(AppendDatRecord(file, &error), 0u);
  EXPECT_EQ(error, KXERR_MAX_RECORDS);
  ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);
  const std::vector<Record> records = Load("limit.dat");
  ASSERT_EQ(records.size(), 8191u);
  EXPECT_EQ(records.back(), (Record{{24, TextBytes("LAST")}}));
}

// ---------------------------------------------------------------------------------------
// Items and records

// Steps on one record build buffer, in order.
TEST_F(DataFileTest, WriteDataItemAppendsOrRefusesWhole) {
  DebugLevel = DBG_TRACE;
  const Bytes big(65535, 'x');
  struct Step {
    uint16_t tag;
    uint16_t length;
    const void* value;
    uint32_t result;
    uint32_t error;
    uint32_t usedAfter;
  } steps[] = {
      {0x1234, 4, "12.5", 8, 0, 8},
      {24, 0, nullptr, 5, 0, 13},                            // empty: one NUL byte
      {25, 3, nullptr, 0, KXERR_INVALID_FUNCTION, 13},       // no value for 3 bytes
      {1, 65535, big.data(), 0, 0, 13},                      // too long, traced
      {1, 65534, big.data(), 65538, 0, 65551},               // the longest, its size whole
      {2, 65534, big.data(), 65538, 0, 131089},
      {3, 65534, big.data(), 65538, 0, 196627},
      {4, 65509, big.data(), 65513, 0, kRecordBuildBufferSize},  // fills the buffer exactly
      {5, 1, "z", 0, KXERR_RECORD_TOO_LARGE, kRecordBuildBufferSize},
  };
  for (const Step& s : steps) {
    uint32_t error = 7;
    EXPECT_EQ(WriteDataItem(s.tag, s.length, s.value, &error), s.result) << s.tag;
    EXPECT_EQ(error, s.error) << s.tag;
    EXPECT_EQ(RecordBuildLength, s.usedAfter) << s.tag;
  }
  EXPECT_EQ(CountTrace("Invalid Length in WriteDataItem\n"), 1);
  RecordBuildLength = 13;
  EXPECT_EQ(BuiltItems(), (Record{{0x1234, TextBytes("12.5")}, {24, {0}}}));
  FreeConversionBuffers();
  uint32_t error = 0;
  EXPECT_EQ(WriteDataItem(1, 1, "a", &error), 0u);
  EXPECT_EQ(error, KXERR_BAD_MEMORY_HANDLE);
}

// Records that cannot be stored get no entry and leave the file readable.
TEST_F(DataFileTest, RecordsThatDoNotImplodeWithinTheLimitsAreRefused) {
  DebugLevel = DBG_TRACE;
  Bytes compressible(65534);
  for (size_t i = 0; i < compressible.size(); ++i) compressible[i] = static_cast<uint8_t>("ABCDEFGHIJ"[i % 10]);
  struct Case {
    Record record;
    uint32_t error;  // 0: stored
  } cases[] = {
      {{{24, TextBytes("before")}}, 0},
      {{{632, compressible}}, 0},
      {{{633, Noise(65534)}}, KXERR_RECORD_TOO_LARGE},  // above 65,535 bytes imploded
      {{{1, Noise(65534, 1)}, {2, Noise(65534, 2)}, {3, Noise(65534, 3)}, {4, Noise(65522, 4)}},
       KXERR_FILE_WRITE},  // more than the output buffer holds
      {{{24, TextBytes("after")}}, 0},
  };
  platform::FileHandle file = platform::kNoFile;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile("large.dat", 0, &file, &header), 1);
  uint32_t error = 0;
  ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
  std::vector<Record> stored;
  for (const Case& c : cases) {
    BuildRecord(c.record);
    LastError = 0;
    EXPECT_EQ(AppendDatRecord(file, &error) > 0, c.error == 0);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(LastError, c.error ? KXERR_FILE_WRITE : 0u);
    if (c.error == 0) stored.push_back(c.record);
  }
  EXPECT_GE(CountTrace("Truncation during explode\n"), 1);
  EXPECT_EQ(DatRecordCount, stored.size());
  ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);
  EXPECT_EQ(Load("large.dat"), stored);
  // Without a workspace there is nothing to implode.
  FreeConversionBuffers();
  EXPECT_EQ(ImplodeRecord(&error), 0u);
  EXPECT_EQ(error, KXERR_FILE_WRITE);
}

TEST_F(DataFileTest, WriteATBufferWritesOneStoredRecordAtThePosition) {
  DebugLevel = DBG_TRACE;
  uint32_t winError = 0;
  const platform::FileHandle file = platform::FileOpen("raw.bin", platform::FileMode::kReplace, &winError);
  BuildRecord({{1, Noise(65534, 1)}, {2, Noise(20000, 2)}});
  EXPECT_EQ(WriteATBuffer(file), 0u);  // above 65,535 bytes imploded: nothing written
  EXPECT_EQ(CountTrace("Error writing to file"), 1);
  const Record record = {{1, TextBytes("ok")}};
  BuildRecord(record);
  const uint32_t n = WriteATBuffer(file);
  platform::InjectFailure(platform::SysCall::FileWrite, ENOSPC);
  EXPECT_EQ(WriteATBuffer(file), 0u);
  EXPECT_EQ(CountTrace("WriteATBuffer Failed \n"), 1);
  platform::FileClose(file);
  const Bytes written = ReadFile("raw.bin");
  DatRecord back;
  EXPECT_TRUE(written.size() == n && DecodeDatRecord(written.data(), n, &back)) << back.error;
  EXPECT_EQ(ItemsOf(back), record);
}

// ---------------------------------------------------------------------------------------
// Failing system calls, each at the step of a save that makes it

TEST_F(DataFileTest, EveryFailingSystemCallEndsInItsError) {
  using platform::SysCall;
  struct Case {
    SysCall call;
    uint32_t skip;       // calls of that kind that succeed first
    int opened;          // OpenDatFile's result
    uint32_t prepared;   // PrepareDatAppend's error
    uint32_t appended;   // AppendDatRecord's error for the first record
    int16_t finished;    // FinishDatFile's result
  } cases[] = {
      {SysCall::FileOpen, 0, 0, 0, 0, 0},
      {SysCall::FileStat, 0, 1, 0, 0, 1},  // whether the file is there: it is opened as it is
      {SysCall::FileRead, 0, 0, 0, 0, 0},  // the header: read as nothing, not accepted
      {SysCall::FileStat, 1, 1, KXERR_INVALID_DATA_FILE, KXERR_NOT_OPEN, 1},  // the size
      {SysCall::FileRead, 1, 1, KXERR_INVALID_DATA_FILE, KXERR_NOT_OPEN, 1},  // the index
      {SysCall::FileSeek, 1, 1, KXERR_INVALID_DATA_FILE, KXERR_NOT_OPEN, 1},
      {SysCall::FileWrite, 0, 1, 0, KXERR_FILE_WRITE, 1},  // the record; the next overwrites it
      {SysCall::FileWrite, 2, 1, 0, 0, 0},                 // the index
      {SysCall::FileWrite, 3, 1, 0, 0, 0},                 // the header
      {SysCall::FileClose, 0, 1, 0, 0, 0},
  };
  const std::vector<Record> old = {{{24, TextBytes("OLD")}}};
  for (const Case& c : cases) {
    const std::string what = std::to_string(static_cast<int>(c.call)) + "/" + std::to_string(c.skip);
    platform::ClearInjectedFailures();
    Save("seam.dat", false, old);
    platform::InjectFailure(c.call, EIO, c.skip);
    platform::FileHandle file = platform::kNoFile;
    DatFileHeader header;
    ASSERT_EQ(OpenDatFile("seam.dat", 1, &file, &header), c.opened) << what;
    if (!c.opened) continue;
    uint32_t error = 0;
    EXPECT_EQ(PrepareDatAppend(file, header, &error), c.prepared ? 0 : 1) << what;
    EXPECT_EQ(error, c.prepared) << what;
    BuildRecord({{24, TextBytes("FIRST")}});
    AppendDatRecord(file, &error);
    EXPECT_EQ(error, c.appended) << what;
    BuildRecord({{24, TextBytes("SECOND")}});
    AppendDatRecord(file, &error);
    EXPECT_EQ(FinishDatFile(&file, &header, &error), c.finished) << what;
    EXPECT_EQ(error, c.finished ? 0 : KXERR_FILE_WRITE) << what;
    if (c.finished == 0) continue;
    // What reads back: a refused append leaves the file as it was; a failed record write
    // leaves an entry of length 0 and the next record where it would have gone.
    DatFileView view;
    std::string problem;
    const Bytes bytes = ReadFile("seam.dat");
    ASSERT_TRUE(OpenDatBytes(bytes.data(), bytes.size(), &view, &problem)) << problem;
    std::string texts;
    for (uint32_t n = 0; n < view.index.size(); ++n) {
      DatRecord record;
      texts += ReadDatRecord(view, n, &record) ? record.Text(record.items[0]) + " " : "- ";
    }
    EXPECT_EQ(texts, c.prepared ? "OLD " : c.appended ? "OLD - SECOND " : "OLD FIRST SECOND ") << what;
    if (c.appended == KXERR_FILE_WRITE) {
      ASSERT_EQ(view.index.size(), 3u) << what;
      EXPECT_EQ(view.index[1].length, 0u);
      EXPECT_EQ(view.index[2].fileOffset, view.index[1].fileOffset);
    }
  }
  // A file that cannot be seen is never made anew.
  platform::InjectFailure(platform::SysCall::FileStat, EIO);
  platform::FileHandle file = platform::kNoFile;
  DatFileHeader header;
  EXPECT_EQ(OpenDatFile("unseen.dat", 1, &file, &header), 0);
  EXPECT_FALSE(std::filesystem::exists("unseen.dat"));
}

// ---------------------------------------------------------------------------------------
// The log

TEST_F(DataFileTest, RecordDumpAndIndexLinesGoToTheLog) {
  ASSERT_EQ(OpenConversionLog(), 1);
  DebugLevel = DBG_TRACE;  // log off: nothing is written
  DumpRecordStart(4);
  LogPrintf("off\n");
  DebugLevel = DBG_LOGFILE;
  SaveRecordNumber = 5;
  std::memcpy(ExplodedATBuffer, "0123456789abcdef\aYZ", 19);
  DumpRecordStart(17);
  Save("logged.dat", false, {{{24, TextBytes("A")}}, {{24, TextBytes("B")}}});
  CloseConversionLog();
  DatFileView view;
  Load("logged.dat", &view);
  char index[200];
  std::snprintf(index, sizeof index,
                "Autotest Index =      0 Length = %4x  File Offset = 2c \n"
                "Autotest Index =      1 Length = %4x  File Offset = %x \n",
                view.index[0].length, view.index[1].length, view.index[1].fileOffset);
  EXPECT_EQ(LogText(),
            "Record Number: 4  \n"
            "000000 | 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66| 0123456789abcdef\n"
            "000010 | 07                                             |  \n"
            "\n \n \n"
            "\n \n \n"
            "Len Value      XTGID XTGTag                         TagID Tagdef Tag       \n"
            "--- -----      ----- ------------------------       ----- -----------------\n" +
                std::string(index));
  platform::InjectFailure(platform::SysCall::FileOpen, EACCES);
  EXPECT_EQ(OpenConversionLog(), 0);
}

}  // namespace
