// Commands and data IDs against a scripted instrument over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "link/message.h"
#include "session/byte_order.h"
#include "tests/support/scripted_link.h"

using kxsim::Bytes;

namespace {

constexpr uint16_t kGetDataId = 34;
constexpr uint16_t kSetDataId = 35;

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

Bytes Head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); }

class CommandTest : public testsupport::ScriptedLinkTest {};

TEST_F(CommandTest, SendsClassTypeAndPayloadAndReturnsThePayload) {
  AnswerWith(Reply(7, 99, 1, {1, 2, 3, 4, 5}));
  const Bytes request = {9, 8, 7};
  uint8_t reply[16];
  uint16_t replyLength = sizeof reply;
  uint32_t error = 0;
  ASSERT_EQ(KXSendCommand(7, 99, request.data(), 3, reply, &replyLength, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(replyLength, 5);
  EXPECT_EQ(Bytes(reply, reply + 5), (Bytes{1, 2, 3, 4, 5}));
  const Bytes sent = instrument.Requests().back();
  EXPECT_EQ(sent, (Bytes{7, 0, 99, 0, 0, 0, 0, 0, 0, 0, 9, 8, 7}));
}

TEST_F(CommandTest, ANullReplyAreaFailsEvenWhenTheInstrumentSaysOk) {
  AnswerWith(Reply(7, 99, 1, {1, 2}));
  uint16_t replyLength = 0;
  uint32_t error = 0;
  EXPECT_EQ(KXSendCommand(7, 99, nullptr, 0, nullptr, &replyLength, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(CommandTest, AReplyOfAnotherKindIsHandedBackWhole) {
  const Bytes other = Reply(7, 100, 1, Pattern(30, 1));
  AnswerWith(other);
  Bytes reply(20, 0xEE);
  uint16_t replyLength = 12;
  uint32_t error = 0;
  EXPECT_EQ(KXSendCommand(7, 99, nullptr, 0, reply.data(), &replyLength, &error), 1);
  EXPECT_EQ(error, KXERR_BAD_RESPONSE);
  EXPECT_EQ(replyLength, 12);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 12), Head(other, 12));
  EXPECT_EQ(reply[12], 0xEE);

  EXPECT_EQ(KXSendCommand(7, 99, nullptr, 0, nullptr, &replyLength, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(CommandTest, AStatusOtherThanOkFails) {
  AnswerWith(Reply(7, 99, 3, {1}));
  uint8_t reply[4];
  uint16_t replyLength = 4;
  uint32_t error = 0;
  EXPECT_EQ(KXSendCommand(7, 99, nullptr, 0, reply, &replyLength, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(CommandTest, AReplyLongerThanTheCapacityIsNeverCopiedPastIt) {
  // The request is the larger, so the library's buffer can take a reply beyond the
  // host's capacity.
  AnswerWith(Reply(7, 99, 1, Pattern(200, 2)));
  const Bytes request(300, 1);
  Bytes reply(16 + 8, 0xEE);
  uint16_t replyLength = 16;
  uint32_t error = 0;
  EXPECT_EQ(KXSendCommand(7, 99, request.data(), 300, reply.data(), &replyLength, &error), 1);
  EXPECT_EQ(replyLength, 200);  // the full length, so the host sees the cut
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 16), Head(Pattern(200, 2), 16));
  for (size_t i = 16; i < reply.size(); ++i) EXPECT_EQ(reply[i], 0xEE);
}

TEST_F(CommandTest, AReplyShorterThanAHeaderIsAnError) {
  AnswerWith(Bytes{7, 0, 99});
  uint8_t reply[4];
  uint16_t replyLength = 4;
  uint32_t error = 0;
  EXPECT_EQ(KXSendCommand(7, 99, nullptr, 0, reply, &replyLength, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

class DataIdTest : public testsupport::ScriptedLinkTest {
 protected:
  // A get-data-ID reply: 2 leading bytes, the value, 13 trailing bytes.
  static Bytes ValueReply(const Bytes& value) {
    Bytes payload(2 + value.size() + 13, 0xB0);
    payload[0] = 0xA1;
    payload[1] = 0xA2;
    std::copy(value.begin(), value.end(), payload.begin() + 2);
    return Reply(7, kGetDataId, 1, payload);
  }
};

TEST_F(DataIdTest, ReadsAValueBetweenItsFraming) {
  AnswerWith(ValueReply(Pattern(10, 3)));
  Bytes value(32, 0xEE);
  uint16_t length = 32;
  uint32_t error = 0;
  ASSERT_EQ(KXGetDataID(705, value.data(), &length, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(length, 10);
  EXPECT_EQ(Bytes(value.begin(), value.begin() + 10), Pattern(10, 3));
  EXPECT_EQ(value[10], 0xEE);
  EXPECT_EQ(instrument.Requests().back(), (Bytes{7, 0, 34, 0, 0, 0, 0, 0, 0, 0, 0xC1, 0x02}));
}

TEST_F(DataIdTest, APayloadOfFifteenBytesOrFewerIsAnEmptyValue) {
  for (size_t n : {0u, 5u, 15u}) {
    AnswerWith(Reply(7, kGetDataId, 1, Bytes(n, 0x42)));
    uint8_t value[8] = {};
    uint16_t length = 8;
    uint32_t error = 0;
    EXPECT_EQ(KXGetDataID(1, value, &length, &error), 1) << n;
    EXPECT_EQ(length, 0) << n;
    EXPECT_EQ(error, 0u) << n;
  }
}

TEST_F(DataIdTest, AValueLongerThanTheCapacityIsCutWithoutAnError) {
  AnswerWith(ValueReply(Pattern(10, 4)));  // a 25-byte payload
  Bytes value(8, 0xEE);
  uint16_t length = 4;
  uint32_t error = 0;
  EXPECT_EQ(KXGetDataID(7, value.data(), &length, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Bytes(value.begin(), value.begin() + 4), Head(Pattern(10, 4), 4));
  EXPECT_EQ(value[4], 0xEE);
}

TEST_F(DataIdTest, AReplyOfAnotherTypeIsHandedBackWhole) {
  const Bytes other = Reply(7, 77, 1, Pattern(20, 5));
  AnswerWith(other);
  Bytes value(16, 0xEE);
  uint16_t length = 10;
  uint32_t error = 0;
  EXPECT_EQ(KXGetDataID(7, value.data(), &length, &error), 1);
  EXPECT_EQ(error, KXERR_BAD_RESPONSE);
  EXPECT_EQ(length, 10);
  EXPECT_EQ(Bytes(value.begin(), value.begin() + 10), Head(other, 10));
  EXPECT_EQ(value[10], 0xEE);
}

TEST_F(DataIdTest, AFailedExchangeIsACommError) {
  AnswerWith(Reply(7, kGetDataId, 9, {}));
  uint8_t value[4];
  uint16_t length = 4;
  uint32_t error = 0;
  EXPECT_EQ(KXGetDataID(7, value, &length, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(DataIdTest, ACancelDuringASuccessfulExchangeFailsTheRead) {
  // The host presses cancel while the reply is coming in: the command itself succeeds
  // with the cancel code, which the data-ID read turns into a failure.
  instrument.SetHandler([](const Bytes&) {
    KXCancel();
    return std::optional<Bytes>(ValueReply(Bytes(4, 1)));
  });
  uint8_t value[8];
  uint16_t length = 8;
  uint32_t error = 0;
  EXPECT_EQ(KXGetDataID(7, value, &length, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(DataIdTest, ACancelDuringASuccessfulSetFailsItToo) {
  instrument.SetHandler([](const Bytes&) {
    KXCancel();
    return std::optional<Bytes>(Reply(7, kSetDataId, 1, {}));
  });
  const uint8_t value[2] = {1, 2};
  uint32_t error = 0;
  EXPECT_EQ(KXSetDataID(5, value, 2, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(DataIdTest, SetSendsTheIdAndValueUpTo65533Bytes) {
  AnswerWith(Reply(7, kSetDataId, 1, {}));
  const Bytes value = Pattern(65533, 6);
  uint32_t error = 0;
  ASSERT_EQ(KXSetDataID(0x1234, value.data(), 65533, &error), 1) << std::hex << error;
  const Bytes sent = instrument.Requests().back();
  ASSERT_EQ(sent.size(), 10u + 65535u);
  EXPECT_EQ(GetU16(sent.data() + 2), kSetDataId);
  EXPECT_EQ(GetU16(sent.data() + 10), 0x1234);
  EXPECT_TRUE(std::equal(value.begin(), value.end(), sent.begin() + 12));

  const size_t before = instrument.RequestCount();
  const Bytes tooLong(65534, 1);
  EXPECT_EQ(KXSetDataID(0x1234, tooLong.data(), 65534, &error), 0);
  EXPECT_EQ(error, KXERR_NO_MEMORY);
  EXPECT_EQ(instrument.RequestCount(), before);
}

TEST_F(DataIdTest, SetKeepsTheBadResponseCodeOfAnUnexpectedReply) {
  AnswerWith(Reply(7, 36, 1, {}));
  const uint8_t value[2] = {1, 2};
  uint32_t error = 0;
  EXPECT_EQ(KXSetDataID(5, value, 2, &error), 1);
  EXPECT_EQ(error, KXERR_BAD_RESPONSE);
}

class CommandsClosedTest : public testsupport::LibraryTest {};

TEST_F(CommandsClosedTest, WithoutASessionEveryCallIsNotOpen) {
  uint8_t buffer[16];
  uint16_t length = 16;
  uint32_t error = 0;
  EXPECT_EQ(KXSendCommand(7, 1, nullptr, 0, buffer, &length, &error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  EXPECT_EQ(KXGetDataID(1, buffer, &length, &error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  EXPECT_EQ(KXSetDataID(1, buffer, 2, &error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  EXPECT_EQ(KXID(&error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  char text[24];
  EXPECT_EQ(KXVersion(text, &error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  EXPECT_EQ(KXCheckPDFVersion(&error), 0);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  char serial[12] = "untouched!";
  EXPECT_EQ(KXGetSerialNumber(serial), 0);
  EXPECT_STREQ(serial, "untouched!");
}

}  // namespace
