// Commands: the generic request/reply exchange, and reading and setting single data
// items by data ID (Class 7).
//
// Command message: the 10-byte message header with the caller's Class and Type, then
// the request payload (no record header). Data-ID replies carry 2 leading bytes, the
// value, and 13 trailing bytes that are not part of it.
//
// Neither format declares a length: the payload is whatever follows the header. So a
// command reply cannot be checked against its own lengths as record and card replies are
// (a packet received twice would only lengthen the payload).
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

constexpr uint16_t CMD_GET_DATA_ID = 34;
constexpr uint16_t CMD_SET_DATA_ID = 35;
constexpr uint32_t kDataIdArea = 65535;     // the largest payload
constexpr uint32_t kValueLead = 2;          // bytes before the value in a get reply
constexpr uint32_t kValueFraming = 15;      // lead + 13 trailing bytes
constexpr uint32_t kHeader = sizeof(MessageHeader);

}  // namespace

extern "C" {

KXAPI int16_t KXAPI_CALL KXSendCommand(uint16_t msgClass, uint16_t msgType, const void* data, uint16_t dataLength,
                                       void* reply, uint16_t* replyLength, uint32_t* error) {
  Trace("KXSendCommand.  Class: %#6x  Type: %#6x", msgClass, msgType);
  if (!ServiceEntry(error, "KXSendCommand Error - KXLIB not currently open")) return 0;
  const uint16_t capacity = replyLength ? *replyLength : 0;
  MessageBuffer m(std::max(dataLength, capacity) + kHeader);
  if (!m.ok()) {
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  PutU16(m.data() + kOffClass, msgClass);
  PutU16(m.data() + kOffType, msgType);
  if (dataLength != 0 && data != nullptr) std::memcpy(m.data() + kHeader, data, dataLength);

  int16_t result = 0;
  uint32_t size = m.size();
  if (!KXSendMessage(0, m.data(), dataLength + kHeader)) {
    Trace(" KXSendCommand Error - Send Failed ");
    *error = ExchangeFailure(KXERR_COMM);
  } else if (!KXWaitMessage(m.data(), &size)) {
    Trace(" KXSendCommand Error - WaitMessage Failed ");
    *error = ExchangeFailure(KXERR_COMM);
  } else if (size < kHeader) {
    // Too short to be a message: its header would still show the request's.
    Trace(" KXSendCommand Error - WaitMessage Failed ");
    *error = KXERR_COMM;
  } else if (GetU16(m.data() + kOffClass) != msgClass || GetU16(m.data() + kOffType) != msgType) {
    if (reply != nullptr) {
      Trace(" KXSendCommand - Wrong message response returning full message to caller.");
      std::memcpy(reply, m.data(), std::min<uint32_t>(capacity, size));
      *error = KXERR_BAD_RESPONSE;
      result = 1;
    } else {
      Trace(" KXSendCommand - Wrong message response and Null Dataptr ");
      *error = KXERR_COMM;
    }
  } else if (GetU16(m.data() + kOffStatus) != msOK) {
    Trace(" KXSendCommand - Mchptr->Status != msOK ");
    *error = KXERR_COMM;
  } else if (reply == nullptr) {
    Trace(" KXSendCommand - Null Dataptr ");
    *error = KXERR_COMM;
  } else {
    // The payload never goes past the host's capacity; when it is longer (possible when
    // the request was the larger), *replyLength still reports its full length.
    const uint32_t payload = size - kHeader;
    std::memcpy(reply, m.data() + kHeader, std::min<uint32_t>(payload, capacity));
    if (replyLength) *replyLength = static_cast<uint16_t>(payload);  // a host may pass none
    result = 1;
  }
  if (*error == 0 && CancelRequested.load()) *error = KXERR_CANCELED;
  return result;
}

KXAPI int16_t KXAPI_CALL KXGetDataID(uint16_t dataId, void* value, uint16_t* length, uint32_t* error) {
  Trace("KXGetDataID.  DataID: %#6x  Length: %#6x", dataId, *length);
  if (!ServiceEntry(error, "KXGetDataID Error - KXLIB not currently open")) return 0;
  MessageBuffer area(kDataIdArea);
  if (!area.ok()) {
    Trace("KXGetDataID Error - Couldn't Allocate Memory");
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  uint8_t request[2];
  PutU16(request, dataId);
  uint16_t areaLength = kDataIdArea;
  const int16_t sent = KXSendCommand(CLASS_COMMAND, CMD_GET_DATA_ID, request, 2, area.data(), &areaLength, error);
  const uint16_t capacity = *length;
  if (sent && *error == 0) {
    const uint32_t n = areaLength >= kValueFraming ? areaLength - kValueFraming : 0;
    if (n == 0) {
      *length = 0;
    } else if (capacity < n) {
      std::memcpy(value, area.data() + kValueLead, capacity);
      Trace(" KXGetDataID Error - Truncated Data");
    } else {
      std::memcpy(value, area.data() + kValueLead, n);
      *length = static_cast<uint16_t>(n);
    }
    return 1;
  }
  if (sent && *error == KXERR_BAD_RESPONSE) {
    Trace(" KXGetDataID - Wrong message response returning full message to caller.");
    std::memcpy(value, area.data(), capacity);
    return 1;
  }
  Trace(" KXGetDataID Error - Send Failed ");
  *error = KXERR_COMM;
  return 0;
}

KXAPI int16_t KXAPI_CALL KXSetDataID(uint16_t dataId, const void* value, uint16_t length, uint32_t* error) {
  Trace("KXSetDataID.  DataID: %#6x  Length: %#6x", dataId, length);
  if (!ServiceEntry(error, "KXSetDataID Error - KXLIB not currently open")) return 0;
  if (static_cast<uint32_t>(length) + 2 > kDataIdArea) {
    Trace("KXSetDataID. DataID to big to send. Length = %d ", length);
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  MessageBuffer area(kDataIdArea);
  if (!area.ok()) {
    Trace("KXSetDataID Error - Couldn't Allocate Memory");
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  PutU16(area.data(), dataId);
  if (length != 0 && value != nullptr) std::memcpy(area.data() + 2, value, length);
  uint16_t areaLength = kDataIdArea;
  // A cancel during a successful exchange fails the call, as it does for KXGetDataID;
  // an unexpected reply (KXERR_BAD_RESPONSE) is still a success that carries its code.
  if (KXSendCommand(CLASS_COMMAND, CMD_SET_DATA_ID, area.data(), static_cast<uint16_t>(length + 2), area.data(),
                    &areaLength, error) &&
      *error != KXERR_CANCELED) {
    return 1;
  }
  Trace(" KXSetDataID Error - Send Failed ");
  *error = KXERR_COMM;
  return 0;
}

}  // extern "C"
