// What every instrument service shares: the entry convention, the failure code after a
// failed exchange, and a message buffer that frees itself.
#pragma once

#include <cstdint>

#include "kxlib32.h"
#include "session/runtime.h"

// The start of every instrument service, after its entry trace: clears LastError,
// CancelRequested and *error (`error` may be null for a call that reports no code).
// Without an open session traces `notOpenLine`, sets *error to `notOpenCode` and returns
// false.
bool ServiceEntry(uint32_t* error, const char* notOpenLine, uint32_t notOpenCode = KXERR_NOT_OPEN);

// The code of a failed exchange: KXERR_CANCELED when a cancel was requested, else `own`.
uint32_t ExchangeFailure(uint32_t own);

// A zero-filled message buffer from AllocLocked, freed when it goes out of scope.
class MessageBuffer {
 public:
  explicit MessageBuffer(uint32_t size) : size_(size) {
    void* p = nullptr;
    if (AllocLocked(&handle_, &p, size)) bytes_ = static_cast<uint8_t*>(p);
  }
  ~MessageBuffer() { FreeLocked(handle_); }
  MessageBuffer(const MessageBuffer&) = delete;
  MessageBuffer& operator=(const MessageBuffer&) = delete;

  bool ok() const { return bytes_ != nullptr; }
  uint8_t* data() { return bytes_; }
  uint32_t size() const { return size_; }

 private:
  HGLOBAL handle_ = nullptr;
  uint8_t* bytes_ = nullptr;
  uint32_t size_;
};
