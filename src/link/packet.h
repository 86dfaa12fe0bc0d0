// The packet layer of the serial line.
//
// Frame on the wire (little-endian):
//   offset 0   6 bytes  Tag    "PACKET" (no terminator; the receiver accepts any case)
//   offset 6   2 bytes  Flags  flag word; its low byte is always 0 and doubles as the
//                              tag's terminator, so the receiver compares "PACKET\0"
//   offset 8   2 bytes  Length N, the number of data bytes
//   offset 10  N bytes  Data
//   offset 10+N 2 bytes CRC-16/CCITT-FALSE over bytes 0 .. 9+N, low byte first
// Each frame is answered by one byte, ACK (0x06) when it arrived intact or NAK (0x15).
#pragma once

#include <cstdint>

#include "kxlib32.h"

constexpr uint16_t PacketFlagStart = 0x0100;    // first packet of a message
constexpr uint16_t PacketFlagMessage = 0x0200;  // set on every packet of the message layer
constexpr uint16_t PacketFlagEnd = 0x2000;      // last packet of a message
constexpr uint16_t kPacketFlagsWhole = 0x2300;  // flags 0 are sent as a complete message

constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;

constexpr int kPacketHeaderSize = 10;
constexpr int kPacketOverhead = 12;             // header + CRC
constexpr int kPacketReceiveBuffer = 4096;      // so at most 4084 data bytes are received

// The 10-byte header as it lies in a received buffer.
struct PacketHeader {
  char tag[6];
  uint16_t flags;
  uint16_t length;
};
static_assert(sizeof(PacketHeader) == kPacketHeaderSize);

// What the first `have` bytes of a receive buffer hold. The receiver's decoding, apart
// from its I/O: a frame is recognised only at the buffer's start.
enum class FrameScan {
  kNeedMore,    // fewer than a whole frame (or than a header) so far
  kMisaligned,  // the buffer does not start with a header tag
  kBadCrc,      // a whole frame whose CRC does not match
  kComplete,    // a whole frame of *length data bytes
};
FrameScan ScanFrame(const uint8_t* buffer, int have, int* length);

// Moves the bytes from the next header tag after position 0 to the buffer's start, or
// empties it (*have = 0) when no tag follows.
void Resynchronise(uint8_t* buffer, int* have);

// Continues a running CRC-16/CCITT-FALSE (start with 0xFFFF).
uint16_t Crc16(const uint8_t* bytes, uint16_t count, uint16_t crc);

// One ACK (ack true) or NAK byte.
void SendAckNak(bool ack);
// ACK or NAK as soon as one arrives; 0 after 3000 ms without one. Other bytes are discarded.
uint8_t WaitAckNak();
// Discards input until the line has been silent for 110 ms.
void DrainUntilQuiet();

// KXSync's work on an open serial session (the serial entry of the transport table):
// ACK, then input discarded until the line is quiet; a nested call only traces. Returns 0.
int16_t SyncSerialLine();
// KXSync without a serial session (no session, or a transport without packets): traces
// that the library is not open. Returns 0.
int16_t SyncWithoutSerialLine();
