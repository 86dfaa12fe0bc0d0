#include "card/card_blocks.h"

#include <cstring>

#include "services/card_access.h"
#include "wire/byte_order.h"

namespace {

// Length of a text of at most `limit` + 1 characters: limit + 1 means "too long"
// (the text is not read past that).
uint32_t BoundedLength(const char* text, uint32_t limit) {
  if (text == nullptr) return 0;
  uint32_t n = 0;
  while (n <= limit && text[n] != '\0') ++n;
  return n;
}

// The bytes the EntryCount names of a listing take from the start of its data,
// terminators included; false when a name runs past the response.
bool ListedNamesLength(const CardReply& reply, uint32_t* length) {
  uint32_t at = 0;
  for (uint32_t i = 0; i < reply.entryCount; ++i) {
    const void* end = at < reply.dataLength ? std::memchr(reply.data + at, 0, reply.dataLength - at) : nullptr;
    if (end == nullptr) return false;
    at = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - reply.data) + 1;
  }
  *length = at;
  return true;
}

}  // namespace

bool BuildCardPathRequest(uint8_t* block, const char* path, const char* name) {
  std::memset(block, 0, kLargestBlock);
  const uint32_t pathLength = BoundedLength(path, kCardMaxText);
  const uint32_t nameLength = BoundedLength(name, kCardMaxText);
  if (pathLength > kCardMaxText || nameLength > kCardMaxText) return false;
  if (pathLength != 0) std::memcpy(block + kCardPathOffset, path, pathLength);
  if (nameLength != 0) std::memcpy(block + kCardNameOffset, name, nameLength);
  return true;
}

bool SplitCardPath(const char* cardPath, char* path, char* name) {
  std::memset(path, 0, kCardTextField);
  std::memset(name, 0, kCardTextField);
  if (cardPath == nullptr) return true;
  const size_t total = std::strlen(cardPath);
  const char* slash = std::strrchr(cardPath, '\\');
  const size_t pathLength = slash == nullptr ? 0 : static_cast<size_t>(slash - cardPath) + 1;
  const size_t nameLength = total - pathLength;
  if (pathLength > kCardMaxText || nameLength > kCardMaxText) return false;
  std::memcpy(path, cardPath, pathLength);
  std::memcpy(name, cardPath + pathLength, nameLength);
  return true;
}

bool ParseCardReply(const uint8_t* response, uint32_t length, CardReply* reply) {
  *reply = CardReply{};
  if (length < kCardReplyHeader) return false;
  reply->status = GetU16(response + 0);
  reply->byteCount = GetU16(response + 4);
  reply->entryCount = GetU16(response + 6);
  reply->data = response + kCardReplyHeader;
  reply->dataLength = length - kCardReplyHeader;
  return true;
}

NamesOutcome AppendListedNames(const CardReply& reply, char* names, int32_t namesSize, int64_t* used) {
  uint32_t at = 0;
  for (uint32_t i = 0; i < reply.entryCount; ++i) {
    const uint8_t* start = reply.data + at;
    const void* end = at < reply.dataLength ? std::memchr(start, 0, reply.dataLength - at) : nullptr;
    if (end == nullptr) return NamesOutcome::kMalformed;
    const uint32_t withTerminator = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - start) + 1;
    if (*used + withTerminator > namesSize) return NamesOutcome::kNoRoom;
    std::memcpy(names + *used, start, withTerminator);
    *used += withTerminator;
    at += withTerminator;
  }
  return NamesOutcome::kCopied;
}

bool CardResponseAgrees(uint16_t command, const CardReply& reply) {
  const uint32_t carried = reply.dataLength;
  uint32_t names = 0;
  switch (command) {
    case MMC_DIR_LIST: return ListedNamesLength(reply, &names) && names == carried;
    case MMC_DIR_INFO: return uint64_t{reply.entryCount} * kDirEntrySize == carried;
    case MMC_FILE_INFO: return carried == kFileInfoResponse - kCardReplyHeader;
    case MMC_CARD_STATUS: return carried == kCardStatusResponse - kCardReplyHeader;
    case MMC_READ_FILE: return carried == reply.byteCount;
    case MMC_FIRST_FILE:
    case MMC_NEXT_FILE: return carried >= kFoundNameField && carried - kFoundNameField <= reply.byteCount;
    default: return true;
  }
}

bool FoundName(const CardReply& reply, uint32_t* length) {
  if (reply.dataLength < kFoundNameField) return false;
  const void* end = std::memchr(reply.data, 0, kFoundNameField);
  if (end == nullptr) return false;
  *length = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - reply.data);
  return true;
}
