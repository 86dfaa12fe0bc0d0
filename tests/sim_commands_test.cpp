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

TEST_F(ScannerCommandTest, DataIdsAndScriptedCommands) {
  uint32_t error = 0;
  const Bytes value = {'C', 'A', 'T', '6', 'A'};
  ASSERT_EQ(KXSetDataID(1234, value.data(), 5, &error), 1) << std::hex << error;
  EXPECT_EQ(scanner.GetDataId(1234).value_or(Bytes{}), value);
  uint8_t back[16] = {};
  uint16_t length = sizeof back;
  ASSERT_EQ(KXGetDataID(1234, back, &length, &error), 1);
  EXPECT_EQ(Bytes(back, back + length), value);

  EXPECT_EQ(KXGetDataID(999, back, &length, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);

  // Other commands answer as the test scripts them.
  scanner.SetCommand(50, [](const Bytes& request) {
    Bytes reply(request.begin(), request.begin() + 10);
    reply[4] = 1;
    reply.insert(reply.end(), request.rbegin(), request.rbegin() + 3);  // last 3 bytes, reversed
    return std::optional<Bytes>(reply);
  });
  const uint8_t data[3] = {1, 2, 3};
  uint8_t reply[8];
  uint16_t replyLength = sizeof reply;
  ASSERT_EQ(KXSendCommand(7, 50, data, 3, reply, &replyLength, &error), 1);
  EXPECT_EQ(Bytes(reply, reply + replyLength), (Bytes{3, 2, 1}));
  // A command nobody scripted is refused.
  EXPECT_EQ(KXSendCommand(7, 51, data, 3, reply, &replyLength, &error), 0);
  EXPECT_EQ(error, KXERR_COMM);
}

}  // namespace
