// The blocks of the card commands, and the decoders of their responses. Everything here
// works on buffers only (no exchange, no file), so tests and fuzz targets use it directly.
//
// CardPathRequest, the request block of the commands that name a file or directory
// (little-endian words):
//   offset 0    Path   char[128]  zero-terminated, zero-padded; for file access the
//                                 directory part of the card path with its trailing
//                                 backslash
//   offset 128  Name   char[128]  zero-terminated, zero-padded; the file or entry name
//   offset 256  the command's words:
//     11 MMC_DIR_INFO     (258 bytes)  u16 128
//     12 MMC_DIR_LIST     (264 bytes)  u16 StartIndex, u16 option, u16 128, u16 ListMode
//     15 MMC_READ_FILE    (262 bytes)  u32 FileOffset, u16 ChunkLength
//     17 MMC_DELETE_FILE, 18 MMC_DELETE_DIR (258 bytes)  u16 option
//     21 MMC_FILE_INFO    (256 bytes)  none
//     27 MMC_FIRST_FILE   (258 bytes)  u16 128
//   19 MMC_CARD_STATUS, 28 MMC_NEXT_FILE and 29 MMC_CLOSE_FILE send no block.
// Each text holds at most 127 characters, so its field keeps a terminator.
//
// CardReplyHeader, the first 10 bytes of every card response:
//   offset 0  CardStatus  u16  0 done; 0x1000 more names follow (listing); 0x2000 last
//                              piece of a file, or a file delivered; else a card error
//   offset 2  —           u16  not read
//   offset 4  ByteCount   u16  file bytes in this response
//   offset 6  EntryCount  u16  names or directory entries in this response
//   offset 8  —           u16  not read
//   offset 10 data, per command:
//     MMC_DIR_LIST    EntryCount names, each zero-terminated, packed
//     MMC_DIR_INFO    EntryCount entries of 22 bytes (their layout is the instrument's)
//     MMC_FILE_INFO   u32 file size at 10, u16 information words at 14, 16, 18
//     MMC_CARD_STATUS u32 card figures at 10 and 14
//     MMC_READ_FILE   ByteCount file bytes
//     MMC_FIRST_FILE, MMC_NEXT_FILE  the file's name, zero-terminated, in a 129-byte field
//                     from 10; the file's ByteCount bytes from 139
//     deletes, close  the header only
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kCardTextField = 128;
constexpr uint32_t kCardMaxText = kCardTextField - 1;
constexpr uint32_t kCardPathOffset = 0;
constexpr uint32_t kCardNameOffset = 128;
constexpr uint32_t kCardWordsOffset = 256;

// Request block lengths.
constexpr uint32_t kDirInfoBlock = 258;
constexpr uint32_t kDirListBlock = 264;
constexpr uint32_t kReadFileBlock = 262;
constexpr uint32_t kDeleteBlock = 258;
constexpr uint32_t kFileInfoBlock = 256;
constexpr uint32_t kFirstFileBlock = 258;
constexpr uint32_t kLargestBlock = kDirListBlock;

constexpr uint16_t kCardListWord = 128;  // the word 128 of the directory and first-file blocks

// CardStatus values the calls accept.
constexpr uint16_t CARD_DONE = 0x0000;
constexpr uint16_t CARD_MORE_NAMES = 0x1000;
constexpr uint16_t CARD_LAST_PIECE = 0x2000;

// Response layout.
constexpr uint32_t kCardReplyHeader = 10;
constexpr uint32_t kDirEntrySize = 22;
constexpr uint32_t kFileInfoResponse = 20;
constexpr uint32_t kCardStatusResponse = 18;
constexpr uint32_t kFoundNameField = 129;                          // 128 characters and a terminator
constexpr uint32_t kFoundFileData = kCardReplyHeader + kFoundNameField;  // 139

// Zeroes `block` (kLargestBlock bytes at least) and copies `path` and `name` (null is
// taken as empty) into their fields. False when either has more than 127 characters;
// the block is then all zero.
bool BuildCardPathRequest(uint8_t* block, const char* path, const char* name);

// Splits a card file's full path at its last backslash: `path` receives the text up to
// and including it, `name` the text after it; a path without a backslash is a name in
// the card's root (empty `path`). Both buffers hold kCardTextField bytes. False when a
// part has more than 127 characters.
bool SplitCardPath(const char* cardPath, char* path, char* name);

// The CardReplyHeader of a response of `length` bytes.
struct CardReply {
  uint16_t status = 0;
  uint16_t byteCount = 0;
  uint16_t entryCount = 0;
  const uint8_t* data = nullptr;  // the bytes after the header
  uint32_t dataLength = 0;        // how many of them the response carried
};
// False when the response is shorter than its header.
bool ParseCardReply(const uint8_t* response, uint32_t length, CardReply* reply);

// True when a response that the card accepted carries exactly what its header declares
// for `command` (a card command code):
//   MMC_DIR_LIST    the EntryCount names, each terminated, and nothing after them (a
//                   count-only listing carries no names and is not judged here)
//   MMC_DIR_INFO    EntryCount entries of 22 bytes
//   MMC_FILE_INFO   10 data bytes;  MMC_CARD_STATUS  8 data bytes
//   MMC_READ_FILE   ByteCount file bytes
//   MMC_FIRST_FILE, MMC_NEXT_FILE  the 129-byte name field, then no more than ByteCount
//                   file bytes (fewer: a file too large for one response, which the
//                   caller reports as such)
// Any other command: true. A response that disagrees is corrupt, as a reply message that
// disagrees with its response length is (services/record.h): nothing of it may reach a
// local file or a caller's buffer. An instrument on a clean line always agrees.
bool CardResponseAgrees(uint16_t command, const CardReply& reply);

// Appends the names of a listing response to the host's `names` area of `namesSize`
// bytes, of which `*used` are taken: each name with its terminator, one after another.
enum class NamesOutcome {
  kCopied,     // all EntryCount names are in `names`, *used advanced
  kNoRoom,     // a name would pass namesSize; the names before it were copied
  kMalformed,  // a name runs past the response without its terminator (nothing copied
               // when the response passed CardResponseAgrees)
};
NamesOutcome AppendListedNames(const CardReply& reply, char* names, int32_t namesSize, int64_t* used);

// The name of a first/next-file response: true when it is terminated within its
// 129-byte field (which the response must carry); its length goes to *length.
bool FoundName(const CardReply& reply, uint32_t* length);
