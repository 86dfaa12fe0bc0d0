// The data-file reader: header and index checks, record decoding, and its behaviour on
// damaged files (every problem an error text, never a read outside the bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "compress/dcl.h"
#include "convert/config_state.h"
#include "convert/datafile.h"
#include "convert/datafile_reader.h"
#include "convert/workspace.h"
#include "session/state.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// Implodes any bytes the way the writer stores a record.
Bytes ImplodeBytes(const Bytes& raw) {
  struct Io {
    const Bytes* in;
    size_t at;
    Bytes out;
  } io{&raw, 0, {}};
  auto read = [](char* buf, uint32_t* size, void* p) -> uint32_t {
    auto* s = static_cast<Io*>(p);
    const size_t n = std::min<size_t>(*size, s->in->size() - s->at);
    if (n) std::memcpy(buf, s->in->data() + s->at, n);
    s->at += n;
    return static_cast<uint32_t>(n);
  };
  auto write = [](char* buf, uint32_t* size, void* p) {
    auto* s = static_cast<Io*>(p);
    s->out.insert(s->out.end(), buf, buf + *size);
  };
  std::vector<char> work(kImplodeWorkAreaSize);
  uint32_t mode = kDclBinary, dict = 4096;
  EXPECT_EQ(Implode(read, write, work.data(), &io, &mode, &dict), kImplodeOk);
  return io.out;
}

Bytes Item(uint16_t tag, const std::string& value) {
  Bytes b(4 + value.size());
  PutU16(b, 0, tag);
  PutU16(b, 2, static_cast<uint16_t>(value.size()));
  std::copy(value.begin(), value.end(), b.begin() + 4);
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A file from stored records, laid out as the writer does, with an optional trailer.
Bytes MakeFile(const std::vector<Bytes>& stored, const Bytes& trailer = {}, const char* creator = "KXLIB.DLL",
               const char* version = "V02.00") {
  Bytes file(44, 0);
  std::memcpy(&file[0], creator, std::min<size_t>(std::strlen(creator), 10));
  std::memcpy(&file[10], version, std::min<size_t>(std::strlen(version), 10));
  std::memcpy(&file[20], "Jan 22 2003", 11);
  Bytes index;
  for (const Bytes& record : stored) {
    Bytes entry(8);
    PutU32(entry, 0, static_cast<uint32_t>(file.size()));
    PutU32(entry, 4, static_cast<uint32_t>(record.size()));
    index.insert(index.end(), entry.begin(), entry.end());
    file.insert(file.end(), record.begin(), record.end());
  }
  PutU32(file, 38, static_cast<uint32_t>(file.size()));
  PutU16(file, 42, static_cast<uint16_t>(index.size()));
  file.insert(file.end(), index.begin(), index.end());
  PutU32(file, 32, static_cast<uint32_t>(file.size()));
  PutU16(file, 36, static_cast<uint16_t>(trailer.size()));
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}

const Bytes kEmptyRecord = {0x00, 0x06, 0x01, 0xFF};

std::string OpenError(const Bytes& file) {
  DatFileView view;
  std::string error;
  EXPECT_FALSE(OpenDatBytes(file.data(), file.size(), &view, &error));
  return error;
}

// Opens the file (which must be accepted) and reads record n.
DatRecord Record(const Bytes& file, uint32_t n, bool* ok = nullptr) {
  DatFileView view;
  std::string error;
  EXPECT_TRUE(OpenDatBytes(file.data(), file.size(), &view, &error)) << error;
  DatRecord record;
  const bool decoded = ReadDatRecord(view, n, &record);
  if (ok) *ok = decoded;
  EXPECT_EQ(decoded, record.error.empty());
  return record;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---------------------------------------------------------------------------------------

TEST(DatReaderTest, ReadsHeaderIndexAndItemsWithNames) {
  const Bytes first = ImplodeBytes(Concat({Item(24, "LINK-001"), Item(0, std::string(1, '\0')), Item(32767, "x"),
                                      Item(5022, "0.85"), Item(632, "\x0a\x0b")}));
  const Bytes second = ImplodeBytes(Item(24, "LINK-002"));
  const Bytes file = MakeFile({first, second}, {'T', 'R'}, "VXP27.DLL");
  DatFileView view;
  std::string error;
  ASSERT_TRUE(OpenDatBytes(file.data(), file.size(), &view, &error)) << error;
  EXPECT_EQ(view.creator, "VXP27.DLL");
  EXPECT_EQ(view.version, "V02.00");
  EXPECT_EQ(view.buildDate, "Jan 22 2003");
  ASSERT_EQ(view.index.size(), 2u);
  EXPECT_EQ(view.index[0].fileOffset, 44u);
  EXPECT_EQ(view.index[1].fileOffset, 44u + first.size());

  DatRecord record;
  ASSERT_TRUE(ReadDatRecord(view, 0, &record)) << record.error;
  EXPECT_EQ(record.offset, 44u);
  EXPECT_EQ(record.length, first.size());
  ASSERT_EQ(record.items.size(), 5u);
  EXPECT_EQ(record.Text(record.items[0]), "LINK-001");
  EXPECT_STREQ(record.items[0].name, "XTG_STORED_AT_NAME");
  EXPECT_EQ(record.items[1].length, 1);
  EXPECT_STREQ(record.items[1].name, "UNUSED_DATAID");
  EXPECT_STREQ(record.items[2].name, "UNUSED_DATAID");
  EXPECT_EQ(record.items[3].name, nullptr);
  EXPECT_EQ(record.items[4].tag, 632);
  EXPECT_EQ(record.Value(record.items[4])[1], 0x0b);

  ASSERT_TRUE(ReadDatRecord(view, 1, &record));
  ASSERT_EQ(record.items.size(), 1u);
  EXPECT_EQ(record.Text(record.items[0]), "LINK-002");
  EXPECT_FALSE(ReadDatRecord(view, 2, &record));
}

TEST(DatReaderTest, TagNamesDoNotDependOnTheLog) {
  DebugLevel = 0;
  const DatRecord record = Record(MakeFile({ImplodeBytes(Item(84, "m"))}), 0);
  ASSERT_EQ(record.items.size(), 1u);
  EXPECT_STREQ(record.items[0].name, "XTG_UPREF_UNITS");
}

TEST(DatReaderTest, TheEmptyRecordHasNoItems) {
  bool ok = false;
  const DatRecord record = Record(MakeFile({kEmptyRecord}), 0, &ok);
  EXPECT_TRUE(ok) << record.error;
  EXPECT_TRUE(record.items.empty());
  // The same four bytes with a 2048-byte dictionary.
  EXPECT_TRUE(Record(MakeFile({{0x00, 0x05, 0x01, 0xFF}}), 0, &ok).items.empty());
  EXPECT_TRUE(ok);
  // Four bytes that are not a whole stream.
  const DatRecord broken = Record(MakeFile({{0x00, 0x06, 0x00, 0x00}}), 0, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Contains(broken.error, "does not decode")) << broken.error;
}

TEST(DatReaderTest, RefusedFilesNameTheProblem) {
  const Bytes good = MakeFile({kEmptyRecord}, {'T'});
  EXPECT_TRUE(Contains(OpenError(Bytes(good.begin(), good.begin() + 43)), "44-byte header"));
  EXPECT_TRUE(Contains(OpenError({}), "44-byte header"));
  EXPECT_TRUE(Contains(OpenError(MakeFile({}, {}, "OTHER.DLL")), "creator \"OTHER.DLL\""));
  EXPECT_TRUE(Contains(OpenError(MakeFile({}, {}, "KXLIB.DLL", "V03.00")), "version \"V03.00\""));

  Bytes oddIndex = good;
  PutU16(oddIndex, 42, 12);
  EXPECT_TRUE(Contains(OpenError(oddIndex), "not a multiple of 8"));

  Bytes farIndex = good;
  PutU32(farIndex, 38, 0xFFFFFFF0u);  // offset + length would wrap in 32 bits
  EXPECT_TRUE(Contains(OpenError(farIndex), "index"));

  Bytes longTrailer = good;
  PutU16(longTrailer, 36, 2);
  EXPECT_TRUE(Contains(OpenError(longTrailer), "trailer"));

  Bytes noNul = good;
  std::memcpy(&noNul[10], "V02.00V02.", 10);
  EXPECT_FALSE(OpenError(noNul).empty());
}

TEST(DatReaderTest, RecordsOutsideTheFileOrWithLyingLengths) {
  const Bytes a = ImplodeBytes(Concat({Item(24, "FIRST"), Item(176, "PASS"), Item(82, std::string(300, 'o'))}));
  const Bytes b = ImplodeBytes(Item(24, "SECOND"));
  const Bytes good = MakeFile({a, b});
  const uint32_t index = static_cast<uint32_t>(44 + a.size() + b.size());
  bool ok = true;

  Bytes outside = good;
  PutU32(outside, index, 0xFFFFFFFEu);  // record 0 far past the end
  DatRecord record = Record(outside, 0, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Contains(record.error, "outside the file"));
  EXPECT_TRUE(Record(outside, 1, &ok).items.size() == 1 && ok);  // the other still reads

  Bytes tooLong = good;
  PutU32(tooLong, index + 4, static_cast<uint32_t>(good.size()));
  EXPECT_TRUE(Contains(Record(tooLong, 0, &ok).error, "outside the file"));

  Bytes cut = good;
  PutU32(cut, index + 4, static_cast<uint32_t>(a.size() / 2));
  record = Record(cut, 0, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Contains(record.error, "result 4")) << record.error;
  EXPECT_TRUE(record.items.empty());

  Bytes zero = good;
  PutU32(zero, index + 4, 0);
  EXPECT_TRUE(Contains(Record(zero, 0, &ok).error, "empty"));

  Bytes three = good;
  PutU32(three, index + 4, 3);
  EXPECT_TRUE(Contains(Record(three, 0, &ok).error, "too short"));

  // A record whose stored bytes run on past its end marker still reads.
  Bytes longer = good;
  PutU32(longer, index + 4, static_cast<uint32_t>(a.size() + b.size()));
  EXPECT_EQ(Record(longer, 0, &ok).items.size(), 3u);
  EXPECT_TRUE(ok);
}

TEST(DatReaderTest, StreamsThatDoNotExplode) {
  Bytes badDict = ImplodeBytes(Item(24, "ABCDEF"));
  badDict[1] = 7;
  Bytes badMode = ImplodeBytes(Item(24, "ABCDEF"));
  badMode[0] = 2;
  bool ok = true;
  EXPECT_TRUE(Contains(Record(MakeFile({badDict}), 0, &ok).error, "result 1"));
  EXPECT_TRUE(Contains(Record(MakeFile({badMode}), 0, &ok).error, "result 2"));
  EXPECT_FALSE(ok);
}

TEST(DatReaderTest, ItemsThatRunPastTheRecord) {
  bool ok = true;
  DatRecord record = Record(MakeFile({ImplodeBytes(Concat({Item(24, "OK"), Bytes{24, 0, 10, 0, 'a', 'b'}}))}), 0, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Contains(record.error, "item at offset 6 (tag 24): length 10 runs past")) << record.error;
  EXPECT_TRUE(record.items.empty());

  record = Record(MakeFile({ImplodeBytes(Concat({Item(24, "OK"), Bytes{5, 0, 1}}))}), 0, &ok);
  EXPECT_TRUE(Contains(record.error, "header runs past")) << record.error;

  record = Record(MakeFile({ImplodeBytes(Concat({Item(24, "OK"), Bytes{5, 0, 0, 0}}))}), 0, &ok);
  EXPECT_TRUE(Contains(record.error, "invalid length 0")) << record.error;
}

TEST(DatReaderTest, ARecordThatExpandsTooFarIsAnError) {
  const Bytes huge(kMaxDatRecordExpanded + 1000, 'z');
  const Bytes stored = ImplodeBytes(huge);
  ASSERT_LT(stored.size(), 2000u);  // repetitions compress well
  bool ok = true;
  const DatRecord record = Record(MakeFile({stored}), 0, &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Contains(record.error, "expands past 262140")) << record.error;
  EXPECT_TRUE(record.data.size() <= kMaxDatRecordExpanded);
}

TEST(DatReaderTest, DamagedFilesGiveErrorsNeverOverruns) {
  const Bytes good = MakeFile({ImplodeBytes(Concat({Item(24, "DAMAGE"), Item(632, std::string(40, '\x11'))})),
                               ImplodeBytes(Item(176, "FAIL")), kEmptyRecord},
                              {'T', 'R', 'L'});
  size_t accepted = 0;
  auto readAll = [&](const Bytes& file) {
    DatFileView view;
    std::string error;
    if (!OpenDatBytes(file.data(), file.size(), &view, &error)) {
      EXPECT_FALSE(error.empty());
      return;
    }
    ++accepted;
    for (uint32_t n = 0; n < view.index.size(); ++n) {
      DatRecord record;
      if (ReadDatRecord(view, n, &record)) {
        for (const auto& item : record.items) {
          ASSERT_LE(item.valueOffset + item.length, record.data.size());
        }
      } else {
        EXPECT_FALSE(record.error.empty());
      }
    }
  };
  for (size_t cut = 0; cut < good.size(); ++cut) readAll(Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
  EXPECT_EQ(accepted, 0u);  // every truncation loses the index or the trailer
  for (size_t at = 0; at < good.size(); ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes flipped = good;
      flipped[at] ^= static_cast<uint8_t>(1 << bit);
      readAll(flipped);
    }
  }
  EXPECT_GT(accepted, 0u);
}

TEST(DatReaderTest, LoadFileBytesReportsAMissingFile) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_FALSE(LoadFileBytes("/nonexistent/kx.dat", &bytes, &error));
  EXPECT_TRUE(Contains(error, "/nonexistent/kx.dat"));
}

}  // namespace
