// The simulated Scanner's data IDs and commands, through the library's own calls.
#include <gtest/gtest.h>

#include "tests/support/scanner_session.h"

using kxsim::Bytes;

namespace {

class ScannerCommandTest : public testsupport::ScannerSessionTest {
 protected:
  void SetUp() override {
    ScannerSessionTest::SetUp();
    Open();
  }
};

TEST_F(ScannerCommandTest, DataIdsCanBeSetAndReadBack) {
  uint32_t error = 0;
  const Bytes value = {'C', 'A', 'T', '6', 'A'};
  ASSERT_EQ(KXSetDataID(1234, value.data(), 5, &error), 1) << std::hex << error;
  EXPECT_EQ(*scanner.GetDataId(1234), value);
  uint8_t back[16] = {};
  uint16_t length = sizeof back;
  ASSERT_EQ(KXGetDataID(1234, back, &length, &error), 1);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(Bytes(back, back + 5), value);
}

TEST_F(ScannerCommandTest, ModelCodeComesFromDataId705) {
  Bytes identity(10, 0);
  identity[8] = 4;
  scanner.SetDataId(705, identity);
  uint32_t error = 0;
  EXPECT_EQ(KXID(&error), 4);
}

TEST_F(ScannerCommandTest, AnUnknownDataIdFails) {
  uint8_t value[4];
  uint16_t length = 4;
  uint32_t error = 0;
  EXPECT_EQ(KXGetDataID(999, value, &length, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(ScannerCommandTest, ScriptedCommandsAnswerTheirType) {
  scanner.SetCommand(50, [](const Bytes& request) {
    Bytes reply(request.begin(), request.begin() + 10);
    reply[4] = 1;
    reply.insert(reply.end(), request.rbegin(), request.rbegin() + 3);  // last 3 bytes, reversed
    return std::optional<Bytes>(reply);
  });
  const uint8_t data[3] = {1, 2, 3};
  uint8_t reply[8];
  uint16_t replyLength = sizeof reply;
  uint32_t error = 0;
  ASSERT_EQ(KXSendCommand(7, 50, data, 3, reply, &replyLength, &error), 1);
  EXPECT_EQ(replyLength, 3);
  EXPECT_EQ(Bytes(reply, reply + 3), (Bytes{3, 2, 1}));
  // A command nobody scripted is refused.
  EXPECT_EQ(KXSendCommand(7, 51, data, 3, reply, &replyLength, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

TEST_F(ScannerCommandTest, SerialNumberOfTheSimulatedScanner) {
  scanner.SetSerialNumber("KX987654321");
  char serial[12];
  ASSERT_EQ(KXGetSerialNumber(serial), 1);
  EXPECT_STREQ(serial, "KX987654321");
}

}  // namespace
