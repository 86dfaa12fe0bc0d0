// KXAccessMMC: one card command, sent and answered with 60 retries each way.
#include "services/card_access.h"

#include <cstring>

#include "kxlib32.h"
#include "link/message.h"
#include "services/record.h"
#include "services/service.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

constexpr uint32_t kHeader = sizeof(MessageHeader);
// The reply is laid out like a record reply, so the record reply's length check fits it.
static_assert(kCardLengthOffset == kOffRecordLength && kCardResponseOffset == kRecordMessageHeader);

// Delivers the `length` response bytes at `data` into the host's area. Returns the result.
uint32_t DeliverResponse(const uint8_t* data, uint32_t length, void* response, uint32_t* responseLength,
                         uint32_t* error) {
  const int32_t capacity = static_cast<int32_t>(*responseLength);
  if (capacity < static_cast<int32_t>(length)) {
    Trace(" KXAccessMMC Error - Response too long ");
    if (response != nullptr && capacity > 0) std::memcpy(response, data, static_cast<uint32_t>(capacity));
    *error = KXERR_RECORD_TOO_LARGE;
    return 0;
  }
  if (response == nullptr) {
    Trace("MMCDataPtr parameter from caller is NULL!");
    *error = KXERR_BAD_MEMORY_HANDLE;
    return 0;
  }
  *responseLength = length;
  std::memcpy(response, data, length);
  Trace("Got MMC response Data. Length = %#6x ", length);
  return 1;
}

// Judges a received reply of `size` bytes and delivers its response. Returns the result.
uint32_t TakeCardReply(const uint8_t* m, uint32_t size, uint16_t command, void* response,
                       uint32_t* responseLength, uint32_t* error) {
  if (size < kHeader) {
    // Not even a header arrived: nothing in the buffer can be trusted.
    Trace(" KXAccessMMC Error - reply too short ");
    *error = KXERR_COMM;
    return 0;
  }
  if (GetU16(m + kOffClass) != CLASS_DATABASE || GetU16(m + kOffType) != command) {
    Trace(" KXAcessMMC Error - wrong response ");
    KXSync();
    *error = KXERR_NO_SCANNER;
    return 0;
  }
  if (GetU16(m + kOffStatus) != msOK) {
    Trace(" KXAccessMMC warning - MMC operation incomplete.");
    *error = KXERR_COMM;
    return 0;
  }
  if (!RecordReplyAgrees(m, size)) {
    // Corrupt: the reply is not exactly the headers and the response they declare (a
    // packet received twice makes it longer). Nothing is delivered; the line is
    // resynchronised as after any failed exchange.
    Trace(" KXAccessMMC Error - corrupt reply. Received %#6x bytes ", size);
    KXSync();
    *error = ExchangeFailure(KXERR_COMM);
    return 0;
  }
  const uint32_t length = GetU16(m + kCardLengthOffset);
  const uint32_t result = DeliverResponse(m + kCardResponseOffset, length, response, responseLength, error);
  if (CancelRequested.load()) *error = KXERR_CANCELED;
  return result;
}

}  // namespace

extern "C" {

KXAPI uint32_t KXAPI_CALL KXAccessMMC(uint16_t mmcCommand, const void* request, int32_t requestLength,
                                      void* response, uint32_t* responseLength, uint32_t* error) {
  uint32_t noCapacity = 0;
  if (responseLength == nullptr) responseLength = &noCapacity;
  Trace("KXAccessMMC.  MMCCommand: %#6x  ResponseLength: %#6x ", mmcCommand, *responseLength);
  if (!ServiceEntry(error, "KXAccessMMC Error - KXLIB32 communication session not currently open.")) return 0;
  if (requestLength < 0 || requestLength > kMaxCardRequest || (request == nullptr && requestLength != 0)) {
    // A block that cannot be a card request: refused before anything is sent.
    Trace("KXAccessMMC Error - invalid request block. Length = %d ", requestLength);
    *error = KXERR_INVALID_FUNCTION;
    return 0;
  }
  MessageBuffer m(kCardMessageBuffer);
  if (!m.ok()) {
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  PutU16(m.data() + kOffClass, CLASS_DATABASE);
  PutU16(m.data() + kOffType, mmcCommand);
  if (requestLength != 0) std::memcpy(m.data() + kHeader, request, static_cast<uint32_t>(requestLength));

  uint32_t result = 0;
  uint32_t size = m.size();
  if (!KXSendMessageWithRetry(0, m.data(), static_cast<uint32_t>(requestLength) + kHeader, kCardRetries)) {
    Trace(" KXAccessMMC Error - Couldn't send message.");
    *error = ExchangeFailure(KXERR_NO_SCANNER);
  } else if (!KXWaitMessageWithRetry(m.data(), &size, kCardRetries)) {
    Trace(" KXAccessMMC Error - Could'nt recieve message.");
    *error = ExchangeFailure(KXERR_RESPONSE_TIMEOUT);
  } else {
    result = TakeCardReply(m.data(), size, mmcCommand, response, responseLength, error);
  }
  if (*error == 0 && CancelRequested.load()) *error = KXERR_CANCELED;
  return result;
}

}  // extern "C"
