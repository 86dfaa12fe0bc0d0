// What the card calls share: their response areas, their local files, the order in which
// their error codes win, and one card exchange.
//
// Error codes of the card calls, in this order of precedence:
//   1. a code already set (by KXAccessMMC, or by an earlier step) stays;
//   2. a card refusal: KXERR_CARD_BASE + CardStatus;
//   3. a response area that cannot be allocated, or a local file that cannot be created:
//      the Windows-style system code (platform.h), not a library code;
//   4. mmcGetDirectoryList with too small a host buffer: 8.
#pragma once

#include <cstdint>

#include "card/card_blocks.h"
#include "kxlib32.h"
#include "platform/platform.h"

// A zero-filled response area in global memory, freed when it goes out of scope.
class ResponseArea {
 public:
  explicit ResponseArea(uint32_t size) : size_(size) {
    handle_ = platform::GlobalAllocZeroed(size);
    if (handle_ != nullptr) bytes_ = static_cast<uint8_t*>(platform::GlobalLockBlock(handle_));
  }
  ~ResponseArea() {
    if (handle_ == nullptr) return;
    platform::GlobalUnlockBlock(handle_);
    platform::GlobalFreeBlock(handle_);
  }
  ResponseArea(const ResponseArea&) = delete;
  ResponseArea& operator=(const ResponseArea&) = delete;

  bool ok() const { return bytes_ != nullptr; }
  uint8_t* data() { return bytes_; }
  uint32_t size() const { return size_; }

 private:
  platform::MemHandle handle_ = nullptr;
  uint8_t* bytes_ = nullptr;
  uint32_t size_;
};

// A local file created anew, closed when it goes out of scope.
class LocalFile {
 public:
  LocalFile() = default;
  ~LocalFile() { platform::FileClose(file_); }
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  // False with the system code in *error when the file cannot be created.
  bool Create(const char* path, uint32_t* error) {
    uint32_t winError = 0;
    file_ = platform::FileCreate(path, &winError);
    if (file_ == platform::kNoFile) *error = winError;
    return file_ != platform::kNoFile;
  }
  bool Write(const uint8_t* bytes, uint32_t count) {
    uint32_t winError = 0;
    return platform::FileWrite(file_, bytes, count, &winError);
  }

 private:
  platform::FileHandle file_ = platform::kNoFile;
};

// Precedence 1: a code already set stays.
inline void SetCardError(uint32_t* error, uint32_t code) {
  if (*error == 0) *error = code;
}
inline uint32_t CardRefusal(uint16_t cardStatus) { return KXERR_CARD_BASE + cardStatus; }

// A failed allocation of a response area: the system's code.
inline void AreaFailure(uint32_t* error) { *error = platform::kErrorNotEnoughMemory; }

// The start of every card call: *error to 0, then the call's entry trace line
// (printf-style). The exchange itself (KXAccessMMC) checks for an open session.
void CardCallStart(uint32_t* error, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A path or name of more than 127 characters: refused before anything is sent.
void TextTooLong(const char* call, uint32_t* error);

// Text for a trace line ("" for null).
inline const char* TraceText(const char* text) { return text != nullptr ? text : ""; }

// False, with a trace line and KXERR_COMM (unless a code is set), when an accepted
// response does not carry exactly what its header declares (CardResponseAgrees): it is
// corrupt, and nothing of it may be delivered.
bool ResponseAgrees(const char* call, uint16_t command, const CardReply& reply, uint32_t* error);

// One card exchange into `area` with the given capacity, and the response's header.
// False when KXAccessMMC failed (its code is in *error) or the response is shorter than
// its header (KXERR_COMM). True otherwise, also when a cancel came during the exchange
// (*error is then KXERR_CANCELED): each call decides what that means for it.
bool CardCommand(uint16_t command, const uint8_t* block, int32_t blockLength, ResponseArea& area,
                 uint32_t capacity, CardReply* reply, uint32_t* error);
