// Commands, data IDs and the identity calls against a scripted instrument whose every reply
// the test chooses: the request each call sends, and what it makes of each reply.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "tests/support/frames.h"
#include "tests/support/scripted_link.h"

namespace {

using namespace testsupport;

enum Call { kCommand, kGetId, kSetId, kModel, kVersion, kPdf, kSerial };

struct ExchangeRow {
  const char* name;
  Call call;
  Bytes reply;  // for kVersion and kPdf the record read (none: the instrument has no such record)
  int32_t result;
  uint32_t error;
  uint16_t capacity = 0, length = 0;  // of the reply area (0: none); the length reported afterwards
  Bytes data = {};                    // the reply area afterwards, from its start
  Bytes request = {};                 // the payload of a command, the value of a set data ID
  bool cancel = false;                // the host presses cancel while the reply comes in
};

// The request a row's call sends, built here from the wire layout.
Bytes RequestOf(const ExchangeRow& r) {
  switch (r.call) {
    case kCommand: return Message(7, 99, 0, r.request);
    case kSetId: return Message(7, kSetDataId, 0, Cat({0x34, 0x12}, r.request));
    case kVersion: return RecordMessage(kDbRead, kVersionRec, 0, 0);
    case kPdf: return RecordMessage(kDbRead, kDataFormatRec, 0, 0);
    case kSerial: return Message(kClassDatabase, kDbSerial, 0);
    default: return Message(7, kGetDataId, 0, {0xC1, 0x02});  // data ID 705
  }
}

int32_t CallOf(const ExchangeRow& r, uint8_t* area, uint16_t* length, uint32_t* error) {
  const auto n = static_cast<uint16_t>(r.request.size());
  uint8_t* to = r.capacity ? area : nullptr;
  switch (r.call) {
    case kCommand: return KXSendCommand(7, 99, r.request.data(), n, to, length, error);
    case kGetId: return KXGetDataID(705, to, length, error);
    case kSetId: return KXSetDataID(0x1234, r.request.data(), n, error);
    case kModel: return KXID(error);
    case kVersion: return KXVersion(reinterpret_cast<char*>(area), error);
    case kPdf: return KXCheckPDFVersion(error);
    case kSerial: return *error = 0, KXGetSerialNumber(reinterpret_cast<char*>(area));
  }
  return -1;
}

// A model-code value of data ID 705: `code` in byte 8 of ten.
Bytes ModelReply(uint8_t code) {
  Bytes v(10, 0);
  v[8] = code;
  return ValueReply(v);
}

// A serial-number reply of Class `cls` and Type `type`: 60 unread bytes, then the characters.
Bytes SerialReply(uint16_t cls, uint16_t type) {
  return Message(cls, type, 1, Cat(Bytes(60, 0x5A), {'K', 'X', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'T', 'R'}));
}

// The data-format record: the copper PDF name at byte 0, the fiber one at byte 42
// (null: digits everywhere, no terminator anywhere).
Bytes PdfNames(const char* copper, const char* fiber) {
  Bytes record(74, copper ? 0 : '9');
  if (copper) {
    std::memcpy(record.data(), copper, std::strlen(copper));
    std::memcpy(record.data() + 42, fiber, std::strlen(fiber));
  }
  return record;
}

using ServiceExchangeTest = ScriptedLinkTest;

TEST_F(ServiceExchangeTest, EachCallSendsItsRequestAndTakesItsReply) {
  const Bytes other = Message(7, 100, 1, Pattern(30, 1)), p200 = Pattern(200, 2), value = Pattern(10, 3),
              otherId = Message(7, 77, 1, Pattern(20, 5)), setValue = Pattern(65534, 6);
  Bytes zeroInside(24, 0);
  std::memcpy(zeroInside.data(), "V6.20 R3", 8);
  zeroInside[12] = 'Z';
  const uint32_t kTooNew = 0x2000002C;
  const ExchangeRow rows[] = {
      {"command: OK", kCommand, Message(7, 99, 1, {1, 2, 3, 4, 5}), 1, 0, 16, 5, {1, 2, 3, 4, 5}, {9, 8, 7}},
      {"command: OK, but no reply area", kCommand, Message(7, 99, 1, {1, 2}), 0, KXERR_COMM},
      {"command: another kind", kCommand, other, 1, KXERR_BAD_RESPONSE, 12, 12, Head(other, 12)},
      {"command: another kind, no reply area", kCommand, other, 0, KXERR_COMM},
      {"command: status not OK", kCommand, Message(7, 99, 3, {1}), 0, KXERR_COMM, 4, 4},
      // The request is the larger, so the library's buffer can take a reply beyond the capacity.
      {"command: longer than the capacity", kCommand, Message(7, 99, 1, p200), 1, 0, 16, 200, Head(p200, 16),
       Bytes(300, 1)},
      {"command: shorter than a header", kCommand, {7, 0, 99}, 0, KXERR_COMM, 4, 4},
      {"get ID: a value", kGetId, ValueReply(value), 1, 0, 32, 10, value},
      {"get ID: no payload", kGetId, Message(7, kGetDataId, 1), 1, 0, 8, 0},
      {"get ID: 5 bytes", kGetId, Message(7, kGetDataId, 1, Bytes(5, 0x42)), 1, 0, 8, 0},
      {"get ID: 15 bytes", kGetId, Message(7, kGetDataId, 1, Bytes(15, 0x42)), 1, 0, 8, 0},
      {"get ID: cut to the capacity", kGetId, ValueReply(value), 1, 0, 4, 4, Head(value, 4)},
      {"get ID: another type, the whole reply", kGetId, otherId, 1, KXERR_BAD_RESPONSE, 10, 10, Head(otherId, 10)},
      {"get ID: status not OK", kGetId, Message(7, kGetDataId, 9), 0, KXERR_COMM, 4, 4},
      {"get ID: cancel during a good exchange", kGetId, ValueReply(Bytes(4, 1)), 0, KXERR_COMM, 8, 8, {}, {}, true},
      {"set ID: the largest value", kSetId, Message(7, kSetDataId, 1), 1, 0, 0, 0, {}, Head(setValue, 65533)},
      {"set ID: an unexpected reply", kSetId, Message(7, 36, 1), 1, KXERR_BAD_RESPONSE, 0, 0, {}, {7, 8}},
      {"set ID: cancel during a good exchange", kSetId, Message(7, kSetDataId, 1), 0, KXERR_COMM, 0, 0, {}, {7, 8},
       true},
      {"set ID: one byte too many", kSetId, Message(7, kSetDataId, 1), 0, KXERR_NO_MEMORY, 0, 0, {}, setValue},
      {"model 12", kModel, ModelReply(12), 12, 0},
      {"model 4", kModel, ModelReply(4), 4, 0},
      {"model 7 is unknown", kModel, ModelReply(7), 0, 0},
      {"model 0xF4 is unknown", kModel, ModelReply(0xF4), 0, 0},
      {"model: 8 bytes, byte 8 never filled", kModel, ValueReply({1, 2, 3, 4, 5, 6, 7, 12}), 0, 0},
      {"model: no value", kModel, ValueReply({}), 0, 0},
      {"version stops at the first zero", kVersion, zeroInside, 1, 0, 24, 0, Cat(Head(zeroInside, 8), {0})},
      {"version: 24 bytes without a zero stay inside", kVersion, Bytes(24, 'A'), 1, 0, 24, 0, Cat(Bytes(23, 'A'), {0})},
      {"version: a failed read is empty", kVersion, {}, 0, KXERR_NO_SCANNER, 24, 0, {0}},
      {"PDF: the same", kPdf, PdfNames("KX0600.PDF", "KY0600.PDF"), 1, 0},
      {"PDF: copper newer", kPdf, PdfNames("KX0700.PDF", "KY0500.PDF"), 0, kTooNew},
      {"PDF: copper newer, fiber no digits", kPdf, PdfNames("KX0700.PDF", "KYxxxx.PDF"), 0, kTooNew},
      {"PDF: fiber newer", kPdf, PdfNames("KX0500.PDF", "KY0700.PDF"), 0, kTooNew},
      {"PDF: fiber one newer", kPdf, PdfNames("KX0599.PDF", "KY0601.PDF"), 0, kTooNew},
      {"PDF: no digits is number 0", kPdf, PdfNames("KXABCD.PDF", "KY0600.PDF"), 1, 0},
      {"PDF: a negative number is a large one", kPdf, PdfNames("KX-001.PDF", "KY0600.PDF"), 0, kTooNew},
      {"PDF: digits everywhere", kPdf, PdfNames(nullptr, nullptr), 0, kTooNew},
      {"serial number: eleven characters", kSerial, SerialReply(14, 5), 1, 0, 12, 0,
       {'K', 'X', '1', '2', '3', '4', '5', '6', '7', '8', '9', 0}},
      {"serial number: another type", kSerial, SerialReply(14, 6), 0, 0, 12, 0, Bytes(12, 0xEE)},
      {"serial number: another class", kSerial, SerialReply(15, 5), 0, 0, 12, 0, Bytes(12, 0xEE)},
  };
  for (const ExchangeRow& r : rows) {
    SCOPED_TRACE(r.name);
    instrument.SetHandler([r](const Bytes& request) {
      if (r.cancel) KXCancel();
      if (r.call != kVersion && r.call != kPdf) return std::optional<Bytes>(r.reply);
      // A record read: the record, or "not found" with no record type echoed.
      return std::optional<Bytes>(r.reply.empty() ? Message(14, 2, 251, Bytes(60, 0)) : RecordReply(request, 1, r.reply));
    });
    const size_t before = instrument.RequestCount();
    Bytes area(r.capacity + 8u, 0xEE);
    uint16_t length = r.capacity;
    uint32_t error = 1;
    EXPECT_EQ((std::tuple{CallOf(r, area.data(), &length, &error), error}), std::tuple(r.result, r.error));
    if (r.call <= kGetId) { EXPECT_EQ(length, r.length); }
    EXPECT_EQ(Head(area, r.data.size()), r.data);
    EXPECT_EQ(Bytes(area.begin() + r.capacity, area.end()), Bytes(8, 0xEE));
    if (r.error == KXERR_NO_MEMORY) {
      EXPECT_EQ(instrument.RequestCount(), before);  // nothing sent
    } else {
      EXPECT_EQ(instrument.Requests().back(), RequestOf(r));
    }
  }
}

}  // namespace
