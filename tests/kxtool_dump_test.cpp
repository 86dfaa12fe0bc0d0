// kxtool dump: a data file for people and, with --json, for programs.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "convert/config_state.h"
#include "convert/datafile.h"
#include "convert/workspace.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class KxtoolDumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kxlib-dump-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ResetConvertState();
    ASSERT_EQ(AllocConversionBuffers(), 1);
  }
  void TearDown() override {
    ResetConvertState();
    std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  ToolRun Dump(const std::string& args) {
    const std::string out = Path("out.txt"), err = Path("err.txt");
    const std::string command = std::string(KXTOOL_PATH) + " dump " + args + " >" + out + " 2>" + err;
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
  }

  // Writes a new data file whose records hold the given items.
  struct Item {
    uint16_t tag;
    Bytes value;
  };
  void Save(const std::string& path, const std::vector<std::vector<Item>>& records) {
    platform::FileHandle file = platform::kNoFile;
    DatFileHeader header;
    ASSERT_EQ(OpenDatFile(path.c_str(), 0, &file, &header), 1);
    uint32_t error = 0;
    ASSERT_EQ(PrepareDatAppend(file, header, &error), 1);
    for (const auto& record : records) {
      RecordBuildLength = 0;
      for (const Item& item : record) {
        ASSERT_GT(WriteDataItem(item.tag, static_cast<uint16_t>(item.value.size()), item.value.data(), &error), 0u);
      }
      ASSERT_GT(AppendDatRecord(file, &error), 0u);
    }
    ASSERT_EQ(FinishDatFile(&file, &header, &error), 1);
  }

  static Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

  std::string dir_;
};

uint32_t U32At(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  return v;
}

TEST_F(KxtoolDumpTest, JsonHasExactlyTheDocumentedShape) {
  const std::string path = Path("one.dat");
  Save(path, {{{24, Text("LINK-001")}, {632, {0x0a, 0x0b}}, {78, {}}, {5022, Text("say \"hi\" \\")}}});
  const std::string file = Slurp(path);
  const uint32_t length = U32At(file, 38) - 44;

  const ToolRun run = Dump("--json " + path);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "{\"creator\": \"KXLIB.DLL\", \"version\": \"V02.00\", \"build_date\": \"Jan 22 2003\", \"records\": "
            "[{\"offset\": 44, \"length\": " +
                std::to_string(length) +
                ", \"items\": [{\"tag\": 24, \"name\": \"XTG_STORED_AT_NAME\", \"text\": \"LINK-001\"}, "
                "{\"tag\": 632, \"name\": null, \"hex\": \"0a0b\"}, "
                "{\"tag\": 78, \"name\": \"XTG_UPREF_COMPANYNAME\", \"text\": \"\"}, "
                "{\"tag\": 5022, \"name\": null, \"text\": \"say \\\"hi\\\" \\\\\"}]}]}\n");
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["records"][0]["items"][3]["text"], "say \"hi\" \\");
}

TEST_F(KxtoolDumpTest, JsonOfAnEmptyFileAndOfRawBytes) {
  const std::string empty = Path("empty.dat");
  Save(empty, {});
  ToolRun run = Dump("--json " + empty);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "{\"creator\": \"KXLIB.DLL\", \"version\": \"V02.00\", \"build_date\": \"Jan 22 2003\", \"records\": []}\n");

  const std::string raw = Path("raw.dat");
  Save(raw, {{{1, {0x00, 0x41}}, {2, {0x7f}}, {3, {0x00}}, {4, Text(" ~")}}, {}});
  run = Dump("--json " + raw);
  ASSERT_EQ(run.status, 0);
  const auto json = nlohmann::json::parse(run.out);
  const auto& items = json["records"][0]["items"];
  EXPECT_EQ(items[0]["hex"], "0041");  // a NUL among other bytes is raw
  EXPECT_EQ(items[1]["hex"], "7f");
  EXPECT_EQ(items[2]["text"], "");     // one NUL: the empty value
  EXPECT_EQ(items[3]["text"], " ~");
  EXPECT_TRUE(json["records"][1]["items"].empty());
}

TEST_F(KxtoolDumpTest, TextFormShowsHeaderAndOneItemPerLine) {
  const std::string path = Path("text.dat");
  Save(path, {{{24, Text("LINK-001")}, {632, {0x0a, 0x0b}}}, {{176, Text("PASS")}}});
  const ToolRun run = Dump(path);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("creator     KXLIB.DLL\n"), std::string::npos);
  EXPECT_NE(run.out.find("version     V02.00\n"), std::string::npos);
  EXPECT_NE(run.out.find("build date  Jan 22 2003\n"), std::string::npos);
  EXPECT_NE(run.out.find("records     2\n"), std::string::npos);
  EXPECT_NE(run.out.find("record 0  offset 44  length "), std::string::npos);
  EXPECT_NE(run.out.find("     24  XTG_STORED_AT_NAME                 \"LINK-001\"\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("    632  -                                  hex 0a0b\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("    176  XTG_AUTOTEST_PASSFAIL              \"PASS\"\n"), std::string::npos) << run.out;
}

TEST_F(KxtoolDumpTest, ARefusedFileGivesOneLineAndStatusOne) {
  const std::string path = Path("bad.dat");
  std::ofstream(path, std::ios::binary) << std::string(60, 'x');
  ToolRun run = Dump("--json " + path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("not a data file"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);

  run = Dump(Path("missing.dat"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  EXPECT_NE(run.err.find("missing.dat"), std::string::npos);
}

TEST_F(KxtoolDumpTest, ABrokenRecordIsReportedInItsPlace) {
  const std::string path = Path("broken.dat");
  Save(path, {{{24, Text("FIRST")}}, {{24, Text("SECOND")}}});
  std::string file = Slurp(path);
  file[44 + 1] = 9;  // record 0: dictionary size code 9
  std::ofstream(path, std::ios::binary | std::ios::trunc) << file;

  ToolRun run = Dump("--json " + path);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  ASSERT_EQ(json["records"].size(), 2u);
  EXPECT_EQ(json["records"][0]["offset"], 44);
  EXPECT_TRUE(json["records"][0]["error"].is_string());
  EXPECT_FALSE(json["records"][0].contains("items"));
  EXPECT_EQ(json["records"][1]["items"][0]["text"], "SECOND");

  run = Dump(path);
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("  error: record does not decode"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"SECOND\""), std::string::npos);
}

}  // namespace
