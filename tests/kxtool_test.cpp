// kxtool run as a user runs it: one test per subcommand, each a table of command lines
// with the exit status (0 success, 1 failure, 2 usage error) and the text they print.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "convert/config_state.h"
#include "convert/datafile.h"
#include "convert/workspace.h"
#include "tests/support/dcl_harness.h"
#include "tests/support/programs.h"

#if defined(KXTOOL_PATH) && defined(KXSIM_PATH)

namespace {

using Bytes = std::vector<uint8_t>;

// What standard output must hold: one text, or a list of texts.
struct Texts : std::vector<std::string> {
  Texts(const char* text) : vector{text} {}             // NOLINT: implicit on purpose
  Texts(std::string text) : vector{std::move(text)} {}  // NOLINT
  Texts(std::initializer_list<std::string> texts) : vector(texts) {}
};

// One command line.
struct Case {
  std::vector<std::string> args;
  int exit;
  Texts out;        // standard output holds each text (is exactly the one when `exact`)
  std::string err;  // standard error holds this
  bool exact = false;
  std::string input = "";  // standard input
};

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
std::string Pattern(size_t n, uint32_t seed) {
  std::string b(n, '\0');
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>((seed + i) * 2654435761u >> 13);
  return b;
}

class KxtoolTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir_); }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& name, const std::string& data) const {
    std::filesystem::create_directories(std::filesystem::path(dir_ + name).parent_path());
    std::ofstream(dir_ + name, std::ios::binary) << data;
  }

  // Runs the cases in order: a failure says why in one line, a success says nothing on stderr.
  void Expect(const std::vector<Case>& cases) const {
    for (const Case& c : cases) {
      std::vector<std::string> argv = {KXTOOL_PATH};
      argv.insert(argv.end(), c.args.begin(), c.args.end());
      Write("stdin", c.input);
      const auto r = testsupport::RunProgram(argv, 60000, dir_ + "stdin");
      const std::string name = argv.size() > 2 ? argv[1] + " " + argv[2] : argv.back();
      EXPECT_EQ(r.exitCode, c.exit) << name << ": " << r.err;
      for (const std::string& part : c.out) {
        EXPECT_TRUE(c.exact ? r.out == part : r.out.find(part) != std::string::npos)
            << name << ": " << r.out.size() << " bytes: " << r.out.substr(0, 300);
      }
      EXPECT_NE(r.err.find(c.err), std::string::npos) << name << ": " << r.err;
      const auto lines = std::count(r.err.begin(), r.err.end(), '\n');
      EXPECT_TRUE(c.exit == 0 ? lines == 0 : c.exit == 1 ? lines == 1 : lines > 0) << name << ": " << r.err;
      const bool json = std::find(c.args.begin(), c.args.end(), "--json") != c.args.end();
      EXPECT_TRUE(!json || c.exit != 0 || nlohmann::json::accept(r.out)) << name;
    }
  }

  const std::string dir_ =
      testing::TempDir() + "kxtool-" + testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
};

TEST_F(KxtoolTest, VersionHelpAndUsageErrors) {
  const std::string cmake = Slurp(KXLIB_SOURCE_DIR "/CMakeLists.txt");  // the version it was configured with
  std::smatch version;
  ASSERT_TRUE(std::regex_search(cmake, version, std::regex(R"(project\(kxlib VERSION ([0-9.]+))")));
  Expect({{{"--version"}, 0, "kxtool " + version[1].str() + "\n", "", true},
          {{"--help"}, 0, {"info", "card", "dump", "dcl"}, ""},
          {{}, 2, "", "subcommand"},
          {{"frobnicate"}, 2, "", ""},
          {{"info"}, 2, "", "PORT"},
          {{"card"}, 2, "", "subcommand"},
          {{"card", "get", "COM:/dev/null"}, 2, "", "CARDPATH"},
          {{"dump"}, 2, "", "FILE"},
          {{"dcl", "implode", "--dict", "many"}, 2, "", "--dict"}});
}

TEST_F(KxtoolTest, InfoNamesTheSimulatedScanner) {
  testsupport::BackgroundKxsim sim;
  const std::string port = sim.ComName();
  Expect({{{"info", port, "--baud", "57600"}, 0,
           {"Serial number:      KX000000001\nModel:              VEXAScanner2 (code 12)\nSoftware version:   V06.11",
            "\nFormat definitions: supported\n"}, ""},
          {{"info", "COM:/dev/kxlib-no-such-port"}, 1, "",
           "kxtool: cannot open COM:/dev/kxlib-no-such-port: Selected Com Port is unavailable (0x20000023)\n", true},
          {{"info", "COM:/dev/null", "--baud", "115200"}, 1, "", "The device's baud rate is unsupported. (0x200003F5)"}});
}

TEST_F(KxtoolTest, CardOnTheSampleCardAFolderCardAndACardNotReady) {
  const std::string& d = dir_;
  {
    testsupport::BackgroundKxsim sim;
    const std::string port = sim.ComName();
    Expect({{{"card", "info", port}, 0, "Card status: 0x0000 (ready)\nCard size:   33554432 bytes\n", ""},
            {{"card", "ls", port}, 0, "LOGS\\\nREADME.TXT\nSETUP\\\nTESTS\\\n", "", true},
            {{"card", "ls", port, "TESTS", "--long"}, 0,
             {"     20000  2003-01-22 09:44:42  CABLE003.ATR\n", "     <DIR>  2003-01-22 09:44:42  OLD\\\n"}, ""},
            {{"card", "info", port, "TESTS/CABLE003.ATR"}, 0, "Size:        20000 bytes\n", ""},
            {{"card", "rm", port, "README.TXT"}, 1, "",
             "kxtool: cannot delete \\README.TXT: the card refused: the file is write-protected (card status 0x0005)\n"},
            {{"card", "get", port, "TESTS/NOSUCH.ATR", d + "none"}, 1, "",
             "cannot copy \\TESTS\\NOSUCH.ATR: the card refused: no such file or directory"},
            {{"card", "get", port, "TESTS/CABLE001.ATR", d + "no/dir/x"}, 1, "", "no such local file or folder (system error 2)"},
            {{"card", "info", port, std::string(130, 'N')}, 1, "", "longer than 127 characters"},
            {{"card", "rm", port, "TESTS/OLD", "--dir", "--all"}, 0, "Deleted \\TESTS\\OLD\n", "", true},
            {{"card", "rm", port, "TESTS/PATCH01.ATR"}, 0, "Deleted \\TESTS\\PATCH01.ATR\n", "", true},
            {{"card", "ls", port, "TESTS"}, 0, "CABLE001.ATR\nCABLE002.ATR\nCABLE003.ATR\n", "", true}});
    EXPECT_FALSE(std::filesystem::exists(dir_ + "none"));
  }
  {
    Write("card/RESULTS/A.ATR", Pattern(1500, 1));
    Write("card/RESULTS/B.ATR", "");
    Write("card/RESULTS/HUGE.ATR", Pattern(100000, 3));  // too large for one step
    Write("card/RESULTS/NOTES.TXT", Pattern(40, 4));
    Write("card/RESULTS/SUB/C.ATR", Pattern(10, 5));
    Write("out/.keep", "");
    testsupport::BackgroundKxsim sim({"--card", dir_ + "card"});
    const std::string port = sim.ComName();
    Expect({{{"card", "walk", port, "RESULTS", "--pattern", "*.ATR", "--into", d + "out"}, 0,
             "      1500  A.ATR\n         0  B.ATR\n    100000  HUGE.ATR\n3 files copied from \\RESULTS\\ into " + d + "out\n", "",
             true},
            {{"card", "get", port, "RESULTS/HUGE.ATR", d + "huge"}, 0,
             "Copied \\RESULTS\\HUGE.ATR to " + d + "huge (100000 bytes)\n", "", true},
            {{"card", "walk", port, "NOWHERE", "--into", d + "out"}, 1, "",
             "cannot copy the files of \\NOWHERE\\: the card refused: no such file or directory"},
            {{"card", "walk", port, "--into", d + "nowhere"}, 1, "", "is not a folder"}});
    EXPECT_EQ(Slurp(dir_ + "out/A.ATR"), Pattern(1500, 1));
    EXPECT_EQ(Slurp(dir_ + "out/HUGE.ATR"), Pattern(100000, 3));
    EXPECT_EQ(Slurp(dir_ + "huge"), Pattern(100000, 3));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "out/B.ATR"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "out/NOTES.TXT"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "out/.kxtool-walk.part"));
  }
  testsupport::BackgroundKxsim sim({"--card-status", "1"});
  const std::string port = sim.ComName();
  Expect({{{"card", "info", port}, 0, "Card status: 0x0001 (no card, or the card is not ready)\n", "", true},
          {{"card", "ls", port}, 1, "",
           "kxtool: cannot list \\: the card refused: no card, or the card is not ready (card status 0x0001)\n"}});
}

struct Item {
  uint16_t tag;
  std::string value;
};

// Writes a new data file whose records hold the given items, with the library's writer.
void SaveDataFile(const std::string& path, const std::vector<std::vector<Item>>& records) {
  ResetConvertState();
  ASSERT_EQ(AllocConversionBuffers(), 1);
  platform::FileHandle file = platform::kNoFile;
  DatFileHeader header;
  ASSERT_EQ(OpenDatFile(path.c_str(), 0, &file, &header), 1);
  uint32_t error = 0;
  ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
  for (const auto& record : records) {
    RecordBuildLength = 0;
    for (const Item& item : record) {
      const auto* value = reinterpret_cast<const uint8_t*>(item.value.data());
      ASSERT_GT(WriteDataItem(item.tag, static_cast<uint16_t>(item.value.size()), value, &error), 0u);
    }
    ASSERT_GT(AppendDatRecord(file, &error), 0u);
  }
  ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);
  ResetConvertState();
}

TEST_F(KxtoolTest, DumpAsTextAndAsJson) {
  const std::string& d = dir_;
  using std::string_literals::operator""s;
  SaveDataFile(dir_ + "one.dat", {{{24, "LINK-001"}, {632, "\x0a\x0b"}, {78, ""}, {5022, "say \"hi\" \\"}}});
  SaveDataFile(dir_ + "empty.dat", {});
  SaveDataFile(dir_ + "raw.dat", {{{1, "\0A"s}, {2, "\x7f"}, {3, "\0"s}, {4, " ~"}}, {}});
  SaveDataFile(dir_ + "two.dat", {{{24, "LINK-001"}, {632, "\x0a\x0b"}}, {{176, "PASS"}}});
  SaveDataFile(dir_ + "broken.dat", {{{24, "FIRST"}}, {{24, "SECOND"}}});
  std::string broken = Slurp(dir_ + "broken.dat");
  broken[44 + 1] = 9;  // record 0: dictionary size code 9
  Write("broken.dat", broken);
  Write("bad.dat", std::string(60, 'x'));
  const std::string one = Slurp(dir_ + "one.dat");
  uint32_t length = 0;  // record 0's: from its start to the index, whose offset the header holds at 38
  for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<uint8_t>(one[38 + i]);
  const std::string header = R"({"creator": "KXLIB.DLL", "version": "V02.00", "build_date": "Jan 22 2003", "records": )";

  Expect({{{"dump", "--json", d + "one.dat"}, 0,
           header + R"([{"offset": 44, "length": )" + std::to_string(length - 44) +
               R"(, "items": [{"tag": 24, "name": "XTG_STORED_AT_NAME", "text": "LINK-001"}, )"
               R"({"tag": 632, "name": null, "hex": "0a0b"}, {"tag": 78, "name": "XTG_UPREF_COMPANYNAME", "text": ""}, )"
               R"({"tag": 5022, "name": null, "text": "say \"hi\" \\"}]}]})" "\n", "", true},
          {{"dump", "--json", d + "empty.dat"}, 0, header + "[]}\n", "", true},
          // A NUL among other bytes is raw; one NUL alone is the empty value.
          {{"dump", "--json", d + "raw.dat"}, 0,
           {R"("hex": "0041"}, )", R"("hex": "7f"}, )", R"("text": ""}, )", R"("text": " ~"}]}, {"offset": )",
            R"("items": []}]})"}, ""},
          {{"dump", d + "two.dat"}, 0,
           {"creator     KXLIB.DLL\nversion     V02.00\nbuild date  Jan 22 2003\nrecords     2\n",
            "record 0  offset 44  length ", "    176  XTG_AUTOTEST_PASSFAIL              \"PASS\"\n",
            "     24  XTG_STORED_AT_NAME                 \"LINK-001\"\n    632  -                                  hex 0a0b\n"},
           ""},
          // The broken record stands in its place with its error and no items.
          {{"dump", "--json", d + "broken.dat"}, 0,
           {R"([{"offset": 44, "length": )", R"(, "error": "record does not decode)", R"("}, {"offset": )",
            R"("items": [{"tag": 24, "name": "XTG_STORED_AT_NAME", "text": "SECOND"}]}]})"}, ""},
          {{"dump", d + "broken.dat"}, 0, {"  error: record does not decode", "\"SECOND\""}, ""},
          {{"dump", "--json", d + "bad.dat"}, 1, "", "not a data file", true},
          {{"dump", d + "missing.dat"}, 1, "", "missing.dat", true}});
}

TEST_F(KxtoolTest, DclImplodesAsTheLibraryDoesAndExplodesBack) {
  Bytes input = dcltest::EnglishText(30000);
  for (uint8_t b : dcltest::TaggedRecords(9000)) input.push_back(b);
  const auto library = [](const Bytes& in, uint32_t mode, uint32_t dict) {
    return AsText(dcltest::RunImplode(in, mode, dict).out);
  };
  const std::string in = AsText(input), packed = library(input, kDclBinary, 4096);
  const std::string cut = packed.substr(0, packed.size() / 2);
  const dcltest::Run decoded = dcltest::RunExplode(Bytes(cut.begin(), cut.end()));
  ASSERT_EQ(decoded.result, kExplodeAbort);
  ASSERT_GT(decoded.out.size(), 8000u);
  using std::string_literals::operator""s;
  Expect({{{"dcl", "implode"}, 0, packed, "", true, in},
          {{"dcl", "implode", "--ascii", "--dict", "2048"}, 0, library(input, kDclAscii, 2048), "", true, in},
          {{"dcl", "implode", "--literal-mode", "1", "--dict", "1024"}, 0, library(input, kDclAscii, 1024), "", true, in},
          {{"dcl", "implode"}, 0, "\x00\x06\x01\xFF"s, "", true, ""},
          {{"dcl", "explode"}, 0, in, "", true, library(input, kDclAscii, 2048)},
          {{"dcl", "explode"}, 0, "", "", true, "\x00\x06\x01\xFF\x00"s},
          {{"dcl", "implode", "--dict", "3000"}, 2, "", "1024, 2048 or 4096\n", true, in},
          {{"dcl", "implode", "--literal-mode", "2"}, 2, "", "0 (binary) or 1 (ASCII)\n", true, in},
          {{"dcl", "explode"}, 1, "", "(result 3)\n", true, "\x00\x06\x01\xFF"s},
          {{"dcl", "explode"}, 1, "", "(second byte) is not 4, 5 or 6 (result 1)\n", true, "\x00\x07\x01\xFF\x00"s},
          {{"dcl", "explode"}, 1, AsText(decoded.out), "(result 4)\n", true, cut}});  // what decoded before the cut
}

}  // namespace

#endif
