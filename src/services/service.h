// What every instrument service shares: the entry convention, the failure code after a
// failed exchange, and a message buffer that frees itself.
#pragma once

#include <cstdint>

#include "session/runtime.h"

// Clears LastError, CancelRequested and *error. Without an open session traces
// `notOpenLine`, sets *error to KXERR_NOT_OPEN and returns false.
bool ServiceEntry(uint32_t* error, const char* notOpenLine);

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
