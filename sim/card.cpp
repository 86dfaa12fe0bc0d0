#include "sim/card.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "sim/wire_format.h"

namespace kxsim {

// ---- The tree ---------------------------------------------------------------------------------

namespace {

char Fold(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Names compare without regard to case, as on the card's file system.
struct NameLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Fold(x) < Fold(y); });
  }
};

}  // namespace

struct Card::Node {
  bool directory = true;
  bool readOnly = false;
  uint16_t date = kSampleDate;
  uint16_t time = kSampleTime;
  Bytes data;
  std::map<std::string, std::unique_ptr<Node>, NameLess> children;

  uint8_t Attributes() const {
    return static_cast<uint8_t>((directory ? kAttrDirectory : kAttrArchive) | (readOnly ? kAttrReadOnly : 0));
  }
};

struct Card::Rule {
  enum Kind { kRefuse, kStall, kScript } kind = kRefuse;
  uint16_t command = 0;
  uint16_t status = 0;
  Bytes response;
  uint32_t count = 0;
  uint32_t skip = 0;
};

namespace {

using Node = Card::Node;
using Path = std::vector<std::string>;

constexpr size_t kRequestsKept = 256;
constexpr uint32_t kCluster = 512;

// The components of a card path; both kinds of slash separate, empty parts are dropped.
Path Split(const std::string& text) {
  Path parts;
  std::string part;
  for (char c : text) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string Join(const Path& parts) {
  std::string text;
  for (const auto& p : parts) text += "\\" + p;
  return text.empty() ? "\\" : text;
}

Node* Find(Node* root, const Path& parts) {
  Node* node = root;
  for (const auto& p : parts) {
    if (!node->directory) return nullptr;
    auto it = node->children.find(p);
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

// '*' any run, '?' any one character; case does not matter.
bool Matches(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* n = name;; ++n) {
      if (Matches(pattern + 1, n)) return true;
      if (*n == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern != '?' && Fold(*pattern) != Fold(*name)) return false;
  return Matches(pattern + 1, name + 1);
}

bool Selects(const std::string& pattern, const std::string& name) {
  if (pattern.empty() || pattern == "*" || pattern == "*.*") return true;
  return Matches(pattern.c_str(), name.c_str());
}

// The entries of `dir` that `pattern` and the listing `option` select, in name order.
std::vector<std::pair<std::string, const Node*>> Select(const Node& dir, const std::string& pattern,
                                                        uint16_t option) {
  std::vector<std::pair<std::string, const Node*>> out;
  for (const auto& [name, child] : dir.children) {
    if (option == 1 && !child->directory) continue;
    if (option == 2 && child->directory) continue;
    if (Selects(pattern, name)) out.emplace_back(name, child.get());
  }
  return out;
}

bool HoldsReadOnly(const Node& node) {
  if (node.readOnly) return true;
  for (const auto& [name, child] : node.children) {
    if (HoldsReadOnly(*child)) return true;
  }
  return false;
}

uint64_t UsedBytes(const Node& node) {
  if (!node.directory) return (node.data.size() + kCluster - 1) / kCluster * kCluster;
  uint64_t sum = 0;
  for (const auto& [name, child] : node.children) sum += UsedBytes(*child);
  return sum;
}

// The request block's fields. A text without its terminator in its 128 bytes, or a block
// shorter than the command's, is not a request the card can take.
struct Block {
  std::string path;
  std::string name;
  const uint8_t* words = nullptr;
};

bool ReadText(const uint8_t* field, std::string* text) {
  const void* end = std::memchr(field, 0, 128);
  if (end == nullptr) return false;
  text->assign(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(end) - field);
  return true;
}

bool ReadBlock(const Bytes& request, size_t length, Block* block) {
  if (request.size() < kCardBlockOffset + length || length < 256) return false;
  const uint8_t* b = request.data() + kCardBlockOffset;
  block->words = b + 256;
  return ReadText(b, &block->path) && ReadText(b + 128, &block->name);
}

// A response: the 10-byte header, then room for `data` bytes.
Bytes Response(uint16_t status, size_t data = 0) {
  Bytes r(kCardResponseHeader + data, 0);
  PutU16(r.data(), status);
  return r;
}

Bytes Refusal(uint16_t status) { return Response(status); }

uint16_t FatDate(const std::tm& t) {
  const int year = std::max(t.tm_year + 1900, 1980) - 1980;
  return static_cast<uint16_t>((std::min(year, 127) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
}
uint16_t FatTime(const std::tm& t) {
  return static_cast<uint16_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
}

Bytes Pattern(size_t n, uint32_t seed, const std::string& lead) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<uint8_t>(x >> 16);
  }
  std::copy_n(lead.begin(), std::min(lead.size(), n), b.begin());
  return b;
}

}  // namespace

Card::Card() : root_(std::make_unique<Node>()) {}
Card::~Card() = default;

bool Card::IsCardCommand(uint16_t type) {
  switch (type) {
    case kCardDirInfo: case kCardDirList: case kCardReadFile: case kCardDeleteFile: case kCardDeleteDir:
    case kCardStatus: case kCardFileInfo: case kCardFirstFile: case kCardNextFile: case kCardCloseFile:
      return true;
    default:
      return false;
  }
}

// ---- Contents -------------------------------------------------------------------------------------

namespace {

Node* MakeDirectories(Node* root, const Path& parts) {
  Node* node = root;
  for (const auto& p : parts) {
    auto& slot = node->children[p];
    if (!slot || !slot->directory) slot = std::make_unique<Node>();
    node = slot.get();
  }
  return node;
}

}  // namespace

void Card::AddDirectory(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  MakeDirectories(root_.get(), Split(path));
}

void Card::AddFile(const std::string& path, Bytes data, bool readOnly, uint16_t date, uint16_t time) {
  Path parts = Split(path);
  if (parts.empty()) return;
  const std::string name = parts.back();
  parts.pop_back();
  std::lock_guard<std::mutex> lock(mutex_);
  Node* dir = MakeDirectories(root_.get(), parts);
  auto file = std::make_unique<Node>();
  file->directory = false;
  file->readOnly = readOnly;
  file->date = date;
  file->time = time;
  file->data = std::move(data);
  dir->children[name] = std::move(file);
}

namespace {

bool CopyFolder(const std::filesystem::path& folder, Node* into, std::string* problem) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 127 || name.find('\\') != std::string::npos) continue;
    struct stat st {};
    if (stat(entry.path().c_str(), &st) != 0) continue;
    std::tm local{};
    const time_t mtime = st.st_mtime;
    localtime_r(&mtime, &local);
    auto node = std::make_unique<Node>();
    node->date = FatDate(local);
    node->time = FatTime(local);
    if (S_ISDIR(st.st_mode)) {
      if (!CopyFolder(entry.path(), node.get(), problem)) return false;
    } else if (S_ISREG(st.st_mode)) {
      std::ifstream in(entry.path(), std::ios::binary);
      if (!in) {
        *problem = "cannot read " + entry.path().string();
        return false;
      }
      node->directory = false;
      node->readOnly = (st.st_mode & S_IWUSR) == 0;
      node->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      continue;
    }
    into->children[name] = std::move(node);
  }
  if (ec) {
    *problem = "cannot read the folder " + folder.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

bool Card::LoadFolder(const std::string& folder, std::string* problem) {
  auto root = std::make_unique<Node>();
  if (!std::filesystem::is_directory(folder)) {
    *problem = folder + " is not a folder";
    return false;
  }
  if (!CopyFolder(folder, root.get(), problem)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  root_ = std::move(root);
  walk_ = Walk{};
  return true;
}

void Card::LoadSample() {
  Clear();
  const std::string readme =
      "This is the memory card of a simulated Scanner (kxsim).\r\n"
      "TESTS holds sample files, AUTOTEST the autotest files, SETUP the instrument's\r\n"
      "settings, LOGS is empty.\r\n"
      "This file is read-only: the card refuses to delete it.\r\n";
  AddFile("\\README.TXT", Bytes(readme.begin(), readme.end()), /*readOnly=*/true);
  AddFile("\\TESTS\\CABLE001.ATR", Pattern(1200, 1, "KXSIM SAMPLE CABLE001"));
  AddFile("\\TESTS\\CABLE002.ATR", Pattern(3400, 2, "KXSIM SAMPLE CABLE002"));
  AddFile("\\TESTS\\CABLE003.ATR", Pattern(20000, 3, "KXSIM SAMPLE CABLE003"));
  AddFile("\\TESTS\\PATCH01.ATR", Pattern(640, 4, "KXSIM SAMPLE PATCH01"));
  AddFile("\\TESTS\\OLD\\LINK0001.ATR", Pattern(800, 5, "KXSIM SAMPLE LINK0001"));
  AddFile("\\SETUP\\SCANNER.CFG", Pattern(256, 6, "KXSIM SAMPLE SETUP"));
  AddDirectory("\\LOGS");
}

void Card::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  root_ = std::make_unique<Node>();
  walk_ = Walk{};
}

std::optional<Bytes> Card::File(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Node* node = Find(root_.get(), Split(path));
  if (node == nullptr || node->directory) return std::nullopt;
  return node->data;
}

bool Card::Exists(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Find(root_.get(), Split(path)) != nullptr;
}

void Card::SetStatusWord(uint16_t status) {
  std::lock_guard<std::mutex> lock(mutex_);
  statusWord_ = status;
}

void Card::SetCapacity(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  capacity_ = bytes;
}

void Card::SetNamesPerResponse(uint32_t names) {
  std::lock_guard<std::mutex> lock(mutex_);
  namesPerResponse_ = std::max<uint32_t>(names, 1);
}

bool Card::WalkOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return walk_.open;
}

// ---- Faults and requests ------------------------------------------------------------------------

void Card::RefuseNext(uint16_t command, uint16_t status, uint32_t count, uint32_t skip) {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back(Rule{Rule::kRefuse, command, status, {}, count, skip});
}

void Card::StallNextRead(uint32_t count, uint32_t skip) {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back(Rule{Rule::kStall, kCardReadFile, 0, {}, count, skip});
}

void Card::ScriptNext(uint16_t command, Bytes response, uint32_t count, uint32_t skip) {
  if (response.size() > kMaxCardResponse) response.resize(kMaxCardResponse);
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back(Rule{Rule::kScript, command, 0, std::move(response), count, skip});
}

void Card::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
}

std::vector<Bytes> Card::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void Card::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

// ---- Commands -----------------------------------------------------------------------------------

Bytes Card::HandleMessage(const Bytes& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (requests_.size() >= kRequestsKept) requests_.erase(requests_.begin());
  requests_.push_back(request);

  const uint16_t command = GetU16(request, kTypeOffset);
  Bytes response;
  bool answered = false;
  for (Rule& rule : rules_) {
    if (rule.count == 0 || (rule.command != 0 && rule.command != command)) continue;
    if (rule.skip > 0) {
      --rule.skip;
      continue;
    }
    --rule.count;
    answered = true;
    if (rule.kind == Rule::kRefuse) response = Refusal(rule.status);
    else if (rule.kind == Rule::kStall) response = Response(kCardDone);
    else response = rule.response;
    break;
  }
  if (!answered) response = Answer(command, request);

  Bytes reply(kCardResponseOffset + response.size(), 0);
  PutU16(reply, kClassOffset, kClassDatabase);
  PutU16(reply, kTypeOffset, command);
  PutU16(reply, kStatusOffset, kStatusOk);
  PutU16(reply, kRecordLengthOffset, static_cast<uint16_t>(response.size()));
  std::copy(response.begin(), response.end(), reply.begin() + kCardResponseOffset);
  return reply;
}

Bytes Card::Answer(uint16_t command, const Bytes& request) {
  if (command == kCardStatus) return Status();
  if (statusWord_ != kCardDone) return Refusal(statusWord_);
  switch (command) {
    case kCardDirInfo: return DirInfo(request);
    case kCardDirList: return DirList(request);
    case kCardReadFile: return ReadFile(request);
    case kCardDeleteFile: return DeleteFile(request);
    case kCardDeleteDir: return DeleteDir(request);
    case kCardFileInfo: return FileInfo(request);
    case kCardFirstFile: return FirstFile(request);
    case kCardNextFile: return NextFile();
    case kCardCloseFile:
      walk_ = Walk{};
      return Response(kCardDone);
    default: return Refusal(kCardBadRequest);
  }
}

Bytes Card::DirList(const Bytes& request) {
  Block b;
  if (!ReadBlock(request, 264, &b)) return Refusal(kCardBadRequest);
  const uint16_t start = GetU16(b.words);
  const uint16_t option = GetU16(b.words + 2);
  const uint16_t mode = GetU16(b.words + 6);
  const Node* dir = Find(root_.get(), Split(b.path));
  if (dir == nullptr || !dir->directory) return Refusal(kCardNotFound);
  const auto entries = Select(*dir, b.name, option);
  if (mode == 0) {
    Bytes r = Response(kCardDone);
    PutU16(r.data() + 6, static_cast<uint16_t>(std::min<size_t>(entries.size(), 0xFFFF)));
    return r;
  }
  Bytes r = Response(kCardDone);
  uint16_t count = 0;
  size_t i = start;
  for (; i < entries.size() && count < namesPerResponse_; ++i) {
    std::string shown = entries[i].first + (entries[i].second->directory ? "\\" : "");
    if (r.size() + shown.size() + 1 > kMaxCardResponse) break;
    r.insert(r.end(), shown.begin(), shown.end());
    r.push_back(0);
    ++count;
  }
  PutU16(r.data(), i < entries.size() ? kCardMoreNames : kCardDone);
  PutU16(r.data() + 6, count);
  return r;
}

Bytes Card::DirInfo(const Bytes& request) {
  Block b;
  if (!ReadBlock(request, 258, &b)) return Refusal(kCardBadRequest);
  const Node* dir = Find(root_.get(), Split(b.path));
  if (dir == nullptr || !dir->directory) return Refusal(kCardNotFound);
  const auto entries = Select(*dir, b.name, 0);
  const size_t count = std::min(entries.size(), (kMaxCardResponse - kCardResponseHeader) / kCardEntrySize);
  Bytes r = Response(kCardDone, count * kCardEntrySize);
  PutU16(r.data() + 6, static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    uint8_t* e = r.data() + kCardResponseHeader + i * kCardEntrySize;
    const Node& node = *entries[i].second;
    std::copy_n(entries[i].first.begin(), std::min<size_t>(entries[i].first.size(), 12), e);
    e[13] = node.Attributes();
    PutU32(e + 14, static_cast<uint32_t>(node.data.size()));
    PutU16(e + 18, node.date);
    PutU16(e + 20, node.time);
  }
  return r;
}

Bytes Card::ReadFile(const Bytes& request) {
  Block b;
  if (!ReadBlock(request, 262, &b)) return Refusal(kCardBadRequest);
  Path parts = Split(b.path);
  for (auto& p : Split(b.name)) parts.push_back(p);
  const Node* file = Find(root_.get(), parts);
  if (file == nullptr || file->directory || parts.empty()) return Refusal(kCardNotFound);
  const uint32_t offset = GetU32(b.words);
  const uint16_t chunk = GetU16(b.words + 4);
  const size_t size = file->data.size();
  if (offset > size) return Refusal(kCardBadRequest);
  const size_t n = std::min({static_cast<size_t>(chunk), size - offset, kMaxCardResponse - kCardResponseHeader});
  Bytes r = Response(offset + n >= size ? kCardLastPiece : kCardDone, n);
  PutU16(r.data() + 4, static_cast<uint16_t>(n));
  std::copy_n(file->data.begin() + offset, n, r.begin() + kCardResponseHeader);
  return r;
}

Bytes Card::DeleteFile(const Bytes& request) {
  Block b;
  if (!ReadBlock(request, 258, &b)) return Refusal(kCardBadRequest);
  Path parts = Split(b.path);
  for (auto& p : Split(b.name)) parts.push_back(p);
  if (parts.empty()) return Refusal(kCardNotFound);
  const std::string name = parts.back();
  parts.pop_back();
  Node* dir = Find(root_.get(), parts);
  if (dir == nullptr || !dir->directory) return Refusal(kCardNotFound);
  auto it = dir->children.find(name);
  if (it == dir->children.end() || it->second->directory) return Refusal(kCardNotFound);
  if (it->second->readOnly) return Refusal(kCardWriteProtected);
  dir->children.erase(it);
  return Response(kCardDone);
}

Bytes Card::DeleteDir(const Bytes& request) {
  Block b;
  if (!ReadBlock(request, 258, &b)) return Refusal(kCardBadRequest);
  const uint16_t option = GetU16(b.words);
  Path parts = Split(b.path);
  for (auto& p : Split(b.name)) parts.push_back(p);
  if (parts.empty()) return Refusal(kCardBadRequest);  // not the root
  const std::string name = parts.back();
  parts.pop_back();
  Node* parent = Find(root_.get(), parts);
  if (parent == nullptr || !parent->directory) return Refusal(kCardNotFound);
  auto it = parent->children.find(name);
  if (it == parent->children.end() || !it->second->directory) return Refusal(kCardNotFound);
  if (!it->second->children.empty()) {
    if (option != 1) return Refusal(kCardNotEmpty);
    if (HoldsReadOnly(*it->second)) return Refusal(kCardWriteProtected);
  }
  parent->children.erase(it);
  return Response(kCardDone);
}

Bytes Card::Status() {
  Bytes r = Response(statusWord_, 8);
  const uint64_t used = UsedBytes(*root_);
  PutU32(r.data() + 10, capacity_);
  PutU32(r.data() + 14, used >= capacity_ ? 0 : static_cast<uint32_t>(capacity_ - used));
  return r;
}

Bytes Card::FileInfo(const Bytes& request) {
  Block b;
  if (!ReadBlock(request, 256, &b)) return Refusal(kCardBadRequest);
  Path parts = Split(b.path);
  for (auto& p : Split(b.name)) parts.push_back(p);
  const Node* node = Find(root_.get(), parts);
  if (node == nullptr || parts.empty()) return Refusal(kCardNotFound);
  Bytes r = Response(kCardDone, 10);
  PutU32(r.data() + 10, static_cast<uint32_t>(node->data.size()));
  PutU16(r.data() + 14, node->date);
  PutU16(r.data() + 16, node->time);
  PutU16(r.data() + 18, node->Attributes());
  return r;
}

Bytes Card::FirstFile(const Bytes& request) {
  Block b;
  if (!ReadBlock(request, 258, &b)) return Refusal(kCardBadRequest);
  const Path dirParts = Split(b.path);
  const Node* dir = Find(root_.get(), dirParts);
  if (dir == nullptr || !dir->directory) return Refusal(kCardNotFound);
  walk_ = Walk{};
  walk_.open = true;
  for (const auto& [name, node] : Select(*dir, b.name, 2)) {
    Path parts = dirParts;
    parts.push_back(name);
    walk_.paths.push_back(Join(parts));
  }
  return NextFile();
}

Bytes Card::NextFile() {
  if (!walk_.open) return Refusal(kCardNoWalk);
  while (walk_.next < walk_.paths.size()) {
    const Path parts = Split(walk_.paths[walk_.next++]);
    const Node* file = Find(root_.get(), parts);
    if (file == nullptr || file->directory) continue;  // deleted since the walk began
    const size_t n = std::min(file->data.size(), kMaxWalkFile);
    Bytes r = Response(kCardLastPiece, kWalkNameField + n);
    PutU16(r.data() + 4, static_cast<uint16_t>(std::min<size_t>(file->data.size(), 0xFFFF)));
    PutU16(r.data() + 6, 1);
    const std::string& name = parts.back();
    std::copy_n(name.begin(), std::min<size_t>(name.size(), kWalkNameField - 1), r.begin() + kCardResponseHeader);
    std::copy_n(file->data.begin(), n, r.begin() + kWalkDataOffset);
    return r;
  }
  return Refusal(kCardNoMoreFiles);
}

}  // namespace kxsim
