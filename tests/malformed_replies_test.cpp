// Replies that lie about their own length or stop short: an error code, never an overrun.
#include <gtest/gtest.h>

#include <cstring>

#include "services/record.h"
#include "wire/byte_order.h"
#include "tests/support/scripted_link.h"

using kxsim::Bytes;

namespace {

class MalformedReplyTest : public testsupport::ScriptedLinkTest {
 protected:
  // A record-read reply that echoes the request and claims `claimed` record bytes while
  // carrying `carried`.
  void AnswerRecord(uint16_t claimed, size_t carried, size_t headerBytes = 70) {
    instrument.SetHandler([=](const Bytes& request) {
      Bytes reply(request.begin(), request.begin() + static_cast<long>(std::min<size_t>(headerBytes, 70)));
      PutU16(reply.data() + 4, 1);
      if (reply.size() >= kOffRecordLength + 2) PutU16(reply.data() + kOffRecordLength, claimed);
      reply.insert(reply.end(), carried, 0x5C);
      return std::optional<Bytes>(reply);
    });
  }
};

TEST_F(MalformedReplyTest, ARecordLongerThanItsReplyIsACommError) {
  AnswerRecord(500, 10);
  Bytes buffer(600, 0xEE);
  uint16_t number = 0, length = 600;
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer.data(), &length, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  EXPECT_EQ(length, 600);
  for (uint8_t b : buffer) ASSERT_EQ(b, 0xEE);
  EXPECT_EQ(KXReadRecordBySize(VERSION_INFO, &number, buffer.data(), &length, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(MalformedReplyTest, ARecordReplyWithoutItsRecordHeaderIsAWrongResponse) {
  AnswerRecord(0, 0, 12);  // Class, Type, Status and RecordType only
  uint8_t buffer[16];
  uint16_t number = 0, length = 16;
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(VERSION_INFO, &number, buffer, &length, &error), 0);
  EXPECT_EQ(error, KXERR_NO_SCANNER);
}

TEST_F(MalformedReplyTest, ShortChangeRepliesAreWrongResponses) {
  AnswerWith(Bytes{14, 0, 1, 0, 1, 0});  // six bytes: not even a message header
  const uint8_t data[8] = {};
  uint32_t error = 0;
  // The free-space query behind the write fails first.
  EXPECT_EQ(KXWriteRecord(USER_UPREF_RECORD, data, 8, &error), 0);
  EXPECT_NE(error, 0u);
  EXPECT_EQ(KXDeleteRecord(USER_UPREF_RECORD, 0, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  // A free-space reply of the right kind that stops before the figure.
  AnswerWith(Bytes{14, 0, 4, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x10});
  uint32_t freeSpace = 0;
  EXPECT_EQ(KXGetVEXADBaseFreeSpace(&freeSpace, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
  EXPECT_EQ(freeSpace, 0u);
}

TEST_F(MalformedReplyTest, AFreeSpaceReplyWithAnyStatusIsAccepted) {
  Bytes reply = Reply(14, 4, 77, {0, 0, 0, 0x10, 0x27, 0, 0});  // 10000 at offset 13
  AnswerWith(reply);
  uint32_t freeSpace = 0, error = 0;
  EXPECT_EQ(KXGetVEXADBaseFreeSpace(&freeSpace, &error), 1);
  EXPECT_EQ(freeSpace, 10000u);
}

TEST_F(MalformedReplyTest, ASerialNumberReplyThatStopsShortFails) {
  AnswerWith(Reply(14, 5, 1, Bytes(70, 'x')));  // stops one character before the end
  char serial[12] = "untouched!";
  EXPECT_EQ(KXGetSerialNumber(serial), 0);
  EXPECT_STREQ(serial, "untouched!");
}

TEST_F(MalformedReplyTest, AShortNotFoundReplyStillCarriesTheCount) {
  instrument.SetHandler([](const Bytes& request) {
    Bytes reply(request.begin(), request.begin() + 16);  // up to RecordNumber
    PutU16(reply.data() + 4, 251);
    PutU16(reply.data() + kOffRecordNumber, 42);
    return std::optional<Bytes>(reply);
  });
  uint16_t number = 0xFFFF, length = 0;
  uint32_t error = 0;
  EXPECT_EQ(KXReadRecord(COPPER_AUTOTEST_REC, &number, nullptr, &length, &error), 0);
  EXPECT_EQ(error, KXERR_RECORD_NOT_FOUND);
  EXPECT_EQ(number, 42);
}

TEST_F(MalformedReplyTest, ADataIdReplyOfOneByteIsAnEmptyValue) {
  AnswerWith(Reply(7, 34, 1, {9}));
  uint8_t value[4] = {1, 2, 3, 4};
  uint16_t length = 4;
  uint32_t error = 0;
  EXPECT_EQ(KXGetDataID(3, value, &length, &error), 1);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(value[0], 1);
}

}  // namespace
