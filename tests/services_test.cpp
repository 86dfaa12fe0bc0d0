// The services: commands, data IDs and the identity calls against a scripted instrument
// whose every reply the test chooses (the request each call sends, what it makes of each
// reply); the record services against the simulated Scanner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <tuple>

#include "platform/platform.h"
#include "tests/support/frames.h"
#include "tests/support/scanner_session.h"
#include "tests/support/scripted_link.h"

namespace {

using namespace testsupport;
using kxsim::FaultKind;

// kCommandBare: no reply area and no length; kCommandNoRoom: a reply area of no capacity;
// kCommandNoLength: a reply area but no length.
enum Call { kCommand, kCommandBare, kCommandNoRoom, kCommandNoLength, kGetId, kSetId, kModel, kVersion, kPdf, kSerial };

// reply: for kVersion and kPdf the record read (none: the instrument has no such record);
// capacity: of the reply area (0: none), length: reported afterwards; data: the reply area
// afterwards, from its start; request: the payload of a command, the value of a set data
// ID; cancel: the host presses cancel while the reply comes in.
struct ExchangeRow { const char* name; Call call; Bytes reply; int32_t result; uint32_t error; uint16_t capacity = 0,
                     length = 0; Bytes data = {}, request = {}; bool cancel = false; };

// The request a row's call sends, built here from the wire layout.
Bytes RequestOf(const ExchangeRow& r) {
  switch (r.call) {
    case kCommand: case kCommandBare: case kCommandNoRoom: case kCommandNoLength: return Message(7, 99, 0, r.request);
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
    case kCommandBare: return KXSendCommand(7, 99, r.request.data(), n, nullptr, nullptr, error);
    case kCommandNoRoom: return KXSendCommand(7, 99, r.request.data(), n, area, length, error);
    case kCommandNoLength: return KXSendCommand(7, 99, r.request.data(), n, area, nullptr, error);
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
Bytes ModelReply(uint8_t code) { return ValueReply({0, 0, 0, 0, 0, 0, 0, 0, code, 0}); }

// A serial-number reply of Class `cls` and Type `type`: 60 unread bytes, then the characters.
Bytes SerialReply(uint16_t cls, uint16_t type) {
  Bytes payload(60 + 13, 0x5A);  // built in place: GCC 12 -O3 warns falsely on a concatenation here
  std::memcpy(payload.data() + 60, "KX123456789TR", 13);
  return Message(cls, type, 1, payload);
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
      {"command: no reply area, no length", kCommandBare, Message(7, 99, 1, {1, 2}), 0, KXERR_COMM},
      {"command: a reply area of no room", kCommandNoRoom, Message(7, 99, 1, {1, 2, 3}), 1, 0, 0, 3, {}, Bytes(5, 5)},
      {"command: a reply area, no length", kCommandNoLength, Message(7, 99, 1, {1, 2, 3}), 1, 0},
      {"command: another kind", kCommand, other, 1, KXERR_BAD_RESPONSE, 12, 12, Head(other, 12)},
      {"command: another kind, no reply area", kCommand, other, 0, KXERR_COMM},
      {"command: status not OK", kCommand, Message(7, 99, 3, {1}), 0, KXERR_COMM, 4, 4},
      // The request is the larger, so the library's buffer can take a reply beyond the capacity.
      {"command: longer than the capacity", kCommand, Message(7, 99, 1, p200), 1, 0, 16, 200, Head(p200, 16),
       Bytes(300, 1)},
      {"command: shorter than a header", kCommand, {7, 0, 99}, 0, KXERR_COMM, 4, 4},
      {"get ID: a value", kGetId, ValueReply(value), 1, 0, 32, 10, value},
      {"get ID: 5 bytes", kGetId, Message(7, kGetDataId, 1, Bytes(5, 0x42)), 1, 0, 8, 0},
      {"get ID: cut to the capacity", kGetId, ValueReply(value), 1, 0, 4, 4, Head(value, 4)},
      {"get ID: another type, the whole reply", kGetId, otherId, 1, KXERR_BAD_RESPONSE, 10, 10, Head(otherId, 10)},
      {"get ID: status not OK", kGetId, Message(7, kGetDataId, 9), 0, KXERR_COMM, 4, 4},
      {"get ID: cancel during a good exchange", kGetId, ValueReply(Bytes(4, 1)), 0, KXERR_COMM, 8, 8, {}, {}, true},
      {"set ID: the largest value", kSetId, Message(7, kSetDataId, 1), 1, 0, 0, 0, {}, Head(setValue, 65533)},
      {"set ID: an unexpected reply", kSetId, Message(7, 36, 1), 1, KXERR_BAD_RESPONSE, 0, 0, {}, {7, 8}},
      {"set ID: cancel during a good exchange", kSetId, Message(7, kSetDataId, 1), 0, KXERR_COMM, 0, 0, {}, {7, 8},
       true},
      {"set ID: one byte too many", kSetId, Message(7, kSetDataId, 1), 0, KXERR_NO_MEMORY, 0, 0, {}, setValue},
      {"model 12", kModel, ModelReply(12), 12, 0}, {"model 7 is unknown", kModel, ModelReply(7), 0, 0},
      {"model 4", kModel, ModelReply(4), 4, 0}, {"model: no value", kModel, ValueReply({}), 0, 0},
      {"version stops at the first zero", kVersion, zeroInside, 1, 0, 24, 0, Cat(Head(zeroInside, 8), {0})},
      {"version: 24 bytes without a zero stay inside", kVersion, Bytes(24, 'A'), 1, 0, 24, 0, Cat(Bytes(23, 'A'), {0})},
      {"version: a failed read is empty", kVersion, {}, 0, KXERR_NO_SCANNER, 24, 0, {0}},
      {"PDF: the same", kPdf, PdfNames("KX0600.PDF", "KY0600.PDF"), 1, 0},
      {"PDF: copper newer in its first digit", kPdf, PdfNames("KX1600.PDF", "KY0500.PDF"), 0, kTooNew},
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
    if (r.call <= kGetId && r.call != kCommandBare) { EXPECT_EQ(length, r.length); }
    EXPECT_EQ(Head(area, r.data.size()), r.data);
    EXPECT_EQ(Bytes(area.begin() + r.capacity, area.end()), Bytes(8, 0xEE));
    if (r.error == KXERR_NO_MEMORY) {
      EXPECT_EQ(instrument.RequestCount(), before);  // nothing sent
    } else {
      EXPECT_EQ(instrument.Requests().back(), RequestOf(r));
    }
  }
}

class RecordTest : public ScannerSessionTest {
 protected:
  void SetUp() override {
    ScannerSessionTest::SetUp();
    Open();
    served->ResetStats();
    KXSetDebugLevel(DBG_TRACE);
  }
  Bytes LastRequest() { return served->Stats().lastRequest; }
};

// data: expected at the start of the buffer; reqLength: RecordLength of the request.
struct ReadRow { const char* name; enum { kPlain, kBySize, kWithKey } call; uint16_t type, number, capacity, keyLength,
                 keyMode; int16_t result; uint32_t error; uint16_t numberOut, lengthOut; Bytes data; uint16_t reqLength; };

// The record services over each line: the same requests and results on both.
using RecordLineTest = OverEachLine<RecordTest>;
INSTANTIATE_TEST_SUITE_P(Lines, RecordLineTest, testing::Values(Line::kSerial, Line::kUsb), LineName);

TEST_P(RecordLineTest, ReadsDeliverTheRecordAndSendTheRightRequest) {
  const Bytes p300 = Pattern(300, 1), p200 = Pattern(200, 5), p75 = Pattern(75, 3), p900 = Pattern(900, 4),
              p320 = Pattern(320, 7), key = Pattern(60, 6);
  scanner.PutRecord(kUserPrefRec, 4, p300);
  scanner.PutRecord(kUserPrefRec, 0, p200);
  scanner.PutRecord(kDataFormatRec, 0, Head(p75, 74));
  scanner.PutRecord(kDataFormatRec, 1, p75);
  scanner.PutRecord(kCopperAutotestRec, 0, p900);
  for (uint8_t i = 1; i < 7; ++i) scanner.AddRecord(kCopperAutotestRec, Pattern(50, i));
  scanner.PutRecord(kFirstLimitRec, 3, p320, Head(key, 48));
  scanner.PutRecord(kVersionRec, 0, Pattern(24, 8));
  const ReadRow rows[] = {
      {"the first at or after the number", ReadRow::kPlain, kUserPrefRec, 2, 400, 0, 0, 1, 0, 4, 300, p300, 0},
      {"exactly the capacity", ReadRow::kPlain, kDataFormatRec, 0, 74, 0, 0, 1, 0, 0, 74, Head(p75, 74), 0},
      {"one byte more", ReadRow::kPlain, kDataFormatRec, 1, 74, 0, 0, 0, KXERR_RECORD_TOO_LARGE, 1, 74, Head(p75, 74), 0},
      {"counting autotests", ReadRow::kPlain, kCopperAutotestRec, 0xFFFF, 0, 0, 0, 0, KXERR_RECORD_NOT_FOUND, 7, 0, {},
       0xFFFF},
      {"an autotest by size", ReadRow::kBySize, kCopperAutotestRec, 0, 512, 0, 0, 1, 0, 0, 512, Head(p900, 512), 512},
      {"by size, cut at the capacity", ReadRow::kBySize, kUserPrefRec, 0, 64, 0, 0, 1, 0, 0, 200, Head(p200, 64), 0},
      {"a key cut to 48", ReadRow::kWithKey, kFirstLimitRec, 0, 320, 60, 9, 1, 0, 3, 320, p320, 0},
      {"no key", ReadRow::kWithKey, kFirstLimitRec, 0, 320, 0, 9, 1, 0, 3, 320, p320, 0},
  };
  for (const ReadRow& r : rows) {
    SCOPED_TRACE(r.name);
    uint16_t number = r.number, length = r.capacity;
    Bytes buffer(r.capacity + 16u, 0xEE);
    uint8_t* to = r.capacity ? buffer.data() : nullptr;
    uint32_t error = 1;
    const int16_t result =
        r.call == ReadRow::kPlain    ? KXReadRecord(r.type, &number, to, &length, &error)
        : r.call == ReadRow::kBySize ? KXReadRecordBySize(r.type, &number, to, &length, &error)
                                     : KXReadRecordWithKey(r.type, &number, to, &length, &error, key.data(),
                                                           r.keyLength, r.keyMode);
    EXPECT_EQ(std::tuple(result, error, number, length), std::tuple(r.result, r.error, r.numberOut, r.lengthOut));
    EXPECT_EQ(Head(buffer, r.data.size()), r.data);
    EXPECT_EQ(Bytes(buffer.begin() + r.capacity, buffer.end()), Bytes(16, 0xEE));
    Bytes request = RecordMessage(kDbRead, r.type, r.reqLength, r.number);
    if (r.keyLength) {
      PutU16(request, kAtKeyMode, r.keyMode);
      PutU16(request, kAtKeyLength, 48);
      std::copy_n(key.begin(), 48, request.begin() + kAtKey);
    }
    EXPECT_EQ(LastRequest(), request);
  }
}

TEST_P(RecordLineTest, ChangesSendTheRecordAndChangeTheDatabase) {
  const Bytes first = Pattern(100, 1), second = Pattern(120, 2);
  uint32_t error = 0;
  ASSERT_EQ(KXWriteRecord(kUserPrefRec, first.data(), 100, &error), 1) << std::hex << error;
  EXPECT_EQ(LastRequest(), RecordMessage(kDbWrite, kUserPrefRec, 100, 0, first));
  ASSERT_EQ(scanner.RecordCount(kUserPrefRec), 1u);
  const uint16_t number = scanner.Records(kUserPrefRec)[0].number;
  EXPECT_EQ(*scanner.GetRecord(kUserPrefRec, number), first);

  ASSERT_EQ(KXUpdateRecord(kUserPrefRec, number, second.data(), 120, &error), 1);
  EXPECT_EQ(LastRequest(), RecordMessage(kDbUpdate, kUserPrefRec, 120, number, second));
  EXPECT_EQ(*scanner.GetRecord(kUserPrefRec, number), second);

  ASSERT_EQ(KXDeleteRecord(kUserPrefRec, number, &error), 1);
  EXPECT_EQ(LastRequest(), RecordMessage(kDbDelete, kUserPrefRec, 0, number));
  EXPECT_EQ(scanner.RecordCount(kUserPrefRec), 0u);
  EXPECT_EQ(ResendAllowed, 1u);
  // The instrument refuses.
  EXPECT_EQ((std::tuple{KXDeleteRecord(kUserPrefRec, number, &error), error}), std::tuple(0, KXERR_COMM));

  // The keyed types send their leading bytes as the key.
  const Bytes data = Pattern(320, 4);
  const std::pair<uint16_t, uint16_t> keyed[] = {
      {kFirstLimitRec, 17}, {kLastLimitRec, 17}, {kKeyed3847, 21}, {kKeyed3873, 21}, {kCopperAutotestRec, 0}};
  for (const auto& [type, keyLength] : keyed) {
    ASSERT_EQ(KXWriteRecord(type, data.data(), 320, &error), 1) << type;
    const Bytes r = LastRequest();
    EXPECT_EQ(U16(r, kAtKeyLength), keyLength) << type;
    EXPECT_EQ(Bytes(r.begin() + kAtKey, r.begin() + kAtRecordData), Cat(Head(data, keyLength), Bytes(50 - keyLength, 0)))
        << type;
  }
}

TEST_F(RecordTest, TheFreeSpaceDecidesCoalescingAndTheRetriesOfAWrite) {
  scanner.SetFreeSpace(1000);  // the rows' lengths around it, with the 128 bytes a record takes
  uint32_t error = 0;
  const uint32_t rows[][3] = {{900, 0, 1}, {900, 1, 0}, {872, 0, 1}, {871, 0, 0}, {65500, 0, 0}};  // 65628 wraps to 92
  for (const auto& [length, overheadIncluded, full] : rows) {
    EXPECT_EQ(KXGetFlashCoalesceStatus(static_cast<uint16_t>(length), overheadIncluded, &error), full) << length;
    EXPECT_EQ(error, 0u);
  }
  // An instrument that refuses every frame of the record: the write tolerates 10 failed
  // packets, or 35 when the record makes the flash coalesce.
  served->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultWhen(
      FaultKind::kNakGoodFrame, [](const Bytes& m) { return m.size() >= 4 && U16(m, kAtType) == kDbWrite; })));
  platform::SetClockSpeed(20);
  for (const auto& [length, failures] : {std::pair<uint16_t, int>{100, 10}, {900, 35}}) {
    ClearTraces();
    const Bytes data = Pattern(length, 7);
    EXPECT_EQ((std::tuple{KXWriteRecord(kUserPrefRec, data.data(), length, &error), error, ResendAllowed,
                         CountTrace(" SendMessage Error - SendPacket Failed \n")}),
              std::tuple(0, KXERR_COMM, 1u, failures)) << length;
  }
}

TEST_F(RecordTest, CancelEndsASilentRead) {
  served->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kDropReply, 1.0)));
  std::thread canceller([] { platform::SleepMs(200), KXCancel(); });
  uint8_t buffer[24];
  uint16_t number = 0, length = 24;
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(kVersionRec, &number, buffer, &length, &error), 0);
  canceller.join();
  EXPECT_EQ(error, KXERR_CANCELED);
}

}  // namespace
