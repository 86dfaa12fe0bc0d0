// The record services against the simulated Scanner over a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "link/message.h"
#include "platform/platform.h"
#include "services/record.h"
#include "wire/byte_order.h"
#include "tests/support/scanner_session.h"

using kxsim::Bytes;

namespace {

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 31);
  return b;
}

bool IsRequest(const Bytes& frameData, uint16_t cls, uint16_t type) {
  return frameData.size() >= 4 && GetU16(frameData.data()) == cls && GetU16(frameData.data() + 2) == type;
}

class RecordReadTest : public testsupport::ScannerSessionTest {
 protected:
  void SetUp() override {
    ScannerSessionTest::SetUp();
    Open();
    server->ResetStats();
  }
  const Bytes& LastRequest() {
    last_ = server->Stats().lastRequest;
    return last_;
  }
  Bytes last_;
};

TEST_F(RecordReadTest, ReadsARecordAndItsNumber) {
  const Bytes data = Pattern(300, 1);
  scanner.PutRecord(USER_UPREF_RECORD, 4, data);
  uint16_t number = 2, length = 400;
  Bytes buffer(400, 0xEE);
  uint32_t error = 1;
  ASSERT_EQ(KXReadRecord(USER_UPREF_RECORD, &number, buffer.data(), &length, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(number, 4);  // the first record at or after the one asked for
  EXPECT_EQ(length, 300);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 300), data);
  EXPECT_EQ(buffer[300], 0xEE);

  const Bytes& r = LastRequest();
  ASSERT_EQ(r.size(), 70u);
  EXPECT_EQ(GetU16(r.data()), CLASS_DATABASE);
  EXPECT_EQ(GetU16(r.data() + 2), DB_READ_RECORD);
  EXPECT_EQ(GetU16(r.data() + 4), 0);  // Status 0 in requests
  EXPECT_EQ(GetU16(r.data() + kOffRecordNumber), 2);
  EXPECT_EQ(GetU16(r.data() + kOffRecordLength), 0);
}

TEST_F(RecordReadTest, ARecordOfExactlyTheCapacityIsDeliveredOneMoreIsTooLarge) {
  scanner.PutRecord(DATA_FORMAT, 0, Pattern(74, 2));
  scanner.PutRecord(DATA_FORMAT, 1, Pattern(75, 3));
  uint16_t number = 0, length = 74;
  Bytes buffer(80, 0xEE);
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(DATA_FORMAT, &number, buffer.data(), &length, &error), 1);
  EXPECT_EQ(length, 74);

  number = 1;
  length = 74;
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  EXPECT_EQ(KXReadRecord(DATA_FORMAT, &number, buffer.data(), &length, &error), 0);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
  EXPECT_EQ(length, 74);  // unchanged
  const Bytes longer = Pattern(75, 3);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 74), Bytes(longer.begin(), longer.begin() + 74));
  EXPECT_EQ(buffer[74], 0xEE);
}

TEST_F(RecordReadTest, CountingAutotestsThroughTheNotFoundReply) {
  for (int i = 0; i < 7; ++i) scanner.AddRecord(COPPER_AUTOTEST_REC, Pattern(50, static_cast<uint8_t>(i)));
  uint16_t number = 0xFFFF, length = 0;
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(COPPER_AUTOTEST_REC, &number, nullptr, &length, &error), 0);
  EXPECT_EQ(error, KXERR_RECORD_NOT_FOUND);
  EXPECT_EQ(number, 7);
  EXPECT_EQ(GetU16(LastRequest().data() + kOffRecordLength), 0xFFFF);  // autotest by key
}

TEST_F(RecordReadTest, BySizeReadsSendTheWantedSizeAndNeverCopyPastTheCapacity) {
  const Bytes data = Pattern(900, 4);
  scanner.PutRecord(COPPER_AUTOTEST_REC, 0, data);
  uint16_t number = 0, length = 512;
  Bytes buffer(600, 0xEE);
  uint32_t error = 0;
  ASSERT_EQ(KXReadRecordBySize(COPPER_AUTOTEST_REC, &number, buffer.data(), &length, &error), 1);
  EXPECT_EQ(GetU16(LastRequest().data() + kOffRecordLength), 512);
  EXPECT_EQ(length, 512);  // the instrument sends at most the wanted size
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 512), Bytes(data.begin(), data.begin() + 512));

  // A record longer than the capacity (no wanted size for other types): cut at the
  // capacity, the full length reported.
  scanner.PutRecord(USER_UPREF_RECORD, 0, Pattern(200, 5));
  number = 0;
  length = 64;
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  ASSERT_EQ(KXReadRecordBySize(USER_UPREF_RECORD, &number, buffer.data(), &length, &error), 1);
  EXPECT_EQ(length, 200);
  EXPECT_EQ(buffer[63], Pattern(200, 5)[63]);
  EXPECT_EQ(buffer[64], 0xEE);
}

TEST_F(RecordReadTest, LongKeysAreCutTo48AndNoKeyLeavesTheFieldsZero) {
  KXSetDebugLevel(DBG_TRACE);
  Bytes key = Pattern(60, 6);
  scanner.PutRecord(FIRST_LIMIT_REC, 3, Pattern(320, 7), Bytes(key.begin(), key.begin() + 48));
  uint16_t number = 0, length = 320;
  Bytes buffer(320);
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecordWithKey(FIRST_LIMIT_REC, &number, buffer.data(), &length, &error, key.data(), 60, 9), 1)
      << std::hex << error;
  EXPECT_EQ(number, 3);
  const Bytes r = LastRequest();
  EXPECT_EQ(GetU16(r.data() + kOffKeyLength), 48);
  EXPECT_EQ(GetU16(r.data() + kOffKeyMode), 9);
  EXPECT_EQ(Bytes(r.begin() + kOffKey, r.begin() + kOffKey + 48), Bytes(key.begin(), key.begin() + 48));
  EXPECT_EQ(r[kOffKey + 48], 0);
  EXPECT_EQ(CountTrace(" KXReadRecord Error - Search Key too long"), 1);

  number = 0;
  EXPECT_EQ(KXReadRecordWithKey(FIRST_LIMIT_REC, &number, buffer.data(), &length, &error, key.data(), 0, 9), 1);
  const Bytes r2 = LastRequest();
  EXPECT_EQ(Bytes(r2.begin() + kOffKeyMode, r2.end()), Bytes(70 - kOffKeyMode, 0));
}

TEST_F(RecordReadTest, AReplyOfAnotherClassTypeOrRecordTypeIsAWrongResponse) {
  KXSetDebugLevel(DBG_TRACE);
  scanner.PutRecord(VERSION_INFO, 0, Pattern(24, 8));
  int syncs = 0;
  for (auto kind : {kxsim::FaultKind::kWrongRecordType, kxsim::FaultKind::kWrongClass, kxsim::FaultKind::kWrongType}) {
    server->ResetStats();
    server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultNext(kind)));
    uint16_t number = 0, length = 24;
    uint8_t buffer[24];
    uint32_t error = 0;
    EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), 0);
    EXPECT_EQ(error, KXERR_NO_SCANNER);
    EXPECT_EQ(CountTrace("KXSync\n"), ++syncs);
    EXPECT_EQ(server->Stats().messagesReceived, 1u);  // never retried
    // The link is usable again right after.
    EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), 1);
  }
}

TEST_F(RecordReadTest, StatusCodesBecomeErrors) {
  scanner.PutRecord(VERSION_INFO, 0, Pattern(24, 8));
  auto plan = kxsim::FaultPlan();
  auto rule = kxsim::FaultNext(kxsim::FaultKind::kBadStatus);
  rule.status = 7;
  server->SetFaults(plan.Add(rule));
  uint16_t number = 0, length = 24;
  uint8_t buffer[24];
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);

  number = 5;  // no such record
  EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), 0);
  EXPECT_EQ(error, KXERR_RECORD_NOT_FOUND);
  EXPECT_EQ(number, 1);  // the instrument's count comes back in the number
}

TEST_F(RecordReadTest, ALineThatCorruptsBytesIsRidden) {
  // One byte in 2000 towards the host is damaged: the CRC catches it, the NAK brings
  // the packet again, and the record arrives intact.
  const Bytes data = Pattern(5000, 9);
  scanner.PutRecord(PDF_FORMAT_REC, 0, data);
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultAtRate(kxsim::FaultKind::kCorruptByte, 0.0005)));
  uint16_t number = 0, length = 65535;
  Bytes buffer(65535);
  uint32_t error = 0;
  ASSERT_EQ(KXReadRecord(PDF_FORMAT_REC, &number, buffer.data(), &length, &error), 1) << std::hex << error;
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), data);
  EXPECT_GT(server->Stats().naksReceived, 0u);
}

TEST_F(RecordReadTest, SendOnlyModeReturnsRightAfterTheRequest) {
  SendOnlyMode = 1;
  uint16_t number = 3, length = 10;
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(COPPER_AUTOTEST_REC, &number, nullptr, &length, &error), 1);
  EXPECT_EQ(number, 3);
  EXPECT_EQ(length, 10);
  SendOnlyMode = 0;
  KXSync();  // discard the reply that follows
}

TEST_F(RecordReadTest, CancelFromAnotherThreadOnASilentLineEndsTheRead) {
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultAtRate(kxsim::FaultKind::kDropReply, 1.0)));
  std::thread canceller([] {
    platform::SleepMs(200);
    KXCancel();
  });
  uint16_t number = 0, length = 24;
  uint8_t buffer[24];
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), 0);
  canceller.join();
  EXPECT_EQ(error, KXERR_CANCELED);
}

class RecordChangeTest : public RecordReadTest {};

TEST_F(RecordChangeTest, WriteUpdateAndDeleteChangeTheDatabase) {
  const Bytes first = Pattern(100, 1), second = Pattern(120, 2);
  uint32_t error = 0;
  ASSERT_EQ(KXWriteRecord(USER_UPREF_RECORD, first.data(), 100, &error), 1) << std::hex << error;
  ASSERT_EQ(scanner.RecordCount(USER_UPREF_RECORD), 1u);
  const uint16_t number = scanner.Records(USER_UPREF_RECORD)[0].number;
  EXPECT_EQ(*scanner.GetRecord(USER_UPREF_RECORD, number), first);

  ASSERT_EQ(KXUpdateRecord(USER_UPREF_RECORD, number, second.data(), 120, &error), 1);
  EXPECT_EQ(*scanner.GetRecord(USER_UPREF_RECORD, number), second);
  const Bytes r = LastRequest();
  EXPECT_EQ(GetU16(r.data() + 2), DB_UPDATE_RECORD);
  EXPECT_EQ(GetU16(r.data() + kOffRecordNumber), number);
  EXPECT_EQ(GetU16(r.data() + kOffKeyLength), 0);

  ASSERT_EQ(KXDeleteRecord(USER_UPREF_RECORD, number, &error), 1);
  EXPECT_EQ(scanner.RecordCount(USER_UPREF_RECORD), 0u);
  EXPECT_EQ(ResendAllowed, 1u);

  // Deleting it again: the instrument refuses.
  EXPECT_EQ(KXDeleteRecord(USER_UPREF_RECORD, number, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(RecordChangeTest, AWriteOfAHundredBytesIsOneMessageOf170Bytes) {
  const Bytes data = Pattern(100, 3);
  uint32_t error = 0;
  ASSERT_EQ(KXWriteRecord(USER_UPREF_RECORD, data.data(), 100, &error), 1);
  const Bytes r = LastRequest();
  ASSERT_EQ(r.size(), 170u);
  EXPECT_EQ(GetU16(r.data() + 2), DB_WRITE_RECORD);
  EXPECT_EQ(GetU16(r.data() + kOffRecordLength), 100);
  EXPECT_EQ(GetU16(r.data() + kOffRecordNumber), 0);
  EXPECT_EQ(Bytes(r.begin() + 70, r.end()), data);
}

TEST_F(RecordChangeTest, KeyedTypesSendTheirLeadingBytesAsKey) {
  const Bytes data = Pattern(320, 4);
  struct Case {
    uint16_t type;
    uint16_t keyLength;
  } cases[] = {{FIRST_LIMIT_REC, 17}, {LAST_LIMIT_REC, 17}, {KEYED_RECORD_3847, 21}, {KEYED_RECORD_3873, 21},
               {COPPER_AUTOTEST_REC, 0}};
  for (const Case& c : cases) {
    uint32_t error = 0;
    ASSERT_EQ(KXWriteRecord(c.type, data.data(), 320, &error), 1) << c.type;
    const Bytes r = LastRequest();
    EXPECT_EQ(GetU16(r.data() + kOffKeyLength), c.keyLength) << c.type;
    EXPECT_EQ(Bytes(r.begin() + kOffKey, r.begin() + kOffKey + c.keyLength),
              Bytes(data.begin(), data.begin() + c.keyLength)) << c.type;
    EXPECT_EQ(r[kOffKey + c.keyLength], 0) << c.type;
  }
}

TEST_F(RecordChangeTest, NotifySendsTheRecordWithoutWaiting) {
  const Bytes data = Pattern(10, 5);
  uint32_t error = 0;
  EXPECT_EQ(KXNotify(0x0777, data.data(), 10, &error), 1);
  ASSERT_TRUE(server->WaitForMessages(1, 2000));
  const auto notifies = scanner.Notifies();
  ASSERT_EQ(notifies.size(), 1u);
  EXPECT_EQ(notifies[0].size(), 80u);
  EXPECT_EQ(GetU16(notifies[0].data()), CLASS_NOTIFY);
  EXPECT_EQ(GetU16(notifies[0].data() + 2), 0x0777);
  EXPECT_EQ(GetU16(notifies[0].data() + kOffRecordType), 0x0777);
}

TEST_F(RecordChangeTest, FreeSpaceAndCoalesceStatus) {
  scanner.SetFreeSpace(1000);
  uint32_t freeSpace = 0, error = 0;
  ASSERT_EQ(KXGetVEXADBaseFreeSpace(&freeSpace, &error), 1);
  EXPECT_EQ(freeSpace, 1000u);
  EXPECT_EQ(KXGetFlashCoalesceStatus(900, 0, &error), 1u);   // 1028 >= 1000
  EXPECT_EQ(KXGetFlashCoalesceStatus(900, 1, &error), 0u);   // overhead included
  EXPECT_EQ(KXGetFlashCoalesceStatus(872, 0, &error), 1u);   // exactly 1000
  EXPECT_EQ(KXGetFlashCoalesceStatus(871, 0, &error), 0u);
  EXPECT_EQ(KXGetFlashCoalesceStatus(65500, 0, &error), 0u); // 65628 wraps to 92
  EXPECT_EQ(error, 0u);
}

TEST_F(RecordChangeTest, AFreeSpaceReplyOfAnotherKindFailsWithoutACode) {
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultNext(kxsim::FaultKind::kWrongType)));
  uint32_t freeSpace = 5, error = 0;
  EXPECT_EQ(KXGetVEXADBaseFreeSpace(&freeSpace, &error), 0);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(freeSpace, 0u);
}

TEST_F(RecordChangeTest, AWrongReplyIsNoScannerForWriteButCommErrorForUpdateAndDelete) {
  const Bytes data = Pattern(40, 6);
  scanner.PutRecord(USER_UPREF_RECORD, 0, data);
  const auto isChange = [](const Bytes& r) { return r.size() >= 4 && GetU16(r.data() + 2) != DB_INFO; };
  uint32_t error = 0;
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultWhen(kxsim::FaultKind::kWrongRecordType, isChange, 1)));
  EXPECT_EQ(KXWriteRecord(USER_UPREF_RECORD, data.data(), 40, &error), 0);
  EXPECT_EQ(error, KXERR_NO_SCANNER);
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultWhen(kxsim::FaultKind::kWrongRecordType, isChange, 1)));
  EXPECT_EQ(KXUpdateRecord(USER_UPREF_RECORD, 0, data.data(), 40, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultWhen(kxsim::FaultKind::kWrongRecordType, isChange, 1)));
  EXPECT_EQ(KXDeleteRecord(USER_UPREF_RECORD, 0, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

// The retry count of a write shows in how many failed packets it tolerates before
// giving up on an instrument that refuses every frame of the record.
class WriteRetryTest : public RecordReadTest {
 protected:
  int FailedPacketsOfAWrite(uint16_t length) {
    server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultWhen(
        kxsim::FaultKind::kNakGoodFrame, [](const Bytes& d) { return IsRequest(d, CLASS_DATABASE, DB_WRITE_RECORD); })));
    KXSetDebugLevel(DBG_TRACE);
    ClearTraces();
    platform::SetClockSpeed(20);
    const Bytes data = Pattern(length, 7);
    uint32_t error = 0;
    EXPECT_EQ(KXWriteRecord(USER_UPREF_RECORD, data.data(), length, &error), 0);
    EXPECT_EQ(error, KXERR_COMM);
    EXPECT_EQ(ResendAllowed, 1u);
    return CountTrace(" SendMessage Error - SendPacket Failed \n");
  }
};

TEST_F(WriteRetryTest, TheFreeSpaceQueryChoosesTenOr35Retries) {
  scanner.SetFreeSpace(1000);
  EXPECT_EQ(FailedPacketsOfAWrite(100), 10);  // 228 bytes fit
  EXPECT_EQ(FailedPacketsOfAWrite(900), 35);  // 1028 bytes make the flash coalesce
}

}  // namespace
