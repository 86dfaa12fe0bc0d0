// The data-file reader: header and index checks, record decoding with tag names, and one
// crafted input per problem (every problem an error text). Random damage is the fuzz
// target's (fuzz/datafile_reader_fuzz.cpp, its corpus replayed by the suite).

#include <cerrno>

#include "platform/platform.h"
#include "tests/support/conversion_fixture.h"

namespace {

using namespace testsupport;
using DatReaderTest = ConversionTest;

TEST_F(DatReaderTest, ReadsHeaderIndexAndItemsWithTheirNames) {
  DebugLevel = 0;  // names do not depend on the log
  const Record items = {{24, TextBytes("LINK-001")}, {0, {0}}, {32767, {'x'}}, {5022, TextBytes("0.85")},
                        {632, {0x0a, 0x0b}}, {84, {'m'}}, {5058, {'S'}}};
  const Bytes first = Stored(RecordBytes(items)), second = Stored(RecordBytes({{24, TextBytes("LINK-002")}}));
  const Bytes file = DataFileBytes({first, second}, {'T', 'R'}, "VXP27.DLL");
  DatFileView view;
  std::string error;
  ASSERT_TRUE(OpenDatBytes(file.data(), file.size(), &view, &error)) << error;
  EXPECT_EQ(view.creator + "/" + view.version + "/" + view.buildDate, "VXP27.DLL/V02.00/Jan 22 2003");
  ASSERT_EQ(view.index.size(), 2u);
  EXPECT_EQ(view.index[1].fileOffset, 44u + first.size());
  DatRecord record;
  ASSERT_TRUE(ReadDatRecord(view, 0, &record)) << record.error;
  EXPECT_EQ(record.offset, 44u);
  EXPECT_EQ(record.length, first.size());
  EXPECT_EQ(ItemsOf(record), items);
  EXPECT_EQ(record.Text(record.items[0]), "LINK-001");
  // The sweep tag (632) and 5022 are no row's tags.
  const char* names[] = {"XTG_STORED_AT_NAME", "UNUSED_DATAID", "UNUSED_DATAID", nullptr, nullptr,
                         "XTG_UPREF_UNITS", "XTG_VEXAFIBER_SERIALNUMBER"};
  for (size_t i = 0; i < 7; ++i) EXPECT_STREQ(record.items[i].name, names[i]) << i;
  ASSERT_TRUE(ReadDatRecord(view, 1, &record));
  EXPECT_EQ(ItemsOf(record), (Record{{24, TextBytes("LINK-002")}}));
  EXPECT_FALSE(ReadDatRecord(view, 2, &record));
}

TEST_F(DatReaderTest, RefusedFilesNameTheProblem) {
  const Bytes good = DataFileBytes({kEmptyRecord}, {'T'});
  struct Case { Bytes file; const char* problem; } cases[] = {
      {Bytes(good.begin(), good.begin() + 43), "44-byte header"}, {{}, "44-byte header"},
      {DataFileBytes({}, {}, "OTHER.DLL"), "creator \"OTHER.DLL\""},
      {DataFileBytes({}, {}, "KXLIB.DLL", "V03.00"), "version \"V03.00\""},
      {DataFileBytes({}, {}, "KXLIB.DLL", "V02.00V02."), "version \"V02.00V02.\""},  // no NUL
      {good, "not a multiple of 8"}, {good, "index (offset 4294967280"},  // offset + length would wrap in 32 bits
      {good, "trailer (offset 56, 2 bytes)"},
  };
  PutLE(cases[5].file, 42, 12, 2);
  PutLE(cases[6].file, 38, 0xFFFFFFF0u, 4);
  PutLE(cases[7].file, 36, 2, 2);
  for (const Case& c : cases) {
    DatFileView view;
    std::string error;
    EXPECT_FALSE(OpenDatBytes(c.file.data(), c.file.size(), &view, &error)) << c.problem;
    EXPECT_NE(error.find(c.problem), std::string::npos) << error;
  }
}

// Records with lying index entries, streams that do not expand, items that do not fit.
TEST_F(DatReaderTest, RecordProblemsStayWithTheirRecord) {
  const Bytes a = Stored(RecordBytes({{24, TextBytes("FIRST")}, {176, TextBytes("PASS")}, {82, Bytes(300, 'o')}}));
  const Bytes b = Stored(RecordBytes({{24, TextBytes("SECOND")}})), good = DataFileBytes({a, b});
  const uint32_t index = static_cast<uint32_t>(44 + a.size() + b.size());
  auto entry = [&](uint32_t at, uint32_t value) {
    Bytes f = good;
    PutLE(f, at, value, 4);
    return f;
  };
  auto only = [&](const Bytes& stored) { return DataFileBytes({stored}); };
  auto bad = [](const Bytes& item) {  // a good item, then this one
    Bytes raw = RecordBytes({{24, TextBytes("OK")}});
    raw.insert(raw.end(), item.begin(), item.end());
    return DataFileBytes({Stored(raw)});
  };
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
  Bytes big(200000), bytes;
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
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

}  // namespace
