#include "link/packet.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "link/serial_port.h"
#include "link/transport.h"
#include "platform/platform.h"
#include "session/runtime.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

constexpr uint32_t kAckTimeoutMs = 3000;
constexpr uint32_t kQuietMs = 110;
constexpr uint32_t kSilenceMs = 1000;   // a receive pass counts as late after this silence
constexpr int kLatePassLimit = 5;       // the wait ends on the sixth late pass
constexpr int kTagLength = 7;           // "PACKET" and the zero low byte of the flags

// CRC-16/CCITT-FALSE table (polynomial 0x1021, most significant bit first).
constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    table[i] = crc;
  }
  return table;
}
constexpr std::array<uint16_t, 256> CrcTable = MakeCrcTable();

void TransmitFrame(const uint8_t* header, const uint8_t* data, uint16_t length, uint16_t crc) {
  uint8_t tail[2];
  PutU16(tail, crc);
  ComPortWrite(header, kPacketHeaderSize);
  // ComPortWrite takes at most 32767 bytes at a time.
  for (uint32_t done = 0; done < length;) {
    const uint32_t piece = std::min<uint32_t>(length - done, 32767);
    ComPortWrite(data + done, static_cast<int16_t>(piece));
    done += piece;
  }
  ComPortWrite(tail, 2);
}

}  // namespace

// True when `at` starts "PACKET" followed by a zero byte, letters in any case.
static bool StartsWithTag(const uint8_t* at) {
  static const char kTag[kTagLength + 1] = "PACKET";
  for (int i = 0; i < kTagLength; ++i) {
    if (std::toupper(at[i]) != static_cast<unsigned char>(kTag[i])) return false;
  }
  return true;
}

FrameScan ScanFrame(const uint8_t* buffer, int have, int* length) {
  if (have < kPacketOverhead) return FrameScan::kNeedMore;
  if (!StartsWithTag(buffer)) return FrameScan::kMisaligned;
  *length = GetU16(buffer + 8);
  if (have < *length + kPacketOverhead) return FrameScan::kNeedMore;
  const uint16_t crc = Crc16(buffer, static_cast<uint16_t>(*length + kPacketHeaderSize), 0xFFFF);
  return crc == GetU16(buffer + kPacketHeaderSize + *length) ? FrameScan::kComplete : FrameScan::kBadCrc;
}

void Resynchronise(uint8_t* buffer, int* have) {
  for (int pos = 1; pos <= *have - kTagLength; ++pos) {
    if (StartsWithTag(buffer + pos)) {
      std::memmove(buffer, buffer + pos, static_cast<size_t>(*have - pos));
      *have -= pos;
      return;
    }
  }
  *have = 0;
}

uint16_t Crc16(const uint8_t* bytes, uint16_t count, uint16_t crc) {
  for (uint16_t i = 0; i < count; ++i)
    crc = static_cast<uint16_t>(CrcTable[((crc >> 8) ^ bytes[i]) & 0xFF] ^ ((crc & 0xFF) << 8));
  return crc;
}

void SendAckNak(bool ack) {
  const uint8_t byte = ack ? ACK : NAK;
  ComPortWrite(&byte, 1);
}

uint8_t WaitAckNak() {
  const uint32_t t0 = platform::TickCount();
  for (;;) {
    uint8_t byte;
    const bool got = ComPortRead(&byte, 1) == 1;
    if (got && (byte == ACK || byte == NAK)) return byte;
    // Other bytes are discarded; they do not move the deadline.
    if (platform::TickPassed(platform::TickCount(), t0, kAckTimeoutMs)) return 0;
    if (!got) ComPortAwaitInput();
  }
}

void DrainUntilQuiet() {
  uint32_t t = platform::TickCount();
  for (;;) {
    uint8_t byte;
    if (ComPortRead(&byte, 1) == 1) {
      t = platform::TickCount();
      continue;
    }
    if (platform::TickPassed(platform::TickCount(), t, kQuietMs)) return;
    ComPortAwaitInput();
  }
}

int16_t SyncSerialLine() {
  if (SyncDepth++ != 0) {
    Trace("KXSync recursive Call!\n");
    return 0;
  }
  ResendAllowed = 1;
  SendAckNak(true);
  DrainUntilQuiet();
  SyncDepth = 0;
  return 0;
}

int16_t SyncWithoutSerialLine() {
  Trace("KXSync Error - KXLIB not currently open\n");
  SyncDepth = 0;
  return 0;
}

extern "C" {

KXAPI int16_t KXAPI_CALL KXSendPacket(uint16_t flags, const uint8_t* data, uint16_t length) {
  Trace("  KXSendPacket \n");
  uint8_t header[kPacketHeaderSize];
  std::memcpy(header, "PACKET", 6);
  PutU16(header + 6, flags == 0 ? kPacketFlagsWhole : flags);
  PutU16(header + 8, length);
  uint16_t crc = Crc16(header, kPacketHeaderSize, 0xFFFF);
  crc = Crc16(data, length, crc);

  ComPortDrain();  // a stale ACK or NAK must not be taken as the answer
  for (int transmission = 0; transmission < 2; ++transmission) {
    TransmitFrame(header, data, length, crc);
    if (SendOnlyMode) return 1;
    const uint8_t answer = WaitAckNak();
    if (answer == ACK) return 1;
    ++CommErrorCount;
    if (answer == 0) {
      Trace(" SendPacket Timed Out. \n");
      return 0;
    }
    Trace(" SendPacket Received a NACK, retrying... \n");
  }
  return 0;
}

KXAPI int16_t KXAPI_CALL KXWaitPacket(uint8_t* header, void* data, uint16_t capacity) {
  Trace("  KXWaitPacket \n");
  uint8_t buffer[kPacketReceiveBuffer];
  int have = 0;
  uint32_t lastRx = platform::TickCount();
  int lateCount = 0;

  for (;;) {
    PumpMessages();
    const int n = ComPortRead(buffer + have, static_cast<int16_t>(kPacketReceiveBuffer - have));
    have += n;
    if (n > 0) lastRx = platform::TickCount();

    int length = 0;
    switch (ScanFrame(buffer, have, &length)) {
      case FrameScan::kNeedMore:
        break;
      case FrameScan::kMisaligned:
        Trace(" WaitPacket Failure - Bad alignment \n");
        Resynchronise(buffer, &have);
        break;
      case FrameScan::kBadCrc:
        Trace(" WaitPacket - Checksum failure \n");
        have = 0;
        ++RefusedFrameCount;
        SendAckNak(false);
        break;
      case FrameScan::kComplete:
        SendAckNak(true);
        std::memcpy(header, buffer, kPacketHeaderSize);
        if (length <= capacity) {
          std::memcpy(data, buffer + kPacketHeaderSize, static_cast<size_t>(length));
        } else {
          std::memcpy(data, buffer + kPacketHeaderSize, capacity);
          Trace(" KXWaitPacket - Insufficient Space in Buffer. %d > %d \n", length, capacity);
        }
        return 1;
    }

    if (platform::TickPassed(platform::TickCount(), lastRx, kSilenceMs)) {
      if (lateCount++ >= kLatePassLimit) break;
    }
    if (n == 0) {
      // With the buffer full, input stays pending and would end every wait at once.
      if (have == kPacketReceiveBuffer) {
        platform::PauseBriefly();
      } else {
        ComPortAwaitInput();
      }
    }
  }

  if (have > 0) {
    ++CommErrorCount;
    Trace(" WaitPacket Failure - Timeout\n");
    ++RefusedFrameCount;
    SendAckNak(false);
  }
  return 0;
}

KXAPI int16_t KXAPI_CALL KXSync(void) {
  Trace("KXSync\n");
  LastError = 0;
  if (UseCount == 1) return ActiveTransport().sync();
  return SyncWithoutSerialLine();
}

}  // extern "C"
