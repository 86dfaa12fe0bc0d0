#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/message.h"
#include "link/packet.h"
#include "platform/platform.h"
#include "tests/support/library_fixture.h"
#include "tests/support/line_peer.h"

using testsupport::Bytes;
using testsupport::Frame;
using testsupport::LibraryTest;
using testsupport::LinePeer;

namespace {

class MessageTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    OpenLink(peer.ComName());
  }
  // Sends each frame once the previous one has been acknowledged.
  void SendFramesAcked(const std::vector<Bytes>& frames) {
    sender = std::thread([this, frames] {
      for (const Bytes& f : frames) {
        peer.Write(f);
        peer.Read(2000, 1);
      }
    });
  }
  void TearDown() override {
    if (sender.joinable()) sender.join();
    LibraryTest::TearDown();
  }
  LinePeer peer;
  std::thread sender;
};

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13);
  return b;
}

TEST_F(MessageTest, LongMessageGoesOutIn600BytePackets) {
  peer.AutoAnswer([](size_t) { return ACK; });
  const Bytes message = Pattern(1250, 1);
  EXPECT_EQ(KXSendMessage(0, message.data(), 1250), 1);
  peer.StopAutoAnswer();
  const auto frames = peer.Frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].flags, 0x0300);
  EXPECT_EQ(frames[1].flags, 0x0200);
  EXPECT_EQ(frames[2].flags, 0x2200);
  EXPECT_EQ(frames[0].data.size(), 600u);
  EXPECT_EQ(frames[1].data.size(), 600u);
  EXPECT_EQ(frames[2].data.size(), 50u);
  Bytes joined;
  for (const auto& f : frames) {
    EXPECT_TRUE(f.crcOk);
    joined.insert(joined.end(), f.data.begin(), f.data.end());
  }
  EXPECT_EQ(joined, message);

  // Exactly 600 bytes is one packet.
  peer.AutoAnswer([](size_t) { return ACK; });
  EXPECT_EQ(KXSendMessage(0, message.data(), 600), 1);
  peer.StopAutoAnswer();
  ASSERT_EQ(peer.Frames().size(), 4u);
  EXPECT_EQ(peer.Frames()[3].flags, 0x2300);
  EXPECT_EQ(peer.Frames()[3].data.size(), 600u);
}

TEST_F(MessageTest, EmptyMessageIsRefused) {
  KXSetDebugLevel(DBG_TRACE);
  const uint8_t byte = 0;
  EXPECT_EQ(KXSendMessage(0, &byte, 0), 0);
  EXPECT_EQ(CountTrace(" SendMessage Error - Length <= 0 \n"), 1);
  EXPECT_TRUE(peer.Read(50).empty());
}

TEST_F(MessageTest, AnInstrumentThatNeverAcknowledgesEndsTheSendAfterTwoFailures) {
  KXSetDebugLevel(DBG_TRACE);
  peer.AutoAnswer([](size_t) { return NAK; });
  const Bytes message = Pattern(10, 0);
  EXPECT_EQ(KXSendMessage(0, message.data(), 10), 0);
  peer.StopAutoAnswer();
  EXPECT_EQ(CountTrace("KXSync\n"), 2);
  EXPECT_EQ(CountTrace(" SendMessage Error - SendPacket Failed \n"), 2);
  EXPECT_EQ(peer.Frames().size(), 4u);  // two packets, each sent twice
  EXPECT_EQ(CommErrorCount, 4u);
}

TEST_F(MessageTest, AFailedPacketIsSentAgainWithTheSameFlags) {
  // The second packet's first two transmissions are refused; the retry succeeds.
  peer.AutoAnswer([](size_t i) { return (i == 1 || i == 2) ? NAK : ACK; });
  const Bytes message = Pattern(700, 9);
  EXPECT_EQ(KXSendMessageWithRetry(0, message.data(), 700, 3), 1);
  peer.StopAutoAnswer();
  const auto frames = peer.Frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].flags, 0x0300);
  EXPECT_EQ(frames[3].flags, 0x2200);
  EXPECT_EQ(frames[3].data, Bytes(message.begin() + 600, message.end()));
}

TEST_F(MessageTest, ReassemblesStartMiddleAndEndPackets) {
  const Bytes a = Pattern(100, 1), b = Pattern(200, 2), c = Pattern(30, 3);
  SendFramesAcked({Frame(0x0100, a), Frame(0x0000, b), Frame(0x2000, c)});
  Bytes buffer(1000);
  uint32_t size = 1000;
  ASSERT_EQ(KXWaitMessage(buffer.data(), &size), 1);
  EXPECT_EQ(size, 330u);
  Bytes expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 330), expected);
}

TEST_F(MessageTest, APacketWithoutStartIsDropped) {
  const Bytes stray = Pattern(50, 7), msg = Pattern(40, 8);
  SendFramesAcked({Frame(0x2200, stray), Frame(0x2300, msg)});
  Bytes buffer(200);
  uint32_t size = 200;
  ASSERT_EQ(KXWaitMessage(buffer.data(), &size), 1);
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 40), msg);
}

TEST_F(MessageTest, ASecondStartWithoutEndRestartsTheMessage) {
  KXSetDebugLevel(DBG_TRACE);
  const Bytes first = Pattern(80, 1), second = Pattern(60, 2), rest = Pattern(20, 3);
  SendFramesAcked({Frame(0x0300, first), Frame(0x0300, second), Frame(0x2200, rest)});
  Bytes buffer(500);
  uint32_t size = 500;
  ASSERT_EQ(KXWaitMessage(buffer.data(), &size), 1);
  EXPECT_EQ(size, 80u);
  Bytes expected = second;
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 80), expected);
  EXPECT_EQ(CountTrace(" WaitMessage Warning - Second Start with no End \n"), 1);
}

TEST_F(MessageTest, ASecondStartCutByTheRoomLeftFailsRatherThanMixMessages) {
  // 1024 bytes: the abandoned start takes 600, so only 424 bytes of the new 700-byte
  // start fit where it lands; the rest of it is gone.
  SendFramesAcked({Frame(0x0300, Bytes(600, 'A')), Frame(0x2300, Pattern(700, 5))});
  Bytes buffer(1024);
  uint32_t size = 1024;
  EXPECT_EQ(KXWaitMessage(buffer.data(), &size), 0);
}

TEST_F(MessageTest, AMessageWhoseLastPacketOverrunsTheBufferIsCutToIt) {
  const Bytes first = Pattern(60, 1), last = Pattern(60, 2);
  SendFramesAcked({Frame(0x0300, first), Frame(0x2200, last)});
  Bytes buffer(100 + 16, 0xEE);
  uint32_t size = 100;
  EXPECT_EQ(KXWaitMessage(buffer.data(), &size), 1);
  EXPECT_EQ(size, 100u);
  EXPECT_EQ(Bytes(buffer.begin() + 60, buffer.begin() + 100), Bytes(last.begin(), last.begin() + 40));
  for (size_t i = 100; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
}

TEST_F(MessageTest, AMessageThatOutgrowsTheBufferBeforeItsEndFails) {
  SendFramesAcked({Frame(0x0300, Pattern(60, 1)), Frame(0x0200, Pattern(60, 2)), Frame(0x2200, Pattern(10, 3))});
  Bytes buffer(100 + 16, 0xEE);
  uint32_t size = 100;
  EXPECT_EQ(KXWaitMessage(buffer.data(), &size), 0);
  for (size_t i = 100; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
  KXSync();
}

TEST_F(MessageTest, NoInstrumentEndsTheWaitAfterTwoFailedPacketWaits) {
  platform::SetClockSpeed(20);
  KXSetDebugLevel(DBG_TRACE);
  Bytes buffer(100);
  uint32_t size = 100;
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(KXWaitMessage(buffer.data(), &size), 0);
  EXPECT_GE(platform::TickCount() - t0, 2000u);
  EXPECT_EQ(CountTrace(" KXWaitMessage Error - Failure in WaitPacket \n"), 2);
  EXPECT_EQ(size, 0u);
}

TEST_F(MessageTest, CancelFromAnotherThreadEndsTheWaitAtTheNextCheck) {
  KXSetDebugLevel(DBG_TRACE);
  Bytes buffer(100);
  uint32_t size = 100;
  std::thread canceller([] {
    platform::SleepMs(100);
    KXCancel();
  });
  const int16_t result = KXWaitMessageWithRetry(buffer.data(), &size, 10);
  canceller.join();
  EXPECT_EQ(result, 0);
  // Ended at the first failed packet wait after the cancel, not after ten.
  EXPECT_EQ(CountTrace(" KXWaitMessage Error - Failure in WaitPacket \n"), 1);
}

TEST_F(MessageTest, CancelDuringTheLastPacketFailsWithTheFullSize) {
  // The host's pump hook presses cancel while the packet is being received: the second
  // pump is the packet receiver's first pass.
  std::atomic<int> pumps{0};
  KXSetPumpHook([](void* n) {
    if (++*static_cast<std::atomic<int>*>(n) == 2) KXCancel();
  }, &pumps);
  const Bytes msg = Pattern(90, 4);
  platform::SleepMs(1);
  SendFramesAcked({Frame(0x2300, msg)});
  Bytes buffer(200);
  uint32_t size = 200;
  EXPECT_EQ(KXWaitMessage(buffer.data(), &size), 0);
  EXPECT_EQ(size, 90u);
  KXSetPumpHook(nullptr, nullptr);
}

TEST_F(MessageTest, CancelAfterAPacketIsSentStopsTheSend) {
  int acks = 0;
  peer.AutoAnswer([&](size_t) {
    ++acks;
    return ACK;
  });
  KXCancel();
  const Bytes message = Pattern(1250, 5);
  EXPECT_EQ(KXSendMessage(0, message.data(), 1250), 0);
  peer.StopAutoAnswer();
  EXPECT_EQ(peer.Frames().size(), 1u);
}

class MessageTransportTest : public LibraryTest {};

TEST_F(MessageTransportTest, WithoutATransportBothDirectionsFail) {
  KXSetDebugLevel(DBG_TRACE);
  const uint8_t byte = 1;
  EXPECT_EQ(KXSendMessage(0, &byte, 1), 0);
  uint8_t buffer[4];
  uint32_t size = 4;
  EXPECT_EQ(KXWaitMessage(buffer, &size), 0);
  EXPECT_EQ(CountTrace(" SendMessage Error - Invalid \"OPEN\" COM device...\n"), 1);
  EXPECT_EQ(CountTrace(" WaitMessage Error - Invalid \"OPEN\" COM device...\n"), 1);
}

TEST_F(MessageTransportTest, UsbSessionFailsUntilTheUsbTransportExists) {
  UseCount = 1;
  SelectTransport(UsbTransport());
  EXPECT_EQ(DefaultRetries(), 3);
  const uint8_t byte = 1;
  EXPECT_EQ(KXSendMessage(0, &byte, 1), 0);
  uint8_t buffer[4];
  uint32_t size = 4;
  EXPECT_EQ(KXWaitMessage(buffer, &size), 0);
  SelectTransport(SerialTransport());
  EXPECT_EQ(DefaultRetries(), 2);
  UseCount = 0;
}

}  // namespace
