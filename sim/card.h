// The Scanner's memory card: a directory tree of files, and the card commands that reach
// it. Card commands are database messages (Class 14) whose Type is the command code:
//
//   11 directory information   12 directory listing   15 read a file piece
//   17 delete a file           18 delete a directory  19 card status
//   21 file information        27 first file of a walk, 28 next file, 29 end the walk
//
// Request blocks (little-endian, from message offset 10): Path char[128] at 0 and Name
// char[128] at 128, each zero-terminated, then the command's words at 256:
//   11: u16 128                 12: u16 StartIndex, u16 option, u16 128, u16 ListMode
//   15: u32 FileOffset, u16 ChunkLength                17, 18: u16 option
//   21: none                    27: u16 128            19, 28, 29: no block at all
//
// Reply: the message header (Class 14, the command's Type, Status 1), a 60-byte header
// that is 0 except for the u16 at message offset 12, the response length L, and the L
// response bytes from message offset 70. A message holds at most 65535 bytes, so a
// response at most 65465 (kMaxCardResponse). Every response starts with 10 bytes:
//   +0 CardStatus  +2 0  +4 ByteCount  +6 EntryCount  +8 0
// and goes on per command:
//   11: EntryCount entries of 22 bytes:  +0 name, at most 12 characters, zero-padded to
//       13 bytes; +13 u8 attributes; +14 u32 size; +18 u16 date; +20 u16 time
//   12: ListMode 0 - only EntryCount, the number of entries; ListMode 1 - EntryCount
//       names, each zero-terminated, packed, from entry StartIndex on; directories end in
//       a backslash. At most `namesPerResponse` names go in one response; CardStatus is
//       0x1000 while more follow and 0 with the last. A request past the end gets 0 names.
//   15: ByteCount bytes of the file from FileOffset (at most ChunkLength); CardStatus
//       0x2000 when they reach the file's end, else 0.
//   19: CardStatus is the card's status word (0 = ready); u32 the card's size and u32
//       its free space, in bytes.
//   21: u32 size, u16 date, u16 time, u16 attributes (directories too, with size 0).
//   27, 28: CardStatus 0x2000, ByteCount the file's size (at most 0xFFFF), the name
//       (at most 128 characters) in a 129-byte field, the file's bytes from response
//       offset 139. A file of more than kMaxWalkFile bytes does not fit: its first
//       kMaxWalkFile bytes are sent, and ByteCount still says more.
//   17, 18, 29: the 10 bytes only.
//
// Path names a directory; "" and "\" are the root; slashes count as backslashes and case
// does not matter. Listings, directory information and walks take the entries of Path
// whose names match the pattern in Name ('*' and '?'; "", "*" and "*.*" match all);
// file commands take the file Path\Name. The listing's option selects: 1 directories
// only, 2 files only, anything else all. A directory delete with option 1 takes what the
// directory holds with it; with any other option a directory that is not empty is refused.
// Dates and times are packed as on FAT file systems (date: years since 1980 << 9,
// month << 5, day; time: hours << 11, minutes << 5, seconds / 2).
//
// The walk is the instrument's: first-file takes the list of matching files, each
// next-file delivers the following one (files deleted meanwhile are passed over), and
// when none is left the card refuses with kCardNoMoreFiles. End-the-walk always succeeds.
//
// While the card's status word is not 0 (no card, say), every command but the status
// refuses with that word. Faults on request: refusals with a chosen status word, read
// pieces with CardStatus 0 and ByteCount 0, and whole responses given by a test.
//
// Thread-safe: the server's thread answers while a test changes the card.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/instrument.h"

namespace kxsim {

// Card command codes (message Type).
inline constexpr uint16_t kCardDirInfo = 11;
inline constexpr uint16_t kCardDirList = 12;
inline constexpr uint16_t kCardReadFile = 15;
inline constexpr uint16_t kCardDeleteFile = 17;
inline constexpr uint16_t kCardDeleteDir = 18;
inline constexpr uint16_t kCardStatus = 19;
inline constexpr uint16_t kCardFileInfo = 21;
inline constexpr uint16_t kCardFirstFile = 27;
inline constexpr uint16_t kCardNextFile = 28;
inline constexpr uint16_t kCardCloseFile = 29;

// Card status words.
inline constexpr uint16_t kCardDone = 0x0000;
inline constexpr uint16_t kCardMoreNames = 0x1000;
inline constexpr uint16_t kCardLastPiece = 0x2000;
inline constexpr uint16_t kCardNotReady = 0x0001;        // no card, or not ready
inline constexpr uint16_t kCardNotFound = 0x0002;        // no such file or directory
inline constexpr uint16_t kCardNotEmpty = 0x0003;        // the directory is not empty
inline constexpr uint16_t kCardBadRequest = 0x0004;      // a block the card cannot take
inline constexpr uint16_t kCardWriteProtected = 0x0005;  // the file is read-only
inline constexpr uint16_t kCardNoMoreFiles = 0x0006;     // the walk has no further file
inline constexpr uint16_t kCardNoWalk = 0x0007;          // next-file without a first-file

// Entry attributes.
inline constexpr uint8_t kAttrReadOnly = 0x01;
inline constexpr uint8_t kAttrDirectory = 0x10;
inline constexpr uint8_t kAttrArchive = 0x20;

inline constexpr size_t kCardBlockOffset = 10;
inline constexpr size_t kCardResponseOffset = 70;
inline constexpr size_t kCardResponseHeader = 10;
inline constexpr size_t kMaxCardResponse = 65535 - kCardResponseOffset;          // 65465
inline constexpr size_t kCardEntrySize = 22;
inline constexpr size_t kWalkNameField = 129;
inline constexpr size_t kWalkDataOffset = kCardResponseHeader + kWalkNameField;  // 139
inline constexpr size_t kMaxWalkFile = kMaxCardResponse - kWalkDataOffset;       // 65326

// 22 January 2003, 09:44:42: the date of the sample card's files.
inline constexpr uint16_t kSampleDate = ((2003 - 1980) << 9) | (1 << 5) | 22;
inline constexpr uint16_t kSampleTime = (9 << 11) | (44 << 5) | (42 / 2);

class Card {
 public:
  Card();
  ~Card();
  Card(const Card&) = delete;
  Card& operator=(const Card&) = delete;

  // ---- Contents ----
  // Paths as the card takes them ("\TESTS\A.ATR"; slashes work too). Missing parent
  // directories are made; a file replaces a file of the same name.
  void AddDirectory(const std::string& path);
  void AddFile(const std::string& path, Bytes data, bool readOnly = false, uint16_t date = kSampleDate,
               uint16_t time = kSampleTime);
  // Replaces the contents with a copy of a folder on disk (read once: deletes change only
  // the copy). Files without write permission become read-only. Entries whose names are
  // longer than 127 characters, and anything neither file nor directory, are left out.
  // False with a reason in *problem when the folder cannot be read.
  bool LoadFolder(const std::string& folder, std::string* problem);
  // Replaces the contents with a small sample card: a read-only README.TXT, TESTS with
  // four autotest-like files (one of 20000 bytes) and a subdirectory OLD, SETUP, LOGS.
  void LoadSample();
  void Clear();
  std::optional<Bytes> File(const std::string& path) const;
  bool Exists(const std::string& path) const;

  // ---- Card state ----
  void SetStatusWord(uint16_t status);
  // The size reported by the status command (default 32 MiB); free space is the size
  // less the files, each rounded up to 512 bytes.
  void SetCapacity(uint32_t bytes);
  void SetNamesPerResponse(uint32_t names);  // default 5; 0 is taken as 1
  bool WalkOpen() const;

  // ---- Faults ----
  // The next `count` requests of `command` (0: any card command), after `skip` of them
  // have been answered normally, are refused with `status`.
  void RefuseNext(uint16_t command, uint16_t status, uint32_t count = 1, uint32_t skip = 0);
  // The next `count` read requests, after `skip`, get a piece with CardStatus 0 and
  // ByteCount 0.
  void StallNextRead(uint32_t count = 1, uint32_t skip = 0);
  // The next `count` responses to `command`, after `skip`, are `response` as given (the
  // reply's length field says its size).
  void ScriptNext(uint16_t command, Bytes response, uint32_t count = 1, uint32_t skip = 0);
  void ClearFaults();

  // The latest card requests (whole messages, oldest first; the last 256 are kept).
  std::vector<Bytes> Requests() const;
  void ClearRequests();

  // True for the Types this model answers.
  static bool IsCardCommand(uint16_t type);
  // A card request message in, the reply message out.
  Bytes HandleMessage(const Bytes& request);

  struct Node;

 private:
  struct Rule;
  struct Walk {
    bool open = false;
    std::vector<std::string> paths;  // full paths of the files still to deliver
    size_t next = 0;
  };

  Bytes Answer(uint16_t command, const Bytes& request);
  Bytes DirList(const Bytes& request);
  Bytes DirInfo(const Bytes& request);
  Bytes ReadFile(const Bytes& request);
  Bytes DeleteFile(const Bytes& request);
  Bytes DeleteDir(const Bytes& request);
  Bytes Status();
  Bytes FileInfo(const Bytes& request);
  Bytes FirstFile(const Bytes& request);
  Bytes NextFile();

  mutable std::mutex mutex_;
  std::unique_ptr<Node> root_;
  uint16_t statusWord_ = 0;
  uint32_t capacity_ = 32u * 1024 * 1024;
  uint32_t namesPerResponse_ = 5;
  Walk walk_;
  std::vector<Rule> rules_;
  std::vector<Bytes> requests_;
};

}  // namespace kxsim
