// kxtool run as a user runs it: one test per subcommand, each a table of command lines
// with the exit status (0 success, 1 failure, 2 usage error, 130 cancelled) and the text
// they print. Autotests that reach a data file are read back with the project's reader and
// compared with the items the simulator's generated instrument says they hold.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "sim/dataset.h"
#include "tests/support/dcl_harness.h"
#include "tests/support/downloads_helpers.h"
#include "tests/support/frames.h"
#include "tests/support/programs.h"
#include "tests/support/scanner_session.h"

#if defined(KXTOOL_PATH) && defined(KXSIM_PATH)

namespace {

using namespace testsupport;

// What standard output must hold: one text, or a list of texts.
struct Texts : std::vector<std::string> {
  Texts(const char* text) : vector{text} {}             // NOLINT: implicit on purpose
  Texts(std::string text) : vector{std::move(text)} {}  // NOLINT
  Texts(std::initializer_list<std::string> texts) : vector(texts) {}
};

// One command line: standard output holds each text of `out` (is exactly the one when
// `exact`), standard error holds `err`; `input` is standard input.
struct Case { std::vector<std::string> args; int exit; Texts out; std::string err; bool exact = false;
              std::string input = ""; };

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }
std::string Chars(size_t n, uint32_t seed) { return AsText(Pattern(n, seed)); }

// The autotests of `type` (copper by default) that `kxsim --seed SEED --autotests N` holds.
std::vector<kxsim::GeneratedAutotest> Copper(unsigned n, uint64_t seed = kxsim::kSampleSeed, uint16_t type = 3841) {
  return OfType(Generated(n, 2, 2, seed), type);
}
// A value as kxtool prints a text: without its closing NUL.
std::string Text(const Bytes& v) { return std::string(v.begin(), v.end() - (!v.empty() && v.back() == 0)); }

// Runs in a scratch folder, `d` its path with a final slash.
class KxtoolTest : public DownloadsTest {
 protected:
  void SetUp() override {
    DownloadsTest::SetUp();
    d = dir_ + "/";
  }
  static std::string Slurp(const std::string& path) { return AsText(ReadFile(path)); }
  void Write(const std::string& name, const std::string& data) const {
    std::filesystem::create_directories(std::filesystem::path(d + name).parent_path());
    std::ofstream(d + name, std::ios::binary) << data;
  }

  // Runs the cases in order: a failure says why in one line, a success says nothing on stderr
  // but the one warning `err` names.
  void Expect(const std::vector<Case>& cases) const {
    for (const Case& c : cases) {
      Write("stdin", c.input);
      const auto r = Kxtool(c.args, {}, d + "stdin");
      const std::string name = c.args.size() > 1 ? c.args[0] + " " + c.args[1] : c.args.empty() ? "" : c.args[0];
      EXPECT_EQ(r.exitCode, c.exit) << name << ": " << r.err;
      for (const std::string& part : c.out) {
        EXPECT_TRUE(c.exact ? r.out == part : r.out.find(part) != std::string::npos)
            << name << ": " << r.out.size() << " bytes: " << r.out.substr(0, 300);
      }
      EXPECT_NE(r.err.find(c.err), std::string::npos) << name << ": " << r.err;
      const auto lines = std::count(r.err.begin(), r.err.end(), '\n');
      EXPECT_TRUE(c.exit == 0 ? lines == !c.err.empty() : c.exit == 1 ? lines == 1 : lines > 0) << name << ": " << r.err;
      const bool json = std::find(c.args.begin(), c.args.end(), "--json") != c.args.end();
      EXPECT_TRUE(!json || c.exit != 0 || nlohmann::json::accept(r.out)) << name;
    }
  }
  static ProgramResult Kxtool(std::vector<std::string> args, const SignalWhen& when = {},
                              const std::string& input = "/dev/null") {
    args.insert(args.begin(), KXTOOL_PATH);
    return RunProgram(args, 60000, input, when);
  }
  std::string d;
};

// Usage errors (exit 2) and the library's errors (exit 1, one line) of each subcommand.
TEST_F(KxtoolTest, VersionHelpUsageErrorsAndTheLibrarysErrors) {
  std::vector<std::string> seventeenKeys = {"download", "COM:/dev/null", "x.dat"};
  for (int k = 0; k < 17; ++k) seventeenKeys.insert(seventeenKeys.end(), {"--key", "1"});
  const std::string cmake = Slurp(KXLIB_SOURCE_DIR "/CMakeLists.txt");  // the version it was configured with
  std::smatch version;
  ASSERT_TRUE(std::regex_search(cmake, version, std::regex(R"(project\(kxlib VERSION ([0-9.]+))")));
  // Every command opens its port through one call: one port and one rate refused stand for all.
  Expect({{{"--version"}, 0, "kxtool " + version[1].str() + "\n", "", true}, {{}, 2, "", "subcommand"},
          {{"frobnicate"}, 2, "", ""}, {{"info"}, 2, "", "PORT"}, {{"card"}, 2, "", "subcommand"},
          {{"card", "get", "COM:/dev/null"}, 2, "", "CARDPATH"}, {{"dump"}, 2, "", "FILE"},
          {{"dcl", "implode", "--dict", "many"}, 2, "", "--dict"}, {{"convert", "x.ATR"}, 2, "", "At least 2"},
          {{"count", "COM:/dev/kxlib-no-such-port"}, 1, "",
           "kxtool: cannot open COM:/dev/kxlib-no-such-port: Selected Com Port is unavailable (0x20000023)\n", true},
          {{"info", "COM:/dev/null", "--baud", "115200"}, 1, "", "The device's baud rate is unsupported. (0x200003F5)"},
          {{"count", "COM:/dev/null", "--type", "glass"}, 2, "", "--type"},
          {{"download", "COM:/dev/null", "x.dat", "--key", "256"}, 2, "", "--key"},
          {seventeenKeys, 2, "", "at most 16 search keys"}, {{"save", "COM:/dev/null", "first", "x.dat"}, 2, "", "NUMBER"},
          {{"convert", d + "none.ATR", "x.dat"}, 1, "", "(0x20000011)\n"},
          {{"dump", "--csv", "--json", "x.dat"}, 2, "", "excludes"}, {{"demo", "--autotests", "0"}, 2, "", "--autotests"}});
  EXPECT_FALSE(std::filesystem::exists(d + "x.dat"));
}

// info and card on the sample Scanner, card on a folder card and on a card not ready. The
// simulated Scanner logs every request (-v) and, stopped, its statistics with the faults it
// injected; it does not stop when its standard input closes (--no-stdin).
TEST_F(KxtoolTest, InfoAndCardOnTheSampleCardAFolderCardAndACardNotReady) {
  {
    BackgroundKxsim sim({"-v", "--stats", "--no-stdin", "-f", "delay=1:1"}, d + "kxsim.log");
    const std::string port = sim.ComName();
    Expect({{{"card", "info", port}, 0, "Card status: 0x0000 (ready)\nCard size:   33554432 bytes\n", ""},
            {{"card", "ls", port}, 0, "AUTOTEST\\\nLOGS\\\nREADME.TXT\nSETUP\\\nTESTS\\\n", "", true},
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
            {{"card", "ls", port, "TESTS"}, 0, "CABLE001.ATR\nCABLE002.ATR\nCABLE003.ATR\n", "", true},
            {{"info", port, "--baud", "57600"}, 0,
             {"Serial number:      KX000000001\nModel:              VEXAScanner2 (code 12)\nSoftware version:   V06.11",
              "\nFormat definitions: supported\n"}, ""}});
    EXPECT_FALSE(std::filesystem::exists(d + "none"));
  }
  const std::string log = Slurp(d + "kxsim.log");
  EXPECT_NE(log.find("kxsim: request Class 14 Type 2, 70 bytes, record type 1026 number 0 -> Status 1, "),
            std::string::npos) << log;
  EXPECT_NE(log.find("\nkxsim: fault delay injected "), std::string::npos) << log;
  {
    Write("card/RESULTS/A.ATR", Chars(1500, 1));
    Write("card/RESULTS/B.ATR", "");
    Write("card/RESULTS/HUGE.ATR", Chars(100000, 3));  // too large for one step
    Write("card/RESULTS/NOTES.TXT", Chars(40, 4));
    Write("card/RESULTS/SUB/C.ATR", Chars(10, 5));
    Write("out/.keep", "");
    BackgroundKxsim sim({"--card", d + "card"});
    const std::string port = sim.ComName();
    Expect({{{"card", "walk", port, "RESULTS", "--pattern", "*.ATR", "--into", d + "out"}, 0,
             "      1500  A.ATR\n         0  B.ATR\n    100000  HUGE.ATR\n3 files copied from \\RESULTS\\ into " + d + "out\n", "",
             true},
            {{"card", "get", port, "RESULTS/HUGE.ATR", d + "huge"}, 0,
             "Copied \\RESULTS\\HUGE.ATR to " + d + "huge (100000 bytes)\n", "", true},
            {{"card", "walk", port, "NOWHERE", "--into", d + "out"}, 1, "",
             "cannot copy the files of \\NOWHERE\\: the card refused: no such file or directory"},
            {{"card", "walk", port, "--into", d + "nowhere"}, 1, "", "is not a folder"}});
    EXPECT_EQ(Slurp(d + "out/A.ATR"), Chars(1500, 1));
    EXPECT_EQ(Slurp(d + "huge"), Chars(100000, 3));
    EXPECT_TRUE(std::filesystem::exists(d + "out/B.ATR"));
    EXPECT_FALSE(std::filesystem::exists(d + "out/NOTES.TXT"));
    EXPECT_FALSE(std::filesystem::exists(d + "out/.kxtool-walk.part"));
  }
  BackgroundKxsim sim({"--card-status", "1"});
  const std::string port = sim.ComName();
  Expect({{{"card", "info", port}, 0, "Card status: 0x0001 (no card, or the card is not ready)\n", "", true},
          {{"card", "ls", port}, 1, "",
           "kxtool: cannot list \\: the card refused: no card, or the card is not ready (card status 0x0001)\n"}});
}

TEST_F(KxtoolTest, DumpAsTextAndAsJson) {
  const Record one = {{24, TextBytes("LINK-001")}, {632, {0x0a, 0x0b}}, {78, {0}}, {5022, TextBytes("say \"hi\" \\")}};
  const Bytes stored = Stored(RecordBytes(one));
  Bytes broken = Stored(RecordBytes({{24, TextBytes("FIRST")}}));
  broken[1] = 9;  // dictionary size code 9
  WriteFile(d + "one.dat", DataFileBytes({stored}));
  WriteFile(d + "empty.dat", DataFileBytes({}));
  WriteFile(d + "raw.dat", DataFileBytes({Stored(RecordBytes({{1, {0, 'A'}}, {2, {0x7f}}, {3, {0}}, {4, {' ', '~'}}})),
                                          kEmptyRecord}));
  WriteFile(d + "two.dat", DataFileBytes({Stored(RecordBytes({{24, TextBytes("LINK-001")}, {632, {0x0a, 0x0b}}})),
                                          Stored(RecordBytes({{176, TextBytes("PASS")}}))}));
  WriteFile(d + "broken.dat",
            DataFileBytes({broken, Stored(RecordBytes({{24, TextBytes("SECOND")}, {24, TextBytes("THIRD")}}))}));
  Write("bad.dat", std::string(60, 'x'));
  const std::string header = R"({"creator": "KXLIB.DLL", "version": "V02.00", "build_date": "Jan 22 2003", "records": )";
  Expect({{{"dump", "--json", d + "one.dat"}, 0,
           header + R"([{"offset": 44, "length": )" + std::to_string(stored.size()) +
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
            R"("text": "SECOND"}, {"tag": 24, "name": "XTG_STORED_AT_NAME", "text": "THIRD"}]}]})"}, ""},
          {{"dump", d + "broken.dat"}, 0, {"  error: record does not decode", "\"SECOND\""}, ""},
          {{"dump", "--json", d + "bad.dat"}, 1, "", "not a data file", true},
          // Columns by first occurrence; a field with quotes is quoted, its quotes doubled.
          {{"dump", "--csv", d + "one.dat"}, 0,
           "XTG_STORED_AT_NAME,tag 632,XTG_UPREF_COMPANYNAME,tag 5022\r\nLINK-001,0x0a0b,,\"say \"\"hi\"\" \\\"\r\n", "",
           true},
          {{"dump", "--csv", d + "two.dat"}, 0, "XTG_STORED_AT_NAME,tag 632,XTG_AUTOTEST_PASSFAIL\r\nLINK-001,0x0a0b,\r\n,,PASS\r\n",
           "", true},
          // A tag's second item in a record has a column of its own.
          {{"dump", "--csv", d + "broken.dat"}, 1, "XTG_STORED_AT_NAME,XTG_STORED_AT_NAME#2\r\nSECOND,THIRD\r\n",
           "record 0: record does not decode", true},
          {{"dump", d + "missing.dat"}, 1, "", "missing.dat", true}});
}

TEST_F(KxtoolTest, DclImplodesAsTheLibraryDoesAndExplodesBack) {
  Bytes input = dcltest::EnglishText(30000);
  for (uint8_t b : dcltest::TaggedRecords(9000)) input.push_back(b);
  const auto library = [](const Bytes& b, uint32_t m, uint32_t d) { return AsText(dcltest::RunImplode(b, m, d).out); };
  const std::string in = AsText(input), packed = library(input, kDclBinary, 4096);
  const std::string cut = packed.substr(0, packed.size() / 2);
  const dcltest::Run decoded = dcltest::RunExplode(Bytes(cut.begin(), cut.end()));  // ends in an abort
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

// count, download (whole, by keys, appended) and save against the generated instrument.
TEST_F(KxtoolTest, CountDownloadAndSaveTheGeneratedAutotests) {
  // The first 7 copper autotests of seed 2 all keep the model name (tag 455) a save starts
  // with, so any of them converts alone, or among others, as in one whole download.
  const auto copper = Copper(7, 2);
  std::map<int, std::vector<kxsim::GeneratedAutotest>> byKey;
  for (const auto& a : copper) byKey[a.key.at(0)].push_back(a);
  const int k1 = copper[0].key[0], k2 = copper[1].key[0] == k1 ? copper[2].key[0] : copper[1].key[0];
  BackgroundKxsim sim({"--seed", "2", "--autotests", "7"});
  const std::string port = sim.ComName();
  Expect({{{"count", port}, 0, "7\n", "", true},
          {{"count", port, "--key", std::to_string(k2)}, 0, std::to_string(byKey[k2].size()) + "\n", "", true},
          {{"count", port, "--type", "coax"}, 0, "2\n", "", true},
          {{"save", port, "99", "one.dat"}, 1, "",
           "kxtool: cannot save autotest 99: Unknown error communicating with Scanner (0x2000001E)\n", true},
          {{"download", port, "all.dat", "--baud", "57600"}, 0, "Saved 7 of 7 autotests to all.dat in ", ""},
          {{"download", port, "keyed.dat", "--key", std::to_string(k1)}, 0, "autotests to keyed.dat", ""},
          {{"download", port, "keyed.dat", "--append", "--key", std::to_string(k2)}, 0, "autotests to keyed.dat", ""},
          {{"save", port, "0", "one.dat"}, 0, "Saved copper autotest 0 to one.dat\n", "without a limit curve it names"},
          {{"save", port, "0", "one.dat", "--append", "--type", "fiber"}, 0, "Saved fiber autotest 0 to one.dat\n", ""},
          {{"save", port, "1", "one.dat", "--append", "--type", "coax"}, 0, "Saved coax autotest 1 to one.dat\n", ""}});
  auto keyed = byKey[k1];
  keyed.insert(keyed.end(), byKey[k2].begin(), byKey[k2].end());
  EXPECT_EQ(Held(ReadFile("keyed.dat")), Listed(Expected(keyed)));
  // A single save reads no limit records beforehand and asks for each limit by name: copper
  // autotest 0 of seed 2 names a limit only the BLANK pool holds, whose curve it lacks.
  EXPECT_EQ(Held(ReadFile("one.dat")), Listed(Expected({copper[0], Copper(7, 2, 3874)[0], Copper(7, 2, 3877)[1]},
                                                      &kxsim::GeneratedAutotest::singleItems)));
}

// A USB instrument (kxsim serving a device folder the enumerator module lists): ports names
// it by serial number, and the commands open it as usb:SERIAL (all through one open; what
// a download over USB holds is the savers' tests').
TEST_F(KxtoolTest, PortsListsAUsbInstrumentTheCommandsOpenBySerialNumber) {
  UsbFolders folders;
  const std::string device = folders.Device("scanner");
  BackgroundKxsim sim({"--usb", device, "--serial", "KX000000777", "--seed", "2", "--autotests", "5"});
  Expect({{{"ports"}, 0, {"Serial ports:\n", "USB instruments:\n  usb:KX000000777", device + "\n"}, ""},
          {{"count", "usb:KX000000777"}, 0, "5\n", "", true},
          {{"count", "usb:KX000000999"}, 1, "", "kxtool: cannot open usb:KX000000999: "}});
}

// Ctrl-C in the middle of a paced download: exit 130, a valid file with the autotests
// converted before the cancel, as many as the tool says (which ones, the savers' tests show).
TEST_F(KxtoolTest, DownloadCancelledByCtrlCKeepsTheAutotestsBefore) {
  BackgroundKxsim sim({"--autotests", "12", "--pace"});
  const ProgramResult r = Kxtool({"download", sim.ComName(), "cut.dat", "--baud", "57600"}, {SIGINT, " autotests"});
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_NE(r.err.find("kxtool: download cancelled: "), std::string::npos) << r.err;
  const size_t kept = ReadBack(ReadFile("cut.dat")).size();
  ASSERT_TRUE(kept >= 1 && kept < 12) << kept;
  EXPECT_NE(r.out.find("Saved " + std::to_string(kept) + " of 12 autotests"), std::string::npos) << r.out;
}

// Card autotest files copied from the simulated card: the first replaces the data file (or
// adds to it with --append), later ones add.
TEST_F(KxtoolTest, ConvertTurnsCardAutotestFilesIntoRecords) {
  const auto cards = kxsim::GenerateDataset(kxsim::kSampleSeed).cardAutotests;
  ASSERT_EQ(cards.size(), 4u);
  {
    BackgroundKxsim sim;
    Expect({{{"card", "walk", sim.ComName(), "AUTOTEST", "--into", d}, 0, "4 files copied", ""}});
  }
  std::vector<std::string> files;
  for (int i = 1; i <= 4; ++i) files.push_back(d + "CARD000" + std::to_string(i) + ".ATR");
  Write("bad.ATR", std::string(60, 'x'));
  Expect({{{"convert", files[3], "c.dat"}, 0, "Converted 1 card autotest into c.dat\n", "", true},
          {{"convert", files[0], files[1], "c.dat"}, 0, "Converted 2 card autotests into c.dat\n", "", true},
          {{"convert", files[2], files[3], "c.dat", "--append"}, 0, "Converted 2 card autotests into c.dat\n", "", true},
          {{"convert", d + "bad.ATR", "c.dat", "--append"}, 1, "",
           "kxtool: cannot convert " + d + "bad.ATR: Invalid data file (0x20000010)\n", true}});
  EXPECT_EQ(Held(ReadFile("c.dat")), Listed(std::vector{cards[0].items, cards[1].items, cards[2].items, cards[3].items}));
}

TEST_F(KxtoolTest, DemoDownloadsTheSimulatedScannerOverANoisyLine) {
  const auto copper = Copper(4);
  std::map<std::string, unsigned> results;
  for (const auto& a : copper) for (const auto& item : a.streamedItems) results[Text(item.value)] += item.tag == 176;
  std::string summary = "Results:";
  for (const auto& [result, n] : results) summary += n ? " " + result + " " + std::to_string(n) : "";
  const ProgramResult r = Kxtool({"demo", "--autotests", "4", "--faults"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> texts = {"Model:              VEXAScanner2", "Stored autotests:   4\n",
                                          "Saved 4 of 4 autotests to demo.dat in ", summary + "\n",
                                          Text(copper[3].streamedItems[0].value),
                                          " retries. Nothing was lost: all 4 autotests are in demo.dat.\n"};
  for (const std::string& text : texts) EXPECT_NE(r.out.find(text), std::string::npos) << text << " not in:\n" << r.out;
  EXPECT_EQ(Held(ReadFile("demo.dat")), Listed(Expected(copper)));
}

}  // namespace

#endif
