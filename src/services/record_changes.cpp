// Changing the instrument's record database (write, update, delete, notify) and asking
// how much room it has left.
//
// The replies here deliver nothing but their Status (changes) or one figure (free space),
// and their formats declare no length of what follows the header, so a reply's size is
// checked only for holding the fields read.
#include <algorithm>
#include <cstring>

#include "kxlib32.h"
#include "link/message.h"
#include "platform/platform.h"
#include "services/record.h"
#include "services/service.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

constexpr int32_t kWriteRetries = 10;
constexpr int32_t kCoalesceRetries = 35;  // the flash must coalesce: the exchange takes longer
constexpr int32_t kInfoRetries = 10;
constexpr uint32_t kMinChangeBuffer = 1024;
constexpr uint16_t kRecordOverhead = 128;
constexpr uint32_t kOffFreeSpace = 13;  // u32 in the database-information reply (unaligned)

// How many leading data bytes a written record of `type` sends as its search key.
uint16_t WriteKeyLength(uint16_t type) {
  if (type == KEYED_RECORD_3847 || type == KEYED_RECORD_3873) return 21;
  if (type >= FIRST_LIMIT_REC && type <= LAST_LIMIT_REC) return 17;
  return 0;
}

// A reply that echoes the request's Class, Type and RecordType.
bool EchoesRequest(const uint8_t* m, uint32_t size, uint16_t cls, uint16_t op, uint16_t recordType) {
  return size >= kOffRecordType + 2 && GetU16(m + kOffClass) == cls && GetU16(m + kOffType) == op &&
         GetU16(m + kOffRecordType) == recordType;
}

// Lays out a record message: headers and `length` data bytes from offset 70.
void BuildRecordMessage(uint8_t* m, uint16_t cls, uint16_t op, uint16_t type, uint16_t number,
                        const void* data, uint16_t length) {
  PutU16(m + kOffClass, cls);
  PutU16(m + kOffType, op);
  PutU16(m + kOffRecordType, type);
  PutU16(m + kOffRecordLength, length);
  PutU16(m + kOffRecordNumber, number);
  if (length != 0 && data != nullptr) std::memcpy(m + kRecordMessageHeader, data, length);
}

// The traces of one kind of change, which differ between write and update.
struct ChangeTexts {
  const char* sendFailed;
  const char* waitFailed;
  const char* wrongResponse;
  const char* changeFailed;
  uint32_t wrongResponseCode;
};

constexpr ChangeTexts kWriteTexts = {" KXWriteRecord Error - Send Failed ", " KXWriteRecord Error - WaitMessage failed ",
                                     " KXWriteRecord Error - Wrong Response ", " KXWriteRecord - Write Failed  ",
                                     KXERR_NO_SCANNER};
constexpr ChangeTexts kUpdateTexts = {" KXUpdateRecord Error - Send Failed ",
                                      " KXUpdateRecord Error - WaitMessage Failed ",
                                      " KXUpdateRecord Error - Wrong Response ", " KXUpdateRecord - Update Failed ",
                                      KXERR_COMM};

// Write and update: the free-space check, then one exchange of the record.
int16_t ChangeRecord(uint16_t op, uint16_t type, uint16_t number, const void* data, uint16_t length,
                     uint32_t* error, const ChangeTexts& texts) {
  const uint32_t mustCoalesce = KXGetFlashCoalesceStatus(length, 0, error);
  if (*error != 0) return 0;
  const int32_t retries = mustCoalesce ? kCoalesceRetries : kWriteRetries;

  MessageBuffer m(std::max<uint32_t>(length + kRecordMessageHeader, kMinChangeBuffer));
  if (!m.ok()) {
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  BuildRecordMessage(m.data(), CLASS_DATABASE, op, type, number, data, length);
  const uint16_t keyLength = op == DB_WRITE_RECORD ? std::min(WriteKeyLength(type), length) : 0;
  if (keyLength != 0) {
    PutU16(m.data() + kOffKeyLength, keyLength);
    std::memcpy(m.data() + kOffKey, data, keyLength);
  }

  const bool guardResend = op == DB_WRITE_RECORD;
  if (guardResend) ResendAllowed = 0;
  int16_t result = 0;
  uint32_t size = m.size();
  if (!KXSendMessageWithRetry(0, m.data(), length + kRecordMessageHeader, retries)) {
    Trace("%s", texts.sendFailed);
    *error = ExchangeFailure(KXERR_COMM);
  } else if (!KXWaitMessageWithRetry(m.data(), &size, retries)) {
    Trace("%s", texts.waitFailed);
    *error = ExchangeFailure(KXERR_COMM);
  } else if (!EchoesRequest(m.data(), size, CLASS_DATABASE, op, type)) {
    Trace("%s", texts.wrongResponse);
    KXSync();
    *error = texts.wrongResponseCode;
  } else if (GetU16(m.data() + kOffStatus) != msOK) {
    Trace("%s", texts.changeFailed);
    *error = KXERR_COMM;
  } else {
    result = 1;
  }
  if (guardResend) ResendAllowed = 1;
  if (*error == 0 && CancelRequested.load()) *error = KXERR_CANCELED;
  return result;
}

}  // namespace

extern "C" {

KXAPI uint32_t KXAPI_CALL KXGetFlashCoalesceStatus(uint16_t length, uint32_t overheadIncluded, uint32_t* error) {
  *error = 0;
  uint32_t freeSpace = 0;
  KXGetVEXADBaseFreeSpace(&freeSpace, error);
  if (*error != 0) freeSpace = 0;
  if (overheadIncluded == 0) length = static_cast<uint16_t>(length + kRecordOverhead);
  return length >= freeSpace ? 1 : 0;
}

KXAPI int16_t KXAPI_CALL KXGetVEXADBaseFreeSpace(uint32_t* freeSpace, uint32_t* error) {
  Trace("KXDataBaseReportDBInfo");
  *freeSpace = 0;
  if (!ServiceEntry(error, "KXDataBaseReportDBInfo() Error - KXLIB32 not currently open", KXERR_DEVICE_NOT_OPEN))
    return 0;
  MessageBuffer m(kMinChangeBuffer);
  if (!m.ok()) {
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  PutU16(m.data() + kOffClass, CLASS_DATABASE);
  PutU16(m.data() + kOffType, DB_INFO);
  if (!KXSendMessageWithRetry(0, m.data(), sizeof(MessageHeader), kInfoRetries)) {
    Trace("KXDataBaseReportDBInfo() Error - Couldn't send Message ");
    *error = KXERR_COMM;
    return 0;
  }
  platform::SleepMs(10);
  uint32_t size = m.size();
  if (!KXWaitMessageWithRetry(m.data(), &size, kInfoRetries)) {
    Trace("KXDataBaseReportDBInfo() Error - No received Message ");
    *error = KXERR_COMM;
    return 0;
  }
  if (GetU16(m.data() + kOffClass) != CLASS_DATABASE || GetU16(m.data() + kOffType) != DB_INFO) {
    // A reply of another kind: the call fails but reports no error code.
    Trace("KXDataBaseReportDBInfo() Error - wrong response ");
    return 0;
  }
  if (size < kOffFreeSpace + 4) {
    // Too short to carry the free space.
    Trace("KXDataBaseReportDBInfo() Error - wrong response ");
    *error = KXERR_COMM;
    return 0;
  }
  *freeSpace = GetU32(m.data() + kOffFreeSpace);
  return 1;
}

KXAPI int16_t KXAPI_CALL KXWriteRecord(uint16_t type, const void* data, uint16_t length, uint32_t* error) {
  Trace("KXWriteRecord.  Type: %#6x  Length: %#6x ", type, length);
  if (!ServiceEntry(error, "KXWriteRecord Error - KXLIB not currently open")) return 0;
  return ChangeRecord(DB_WRITE_RECORD, type, 0, data, length, error, kWriteTexts);
}

KXAPI int16_t KXAPI_CALL KXUpdateRecord(uint16_t type, uint16_t number, const void* data, uint16_t length,
                                        uint32_t* error) {
  Trace("KXUpdateRecord.  Type: %#6x  Number : %#6x  Length: %#6x ", type, number, length);
  if (!ServiceEntry(error, "KXUpdateRecord Error - KXLIB not currently open")) return 0;
  return ChangeRecord(DB_UPDATE_RECORD, type, number, data, length, error, kUpdateTexts);
}

KXAPI int16_t KXAPI_CALL KXDeleteRecord(uint16_t type, uint16_t number, uint32_t* error) {
  Trace("KXDeleteRecord.  Type: %#6x  Number : %#6x ", type, number);
  if (!ServiceEntry(error, "KXDeleteRecord Error - KXLIB not currently open")) return 0;
  MessageBuffer m(kMinChangeBuffer);
  if (!m.ok()) {
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  BuildRecordMessage(m.data(), CLASS_DATABASE, DB_DELETE_RECORD, type, number, nullptr, 0);
  ResendAllowed = 0;
  int16_t result = 0;
  uint32_t size = m.size();
  if (!KXSendMessage(0, m.data(), kRecordMessageHeader)) {
    Trace(" KXDeleteRecord Error - SendMessage Failed ");
    *error = KXERR_COMM;
  } else if (!KXWaitMessage(m.data(), &size)) {
    Trace(" KXDeleteRecord Error - WaitMessage Failed ");
    *error = KXERR_COMM;
  } else if (!EchoesRequest(m.data(), size, CLASS_DATABASE, DB_DELETE_RECORD, type)) {
    Trace(" KXDeleteRecord Error - Wrong Response ");
    KXSync();
    *error = KXERR_COMM;
  } else if (GetU16(m.data() + kOffStatus) != msOK) {
    Trace(" KXDeleteRecord Error - Delete Failed ");
    *error = KXERR_COMM;
  } else {
    result = 1;
  }
  ResendAllowed = 1;
  return result;
}

KXAPI int16_t KXAPI_CALL KXNotify(uint16_t type, const void* data, uint16_t length, uint32_t* error) {
  Trace("KXNotify.  Type: %#6x ", type);
  if (!ServiceEntry(error, "KXNotify Error - KXLIB not currently open")) return 0;
  MessageBuffer m(length + kRecordMessageHeader);
  if (!m.ok()) {
    *error = KXERR_NO_MEMORY;
    return 0;
  }
  BuildRecordMessage(m.data(), CLASS_NOTIFY, type, type, 0, data, length);
  if (!KXSendMessage(0, m.data(), length + kRecordMessageHeader)) {
    Trace(" KXNotify Error - SendMessage Failed ");
    *error = KXERR_COMM;
    return 0;
  }
  return 1;
}

}  // extern "C"
