// The identity calls against a scripted instrument over a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/message.h"
#include "services/record.h"
#include "wire/byte_order.h"
#include "tests/support/scripted_link.h"

using kxsim::Bytes;

namespace {

class IdentityTest : public testsupport::ScriptedLinkTest {
 protected:
  // The serial-number reply: header, 60 unread bytes, the characters.
  static Bytes SerialReply(uint16_t cls, uint16_t type, const std::string& tail) {
    Bytes payload(60, 0x5A);
    payload.insert(payload.end(), tail.begin(), tail.end());
    return Reply(cls, type, 1, payload);
  }
  // A record-read reply carrying `record` for the request it answers.
  void AnswerRecord(const Bytes& record) {
    instrument.SetHandler([record](const Bytes& request) {
      Bytes reply(request.begin(), request.begin() + 70);
      PutU16(reply.data() + 4, 1);
      PutU16(reply.data() + kOffRecordLength, static_cast<uint16_t>(record.size()));
      reply.insert(reply.end(), record.begin(), record.end());
      return std::optional<Bytes>(reply);
    });
  }
  // A data-ID reply carrying `value` (2 leading, 13 trailing bytes).
  void AnswerValue(const Bytes& value) {
    Bytes payload = {0, 0};
    payload.insert(payload.end(), value.begin(), value.end());
    payload.insert(payload.end(), 13, 0x77);
    AnswerWith(Reply(7, 34, 1, payload));
  }
  static Bytes DataFormat(const char* copper, const char* fiber) {
    Bytes record(74, 0);
    std::memcpy(record.data(), copper, std::strlen(copper));
    std::memcpy(record.data() + 42, fiber, std::strlen(fiber));
    return record;
  }
};

TEST_F(IdentityTest, SerialNumberIsElevenCharactersAndATerminator) {
  AnswerWith(SerialReply(14, 5, "KX123456789TRAILING"));
  char serial[16];
  std::memset(serial, 'x', sizeof serial);
  ASSERT_EQ(KXGetSerialNumber(serial), 1);
  EXPECT_EQ(std::string(serial, 11), "KX123456789");
  EXPECT_EQ(serial[11], '\0');
  EXPECT_EQ(serial[12], 'x');
  EXPECT_EQ(instrument.Requests().back(), (Bytes{14, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(IdentityTest, SerialNumberReplyOfAnotherKindLeavesTheBufferUntouched) {
  AnswerWith(SerialReply(14, 6, "KX123456789"));
  char serial[12] = "untouched!";
  EXPECT_EQ(KXGetSerialNumber(serial), 0);
  EXPECT_STREQ(serial, "untouched!");
}

TEST_F(IdentityTest, ModelCodeIsByteEightOfDataId705) {
  struct Case {
    uint8_t code;
    int16_t expected;
  } cases[] = {{12, 12}, {4, 4}, {7, 0}, {0xF4, 0}};
  for (const Case& c : cases) {
    Bytes value(10, 0);
    value[8] = c.code;
    AnswerValue(value);
    uint32_t error = 1;
    EXPECT_EQ(KXID(&error), c.expected) << int(c.code);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(GetU16(instrument.Requests().back().data() + 10), 705);
  }
}

TEST_F(IdentityTest, AValueShorterThanNineBytesIsNoModel) {
  AnswerValue(Bytes{1, 2, 3, 4, 5, 6, 7, 12});  // 8 bytes: byte 8 is never filled
  uint32_t error = 0;
  EXPECT_EQ(KXID(&error), 0);
  AnswerValue(Bytes{});
  EXPECT_EQ(KXID(&error), 0);
}

TEST_F(IdentityTest, VersionTextStopsAtTheFirstZero) {
  Bytes record(24, 0);
  std::memcpy(record.data(), "V6.20 R3", 8);
  record[12] = 'Z';
  AnswerRecord(record);
  char text[24];
  std::memset(text, 'x', sizeof text);
  uint32_t error = 0;
  ASSERT_EQ(KXVersion(text, &error), 1);
  EXPECT_STREQ(text, "V6.20 R3");
  const Bytes request = instrument.Requests().back();
  EXPECT_EQ(GetU16(request.data() + kOffRecordType), VERSION_INFO);
}

TEST_F(IdentityTest, VersionOfTwentyFourBytesWithoutAZeroStaysInsideTheText) {
  AnswerRecord(Bytes(24, 'A'));
  char text[24 + 8];
  std::memset(text, 'x', sizeof text);
  uint32_t error = 0;
  ASSERT_EQ(KXVersion(text, &error), 1);
  EXPECT_EQ(std::string(text), std::string(23, 'A'));
  EXPECT_EQ(text[24], 'x');
}

TEST_F(IdentityTest, VersionOnAFailedReadIsEmpty) {
  AnswerWith(Reply(14, 2, 251, Bytes(60, 0)));  // not found
  char text[24];
  std::memset(text, 'x', sizeof text);
  uint32_t error = 0;
  EXPECT_EQ(KXVersion(text, &error), 0);
  EXPECT_EQ(error, KXERR_NO_SCANNER);  // the reply does not echo the record type
  EXPECT_STREQ(text, "");
}

TEST_F(IdentityTest, PdfVersionComparesCopperThenFiber) {
  struct Case {
    const char* copper;
    const char* fiber;
    int16_t result;
    uint32_t error;
  } cases[] = {
      {"KX0600.PDF", "KY0600.PDF", 1, 0},
      {"KX0700.PDF", "KY0500.PDF", 0, 0x2000002C},
      {"KX0700.PDF", "KYxxxx.PDF", 0, 0x2000002C},
      {"KX0500.PDF", "KY0700.PDF", 0, 0x2000002C},
      {"KX0599.PDF", "KY0601.PDF", 0, 0x2000002C},
      {"KXABCD.PDF", "KY0600.PDF", 1, 0},  // no digits: number 0
      {"KX-001.PDF", "KY0600.PDF", 0, 0x2000002C},  // a negative number is a large one
  };
  for (const Case& c : cases) {
    AnswerRecord(DataFormat(c.copper, c.fiber));
    uint32_t error = 0;
    EXPECT_EQ(KXCheckPDFVersion(&error), c.result) << c.copper << " " << c.fiber;
    EXPECT_EQ(error, c.error) << c.copper << " " << c.fiber;
  }
}

TEST_F(IdentityTest, PdfNumbersThatRunToTheRecordsEndAreReadSafely) {
  AnswerRecord(Bytes(74, '9'));  // digits everywhere, no terminator anywhere
  uint32_t error = 0;
  EXPECT_EQ(KXCheckPDFVersion(&error), 0);
  EXPECT_EQ(error, 0x2000002Cu);
}

}  // namespace
