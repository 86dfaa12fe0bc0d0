// Copying files from the card: a named file in 7930-byte pieces, the first 49 bytes of a
// file, and the instrument's file-by-file walk through a directory.
#include <cstring>

#include "card/card_blocks.h"
#include "card/card_call.h"
#include "kxlib32.h"
#include "services/card_access.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

constexpr uint32_t kTransferArea = 65535;
constexpr uint16_t kPieceLength = 7930;   // asked for per read request
constexpr uint16_t kHeaderLength = 49;    // mmcReadFileHeader
constexpr uint32_t kMaxEmptyPieces = 100; // pieces in a row without a byte before giving up

void PutReadWords(uint8_t* block, uint32_t offset, uint16_t chunk) {
  PutU32(block + kCardWordsOffset, offset);
  PutU16(block + kCardWordsOffset + 4, chunk);
}

// The piece loop of mmcReadFile, into an open local file.
int16_t CopyPieces(uint8_t* block, ResponseArea& area, LocalFile& file, uint32_t* error) {
  uint32_t offset = 0;
  uint32_t emptyPieces = 0;
  for (;;) {
    PutReadWords(block, offset, kPieceLength);
    CardReply reply;
    if (!CardCommand(MMC_READ_FILE, block, kReadFileBlock, area, kTransferArea, &reply, error)) return 0;
    if (reply.status != CARD_DONE && reply.status != CARD_LAST_PIECE) {
      SetCardError(error, CardRefusal(reply.status));
      return 0;
    }
    if (!ResponseAgrees("mmcReadFile", MMC_READ_FILE, reply, error)) return 0;
    if (reply.byteCount > UINT32_MAX - offset) {
      Trace("mmcReadFile Error - the file passes 4 GB ");
      SetCardError(error, KXERR_COMM);
      return 0;
    }
    if (!file.Write(reply.data, reply.byteCount)) {
      Trace("mmcReadFile Error - cannot write the local file ");
      SetCardError(error, CardRefusal(reply.status));
      return 0;
    }
    offset += reply.byteCount;
    if (reply.status == CARD_LAST_PIECE) return 1;  // complete (a late cancel stays in *error)
    // A cancel that came with this piece would be cleared by the next exchange: stop here.
    if (*error != 0) return 0;
    emptyPieces = reply.byteCount == 0 ? emptyPieces + 1 : 0;
    if (emptyPieces >= kMaxEmptyPieces) {
      Trace("mmcReadFile Error - the card sends no data ");
      *error = KXERR_RESPONSE_TIMEOUT;
      return 0;
    }
  }
}

// Steps 4 to 6 of the first/next-file calls: one exchange that delivers a whole file.
int16_t DeliverFoundFile(const char* call, uint16_t command, const uint8_t* block, int32_t blockLength,
                         ResponseArea& area, LocalFile& file, char* foundName, uint32_t* error) {
  CardReply reply;
  if (!CardCommand(command, block, blockLength, area, kTransferArea, &reply, error)) return 0;
  if (*error != 0) return 0;  // a cancel came with the file
  if (reply.status != CARD_LAST_PIECE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  uint32_t nameLength = 0;
  if (!FoundName(reply, &nameLength)) {
    Trace("%s Error - malformed card response ", call);
    *error = KXERR_COMM;
    return 0;
  }
  if (!ResponseAgrees(call, command, reply, error)) return 0;
  if (foundName != nullptr) std::memcpy(foundName, reply.data, nameLength + 1);
  if (reply.byteCount > reply.dataLength - kFoundNameField) {
    // The file did not travel whole: it is larger than one response can carry.
    Trace("%s Error - file too large for one response. Length = %#6x ", call, reply.byteCount);
    *error = KXERR_RECORD_TOO_LARGE;
    return 0;
  }
  if (!file.Write(reply.data + kFoundNameField, reply.byteCount)) {
    Trace("%s Error - cannot write the local file ", call);
    *error = CardRefusal(reply.status);
    return 0;
  }
  return 1;
}

}  // namespace

extern "C" {

KXAPI int16_t KXAPI_CALL mmcReadFile(const char* cardPath, const char* localFile, uint32_t* error) {
  CardCallStart(error, "mmcReadFile.  CardPath: %s  LocalFile: %s ", TraceText(cardPath), TraceText(localFile));
  char path[kCardTextField];
  char name[kCardTextField];
  if (!SplitCardPath(cardPath, path, name)) {
    TextTooLong("mmcReadFile", error);
    return 0;
  }
  if (localFile == nullptr) {
    TraceError(KXERR_INVALID_FUNCTION, "mmcReadFile Error - no local file\n");
    *error = KXERR_INVALID_FUNCTION;
    return 0;
  }
  uint32_t size = 0;
  if (!mmcGetFileSize(path, name, &size, error)) return 0;
  if (*error != 0) return 0;  // a cancel came with the size
  ResponseArea area(kTransferArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  LocalFile file;
  if (!file.Create(localFile, error)) {
    Trace("mmcReadFile Error - cannot create the local file ");
    return 0;
  }
  uint8_t block[kLargestBlock];
  BuildCardPathRequest(block, path, name);  // both parts were measured above
  return CopyPieces(block, area, file, error);
}

KXAPI int16_t KXAPI_CALL mmcReadFileHeader(const char* name, const char* path, void* header, uint32_t* error) {
  CardCallStart(error, "mmcReadFileHeader.  Name: %s  Path: %s ", TraceText(name), TraceText(path));
  uint8_t block[kLargestBlock];
  if (!BuildCardPathRequest(block, path, name)) {
    TextTooLong("mmcReadFileHeader", error);
    return 0;
  }
  if (header == nullptr) {
    TraceError(KXERR_INVALID_FUNCTION, "mmcReadFileHeader Error - no header area\n");
    *error = KXERR_INVALID_FUNCTION;
    return 0;
  }
  PutReadWords(block, 0, kHeaderLength);
  ResponseArea area(kTransferArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  CardReply reply;
  if (!CardCommand(MMC_READ_FILE, block, kReadFileBlock, area, kTransferArea, &reply, error)) return 0;
  if (reply.status != CARD_DONE && reply.status != CARD_LAST_PIECE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  if (!ResponseAgrees("mmcReadFileHeader", MMC_READ_FILE, reply, error)) return 0;
  // However few bytes the piece has: the area is zero past what the response filled.
  std::memcpy(header, area.data() + kCardReplyHeader, kHeaderLength);
  return 1;
}

KXAPI int16_t KXAPI_CALL mmcGetFirstFile(const char* localFile, const char* path, const char* name, char* foundName,
                                         uint32_t* error) {
  CardCallStart(error, "mmcGetFirstFile.  LocalFile: %s  Path: %s  Name: %s ", TraceText(localFile),
                TraceText(path), TraceText(name));
  ResponseArea area(kTransferArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  uint8_t block[kLargestBlock];
  if (!BuildCardPathRequest(block, path, name)) {
    TextTooLong("mmcGetFirstFile", error);
    return 0;
  }
  PutU16(block + kCardWordsOffset, kCardListWord);
  if (localFile == nullptr) {
    TraceError(KXERR_INVALID_FUNCTION, "mmcGetFirstFile Error - no local file\n");
    *error = KXERR_INVALID_FUNCTION;
    return 0;
  }
  LocalFile file;
  if (!file.Create(localFile, error)) {
    Trace("mmcGetFirstFile Error - cannot create the local file ");
    return 0;
  }
  return DeliverFoundFile("mmcGetFirstFile", MMC_FIRST_FILE, block, kFirstFileBlock, area, file, foundName, error);
}

KXAPI int16_t KXAPI_CALL mmcGetNextFile(const char* localFile, char* foundName, uint32_t* error) {
  CardCallStart(error, "mmcGetNextFile.  LocalFile: %s ", TraceText(localFile));
  ResponseArea area(kTransferArea);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  if (localFile == nullptr) {
    TraceError(KXERR_INVALID_FUNCTION, "mmcGetNextFile Error - no local file\n");
    *error = KXERR_INVALID_FUNCTION;
    return 0;
  }
  LocalFile file;
  if (!file.Create(localFile, error)) {
    Trace("mmcGetNextFile Error - cannot create the local file ");
    return 0;
  }
  return DeliverFoundFile("mmcGetNextFile", MMC_NEXT_FILE, nullptr, 0, area, file, foundName, error);
}

KXAPI int16_t KXAPI_CALL mmcCloseFile(uint32_t* error) {
  CardCallStart(error, "mmcCloseFile\n");
  ResponseArea area(kCardReplyHeader);
  if (!area.ok()) {
    AreaFailure(error);
    return 0;
  }
  CardReply reply;
  if (!CardCommand(MMC_CLOSE_FILE, nullptr, 0, area, kCardReplyHeader, &reply, error)) return 0;
  if (reply.status != CARD_DONE) {
    SetCardError(error, CardRefusal(reply.status));
    return 0;
  }
  return 1;
}

}  // extern "C"
