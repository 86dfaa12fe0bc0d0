// KXAccessMMC against the simulated Scanner, and against a scripted instrument for the
// replies a Scanner would never send.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "services/card_access.h"
#include "tests/card_fixture.h"
#include "tests/support/scripted_link.h"

namespace {

using cardtest::Bytes;
using cardtest::Pattern;

class CardAccessTest : public cardtest::CardSessionTest {
 protected:
  // A file-information request for `name` in the root: its response is 20 bytes.
  static Bytes FileInfoBlock(const char* name) {
    Bytes block(256, 0);
    std::memcpy(block.data() + 128, name, std::strlen(name));
    return block;
  }
};

TEST_F(CardAccessTest, ARequestOfLengthZeroIsABareHeader) {
  card().SetCapacity(1000000);
  uint8_t response[18];
  uint32_t length = sizeof response, error = 1;
  ASSERT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 1u);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(length, 18u);
  EXPECT_EQ(GetU32(response + 10), 1000000u);
  EXPECT_EQ(server->Stats().lastRequest, (Bytes{14, 0, 19, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CardAccessTest, TheRequestBlockFollowsTheHeader) {
  card().AddFile("\\A.ATR", Pattern(300, 1));
  const Bytes block = FileInfoBlock("A.ATR");
  uint8_t response[20];
  uint32_t length = sizeof response, error = 0;
  ASSERT_EQ(KXAccessMMC(MMC_FILE_INFO, block.data(), 256, response, &length, &error), 1u);
  EXPECT_EQ(GetU32(response + 10), 300u);
  Bytes expected = {14, 0, 21, 0, 0, 0, 0, 0, 0, 0};
  expected.insert(expected.end(), block.begin(), block.end());
  EXPECT_EQ(server->Stats().lastRequest, expected);
}

TEST_F(CardAccessTest, AResponseOfExactlyTheCapacityIsDeliveredOneByteMoreIsTooLong) {
  card().AddFile("\\A.ATR", Pattern(300, 1));
  const Bytes block = FileInfoBlock("A.ATR");
  Bytes response(24, 0xEE);
  uint32_t length = 20, error = 0;
  ASSERT_EQ(KXAccessMMC(MMC_FILE_INFO, block.data(), 256, response.data(), &length, &error), 1u);
  EXPECT_EQ(length, 20u);
  const Bytes whole(response.begin(), response.begin() + 20);

  std::fill(response.begin(), response.end(), 0xEE);
  length = 19;
  EXPECT_EQ(KXAccessMMC(MMC_FILE_INFO, block.data(), 256, response.data(), &length, &error), 0u);
  EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
  EXPECT_EQ(length, 19u);
  EXPECT_EQ(Bytes(response.begin(), response.begin() + 19), Bytes(whole.begin(), whole.begin() + 19));
  EXPECT_EQ(response[19], 0xEE);  // never past the capacity

  // A capacity of 0, and one that reads as negative, take nothing.
  for (uint32_t capacity : {0u, 0x80000000u}) {
    std::fill(response.begin(), response.end(), 0xEE);
    length = capacity;
    EXPECT_EQ(KXAccessMMC(MMC_FILE_INFO, block.data(), 256, response.data(), &length, &error), 0u);
    EXPECT_EQ(error, KXERR_RECORD_TOO_LARGE);
    EXPECT_EQ(response, Bytes(24, 0xEE));
  }
}

TEST_F(CardAccessTest, AReplyForAnotherCardCommandIsAWrongResponse) {
  KXSetDebugLevel(DBG_TRACE);
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultNext(kxsim::FaultKind::kWrongType)));
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_NO_SCANNER);
  EXPECT_EQ(CountTrace(" KXAcessMMC Error - wrong response "), 1);
  EXPECT_EQ(CountTrace("KXSync\n"), 1);
  // The line is usable right after.
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 1u);
}

TEST_F(CardAccessTest, AnIncompleteOperationAndANullResponseFail) {
  auto rule = kxsim::FaultNext(kxsim::FaultKind::kBadStatus);
  rule.status = 9;
  server->SetFaults(kxsim::FaultPlan().Add(rule));
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_COMM);

  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, nullptr, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_BAD_MEMORY_HANDLE);
}

TEST_F(CardAccessTest, RequestBlocksThatCannotBeSentAreRefusedBeforeSending) {
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  const Bytes big(65536, 1);
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, big.data(), 65536, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, big.data(), -1, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 5, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_INVALID_FUNCTION);
  EXPECT_EQ(server->Stats().messagesReceived, 0u);
}

TEST_F(CardAccessTest, ACancelWhileTheAnswerIsAwaitedEndsTheExchange) {
  // The pump runs in every pass of the wait; once the instrument has the request, the
  // host's cancel button is pressed.
  KXSetPumpHook(
      [](void* server) {
        if (static_cast<kxsim::PtyServer*>(server)->Stats().messagesReceived >= 1) KXCancel();
      },
      server.get());
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_CANCELED);
  KXSetPumpHook(nullptr, nullptr);
}

TEST_F(CardAccessTest, ACancelThatComesAfterTheAnswerKeepsTheResult) {
  // The cancel arrives while the response is being delivered (seen here through the
  // trace line that follows the copy; a trace hook must not call back into the library,
  // so it raises the flag as KXCancel would).
  KXSetDebugLevel(DBG_TRACE);
  KXSetTraceHook(
      [](const char* text, void*) {
        if (std::strncmp(text, "Got MMC response Data.", 22) == 0) CancelRequested.store(1);
      },
      nullptr);
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 1u);
  EXPECT_EQ(error, KXERR_CANCELED);
  EXPECT_EQ(length, 18u);
}

class CardAccessClosed : public testsupport::LibraryTest {};

TEST_F(CardAccessClosed, WithoutASessionNothingIsSent) {
  KXSetDebugLevel(DBG_TRACE);
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_NOT_OPEN);
  EXPECT_EQ(CountTrace("KXAccessMMC Error - KXLIB32 communication session not currently open."), 1);
}

// An instrument that never answers: the library tries 60 times (a second of silence
// each, in library time) before it gives up.
class SilentCardTest : public cardtest::CardSessionTest {
 protected:
  void Configure(kxsim::ServerOptions& options) override { options.clock = [] { return platform::TickCount(); }; }
};

TEST_F(SilentCardTest, SixtyWaitsForAnAnswerThenATimeOut) {
  platform::SetClockSpeed(100);
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultAtRate(kxsim::FaultKind::kDropReply, 1.0)));
  KXSetDebugLevel(DBG_TRACE);
  ClearTraces();
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_RESPONSE_TIMEOUT);
  EXPECT_EQ(CountTrace(" KXWaitMessage Error - Failure in WaitPacket \n"), 60);
  EXPECT_EQ(CountTrace(" KXAccessMMC Error - Could'nt recieve message."), 1);
}

TEST_F(SilentCardTest, SixtyRefusedPacketsThenNoScanner) {
  platform::SetClockSpeed(100);
  server->SetFaults(kxsim::FaultPlan().Add(kxsim::FaultAtRate(kxsim::FaultKind::kNakGoodFrame, 1.0)));
  KXSetDebugLevel(DBG_TRACE);
  ClearTraces();
  uint8_t response[18];
  uint32_t length = sizeof response, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response, &length, &error), 0u);
  EXPECT_EQ(error, KXERR_NO_SCANNER);
  EXPECT_EQ(CountTrace(" SendMessage Error - SendPacket Failed \n"), 60);
  EXPECT_EQ(CountTrace(" KXAccessMMC Error - Couldn't send message."), 1);
}

// Replies no Scanner sends: too short, or claiming more than they carry.
class CardAccessMalformedTest : public testsupport::ScriptedLinkTest {
 protected:
  uint32_t Ask(Bytes& response, uint32_t capacity) {
    uint32_t length = capacity, error = 0;
    EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response.data(), &length, &error), 0u);
    return error;
  }
};

TEST_F(CardAccessMalformedTest, ShortAndLyingRepliesAreErrorsAndNothingIsCopied) {
  Bytes response(64, 0xEE);
  // Shorter than a message header.
  AnswerWith(Bytes{14, 0, 19});
  EXPECT_EQ(Ask(response, 18), KXERR_COMM);
  // A header only: no room for the response length.
  AnswerWith(Reply(14, 19, 1, {}));
  EXPECT_EQ(Ask(response, 18), KXERR_COMM);
  // A response length of 40 with 8 bytes behind it.
  Bytes payload(60 + 8, 0x11);
  PutU16(payload.data() + 2, 40);
  AnswerWith(Reply(14, 19, 1, payload));
  EXPECT_EQ(Ask(response, 64), KXERR_COMM);
  EXPECT_EQ(response, Bytes(64, 0xEE));
  // The same reply with its length telling the truth is delivered.
  PutU16(payload.data() + 2, 8);
  AnswerWith(Reply(14, 19, 1, payload));
  uint32_t length = 64, error = 0;
  EXPECT_EQ(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, response.data(), &length, &error), 1u);
  EXPECT_EQ(length, 8u);
  EXPECT_EQ(Bytes(response.begin(), response.begin() + 8), Bytes(8, 0x11));
  EXPECT_EQ(response[8], 0xEE);
}

TEST_F(CardAccessMalformedTest, AnotherClassIsAWrongResponseEvenWithStatusOk) {
  Bytes payload(60, 0);
  AnswerWith(Reply(7, 19, 1, payload));
  Bytes response(18);
  EXPECT_EQ(Ask(response, 18), KXERR_NO_SCANNER);
}

}  // namespace
