// SaveMMCAutotest: the generated instrument's card autotest files convert to the items
// the generator chose them for; one of them, altered by hand, shows the card-file cases.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/config_state.h"
#include "sim/conversion_texts.h"
#include "sim/dataset.h"
#include "tests/support/bytes.h"
#include "tests/support/downloads_helpers.h"

namespace {

using kxsim::Bytes;
using kxsim::ExpectedItem;
using Items = std::vector<ExpectedItem>;
using testsupport::TextBytes;

kxsim::Dataset CardSet(const char* version, unsigned files) {
  kxsim::DatasetOptions options;
  options.seed = 41;
  options.version = version;
  options.copperAutotests = options.fiberAutotests = options.coaxAutotests = 0;
  options.cardAutotests = files;
  return kxsim::GenerateDataset(options);
}

using CardAutotestTest = testsupport::DownloadsTest;
using testsupport::Listed;

// Two instruments (the verdict mark of item 186 is written from "06" on), the second with
// the conversion log on: every file of each, copper and fiber, appended to one data file,
// reads back as the generator's items.
TEST_F(CardAutotestTest, GeneratedCardFilesConvertToTheItemsTheGeneratorChose) {
  for (const char* version : {"V06.11 KXSIM", "V05.20"}) {
    SCOPED_TRACE(version);
    KXSetDebugLevel(version[2] == '5' ? DBG_LOGFILE : 0);
    const kxsim::Dataset set = CardSet(version, 24);
    std::remove("CARDS.DAT");
    std::vector<Items> expected;
    for (const kxsim::GeneratedCardAutotest& card : set.cardAutotests) {
      WriteFile("CARD.ATR", card.file);
      uint32_t error = 1;
      EXPECT_EQ(SaveMMCAutotest("CARD.ATR", "CARDS.DAT", 1, &error), 1) << card.path;
      EXPECT_EQ(error, 0u);
      expected.push_back(card.items);
    }
    EXPECT_EQ(Held(ReadFile("CARDS.DAT")), Listed(expected));
    EXPECT_EQ(std::filesystem::exists("KXLIB.LOG"), version[2] == '5');  // written only when asked for
  }
  // The log of the last file: its header items and its index.
  const std::string log = LogText();
  for (const char* line : {"XTG_SCANNER_IDENT", "XTG_CIRCUITID", "XTG_AUTOTEST_PASSFAIL", "Autotest Index =     23"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
  }
}

// The offset just past the item list's last item before the end marker, or the file's end.
size_t ListEnd(const Bytes& file) {
  size_t at = 49;
  while (at + 8 <= file.size() && (file[at] | file[at + 1] << 8) != 0xFFFF)
    at += 8 + (file[at + 4] | file[at + 5] << 8) * file[at + 6];
  return at;
}

// A card item: data ID, scale, element count and size (16 bits each), the data.
Bytes ItemBytes(uint16_t id, uint8_t scale, uint16_t count, uint8_t size, const Bytes& data) {
  return testsupport::Cat({testsupport::Le({id, scale, count, size}), data});
}

void Insert(Bytes& file, size_t at, const Bytes& bytes) {
  file.insert(file.begin() + static_cast<long>(at), bytes.begin(), bytes.end());
}

// A copper file of the generator, altered by hand; each row appends it to a data file that
// holds the unaltered one. A refusal leaves the data file byte for byte as it was.
TEST_F(CardAutotestTest, CardFileCases) {
  const kxsim::GeneratedCardAutotest base = CardSet("V06.11", 1).cardAutotests[0];
  ASSERT_EQ(strncasecmp(reinterpret_cast<const char*>(base.file.data()), "VexaScanner2", 13), 0) << "a copper file";
  const Bytes nextPair2 = ItemBytes(76, 1, 1, 2, {0x7B, 0});  // written as tag 277, "12.3"
  const ExpectedItem nextPair2Item{277, {'1', '2', '.', '3'}};
  const auto field = [](const char* name) {  // a model name in its 16-byte field
    Bytes f(16, 0);
    return std::copy_n(name, std::strlen(name), f.begin()), f;
  };
  const auto model = [&](const char* name) { return [=](Bytes& f) { std::ranges::copy(field(name), f.begin()); }; };
  const auto modelItem = [&](const char* name) { return [=](Items& items) { items[0].value = field(name); }; };
  const auto set16 = [](size_t at, uint16_t v) { return [at, v](Bytes& f) { f[at] = v & 0xFF, f[at + 1] = v >> 8; }; };
  const ExpectedItem lessThan850{5005, {'<'}}, lessThan1300{5006, {'<'}};
  const auto verdict = [](Bytes text) { return [=](Items& items) { items[2].value = text; }; };
  struct Row {
    const char* what;
    std::function<void(Bytes&)> alter;
    uint32_t error;                      // 0: converted
    std::function<void(Items&)> expect = nullptr;  // the generator's items, changed so (null: as they are)
    int language = -1;                   // LanguageIndex after the call, when not -1
  };
  const Row rows[] = {
      {"first-generation copper model", model("VexaScanner"), KXERR_INVALID_DATA_FILE, nullptr},
      {"another maker's name", model("VexaScanner22"), KXERR_INVALID_DATA_FILE, nullptr},
      {"the model in other cases", model("vEXAsCANNER2"), 0, modelItem("vEXAsCANNER2")},
      {"a fiber model: the OLB texts follow", model("VexaFiber SM"), 0,
       [&](Items& items) {
         modelItem("VexaFiber SM")(items), items.push_back(lessThan850), items.push_back(lessThan1300);
       }},
      {"an item without data, its size 4, skips its header alone",
       [&](Bytes& f) { Insert(f, 49, ItemBytes(75, 1, 0, 4, {})); }, 0},
      {"an unknown data ID is skipped with its data",
       [&](Bytes& f) { Insert(f, 49, ItemBytes(999, 0, 1, 10, Bytes(nextPair2.begin(), nextPair2.begin() + 10))); }, 0},
      {"no end marker: the list ends with the file",
       [&](Bytes& f) { f.resize(ListEnd(f)), f.insert(f.end(), nextPair2.begin(), nextPair2.end()); }, 0,
       [&](Items& items) { items.push_back(nextPair2Item); }},
      {"what follows the end marker is not read",
       [&](Bytes& f) {
         f.resize(ListEnd(f)), Insert(f, f.size(), ItemBytes(0xFFFF, 0, 0, 0, {})), Insert(f, f.size(), nextPair2);
       },
       0},
      {"an item running past the file ends the walk",
       [&](Bytes& f) {
         f.resize(ListEnd(f)), Insert(f, f.size(), nextPair2), Insert(f, f.size(), ItemBytes(75, 1, 40, 2, {1, 2}));
       },
       0, [&](Items& items) { items.push_back(nextPair2Item); }},
      {"language 8", set16(45, 8), 0, nullptr, 8},
      {"language 9", set16(45, 9), 0, nullptr, 0},
      {"language 0x0102", set16(45, 0x0102), 0, nullptr, 0},
      {"flags 0x21: result 3, no text", set16(47, 0x21), 0, verdict({0})},
      {"flags 0x1E: fail", set16(47, 0x1E), 0, verdict(TextBytes(kxsim::TableText(4, 0)))},
      {"flags 0x01: pass", set16(47, 0x01), 0, verdict(TextBytes(kxsim::TableText(4, 1)))},
      {"a header cut short in the circuit identifier: the rest reads as zeros", [](Bytes& f) { f.resize(31); }, 0,
       [](Items& items) {
         items.resize(3);
         std::fill(items[1].value.begin() + 3, items[1].value.end(), 0);
         items[2].value = TextBytes(kxsim::TableText(4, 0));
       }},
      {"an empty file", [](Bytes& f) { f.clear(); }, KXERR_INVALID_DATA_FILE, nullptr},
  };
  WriteFile("CARD.ATR", base.file);
  uint32_t error = 1;
  ASSERT_EQ(SaveMMCAutotest("CARD.ATR", "ONE.DAT", 0, &error), 1);
  const Bytes one = ReadFile("ONE.DAT");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes file = base.file;
    row.alter(file);
    WriteFile("CARD.ATR", file);
    WriteFile("OUT.DAT", one);
    LanguageIndex = 77;
    EXPECT_EQ(SaveMMCAutotest("CARD.ATR", "OUT.DAT", 1, &error), row.error == 0 ? 1 : 0);
    EXPECT_EQ(error, row.error);
    if (row.error != 0) {
      EXPECT_EQ(ReadFile("OUT.DAT"), one);
      continue;
    }
    Items expected = base.items;
    if (row.expect) row.expect(expected);
    EXPECT_EQ(Held(ReadFile("OUT.DAT")), Listed(std::vector{base.items, expected}));
    if (row.language >= 0) {
      EXPECT_EQ(LanguageIndex, row.language);
    }
  }
  // Neither a missing card file nor a data file of another creator changes the data file.
  Bytes otherCreator = one;
  otherCreator[0] = 'X';
  WriteFile("OUT.DAT", otherCreator);
  WriteFile("CARD.ATR", base.file);
  for (const char* card : {"NO SUCH.ATR", "CARD.ATR"}) {
    EXPECT_EQ(SaveMMCAutotest(card, "OUT.DAT", 1, &error), 0);
    EXPECT_EQ(error, KXERR_READ_ONLY_FILE);
    EXPECT_EQ(ReadFile("OUT.DAT"), otherCreator);
  }
}

}  // namespace
