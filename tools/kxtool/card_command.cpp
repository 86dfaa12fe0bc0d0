// kxtool card ls|info|get|rm|walk PORT ...: the instrument's memory card.
//
//   card ls PORT [DIR] [--pattern P] [--long]   names in DIR (default the root); a
//                                               directory's name ends in a backslash
//   card info PORT [CARDPATH]                   the card's status, size and free space;
//                                               or one file's size, date and attributes
//   card get PORT CARDPATH [LOCAL]              copies a card file (LOCAL defaults to its
//                                               name in the current directory)
//   card rm PORT CARDPATH [--dir [--all]]       deletes a file, or a directory (--all:
//                                               with what it holds)
//   card walk PORT [DIR] [--pattern P] [--into LOCALDIR]
//                                               copies every file of DIR, one by one, as
//                                               the instrument hands them over
//
// Card paths take backslashes or slashes ("TESTS/CABLE001.ATR" is "\TESTS\CABLE001.ATR").
// A failure prints one line on stderr, with the card's refusal spelled out, and exits 1.
// Ctrl-C cancels a running transfer.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "command.h"
#include "kxlib32.h"

namespace {

// The card status words the Scanner reports when it refuses.
struct CardStatusText {
  uint16_t status;
  const char* text;
};
constexpr CardStatusText kCardStatusTexts[] = {
    {0x0000, "the card delivered nothing"},
    {0x0001, "no card, or the card is not ready"},
    {0x0002, "no such file or directory"},
    {0x0003, "the directory is not empty"},
    {0x0004, "the card cannot take this request"},
    {0x0005, "the file is write-protected"},
    {0x0006, "no more files"},
    {0x0007, "no file walk is open"},
    {0x2000, "the local file could not be written"},
};
constexpr uint16_t kStatusNoMoreFiles = 0x0006;

// Windows-style system codes the card calls pass through.
struct SystemText {
  uint32_t code;
  const char* text;
};
constexpr SystemText kSystemTexts[] = {
    {2, "no such local file or folder"},
    {5, "access to the local file is denied"},
    {8, "out of memory"},
    {31, "the local file cannot be made"},
    {112, "the local disk is full"},
};

bool IsCardRefusal(uint32_t error) { return (error & 0xFFFF0000u) == KXERR_CARD_BASE; }
uint16_t CardStatusOf(uint32_t error) { return static_cast<uint16_t>(error & 0xFFFF); }

const char* CardStatusText(uint16_t status) {
  for (const auto& row : kCardStatusTexts) {
    if (row.status == status) return row.text;
  }
  return "a card error";
}

std::string Describe(uint32_t error) {
  char text[160];
  if (IsCardRefusal(error)) {
    const uint16_t status = CardStatusOf(error);
    if (status == 0x2000) {
      std::snprintf(text, sizeof text, "%s (0x%08X)", CardStatusText(status), error);
    } else {
      std::snprintf(text, sizeof text, "the card refused: %s (card status 0x%04X)", CardStatusText(status), status);
    }
    return text;
  }
  if (error == KXERR_INVALID_FUNCTION) return "a card path or name is longer than 127 characters";
  if (error < 0x20000000u) {
    for (const auto& row : kSystemTexts) {
      if (row.code == error) {
        std::snprintf(text, sizeof text, "%s (system error %u)", row.text, error);
        return text;
      }
    }
    std::snprintf(text, sizeof text, "system error %u", error);
    return text;
  }
  std::snprintf(text, sizeof text, "%s (0x%08X)", pxErrorMsg(error), error);
  return text;
}

int Fail(const std::string& what, uint32_t error) {
  std::fprintf(stderr, "kxtool: %s: %s\n", what.c_str(), Describe(error).c_str());
  return kExitFailure;
}

// "TESTS/A.ATR" -> "\TESTS\A.ATR"; "" and "/" -> "\".
std::string CardPath(std::string text) {
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  if (text.empty() || text[0] != '\\') text.insert(text.begin(), '\\');
  return text;
}

// A directory as the card calls take it: with its trailing backslash.
std::string CardDirectory(const std::string& text) {
  std::string dir = CardPath(text);
  if (dir.back() != '\\') dir += '\\';
  return dir;
}

std::string BaseName(const std::string& cardPath) {
  const size_t slash = cardPath.find_last_of('\\');
  return slash == std::string::npos ? cardPath : cardPath.substr(slash + 1);
}

// A name from the card made safe as a local file name.
std::string LocalName(std::string name) {
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = "unnamed";
  return name;
}

std::string FatDate(uint16_t date, uint16_t time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980u + (date >> 9), (date >> 5) & 15u,
                date & 31u, time >> 11, (time >> 5) & 63u, (time & 31u) * 2);
  return text;
}

struct Options {
  PortOptions line;
  std::string path;
  std::string local;
  std::string pattern = "*.*";
  bool longForm = false;
  bool directory = false;
  bool all = false;
};
Options opt;

// ---- The commands --------------------------------------------------------------------------

// The names of `dir`, grown into a bigger buffer while they do not fit.
bool ListNames(const std::string& dir, std::vector<std::string>* names, uint32_t* error) {
  uint16_t count = 0;
  if (!mmcGetDirectoryCount(dir.c_str(), opt.pattern.c_str(), 0, &count, error)) return false;
  std::vector<char> buffer((count + 1u) * 130u);
  for (;;) {
    const int16_t ok = mmcGetDirectoryList(dir.c_str(), opt.pattern.c_str(), 0, buffer.data(),
                                           static_cast<int32_t>(buffer.size()), error);
    if (ok) break;
    if (*error == 0) return true;  // no names at all
    if (*error != KXERR_CARD_LIST_FULL || buffer.size() >= (64u << 20)) return false;
    buffer.resize(buffer.size() * 2);  // the directory grew since it was counted
  }
  for (size_t at = 0; at < buffer.size() && names->size() < 0x10000;) {
    const std::string name(buffer.data() + at);
    if (name.empty()) break;
    names->push_back(name);
    at += name.size() + 1;
  }
  return true;
}

int RunList() {
  InstrumentSession session;
  if (!session.Open(opt.line)) return kExitFailure;
  const std::string dir = CardDirectory(opt.path);
  std::vector<std::string> names;
  uint32_t error = 0;
  if (!ListNames(dir, &names, &error)) return Fail("cannot list " + dir, error);
  for (const std::string& name : names) {
    if (!opt.longForm) {
      std::printf("%s\n", name.c_str());
      continue;
    }
    const bool isDir = name.back() == '\\';
    const std::string plain = isDir ? name.substr(0, name.size() - 1) : name;
    uint32_t size = 0;
    uint16_t date = 0, time = 0, attributes = 0;
    if (!mmcGetFileInfo(dir.c_str(), plain.c_str(), &size, &date, &time, &attributes, &error)) {
      return Fail("cannot read the information of " + dir + plain, error);
    }
    if (isDir) {
      std::printf("%10s  %s  %s\n", "<DIR>", FatDate(date, time).c_str(), name.c_str());
    } else {
      std::printf("%10u  %s  %s\n", size, FatDate(date, time).c_str(), name.c_str());
    }
  }
  return 0;
}

int RunInfo() {
  InstrumentSession session;
  if (!session.Open(opt.line)) return kExitFailure;
  uint32_t error = 0;
  if (!opt.path.empty()) {
    const std::string path = CardPath(opt.path);
    const std::string dir = path.substr(0, path.find_last_of('\\') + 1);
    const std::string name = BaseName(path);
    uint32_t size = 0;
    uint16_t date = 0, time = 0, attributes = 0;
    if (!mmcGetFileInfo(dir.c_str(), name.c_str(), &size, &date, &time, &attributes, &error)) {
      return Fail("cannot read the information of " + path, error);
    }
    std::printf("File:        %s\n", path.c_str());
    std::printf("Size:        %u bytes\n", size);
    std::printf("Changed:     %s\n", FatDate(date, time).c_str());
    std::printf("Attributes:  0x%02X%s%s%s\n", attributes, (attributes & 0x10) ? " directory" : "",
                (attributes & 0x20) ? " archive" : "", (attributes & 0x01) ? " read-only" : "");
    return 0;
  }
  uint16_t status = 0;
  if (!mmcGetMMCStatus(&status, &error)) return Fail("cannot read the card's status", error);
  std::printf("Card status: 0x%04X (%s)\n", status, status == 0 ? "ready" : CardStatusText(status));
  if (status != 0) return 0;
  uint32_t size = 0, free = 0;
  if (!mmcGetMMCInfo(&size, &free, &error)) return Fail("cannot read the card's figures", error);
  std::printf("Card size:   %u bytes\n", size);
  std::printf("Free space:  %u bytes\n", free);
  return 0;
}

uint64_t LocalSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

int RunGet() {
  InstrumentSession session;
  if (!session.Open(opt.line)) return kExitFailure;
  const std::string path = CardPath(opt.path);
  const std::string local = opt.local.empty() ? LocalName(BaseName(path)) : opt.local;
  uint32_t error = 0;
  if (!mmcReadFile(path.c_str(), local.c_str(), &error)) return Fail("cannot copy " + path, error);
  std::printf("Copied %s to %s (%llu bytes)\n", path.c_str(), local.c_str(),
              static_cast<unsigned long long>(LocalSize(local)));
  return 0;
}

int RunRemove() {
  InstrumentSession session;
  if (!session.Open(opt.line)) return kExitFailure;
  std::string path = CardPath(opt.path);
  if (path.size() > 1 && path.back() == '\\') path.pop_back();
  const std::string dir = path.substr(0, path.find_last_of('\\') + 1);
  const std::string name = BaseName(path);
  uint32_t error = 0;
  const int16_t ok = opt.directory ? mmcDeleteDirectory(dir.c_str(), name.c_str(), opt.all ? 1 : 0, &error)
                                   : mmcDeleteFile(dir.c_str(), name.c_str(), 0, &error);
  if (!ok) return Fail("cannot delete " + path, error);
  std::printf("Deleted %s\n", path.c_str());
  return 0;
}

int RunWalk() {
  namespace fs = std::filesystem;
  const fs::path into = opt.local.empty() ? fs::path(".") : fs::path(opt.local);
  std::error_code ec;
  if (!fs::is_directory(into, ec)) {
    std::fprintf(stderr, "kxtool: %s is not a folder\n", into.c_str());
    return kExitFailure;
  }
  InstrumentSession session;
  if (!session.Open(opt.line)) return kExitFailure;
  const std::string dir = CardDirectory(opt.path);
  // Each step writes into this file before the instrument has said which file it is.
  const std::string part = (into / ".kxtool-walk.part").string();
  int copied = 0;
  int status = 0;
  char found[130] = {};
  uint32_t error = 0;
  int16_t ok = mmcGetFirstFile(part.c_str(), dir.c_str(), opt.pattern.c_str(), found, &error);
  for (;;) {
    const std::string target = (into / LocalName(found)).string();
    if (ok) {
      fs::rename(part, target, ec);
      if (ec) {
        std::fprintf(stderr, "kxtool: cannot name %s: %s\n", target.c_str(), ec.message().c_str());
        status = kExitFailure;
        break;
      }
    } else if (error == KXERR_RECORD_TOO_LARGE && found[0] != 0) {
      // Too large to come in one step: copied in pieces instead.
      uint32_t pieceError = 0;
      if (!mmcReadFile((dir + found).c_str(), target.c_str(), &pieceError)) {
        status = Fail("cannot copy " + dir + found, pieceError);
        break;
      }
    } else if (IsCardRefusal(error) && CardStatusOf(error) == kStatusNoMoreFiles) {
      break;  // the card has handed over every file
    } else {
      status = Fail("cannot copy the files of " + dir, error);
      break;
    }
    std::printf("%10llu  %s\n", static_cast<unsigned long long>(LocalSize(target)), found);
    ++copied;
    found[0] = '\0';
    ok = mmcGetNextFile(part.c_str(), found, &error);
  }
  uint32_t closeError = 0;
  if (!mmcCloseFile(&closeError) && status == 0) status = Fail("cannot end the walk", closeError);
  fs::remove(part, ec);
  std::printf("%d file%s copied from %s into %s\n", copied, copied == 1 ? "" : "s", dir.c_str(), into.c_str());
  return status;
}

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* card = app.add_subcommand("card", "Work with the instrument's memory card");
  card->require_subcommand(1);
  auto port = [](CLI::App* cmd) { AddPortOptions(cmd, &opt.line); };

  auto* ls = card->add_subcommand("ls", "List a card directory (directories end in a backslash)");
  port(ls);
  ls->add_option("DIR", opt.path, "Card directory, e.g. \\TESTS or TESTS (default: the root)");
  ls->add_option("--pattern", opt.pattern, "Names to list, with * and ? (default *.*)");
  ls->add_flag("-l,--long", opt.longForm, "Show each entry's size and date");
  ls->callback([&exitCode] { exitCode = RunList(); });

  auto* info = card->add_subcommand("info", "Show the card's status, size and free space, or one file's");
  port(info);
  info->add_option("CARDPATH", opt.path, "A card file or directory, e.g. TESTS/CABLE001.ATR");
  info->callback([&exitCode] { exitCode = RunInfo(); });

  auto* get = card->add_subcommand("get", "Copy a card file to a local file");
  port(get);
  get->add_option("CARDPATH", opt.path, "The card file, e.g. TESTS/CABLE001.ATR")->required();
  get->add_option("LOCAL", opt.local, "The local file (default: the card file's name here)");
  get->callback([&exitCode] { exitCode = RunGet(); });

  auto* rm = card->add_subcommand("rm", "Delete a card file, or with --dir a directory");
  port(rm);
  rm->add_option("CARDPATH", opt.path, "The card file or directory")->required();
  rm->add_flag("--dir", opt.directory, "Delete a directory");
  rm->add_flag("--all", opt.all, "With --dir: delete what the directory holds with it");
  rm->callback([&exitCode] { exitCode = RunRemove(); });

  auto* walk = card->add_subcommand("walk", "Copy every file of a card directory, one by one");
  port(walk);
  walk->add_option("DIR", opt.path, "Card directory (default: the root)");
  walk->add_option("--pattern", opt.pattern, "Files to copy, with * and ? (default *.*)");
  walk->add_option("--into", opt.local, "Local folder to copy into (default: here)");
  walk->callback([&exitCode] { exitCode = RunWalk(); });
});

}  // namespace
