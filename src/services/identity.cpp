// Who is on the line: serial number, model code, software version, and whether the
// instrument's result-format (PDF) files are newer than the library understands.
#include <cstring>

#include "kxlib32.h"
#include "link/message.h"
#include "services/record.h"
#include "services/service.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

// The serial-number reply declares no length of its own: 60 bytes that are not read, then
// the 11 characters, which only have to be there.
constexpr uint32_t kSerialBuffer = 1024;
constexpr uint32_t kSerialOffset = 70;  // 11 characters in the serial-number reply
constexpr uint32_t kSerialLength = 11;

constexpr uint16_t kIdentityDataId = 705;
constexpr int kModelCodeByte = 8;
constexpr int8_t kModelScanner2 = 12;
constexpr int8_t kModelOther = 4;

constexpr uint16_t kVersionInfoLength = 24;

// DATA_FORMAT: the copper PDF file name at byte 0 and the fiber one at byte 42, each a
// 2-letter prefix and four digits ("KX0600.PDF"); the number is compared from byte 2.
constexpr uint16_t kDataFormatLength = 74;
constexpr uint32_t kCopperNumberAt = 2;
constexpr uint32_t kFiberNumberAt = 44;

// The library's own PDF file names; the supported number is read from their digits.
constexpr char kCopperPdfName[] = "KX0600.PDF";
constexpr char kFiberPdfName[] = "KY0600.PDF";

// The decimal number at the start of text[0..n) as the C library reads one (leading
// blanks, an optional sign, digits), never looking past n; taken as 16 bits.
uint16_t NumberAt(const char* text, size_t n) {
  size_t i = 0;
  while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + static_cast<uint32_t>(text[i] - '0');
  return static_cast<uint16_t>(negative ? 0u - value : value);
}

uint16_t SupportedNumber(const char* ownName) { return NumberAt(ownName + 2, std::strlen(ownName) - 2); }

}  // namespace

extern "C" {

KXAPI int16_t KXAPI_CALL KXGetSerialNumber(char* serial) {
  Trace("KXGetSerialNumber");
  if (!ServiceEntry(nullptr, "KXGetSerialNumber Error - KXLIB not currently open")) return 0;
  MessageBuffer m(kSerialBuffer);
  if (!m.ok()) return 0;
  PutU16(m.data() + kOffClass, CLASS_DATABASE);
  PutU16(m.data() + kOffType, DB_SERIAL_NUMBER);
  if (!KXSendMessage(0, m.data(), sizeof(MessageHeader))) {
    Trace(" KXGetSerialNumber Error - Couldn't send Message ");
    return 0;
  }
  uint32_t size = m.size();
  if (!KXWaitMessage(m.data(), &size)) {
    Trace(" KXGetSerialNumber Error - No received Message ");
    return 0;
  }
  if (size < kSerialOffset + kSerialLength || GetU16(m.data() + kOffClass) != CLASS_DATABASE ||
      GetU16(m.data() + kOffType) != DB_SERIAL_NUMBER) {
    Trace(" KXGetSerialNumber Error - wrong response ");
    return 0;
  }
  std::memcpy(serial, m.data() + kSerialOffset, kSerialLength);
  serial[kSerialLength] = '\0';
  Trace("%s", serial);
  Trace(" ");
  return 1;
}

KXAPI int16_t KXAPI_CALL KXID(uint32_t* error) {
  uint8_t value[10] = {};
  uint16_t length = sizeof value;
  if (!KXGetDataID(kIdentityDataId, value, &length, error)) return 0;
  if (length == 0) return 0;
  const int8_t model = static_cast<int8_t>(value[kModelCodeByte]);
  if (model == kModelScanner2) return kModelScanner2;
  if (model == kModelOther) return kModelOther;
  return 0;
}

// `text` always ends up a terminated string within its 24 bytes: the record's text up to
// its first zero byte, cut at 23 characters when the record has none; an empty string
// when the record could not be read.
KXAPI int16_t KXAPI_CALL KXVersion(char* text, uint32_t* error) {
  uint8_t record[kVersionInfoLength] = {};
  uint16_t number = 0;
  uint16_t length = sizeof record;
  const int16_t result = KXReadRecord(VERSION_INFO, &number, record, &length, error);
  if (result != 1) {
    Trace("  Failed Read of VERSION_INFO record");
    text[0] = '\0';
    return result;
  }
  size_t n = 0;
  while (n < kVersionInfoLength - 1 && record[n] != 0) ++n;
  std::memcpy(text, record, n);
  text[n] = '\0';
  return result;
}

KXAPI int16_t KXAPI_CALL KXCheckPDFVersion(uint32_t* error) {
  char record[kDataFormatLength] = {};
  uint16_t number = 0;
  uint16_t length = sizeof record;
  if (!KXReadRecord(DATA_FORMAT, &number, record, &length, error)) {
    Trace("  Failed Read of DATA_FORMAT_RECORD record");
    if (CancelRequested.load()) *error = KXERR_CANCELED;
    return 0;
  }
  if (NumberAt(record + kCopperNumberAt, sizeof record - kCopperNumberAt) > SupportedNumber(kCopperPdfName) ||
      NumberAt(record + kFiberNumberAt, sizeof record - kFiberNumberAt) > SupportedNumber(kFiberPdfName)) {
    *error = KXERR_PDF_TOO_NEW;
    return 0;
  }
  return 1;
}

}  // extern "C"
