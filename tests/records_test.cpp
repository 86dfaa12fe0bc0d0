// The record services against the simulated Scanner over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <tuple>

#include "platform/platform.h"
#include "tests/support/frames.h"
#include "tests/support/scanner_session.h"

namespace {

using namespace testsupport;
using kxsim::FaultKind;

class RecordTest : public ScannerSessionTest {
 protected:
  void SetUp() override {
    ScannerSessionTest::SetUp();
    Open();
    server->ResetStats();
    KXSetDebugLevel(DBG_TRACE);
  }
  Bytes LastRequest() { return server->Stats().lastRequest; }
  // A fault on the next request of `type` only.
  void FaultOn(uint16_t type, FaultKind kind, uint16_t status = 0) {
    auto rule = kxsim::FaultWhen(kind, [type](const Bytes& m) { return m.size() >= 4 && U16(m, kAtType) == type; }, 1);
    rule.status = status;
    server->SetFaults(kxsim::FaultPlan().Add(rule));
  }
};

struct ReadRow {
  const char* name;
  enum { kPlain, kBySize, kWithKey } call;
  uint16_t type, number, capacity, keyLength, keyMode;
  int16_t result;
  uint32_t error;
  uint16_t numberOut, lengthOut;
  Bytes data;          // expected at the start of the buffer
  uint16_t reqLength;  // RecordLength of the request
};

TEST_F(RecordTest, ReadsDeliverTheRecordAndSendTheRightRequest) {
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
      {"no such record: the count", ReadRow::kPlain, kVersionRec, 5, 24, 0, 0, 0, KXERR_RECORD_NOT_FOUND, 1, 24, {}, 0},
      {"an autotest by size", ReadRow::kBySize, kCopperAutotestRec, 0, 512, 0, 0, 1, 0, 0, 512, Head(p900, 512), 512},
      {"by size, cut at the capacity", ReadRow::kBySize, kUserPrefRec, 0, 64, 0, 0, 1, 0, 0, 200, Head(p200, 64), 0},
      {"a key cut to 48", ReadRow::kWithKey, kFirstLimitRec, 0, 320, 60, 9, 1, 0, 3, 320, p320, 0},
      {"no key", ReadRow::kWithKey, kFirstLimitRec, 0, 320, 0, 9, 1, 0, 3, 320, p320, 0},
  };
  for (const ReadRow& r : rows) {
    SCOPED_TRACE(r.name);
    ClearTraces();
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
    EXPECT_EQ(CountTrace(" KXReadRecord Error - Search Key too long"), r.keyLength > 48);
    EXPECT_EQ(CountTrace(" Exiting KXReadRecordWithKey "), r.call == ReadRow::kWithKey);
  }
}

struct WrongRow {
  const char* name;
  uint16_t request;  // the request type whose reply is spoilt
  FaultKind kind;
  uint16_t status;
  uint32_t error;
  int syncs;
};

// A reply that does not echo the request is never retried; the record services
// resynchronise the line and fail, and the line serves the next call.
TEST_F(RecordTest, WrongRepliesFailAndResynchronise) {
  const Bytes data = Pattern(40, 6);
  scanner.PutRecord(kUserPrefRec, 0, data);
  scanner.PutRecord(kVersionRec, 0, Pattern(24, 8));
  const WrongRow rows[] = {
      {"read: record type", kDbRead, FaultKind::kWrongRecordType, 0, KXERR_NO_SCANNER, 1},
      {"read: class", kDbRead, FaultKind::kWrongClass, 0, KXERR_NO_SCANNER, 1},
      {"read: type", kDbRead, FaultKind::kWrongType, 0, KXERR_NO_SCANNER, 1},
      {"read: status", kDbRead, FaultKind::kBadStatus, 7, KXERR_COMM, 0},
      {"write", kDbWrite, FaultKind::kWrongRecordType, 0, KXERR_NO_SCANNER, 1},
      {"write: status", kDbWrite, FaultKind::kBadStatus, 7, KXERR_COMM, 0},
      {"update", kDbUpdate, FaultKind::kWrongRecordType, 0, KXERR_COMM, 1},
      {"delete", kDbDelete, FaultKind::kWrongRecordType, 0, KXERR_COMM, 1},
      {"delete: class", kDbDelete, FaultKind::kWrongClass, 0, KXERR_COMM, 1},
      {"free space", kDbInfo, FaultKind::kWrongType, 0, 0, 0},
  };
  for (const WrongRow& r : rows) {
    SCOPED_TRACE(r.name);
    ClearTraces();
    server->ResetStats();
    FaultOn(r.request, r.kind, r.status);
    uint16_t number = 0, length = 24;
    uint8_t buffer[24];
    uint32_t error = 1, freeSpace = 5;
    int16_t result = -1;
    switch (r.request) {
      case kDbRead: result = KXReadRecord(kVersionRec, &number, buffer, &length, &error); break;
      case kDbWrite: result = KXWriteRecord(kUserPrefRec, data.data(), 40, &error); break;
      case kDbUpdate: result = KXUpdateRecord(kUserPrefRec, 0, data.data(), 40, &error); break;
      case kDbDelete: result = KXDeleteRecord(kUserPrefRec, 0, &error); break;
      default: result = KXGetVEXADBaseFreeSpace(&freeSpace, &error); EXPECT_EQ(freeSpace, 0u);
    }
    // Asked once (write and update ask for the free space first).
    EXPECT_EQ(std::tuple(result, error, CountTrace("KXSync\n"), ResendAllowed, server->Stats().messagesReceived),
              std::tuple(0, r.error, r.syncs, 1u, r.request == kDbWrite || r.request == kDbUpdate ? 2u : 1u));
    number = 0;
    EXPECT_EQ(KXReadRecord(kVersionRec, &number, buffer, &length, &error), 1);
  }
}

TEST_F(RecordTest, ChangesSendTheRecordAndChangeTheDatabase) {
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
  EXPECT_EQ(KXDeleteRecord(kUserPrefRec, number, &error), 0);  // the instrument refuses
  EXPECT_EQ(error, KXERR_COMM);

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

  // A notify goes out without waiting for anything.
  const uint64_t before = server->Stats().messagesReceived;
  EXPECT_EQ(KXNotify(0x0777, data.data(), 10, &error), 1);
  ASSERT_TRUE(server->WaitForMessages(before + 1, 2000));
  ASSERT_EQ(scanner.Notifies().size(), 1u);
  EXPECT_EQ(scanner.Notifies()[0], RecordMessage(0x0777, 0x0777, 10, 0, Head(data, 10), kClassNotify));
}

TEST_F(RecordTest, TheFreeSpaceDecidesCoalescingAndTheRetriesOfAWrite) {
  scanner.SetFreeSpace(1000);
  uint32_t freeSpace = 0, error = 0;
  ASSERT_EQ(KXGetVEXADBaseFreeSpace(&freeSpace, &error), 1);
  EXPECT_EQ(freeSpace, 1000u);
  const uint32_t rows[][3] = {{900, 0, 1}, {900, 1, 0}, {872, 0, 1}, {871, 0, 0}, {65500, 0, 0}};  // 65628 wraps to 92
  for (const auto& [length, overheadIncluded, full] : rows) {
    EXPECT_EQ(KXGetFlashCoalesceStatus(static_cast<uint16_t>(length), overheadIncluded, &error), full) << length;
    EXPECT_EQ(error, 0u);
  }
  // An instrument that refuses every frame of the record: the write tolerates 10 failed
  // packets, or 35 when the record makes the flash coalesce.
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultWhen(
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

TEST_F(RecordTest, SendOnlyModeReturnsAtOnceAndCancelEndsASilentRead) {
  SendOnlyMode = 1;
  uint16_t number = 3, length = 10;
  uint32_t error = 0;
  EXPECT_EQ((std::tuple{KXReadRecord(kCopperAutotestRec, &number, nullptr, &length, &error), number, length}),
            std::tuple(1, 3, 10));
  SendOnlyMode = 0;
  KXSync();  // discard the reply that follows

  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kDropReply, 1.0)));
  std::thread canceller([] {
    platform::SleepMs(200);
    KXCancel();
  });
  uint8_t buffer[24];
  length = 24;
  EXPECT_EQ(KXReadRecord(kVersionRec, &number, buffer, &length, &error), 0);
  canceller.join();
  EXPECT_EQ(error, KXERR_CANCELED);
}

}  // namespace
