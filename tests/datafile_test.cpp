// The data-file reader and writer. The reader: header checks, tag names, one crafted
// input per problem (every problem an error text; random
// damage is the fuzz target's). The writer: new files and appends, refused files, the
// item writer, records that cannot be stored, failing system calls, and the log it
// writes; its results are read back with the reader.

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "tests/support/conversion_fixture.h"
#include "tests/support/dcl_harness.h"
#include "tests/support/frames.h"

namespace {

using namespace testsupport;
using Errors = std::vector<uint32_t>;
using DatReaderTest = ConversionTest;

TEST_F(DatReaderTest, ReadsTheHeaderAndNamesTheTags) {
  DebugLevel = 0;  // names do not depend on the log
  const Record items = {{24, TextBytes("LINK-001")}, {0, {0}}, {32767, {'x'}}, {5022, TextBytes("0.85")},
                        {632, {0x0a, 0x0b}}, {84, {'m'}}, {5058, {'S'}}};
  const Bytes file = DataFileBytes({Stored(RecordBytes(items))}, {'T', 'R'}, "VXP27.DLL");
  DatFileView view;
  std::string error;
  ASSERT_TRUE(OpenDatBytes(file.data(), file.size(), &view, &error)) << error;
  EXPECT_EQ(view.creator + "/" + view.version + "/" + view.buildDate, "VXP27.DLL/V02.00/Jan 22 2003");
  DatRecord record;
  ASSERT_TRUE(ReadDatRecord(view, 0, &record)) << record.error;
  EXPECT_EQ(ItemsOf(record), items);
  EXPECT_EQ(record.Text(record.items[0]), "LINK-001");
  // The translation table's name of a tag, none for the sweep tag (632) and 5022, no row's tags.
  EXPECT_STREQ(record.items[0].name, "XTG_STORED_AT_NAME");
  EXPECT_STREQ(record.items[6].name, "XTG_VEXAFIBER_SERIALNUMBER");  // the last row's
  for (size_t i : {3, 4}) EXPECT_EQ(record.items[i].name, nullptr) << i;
  EXPECT_FALSE(ReadDatRecord(view, 1, &record));
}

// Records with lying index entries, streams that do not expand, items that do not fit.
TEST_F(DatReaderTest, RecordProblemsStayWithTheirRecord) {
  const Bytes a = Stored(RecordBytes({{24, TextBytes("FIRST")}, {176, TextBytes("PASS")}, {82, Bytes(300, 'o')}}));
  const Bytes b = Stored(RecordBytes({{24, TextBytes("SECOND")}})), good = DataFileBytes({a, b});
  const uint32_t index = static_cast<uint32_t>(44 + a.size() + b.size());
  auto entry = [&](uint32_t at, uint32_t value) { Bytes f = good; return PutLE(f, at, value, 4), f; };
  auto only = [&](const Bytes& stored) { return DataFileBytes({stored}); };
  // A good item, then this one.
  auto bad = [&](const Bytes& item) { return only(Stored(Cat(RecordBytes({{24, TextBytes("OK")}}), item))); };
  Bytes badDict = b, badMode = b;
  badDict[1] = 7;
  badMode[0] = 2;
  struct Case { Bytes file; const char* problem; size_t items; };  // problem "": the record decodes
  const Case cases[] = {
      {entry(index, 0xFFFFFFFEu), "outside the file", 0},
      {entry(index + 4, static_cast<uint32_t>(good.size())), "outside the file", 0},
      {entry(index + 4, static_cast<uint32_t>(a.size() / 2)), "result 4", 0}, {entry(index + 4, 0), "empty", 0},
      {entry(index + 4, 3), "too short", 0},
      {entry(index + 4, static_cast<uint32_t>(a.size() + b.size())), "", 3},  // bytes after the end marker
      {only(badDict), "result 1", 0}, {only(badMode), "result 2", 0}, {only(kEmptyRecord), "", 0},
      {only({0x00, 0x05, 0x01, 0xFF}), "", 0},  // the same with a 2048-byte dictionary
      {only({0x00, 0x06, 0x00, 0x00}), "does not decode", 0},
      {bad({24, 0, 10, 0, 'a', 'b'}), "item at offset 6 (tag 24): length 10 runs past", 0},
      {bad({5, 0, 1}), "header runs past", 0}, {bad({5, 0, 0, 0}), "invalid length 0", 0},
      {bad({5, 0, 0xFF, 0xFF}), "invalid length 65535", 0},
      {only(Stored(Bytes(kMaxDatRecordExpanded + 1000, 'z'))), "expands past 262140", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    DatFileView view;
    std::string error;
    ASSERT_TRUE(OpenDatBytes(c.file.data(), c.file.size(), &view, &error)) << error;
    DatRecord record;
    EXPECT_EQ(ReadDatRecord(view, 0, &record), *c.problem == '\0');
    EXPECT_NE(record.error.find(c.problem), std::string::npos) << record.error;
    EXPECT_EQ(record.items.size(), c.items);
    EXPECT_LE(record.data.size(), kMaxDatRecordExpanded);
    // The other record of a file with one bad entry still reads.
    if (view.index.size() > 1) {
      EXPECT_TRUE(ReadDatRecord(view, 1, &record));
      EXPECT_EQ(ItemsOf(record), (Record{{24, TextBytes("SECOND")}}));
    }
  }
}

TEST_F(DatReaderTest, LoadFileBytesReadsWholeFilesOrSaysWhy) {
  Bytes big = Pattern(200000, 7), bytes;
  WriteFile("big.bin", big);
  std::string error;
  EXPECT_TRUE(LoadFileBytes("big.bin", &bytes, &error)) << error;
  EXPECT_EQ(bytes, big);
  EXPECT_FALSE(LoadFileBytes("/nonexistent/kx.dat", &bytes, &error));
  EXPECT_EQ(error, "cannot open /nonexistent/kx.dat: No such file or directory");
  platform::InjectFailure(platform::SysCall::FileRead, EIO, /*skip=*/1);
  EXPECT_FALSE(LoadFileBytes("big.bin", &bytes, &error));
  EXPECT_EQ(error, "cannot read big.bin");
}

class DataFileTest : public ConversionTest {
 protected:
  static void BuildRecord(const Record& record) {
    RecordBuildLength = 0;
    uint32_t error = 0;
    for (const Item& i : record) {
      EXPECT_GT(WriteDataItem(i.tag, static_cast<uint16_t>(i.value.size()), i.value.data(), &error), 0u);
    }
  }

  // One save's steps: OpenDatFile's result and, when it opened the file, the error of
  // PrepareDatAppend, of each append (the LastError each left goes to `lastErrors`) and
  // FinishDatFile's result and error. A refused open leaves no handle.
  using Steps = std::tuple<int, uint32_t, Errors, int, uint32_t>;
  static Steps Try(const std::string& path, bool append, const std::vector<Record>& records,
                   Errors* lastErrors = nullptr) {
    platform::FileHandle file = 7;
    DatFileHeader header;
    Steps s{OpenDatFile(path.c_str(), append ? 1 : 0, &file, &header), 0, {}, 0, 0};
    if (std::get<0>(s) == 0) {
      EXPECT_EQ(file, platform::kNoFile);
      return s;
    }
    uint32_t error = 0;
    const int prepared = PrepareDatAppend(file, header, &error);
    EXPECT_EQ(prepared, error == 0 ? 1 : 0);
    std::get<1>(s) = error;
    for (const Record& record : records) {
      BuildRecord(record);
      LastError = 0;
      const uint32_t length = AppendDatRecord(file, &error);
      EXPECT_EQ(length > 0, error == 0);
      std::get<2>(s).push_back(error);
      if (lastErrors) lastErrors->push_back(LastError);
    }
    std::get<3>(s) = FinishDatFile(&file, &header, &error);
    std::get<4>(s) = error;
    if (std::get<3>(s)) { EXPECT_EQ(file, platform::kNoFile); }
    return s;
  }
  // A save that opens, prepares and finishes; each append's error.
  static Errors Save(const std::string& path, bool append, const std::vector<Record>& records,
                     Errors* lastErrors = nullptr) {
    const auto [opened, prepared, appended, finished, finishError] = Try(path, append, records, lastErrors);
    EXPECT_EQ(std::tuple(opened, prepared, finished, finishError), std::tuple(1, 0u, 1, 0u)) << path;
    return appended;
  }

  static std::vector<Record> Load(const std::string& path, DatFileView* view = nullptr) {
    return ReadBack(ReadFile(path), view);
  }
};

// A new file is emptied; an append keeps every stored byte, creator and build date, adds
// the new records where the index was and carries the trailer to after the new index.
TEST_F(DataFileTest, SavesLayOutHeaderRecordsIndexAndTrailer) {
  const Record one = {{24, TextBytes("ONE")}}, two = {{24, TextBytes("TWO")}, {82, TextBytes("me")}};
  const Record added = {{24, TextBytes("THREE")}, {0, {'x'}}};
  // The file there first (creator null: none) and its records, the records added.
  struct Case { const char* what; bool append; const char* creator, *date; std::vector<Record> before, added;
                Bytes trailer; };
  const Case cases[] = {
      {"new over a file", false, "KXLIB.DLL", "Jan 22 2003", {one, two}, {}, TextBytes("TR")},
      {"missing file", true, nullptr, "", {}, {added, one}, {}},
      {"appended", true, "KXLIB.DLL", "Jan 22 2003", {one, two}, {added}, {}},
      {"old creator", true, "VXP27.DLL", "Mar 03 1999", {{}, {}}, {added}, TextBytes("TRAILER-BLOCK\x01\x02")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove("a.dat");
    std::vector<Bytes> stored;
    for (const Record& r : c.before) stored.push_back(Stored(RecordBytes(r)));
    const bool kept = c.append && c.creator;
    const Bytes before = kept ? DataFileBytes(stored, c.trailer, c.creator, "V02.00", c.date) : DataFileBytes({});
    if (c.creator) WriteFile("a.dat", DataFileBytes(stored, c.trailer, c.creator, "V02.00", c.date));
    Save("a.dat", c.append, c.added);
    std::vector<Record> expected = kept ? c.before : std::vector<Record>{};
    expected.insert(expected.end(), c.added.begin(), c.added.end());
    DatFileView view;
    EXPECT_EQ(Load("a.dat", &view), expected);
    const Bytes after = ReadFile("a.dat");
    uint32_t at = before[38] | before[39] << 8;  // the old index: the first new record goes there
    ASSERT_GE(after.size(), at);
    // Header texts (zero bytes after their NULs) and the old records, byte for byte.
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 32, after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + 44, before.begin() + at, after.begin() + 44));
    for (size_t n = kept ? c.before.size() : 0; n < view.index.size(); ++n) {
      EXPECT_EQ(view.index[n].fileOffset, at) << n;
      at += view.index[n].length;
    }
    const Bytes trailer = kept ? c.trailer : Bytes{};
    const size_t indexEnd = at + 8 * expected.size();
    EXPECT_EQ(std::tuple(view.header.indexOffset, view.header.indexLength, view.header.trailerOffset,
                         view.header.trailerLength), std::tuple(at, indexEnd - at, indexEnd, trailer.size()));
    EXPECT_EQ(Bytes(after.begin() + view.header.trailerOffset, after.end()), trailer);
  }
}

// Damaged files: the reader names the problem (none when only a record is damaged); the
// writer does not open a file of another creator or version, a damaged or full one refuses
// the append, and the record after it and the finish leave the file as it was, also when
// an earlier save left its bookkeeping behind. The file: empty records at 44 and 48, the
// index at 52, a trailer of two bytes at 68; a row puts a header over its start, patches
// one field or cuts the file. Error 0: refused when opened; kNotWritten: the writer not tried.
TEST_F(DataFileTest, DamagedFilesAreNamedAndDoNotChange) {
  DebugLevel = DBG_TRACE;
  const uint32_t kBad = KXERR_INVALID_DATA_FILE, kNotWritten = 1;
  struct Case { std::string header; size_t at; uint32_t value; int width; const char* problem; uint32_t error;
                size_t size = SIZE_MAX; uint32_t records = 2; };
  const Case cases[] = {
      {{"KXLIB.DLX\0V02.00", 16}, 0, 0, 0, "creator \"KXLIB.DLX\"", 0},
      {{"KXLIB.DLL\0V02.01", 16}, 0, 0, 0, "version \"V02.01\"", 0},
      {{"VXP27.DLL\0V2.00\0", 16}, 0, 0, 0, "version \"V2.00\"", 0},
      {"KXLIB.DLLX", 0, 0, 0, "creator \"KXLIB.DLLX\"", 0},  // the creator fills its field: no NUL
      {{"KXLIB.DLL\0V02.00V02.", 20}, 0, 0, 0, "version \"V02.00V02.\"", 0},  // nor the version
      {"", 0, 0, 0, "44-byte header", 0, 13}, {"", 0, 0, 0, "44-byte header", 0, 43},
      {"", 0, 0, 0, "44-byte header", kNotWritten, 0},
      {"", 38, 70, 4, "index (offset 70", kBad}, {"", 42, 12, 2, "not a multiple of 8", kBad},
      {"", 38, 0xFFFFFFF0u, 4, "index (offset 4294967280", kBad},  // offset + length would wrap in 32 bits
      {"", 38, 20, 4, nullptr, kBad},  // an index over the header: read as it is, refused for an append
      {"", 36, 200, 2, "trailer (offset 68, 200 bytes)", kBad},
      {"", 52, 60, 4, nullptr, kBad}, {"", 64, 5, 4, nullptr, kBad},  // a record beyond the index; one into it
      {"", 0, 0, 0, nullptr, KXERR_MAX_RECORDS, SIZE_MAX, 8191},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    Save("earlier.dat", false, {{{24, TextBytes("A")}}, {{24, TextBytes("B")}}});
    Bytes content = DataFileBytes(std::vector<Bytes>(c.records, kEmptyRecord), TextBytes("TR"));
    std::copy(c.header.begin(), c.header.end(), content.begin());
    PutLE(content, c.at, c.value, c.width);
    content.resize(std::min(content.size(), c.size));
    DatFileView view;
    std::string problem;
    EXPECT_EQ(OpenDatBytes(content.data(), content.size(), &view, &problem), c.problem == nullptr);
    EXPECT_NE(problem.find(c.problem ? c.problem : ""), std::string::npos) << problem;
    if (c.error == kNotWritten) continue;
    WriteFile("broken.dat", content);
    ClearTraces();
    EXPECT_EQ(Try("broken.dat", true, {{{24, TextBytes("REFUSED")}}}),
              (c.error ? Steps{1, c.error, {KXERR_NOT_OPEN}, 1, 0} : Steps{}));
    if (c.error == 0) { EXPECT_EQ(CountTrace("Invalid data file\n"), 1); }
    EXPECT_EQ(ReadFile("broken.dat"), content);
  }
  EXPECT_EQ(Try("no/such/dir.dat", false, {}), Steps{});
  EXPECT_EQ(CountTrace("Couldn't Open .DAT file\n"), 1);
}

TEST_F(DataFileTest, ASaveThatReachesTheLimitStopsAndStillFinishesTheFile) {
  WriteFile("limit.dat", DataFileBytes(std::vector<Bytes>(8190, kEmptyRecord)));
  const Record last = {{24, TextBytes("LAST")}};
  EXPECT_EQ(Save("limit.dat", true, {last, {{24, TextBytes("TOO MANY")}}}), (Errors{0, KXERR_MAX_RECORDS}));
  const std::vector<Record> records = Load("limit.dat");
  ASSERT_EQ(records.size(), 8191u);
  EXPECT_EQ(records.back(), last);
}

// ---------------------------------------------------------------------------------------
// Items and records

// Steps on one record build buffer, in order.
TEST_F(DataFileTest, WriteDataItemAppendsOrRefusesWhole) {
  DebugLevel = DBG_TRACE;
  const Bytes big(65535, 'x');
  struct Step { uint16_t tag, length; const void* value; uint32_t result, error, usedAfter; };
  const Step steps[] = {
      {0x1234, 4, "12.5", 8, 0, 8}, {24, 0, nullptr, 5, 0, 13},  // empty: one NUL byte
      {25, 3, nullptr, 0, KXERR_INVALID_FUNCTION, 13},             // no value for 3 bytes
      {1, 65535, big.data(), 0, 0, 13},                            // too long, traced
      {1, 65534, big.data(), 65538, 0, 65551},                     // the longest, its size whole
      {2, 65534, big.data(), 65538, 0, 131089}, {3, 65534, big.data(), 65538, 0, 196627},
      {4, 65509, big.data(), 65513, 0, kRecordBuildBufferSize},  // fills the buffer exactly
      {5, 1, "z", 0, KXERR_RECORD_TOO_LARGE, kRecordBuildBufferSize},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.tag);
    uint32_t error = 7;
    EXPECT_EQ((std::tuple{WriteDataItem(s.tag, s.length, s.value, &error), error, RecordBuildLength}),
              std::tuple(s.result, s.error, s.usedAfter));
  }
  EXPECT_EQ(CountTrace("Invalid Length in WriteDataItem\n"), 1);
  RecordBuildLength = 13;
  EXPECT_EQ(BuiltItems(), (Record{{0x1234, TextBytes("12.5")}, {24, {0}}}));
  FreeConversionBuffers();
  uint32_t error = 0;
  EXPECT_EQ((std::tuple{WriteDataItem(1, 1, "a", &error), error}), std::tuple(0u, KXERR_BAD_MEMORY_HANDLE));
}

// Records that cannot be stored get no entry and leave the file readable.
TEST_F(DataFileTest, RecordsThatDoNotImplodeWithinTheLimitsAreRefused) {
  DebugLevel = DBG_TRACE;
  Bytes compressible(65534);
  for (size_t i = 0; i < compressible.size(); ++i) compressible[i] = static_cast<uint8_t>("ABCDEFGHIJ"[i % 10]);
  const std::vector<Record> records = {
      {{24, TextBytes("before")}}, {{632, compressible}},
      {{633, dcltest::RandomBytes(65534, 12345)}},  // above 65,535 bytes imploded
      {{1, dcltest::RandomBytes(65534, 1)}, {2, dcltest::RandomBytes(65534, 2)}, {3, dcltest::RandomBytes(65534, 3)},
       {4, dcltest::RandomBytes(65522, 4)}},  // past the buffer
      {{24, TextBytes("after")}}};
  Errors lastErrors;
  EXPECT_EQ(Save("large.dat", false, records, &lastErrors),
            (Errors{0, 0, KXERR_RECORD_TOO_LARGE, KXERR_FILE_WRITE, 0}));
  EXPECT_EQ(lastErrors, (Errors{0, 0, KXERR_FILE_WRITE, KXERR_FILE_WRITE, 0}));
  EXPECT_GE(CountTrace("Truncation during explode\n"), 1);
  EXPECT_EQ(Load("large.dat"), (std::vector<Record>{records[0], records[1], records[4]}));
  FreeConversionBuffers();  // without a workspace there is nothing to implode
  uint32_t error = 0;
  EXPECT_EQ((std::tuple{ImplodeRecord(&error), error}), std::tuple(0u, KXERR_FILE_WRITE));
}

TEST_F(DataFileTest, WriteATBufferWritesOneStoredRecordAtThePosition) {
  DebugLevel = DBG_TRACE;
  uint32_t winError = 0;
  const platform::FileHandle file = platform::FileOpen("raw.bin", platform::FileMode::kReplace, &winError);
  BuildRecord({{1, dcltest::RandomBytes(65534, 1)}, {2, dcltest::RandomBytes(20000, 2)}});
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
  EXPECT_EQ(written.size(), n);
  EXPECT_EQ(Decoded(written), record);
}

// ---------------------------------------------------------------------------------------
// Failing system calls, one at each step of an append that makes one

TEST_F(DataFileTest, EveryFailingSystemCallEndsInItsError) {
  using platform::SysCall;
  // The call that fails after `skip` calls of its kind; OpenDatFile's result, the errors of
  // PrepareDatAppend and of the first AppendDatRecord, FinishDatFile's result.
  struct Case { SysCall call; uint32_t skip; int opened; uint32_t prepared, appended; int16_t finished; };
  const Case cases[] = {
      {SysCall::FileOpen, 0, 0, 0, 0, 0},
      {SysCall::FileStat, 0, 1, 0, 0, 1},  // whether the file is there: it is opened as it is
      {SysCall::FileRead, 0, 0, 0, 0, 0},  // the header: read as nothing, not accepted
      {SysCall::FileStat, 1, 1, KXERR_INVALID_DATA_FILE, KXERR_NOT_OPEN, 1},  // the size
      {SysCall::FileRead, 1, 1, KXERR_INVALID_DATA_FILE, KXERR_NOT_OPEN, 1},  // the index
      {SysCall::FileSeek, 2, 1, KXERR_INVALID_DATA_FILE, KXERR_NOT_OPEN, 1},  // to the old index
      {SysCall::FileWrite, 0, 1, 0, KXERR_FILE_WRITE, 1},  // the record; the next overwrites it
      {SysCall::FileWrite, 2, 1, 0, 0, 0},                 // the index
      {SysCall::FileClose, 0, 1, 0, 0, 0},
  };
  const Record old = {{24, TextBytes("OLD")}}, first = {{24, TextBytes("FIRST")}}, second = {{24, TextBytes("SECOND")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.call)) + "/" + std::to_string(c.skip));
    platform::ClearInjectedFailures();
    Save("seam.dat", false, {old});
    platform::InjectFailure(c.call, EIO, c.skip);
    const uint32_t next = c.prepared ? KXERR_NOT_OPEN : 0;  // the second append's error
    EXPECT_EQ(Try("seam.dat", true, {first, second}),
              (c.opened ? Steps{1, c.prepared, {c.appended, next}, c.finished, c.finished ? 0u : KXERR_FILE_WRITE} : Steps{}));
    if (c.finished == 0) continue;
    // What reads back: a refused append leaves the file as it was; a failed record write
    // leaves an entry of length 0 and the next record where it would have gone.
    DatFileView view;
    const std::vector<Record> expected = {old, c.appended == KXERR_FILE_WRITE ? kUnreadable : first, second};
    EXPECT_EQ(Load("seam.dat", &view), c.prepared ? std::vector<Record>{old} : expected);
    if (c.appended == KXERR_FILE_WRITE) {
      ASSERT_EQ(view.index.size(), 3u);
      EXPECT_EQ(std::tuple(view.index[1].length, view.index[2].fileOffset), std::tuple(0u, view.index[1].fileOffset));
    }
  }
  // A file that cannot be seen is never made anew.
  platform::InjectFailure(platform::SysCall::FileStat, EIO);
  EXPECT_EQ(Try("unseen.dat", true, {}), Steps{});
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
