// Card directories, file information, deletes and the card's status: each call one card
// command (a directory listing several), built on KXAccessMMC.
#include <cstring>

#include "card/card_blocks.h"
#include "card/card_call.h"
#include "kxlib32.h"
#include "services/card_access.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

constexpr uint32_t kListArea = 65545;
constexpr uint32_t kInfoArea = 65535;
constexpr uint32_t kDeleteArea = kCardReplyHeader;
constexpr uint16_t kListCount = 0;  // ListMode: count only
constexpr uint16_t kListNames = 1;  // ListMode: names
constexpr uint32_t kLargestStartIndex = 0xFFFF;

void PutListWords(uint8_t* block, uint32_t startIndex, uint16_t option, uint16_t mode) {
  PutU16(block + kCardWordsOffset + 0, static_cast<uint16_t>(startIndex));
  PutU16(block + kCardWordsOffset + 2, option);
  PutU16(block + kCardWordsOffset + 4, kCardListWord);
  PutU16(block + kCardWordsOffset + 6, mode);
}

// A response that lacks what its command must carry.
void Malformed(const char* call, uint32_t* error) {
  Trace("%s Error - malformed card response ", call);
  SetCardError(error, KXERR_COMM);
}

// File information (command 21) into the given places; null ones are skipped.
int16_t FileInfo(const char* call, const char* path, const char* name, uint32_t* fileSize, uint16_t* info1,
                 uint16_t* info2, uint16_t* info3, uint32_t* error) {
  CardCallStart(error, "%s.  Path: %s  Name: %s ", call, TraceText(path), TraceText(name));
  uint8_t block[kLargestBlock];
  if (!BuildCardPathRequest(block, path, name)) {
    TextTooLong(call, error);
    return 0;
  }
  ResponseArea area(kFileInfoResponse);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  CardReply reply;
  if (!CardCommand(MMC_FILE_INFO, block, kFileInfoBlock, area, kFileInfoResponse, &reply, error)) return 0;
  if (reply.status != CARD_DONE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  if (!ResponseAgrees(call, MMC_FILE_INFO, reply, error)) return 0;
  if (fileSize != nullptr) *fileSize = GetU32(reply.data);
  if (info1 != nullptr) *info1 = GetU16(reply.data + 4);
  if (info2 != nullptr) *info2 = GetU16(reply.data + 6);
  if (info3 != nullptr) *info3 = GetU16(reply.data + 8);
  return 1;
}

// A delete (command 17 or 18): success only when the card says done.
int16_t Delete(const char* call, uint16_t command, const char* path, const char* name, uint16_t option,
               uint32_t* error) {
  CardCallStart(error, "%s.  Path: %s  Name: %s  Option: %#6x ", call, TraceText(path), TraceText(name), option);
  uint8_t block[kLargestBlock];
  if (!BuildCardPathRequest(block, path, name)) {
    TextTooLong(call, error);
    return 0;
  }
  PutU16(block + kCardWordsOffset, option);
  ResponseArea area(kDeleteArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  CardReply reply;
  if (!CardCommand(command, block, kDeleteBlock, area, kDeleteArea, &reply, error)) return 0;
  if (reply.status != CARD_DONE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  return 1;
}

// The card-status command (19, no block) into a fresh 18-byte area.
bool CardStatus(ResponseArea& area, CardReply* reply, uint32_t* error) {
  if (!area.ok()) {
    AreaFailure(error);
    return false;
  }
  return CardCommand(MMC_CARD_STATUS, nullptr, 0, area, kCardStatusResponse, reply, error);
}

}  // namespace

extern "C" {

KXAPI int16_t KXAPI_CALL mmcGetDirectoryCount(const char* path, const char* name, uint16_t option,
                                              uint16_t* count, uint32_t* error) {
  CardCallStart(error, "mmcGetDirectoryCount.  Path: %s  Name: %s  Option: %#6x ", TraceText(path),
                TraceText(name), option);
  uint8_t block[kLargestBlock];
  if (!BuildCardPathRequest(block, path, name)) {
    TextTooLong("mmcGetDirectoryCount", error);
    return 0;
  }
  PutListWords(block, 0, option, kListCount);
  ResponseArea area(kInfoArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  CardReply reply;
  if (!CardCommand(MMC_DIR_LIST, block, kDirListBlock, area, kInfoArea, &reply, error)) return 0;
  if (reply.status != CARD_DONE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  if (count != nullptr) *count = reply.entryCount;
  return 1;
}

KXAPI int16_t KXAPI_CALL mmcGetDirectoryList(const char* path, const char* name, uint16_t option, char* names,
                                             int32_t namesSize, uint32_t* error) {
  CardCallStart(error, "mmcGetDirectoryList.  Path: %s  Name: %s  Option: %#6x  Size: %d ", TraceText(path),
                TraceText(name), option, namesSize);
  if (names == nullptr) return 0;
  uint8_t block[kLargestBlock];
  if (!BuildCardPathRequest(block, path, name)) {
    TextTooLong("mmcGetDirectoryList", error);
    return 0;
  }
  ResponseArea area(kListArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  uint32_t delivered = 0;  // names received so far: the next request's StartIndex
  int64_t used = 0;        // bytes of `names` taken
  for (;;) {
    PutListWords(block, delivered, option, kListNames);
    CardReply reply;
    if (!CardCommand(MMC_DIR_LIST, block, kDirListBlock, area, kListArea, &reply, error)) return 0;
    if (*error != 0) return 0;  // a cancel came with this response
    if (reply.status != CARD_DONE && reply.status != CARD_MORE_NAMES) {
      SetCardError(error, CardRefusal(reply.status));
      return 0;
    }
    if (!ResponseAgrees("mmcGetDirectoryList", MMC_DIR_LIST, reply, error)) return 0;
    switch (AppendListedNames(reply, names, namesSize, &used)) {
      case NamesOutcome::kCopied:
        break;
      case NamesOutcome::kNoRoom:
        Trace("mmcGetDirectoryList Error - names do not fit. Size = %d ", namesSize);
        *error = KXERR_CARD_LIST_FULL;
        return 0;
      case NamesOutcome::kMalformed:
        Malformed("mmcGetDirectoryList", error);
        return 0;
    }
    if (reply.entryCount == 0) break;
    delivered += reply.entryCount;
    if (delivered > kLargestStartIndex) {
      // More names than a StartIndex can count: the instrument is not following it.
      Malformed("mmcGetDirectoryList", error);
      return 0;
    }
  }
  return delivered != 0 ? 1 : 0;
}

KXAPI int16_t KXAPI_CALL mmcGetDirectoryInfo(const char* path, const char* name, void* entries,
                                             uint32_t entriesSize, uint32_t* error) {
  CardCallStart(error, "mmcGetDirectoryInfo.  Path: %s  Name: %s  Size: %#6x ", TraceText(path), TraceText(name),
                entriesSize);
  if (entries == nullptr) return 0;
  uint8_t block[kLargestBlock];
  if (!BuildCardPathRequest(block, path, name)) {
    TextTooLong("mmcGetDirectoryInfo", error);
    return 0;
  }
  PutU16(block + kCardWordsOffset, kCardListWord);
  ResponseArea area(kInfoArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  CardReply reply;
  if (!CardCommand(MMC_DIR_INFO, block, kDirInfoBlock, area, kInfoArea, &reply, error)) return 0;
  if (reply.status != CARD_DONE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  if (!ResponseAgrees("mmcGetDirectoryInfo", MMC_DIR_INFO, reply, error)) return 0;
  const uint32_t bytes = reply.entryCount * kDirEntrySize;
  if (entriesSize <= bytes) {
    Trace("mmcGetDirectoryInfo Error - entries do not fit. Size = %#6x ", entriesSize);
    return 0;
  }
  std::memcpy(entries, reply.data, bytes);
  return 1;
}

KXAPI int16_t KXAPI_CALL mmcGetFileInfo(const char* path, const char* name, uint32_t* fileSize, uint16_t* info1,
                                        uint16_t* info2, uint16_t* info3, uint32_t* error) {
  return FileInfo("mmcGetFileInfo", path, name, fileSize, info1, info2, info3, error);
}

KXAPI int16_t KXAPI_CALL mmcGetFileSize(const char* path, const char* name, uint32_t* fileSize, uint32_t* error) {
  return FileInfo("mmcGetFileSize", path, name, fileSize, nullptr, nullptr, nullptr, error);
}

KXAPI int16_t KXAPI_CALL mmcDeleteFile(const char* path, const char* name, uint16_t option, uint32_t* error) {
  return Delete("mmcDeleteFile", MMC_DELETE_FILE, path, name, option, error);
}

KXAPI int16_t KXAPI_CALL mmcDeleteDirectory(const char* path, const char* name, uint16_t option,
                                            uint32_t* error) {
  return Delete("mmcDeleteDirectory", MMC_DELETE_DIR, path, name, option, error);
}

KXAPI int16_t KXAPI_CALL mmcGetMMCStatus(uint16_t* status, uint32_t* error) {
  CardCallStart(error, "mmcGetMMCStatus\n");
  ResponseArea area(kCardStatusResponse);
  CardReply reply;
  if (!CardStatus(area, &reply, error)) return 0;
  if (status != nullptr) *status = reply.status;
  return 1;
}

KXAPI int16_t KXAPI_CALL mmcGetMMCInfo(uint32_t* figure1, uint32_t* figure2, uint32_t* error) {
  CardCallStart(error, "mmcGetMMCInfo\n");
  ResponseArea area(kCardStatusResponse);
  CardReply reply;
  if (!CardStatus(area, &reply, error)) return 0;
  if (reply.status != CARD_DONE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  if (!ResponseAgrees("mmcGetMMCInfo", MMC_CARD_STATUS, reply, error)) return 0;
  if (figure1 != nullptr) *figure1 = GetU32(reply.data);
  if (figure2 != nullptr) *figure2 = GetU32(reply.data + 4);
  return 1;
}

}  // extern "C"
