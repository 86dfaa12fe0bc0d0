#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <cstring>
#include <vector>
#include <string>
#include <thread>

#include "link/packet.h"
#include "platform/platform.h"
#include "tests/support/library_fixture.h"
#include "tests/support/line_peer.h"

using testsupport::Bytes;
using testsupport::Frame;
using testsupport::LibraryTest;
using testsupport::LinePeer;

namespace {

TEST(Crc16, MatchesTheCheckValueAndContinues) {
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc16(digits, 9, 0xFFFF), 0x29B1);
  EXPECT_EQ(Crc16(digits + 4, 5, Crc16(digits, 4, 0xFFFF)), 0x29B1);
  EXPECT_EQ(Crc16(digits, 0, 0x1234), 0x1234);
  // Agrees with a bitwise implementation on every single byte value.
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    ASSERT_EQ(Crc16(&byte, 1, 0xFFFF), testsupport::BitwiseCrc(&byte, 1)) << b;
  }
}

class PacketTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    OpenLink(peer.ComName());
  }
  LinePeer peer;
};

TEST_F(PacketTest, SendWithFlagsZeroIsAWholeMessageFrame) {
  peer.AutoAnswer([](size_t) { return ACK; });
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(KXSendPacket(0, data, 5), 1);
  peer.StopAutoAnswer();
  const Bytes wire = peer.Received();
  ASSERT_EQ(wire.size(), 17u);
  EXPECT_EQ(wire, Frame(0x2300, {1, 2, 3, 4, 5}));
  EXPECT_EQ(CommErrorCount, 0u);
}

TEST_F(PacketTest, TheDatabaseSerialNumberRequestFrame) {
  peer.AutoAnswer([](size_t) { return ACK; });
  const Bytes message = testsupport::Message(14, 5, 0);
  EXPECT_EQ(KXSendMessage(0, message.data(), 10), 1);
  peer.StopAutoAnswer();
  const Bytes expected = {0x50, 0x41, 0x43, 0x4B, 0x45, 0x54, 0x00, 0x23, 0x0A, 0x00, 0x0E,
                          0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0xDF};
  EXPECT_EQ(peer.Received(), expected);
}

TEST_F(PacketTest, NakIsAnsweredWithOneRetransmission) {
  peer.AutoAnswer([](size_t i) { return i == 0 ? NAK : ACK; });
  KXSetDebugLevel(DBG_TRACE);
  const uint8_t data[3] = {9, 8, 7};
  EXPECT_EQ(KXSendPacket(0x2300, data, 3), 1);
  peer.StopAutoAnswer();
  EXPECT_EQ(peer.Frames().size(), 2u);
  EXPECT_EQ(CommErrorCount, 1u);
  EXPECT_EQ(CountTrace(" SendPacket Received a NACK, retrying... \n"), 1);
}

TEST_F(PacketTest, AnInstrumentThatNaksEverythingGetsTwoTransmissions) {
  peer.AutoAnswer([](size_t) { return NAK; });
  const uint8_t data[3] = {9, 8, 7};
  EXPECT_EQ(KXSendPacket(0x2300, data, 3), 0);
  platform::SleepMs(50);
  peer.StopAutoAnswer();
  EXPECT_EQ(peer.Frames().size(), 2u);
  EXPECT_EQ(CommErrorCount, 2u);
}

TEST_F(PacketTest, StaleAnswersAreDrainedBeforeSending) {
  peer.Write({ACK, ACK, ACK});
  platform::SleepMs(20);
  peer.AutoAnswer([](size_t) { return NAK; });
  const uint8_t data[1] = {1};
  EXPECT_EQ(KXSendPacket(0, data, 1), 0);
  peer.StopAutoAnswer();
}

TEST_F(PacketTest, SilentLineTimesOutAfterThreeSecondsWithoutRetransmitting) {
  platform::SetClockSpeed(50);
  KXSetDebugLevel(DBG_TRACE);
  const uint8_t data[2] = {1, 2};
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(KXSendPacket(0, data, 2), 0);
  const uint32_t elapsed = platform::TickCount() - t0;
  EXPECT_GE(elapsed, 3000u);
  EXPECT_LT(elapsed, 4500u);
  EXPECT_EQ(testsupport::ParseFrames(peer.Read(50)).size(), 1u);
  EXPECT_EQ(CommErrorCount, 1u);
  EXPECT_EQ(CountTrace(" SendPacket Timed Out. \n"), 1);
}

TEST_F(PacketTest, SendOnlyModeDoesNotWaitForAnAnswer) {
  SendOnlyMode = 1;
  const uint8_t data[2] = {1, 2};
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(KXSendPacket(0, data, 2), 1);
  EXPECT_LT(platform::TickCount() - t0, 500u);
  EXPECT_EQ(CommErrorCount, 0u);
}

// Receiving ------------------------------------------------------------------------

TEST_F(PacketTest, ReceivesAFrameAndAcknowledgesIt) {
  const Bytes data = {10, 20, 30, 40};
  const Bytes frame = Frame(0x2300, data);
  peer.Write(frame);
  uint8_t header[10];
  uint8_t buffer[16] = {};
  ASSERT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 1);
  EXPECT_EQ(Bytes(buffer, buffer + 4), data);
  EXPECT_EQ(Bytes(header, header + 10), Bytes(frame.begin(), frame.begin() + 10));
  EXPECT_EQ(peer.Read(200, 1), Bytes{ACK});

  // The tag's letters in lower case are accepted too.
  peer.Write(Frame(0x2300, {7}, "packet"));
  ASSERT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], 7);
}

TEST_F(PacketTest, FlagsWithANonZeroLowByteAreNeverRecognised) {
  platform::SetClockSpeed(20);
  peer.Write(Frame(0x2301, {1, 2, 3}));
  uint8_t header[10];
  uint8_t buffer[8];
  EXPECT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 0);
  EXPECT_TRUE(peer.Read(50).empty());  // no ACK
}

TEST_F(PacketTest, GarbageBeforeAFrameIsSkippedWithOneAlignmentTrace) {
  KXSetDebugLevel(DBG_TRACE);
  Bytes wire = {0xAA, 0x55};
  const Bytes frame = Frame(0x2300, {1, 2, 3, 4, 5, 6});
  wire.insert(wire.end(), frame.begin(), frame.end());
  peer.Write(wire);
  uint8_t header[10];
  uint8_t buffer[8];
  ASSERT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[5], 6);
  EXPECT_EQ(CountTrace(" WaitPacket Failure - Bad alignment \n"), 1);
}

TEST_F(PacketTest, BadCrcIsNakedAndTheResentFrameAccepted) {
  KXSetDebugLevel(DBG_TRACE);
  Bytes bad = Frame(0x2300, {1, 2, 3});
  bad[11] ^= 0x01;
  peer.Write(bad);
  std::thread instrument([&] {
    // The instrument resends once it sees the NAK.
    if (peer.Read(2000, 1) == Bytes{NAK}) peer.Write(Frame(0x2300, {1, 2, 3}));
  });
  uint8_t header[10];
  uint8_t buffer[8];
  const int16_t result = KXWaitPacket(header, buffer, sizeof buffer);
  instrument.join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(CountTrace(" WaitPacket - Checksum failure \n"), 1);
  EXPECT_EQ(peer.Read(200, 1), Bytes{ACK});
}

TEST_F(PacketTest, APacketLongerThanTheCapacityIsCutButStillSucceeds) {
  KXSetDebugLevel(DBG_TRACE);
  Bytes data(20);
  for (int i = 0; i < 20; ++i) data[i] = static_cast<uint8_t>(100 + i);
  peer.Write(Frame(0x2300, data));
  uint8_t header[10];
  uint8_t buffer[8];
  std::memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(KXWaitPacket(header, buffer, 4), 1);
  EXPECT_EQ(Bytes(buffer, buffer + 4), Bytes(data.begin(), data.begin() + 4));
  EXPECT_EQ(buffer[4], 0xEE);
  EXPECT_EQ(header[8] | (header[9] << 8), 20);
  EXPECT_EQ(CountTrace(" KXWaitPacket - Insufficient Space in Buffer. 20 > 4 \n"), 1);
}

TEST_F(PacketTest, SilenceEndsTheWaitWithANakOnlyWhenPartOfAFrameCame) {
  platform::SetClockSpeed(20);
  KXSetDebugLevel(DBG_TRACE);
  uint8_t header[10];
  uint8_t buffer[16];
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 0);
  EXPECT_GE(platform::TickCount() - t0, 1000u);
  EXPECT_EQ(CommErrorCount, 0u);
  EXPECT_TRUE(peer.Read(50).empty());

  const Bytes frame = Frame(0x2300, {1, 2, 3, 4, 5, 6, 7, 8});
  peer.Write(Bytes(frame.begin(), frame.begin() + 15));
  EXPECT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 0);
  EXPECT_EQ(CommErrorCount, 1u);
  EXPECT_EQ(CountTrace(" WaitPacket Failure - Timeout\n"), 1);
  EXPECT_EQ(peer.Read(200, 1), Bytes{NAK});
}

TEST_F(PacketTest, AFrameLongerThanTheReceiveBufferNeverCompletes) {
  platform::SetClockSpeed(20);
  peer.Write(Frame(0x2300, Bytes(4085, 0x11)));  // 12 + 4085 > 4096
  uint8_t header[10];
  std::vector<uint8_t> buffer(5000);
  EXPECT_EQ(KXWaitPacket(header, buffer.data(), 5000), 0);
  EXPECT_EQ(CommErrorCount, 1u);
}

TEST_F(PacketTest, TheLargestReceivableFrameArrives) {
  Bytes data(4084);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  peer.Write(Frame(0x2300, data));
  uint8_t header[10];
  std::vector<uint8_t> buffer(4084);
  ASSERT_EQ(KXWaitPacket(header, buffer.data(), 4084), 1);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.end()), data);
}

// A one-second wait on a silent line at real speed: the loop must not busy-wait.
TEST_F(PacketTest, RealSpeedWaitOnASilentLineSleepsRatherThanSpins) {
  uint8_t header[10];
  uint8_t buffer[8];
  const std::clock_t cpu0 = std::clock();
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(KXWaitPacket(header, buffer, sizeof buffer), 0);
  const uint32_t wall = platform::TickCount() - t0;
  const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
  EXPECT_GE(wall, 1000u);
  EXPECT_LT(wall, 3000u);
  RecordProperty("wall_ms", static_cast<int>(wall));
  RecordProperty("cpu_ms", static_cast<int>(cpuMs));
  std::printf("silent KXWaitPacket: wall %u ms, cpu %.1f ms\n", wall, cpuMs);
  // Generous: a spinning loop would use the whole second.
  EXPECT_LT(cpuMs, wall * 0.5);
}

double CpuShareOfASilentWait(uint16_t capacity = 8) {
  uint8_t header[10];
  std::vector<uint8_t> buffer(capacity);
  const std::clock_t cpu0 = std::clock();
  const uint32_t t0 = platform::TickCount();
  KXWaitPacket(header, buffer.data(), capacity);
  const double wallMs = (platform::TickCount() - t0) / static_cast<double>(platform::ClockSpeed());
  const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
  return cpuMs / wallMs;
}

TEST_F(PacketTest, AFullReceiveBufferDoesNotMakeTheWaitSpin) {
  platform::SetClockSpeed(4);
  peer.Write(Frame(0x2300, Bytes(4500, 0x11)));  // more than the buffer takes
  EXPECT_LT(CpuShareOfASilentWait(), 0.5);
}

TEST_F(PacketTest, AFloodOfOtherBytesDoesNotStretchTheAcknowledgementWait) {
  platform::SetClockSpeed(20);
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    // Non-blocking: once the library stops reading, the line fills up and writes fail.
    while (flooding) peer.WriteSome(Bytes(64, 0x55));
  });
  const uint8_t data[2] = {1, 2};
  const uint32_t t0 = platform::TickCount();
  EXPECT_EQ(KXSendPacket(0, data, 2), 0);
  const uint32_t took = platform::TickCount() - t0;
  flooding = false;
  flood.join();
  EXPECT_GE(took, 3000u);
  EXPECT_LT(took, 4500u);
}

class HungUpLineTest : public LibraryTest {};

TEST_F(HungUpLineTest, WaitingOnALineThatHungUpSleeps) {
  platform::SetClockSpeed(4);
  {
    LinePeer peer;
    OpenLink(peer.ComName());
  }  // the far end closes: the line reports a hang-up from now on
  EXPECT_LT(CpuShareOfASilentWait(), 0.5);
}

class SyncTest : public LibraryTest {};

TEST_F(SyncTest, WithoutASessionOnlyTraces) {
  KXSetDebugLevel(DBG_TRACE);
  LastError = 5;
  EXPECT_EQ(KXSync(), 0);
  EXPECT_EQ(LastError, 0u);
  EXPECT_EQ(CountTrace("KXSync Error - KXLIB not currently open\n"), 1);
}

TEST_F(SyncTest, OnAUsbSessionOnlyTraces) {
  KXSetDebugLevel(DBG_TRACE);
  UseCount = 1;
  SelectTransport(UsbTransport());
  EXPECT_EQ(KXSync(), 0);
  EXPECT_EQ(CountTrace("KXSync Error - KXLIB not currently open\n"), 1);
  EXPECT_EQ(SyncDepth, 0u);
  UseCount = 0;
}

TEST_F(SyncTest, OnASerialSessionAcknowledgesAndDrainsUntilQuiet) {
  LinePeer peer;
  OpenLink(peer.ComName());
  ResendAllowed = 0;
  peer.Write(Bytes(300, 0x33));
  platform::SleepMs(10);
  EXPECT_EQ(KXSync(), 0);
  EXPECT_EQ(ResendAllowed, 1u);
  EXPECT_EQ(peer.Read(200, 1), Bytes{ACK});
  uint8_t byte;
  EXPECT_EQ(ComPortRead(&byte, 1), 0);
}

TEST_F(SyncTest, ANestedCallIsRefused) {
  LinePeer peer;
  OpenLink(peer.ComName());
  KXSetDebugLevel(DBG_TRACE);
  SyncDepth = 1;  // as inside an outer KXSync
  EXPECT_EQ(KXSync(), 0);
  EXPECT_EQ(CountTrace("KXSync recursive Call!\n"), 1);
  EXPECT_TRUE(peer.Read(150).empty());  // nothing sent
}

}  // namespace
