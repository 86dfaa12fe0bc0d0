// Reading records of the instrument's database: one record-read exchange per call.
#include <algorithm>
#include <cstring>

#include "kxlib32.h"
#include "link/message.h"
#include "services/record.h"
#include "services/service.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

enum class ReadMode { ByKey, BySize };

constexpr int32_t kReadRecordRetries = 10;

// Builds the 70-byte read request in `m`.
void BuildReadRequest(uint8_t* m, ReadMode mode, uint16_t type, uint16_t number, uint16_t wanted,
                      const void* key, uint16_t keyLength, uint16_t keyMode) {
  PutU16(m + kOffClass, CLASS_DATABASE);
  PutU16(m + kOffType, DB_READ_RECORD);
  PutU16(m + kOffRecordType, type);
  PutU16(m + kOffRecordNumber, number);
  if (IsAutotestType(type)) PutU16(m + kOffRecordLength, mode == ReadMode::BySize ? wanted : 0xFFFF);
  if (keyLength != 0 && key != nullptr) {
    if (keyLength >= kMaxKeyLength) {
      Trace(" KXReadRecord Error - Search Key too long");
      keyLength = kMaxKeyLength;
    }
    PutU16(m + kOffKeyMode, keyMode);
    PutU16(m + kOffKeyLength, keyLength);
    std::memcpy(m + kOffKey, key, keyLength);
  }
}

// Checks and copies out a reply of `size` bytes. Returns the call's result.
int16_t TakeReply(const uint8_t* m, uint32_t size, ReadMode mode, uint16_t type, uint16_t* number,
                  void* buffer, uint16_t* length, uint32_t* error) {
  if (size < kOffRecordNumber + 2 || GetU16(m + kOffClass) != CLASS_DATABASE ||
      GetU16(m + kOffType) != DB_READ_RECORD || GetU16(m + kOffRecordType) != type) {
    Trace(" KXReadRecord Error - wrong response ");
    KXSync();
    *error = KXERR_NO_SCANNER;
    return 0;
  }
  const uint16_t status = GetU16(m + kOffStatus);
  if (status == msOK && !RecordReplyAgrees(m, size)) {
    // Corrupt (see RecordReplyAgrees): nothing of it reaches the caller, not even the
    // number, and the line is resynchronised as after any failed exchange, so that a
    // caller that retries gets the record intact.
    Trace(" KXReadRecord Error - corrupt reply. Received %#6x bytes ", size);
    KXSync();
    *error = ExchangeFailure(KXERR_COMM);
    return 0;
  }
  *number = GetU16(m + kOffRecordNumber);
  if (status == STATUS_RECORD_NOT_FOUND) {
    Trace(" KXReadRecord warning - Record not found ");
    *error = KXERR_RECORD_NOT_FOUND;
    return 0;
  }
  if (status != msOK) {
    Trace(" KXReadRecord Error - Read failed. ");
    *error = KXERR_COMM;
    return 0;
  }
  const uint16_t recordLength = GetU16(m + kOffRecordLength);
  const uint8_t* record = m + kRecordMessageHeader;
  const uint16_t capacity = *length;
  if (mode == ReadMode::ByKey && recordLength > capacity) {
    Trace(" KXReadRecord Error - Record too long ");
    if (buffer) std::memcpy(buffer, record, capacity);
    *error = KXERR_RECORD_TOO_LARGE;
    return 0;
  }
  // A by-size read delivers the record whatever its length, but never past the
  // caller's capacity: *length then reports the full length and only `capacity`
  // bytes are copied.
  if (buffer) std::memcpy(buffer, record, std::min(recordLength, capacity));
  *length = recordLength;
  Trace("Got Record. Length = %#6x ", recordLength);
  return 1;
}

int16_t ReadRecordWorker(ReadMode mode, uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                         uint32_t* error, const void* key, uint16_t keyLength, uint16_t keyMode,
                         int32_t retries) {
  Trace("KXReadRecord.  Type: %#6x  Number : %#6x  RecordLength: %#6x ", type, *number, *length);
  if (!ServiceEntry(error, "KXReadRecord Error - KXLIB not currently open")) return 0;
  MessageBuffer m(kRecordMessageBuffer);
  if (!m.ok()) {
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  BuildReadRequest(m.data(), mode, type, *number, *length, key, keyLength, keyMode);
  if (!KXSendMessageWithRetry(0, m.data(), kRecordMessageHeader, retries)) {
    Trace(" KXReadRecord Error - Couldn't Send ");
    *error = ExchangeFailure(KXERR_COMM);
    return 0;
  }
  if (SendOnlyMode) return 1;  // the bulk download collects the reply itself
  uint32_t size = m.size();
  if (!KXWaitMessageWithRetry(m.data(), &size, retries)) {
    Trace(" KXReadRecord Error in WaitMessage");
    *error = ExchangeFailure(KXERR_COMM);
    return 0;
  }
  return TakeReply(m.data(), size, mode, type, number, buffer, length, error);
}

// The wrappers report a cancel that came during a successful call.
void CancelAfterSuccess(uint32_t* error) {
  if (*error == 0 && CancelRequested.load()) *error = KXERR_CANCELED;
}

}  // namespace

bool RecordReplyAgrees(const uint8_t* m, uint32_t size) {
  return size >= kRecordMessageHeader && size - kRecordMessageHeader == GetU16(m + kOffRecordLength);
}

extern "C" {

KXAPI int16_t KXAPI_CALL KXReadRecByKeyWithRetry(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                                 uint32_t* error, const void* key, uint16_t keyLength,
                                                 uint16_t keyMode, int32_t retries) {
  return ReadRecordWorker(ReadMode::ByKey, type, number, buffer, length, error, key, keyLength, keyMode, retries);
}

KXAPI int16_t KXAPI_CALL KXReadRecBySizeWithRetry(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                                  uint32_t* error, const void* key, uint16_t keyLength,
                                                  uint16_t keyMode, int32_t retries) {
  return ReadRecordWorker(ReadMode::BySize, type, number, buffer, length, error, key, keyLength, keyMode, retries);
}

KXAPI int16_t KXAPI_CALL KXReadRecord(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                      uint32_t* error) {
  *error = 0;
  const int16_t result = KXReadRecByKeyWithRetry(type, number, buffer, length, error, nullptr, 0, 0,
                                                 kReadRecordRetries);
  CancelAfterSuccess(error);
  return result;
}

KXAPI int16_t KXAPI_CALL KXReadRecordBySize(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                            uint32_t* error) {
  *error = 0;
  const int16_t result = KXReadRecBySizeWithRetry(type, number, buffer, length, error, nullptr, 0, 0,
                                                  kReadRecordRetries);
  CancelAfterSuccess(error);
  return result;
}

KXAPI int16_t KXAPI_CALL KXReadRecordWithKey(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                             uint32_t* error, const void* key, uint16_t keyLength,
                                             uint16_t keyMode) {
  Trace(" Entering KXReadRecordWithKey ");
  const int16_t result = KXReadRecByKeyWithRetry(type, number, buffer, length, error, key, keyLength, keyMode,
                                                 DefaultRetries());
  Trace(" Exiting KXReadRecordWithKey ");
  CancelAfterSuccess(error);
  return result;
}

KXAPI int16_t KXAPI_CALL KXReadRecordNormalPersistence(uint16_t type, uint16_t* number, void* buffer,
                                                       uint16_t* length, uint32_t* error) {
  *error = 0;
  return KXReadRecordWithKey(type, number, buffer, length, error, nullptr, 0, 0);
}

}  // extern "C"
