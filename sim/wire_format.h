// Formats of the serial link as the instrument sees them: the packet frame, the message
// header and the record header, with little-endian helpers and the frame CRC.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/instrument.h"

namespace kxsim {

// ---- Packet frame ----------------------------------------------------------------------
// Every message on the serial line travels as one or more frames:
//   offset 0      6 bytes  tag, the ASCII letters "PACKET" (receivers ignore case)
//   offset 6      u16      Flags; the low byte is always 0 and doubles as the tag's
//                          terminator, so a receiver matches the 7 bytes "PACKET\0"
//   offset 8      u16      Length N of the data
//   offset 10     N bytes  data: this packet's share of the message
//   offset 10+N   u16      CRC-16/CCITT-FALSE over bytes 0 .. 9+N, low byte first
// All u16 fields are little-endian. The receiver answers each frame with one byte:
// ACK when it arrived intact, NAK when its CRC was wrong.
inline constexpr uint8_t kPacketTag[6] = {'P', 'A', 'C', 'K', 'E', 'T'};
inline constexpr size_t kTagMatchLength = 7;  // "PACKET" and the zero low byte of Flags
inline constexpr size_t kPacketHeaderSize = 10;
inline constexpr size_t kFrameOverhead = 12;  // header + CRC
inline constexpr size_t kFlagsOffset = 6;
inline constexpr size_t kLengthOffset = 8;

inline constexpr uint16_t kFlagStart = 0x0100;    // first packet of a message
inline constexpr uint16_t kFlagMessage = 0x0200;  // sent by a message layer
inline constexpr uint16_t kFlagEnd = 0x2000;      // last packet of a message

inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;

// Messages are cut into packets of at most 600 data bytes.
inline constexpr size_t kMaxPacketData = 600;
// The instrument's receive buffer holds one frame of up to 4096 bytes, so it takes
// packets of at most 4084 data bytes; a longer announced Length is not a frame.
inline constexpr size_t kReceiveBufferSize = 4096;
inline constexpr size_t kMaxReceivePacketData = kReceiveBufferSize - kFrameOverhead;

// ---- Message header ----------------------------------------------------------------------
// 10 bytes at the start of every message, u16 little-endian:
//   0 Class   2 Type   4 Status (requests 0; replies 1 = OK)   6, 8 reserved (0)
inline constexpr size_t kMessageHeaderSize = 10;
inline constexpr size_t kClassOffset = 0;
inline constexpr size_t kTypeOffset = 2;
inline constexpr size_t kStatusOffset = 4;

inline constexpr uint16_t kStatusOk = 1;
inline constexpr uint16_t kStatusRecordNotFound = 251;

inline constexpr uint16_t kClassNotify = 5;     // Type = record type; never answered
inline constexpr uint16_t kClassCommand = 7;    // data IDs and other commands
inline constexpr uint16_t kClassDatabase = 14;  // records, database info, card

inline constexpr uint16_t kDbDeleteRecord = 0;
inline constexpr uint16_t kDbWriteRecord = 1;
inline constexpr uint16_t kDbReadRecord = 2;
inline constexpr uint16_t kDbUpdateRecord = 3;
inline constexpr uint16_t kDbInfo = 4;
inline constexpr uint16_t kDbSerialNumber = 5;

// ---- Record header -------------------------------------------------------------------------
// 60 bytes at message offset 10 in record messages; record data from message offset 70.
//   +0 RecordType  +2 RecordLength  +4 RecordNumber  +6 KeyMode  +8 KeyLength
//   +10 Key (50 bytes, at most 48 used)
inline constexpr size_t kRecordTypeOffset = 10;
inline constexpr size_t kRecordLengthOffset = 12;
inline constexpr size_t kRecordNumberOffset = 14;
inline constexpr size_t kKeyModeOffset = 16;
inline constexpr size_t kKeyLengthOffset = 18;
inline constexpr size_t kKeyOffset = 20;
inline constexpr size_t kKeyFieldSize = 50;
inline constexpr size_t kMaxKeyLength = 48;
inline constexpr size_t kRecordDataOffset = 70;
inline constexpr size_t kMaxRecordData = 65535;
// Largest message either side sends: both headers and the largest record.
inline constexpr size_t kMaxMessageSize = kRecordDataOffset + kMaxRecordData;

// ---- Little-endian helpers -------------------------------------------------------------------
inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
// Bounded forms for messages: a field that lies past the end reads as 0 and is not written.
inline uint16_t GetU16(const Bytes& b, size_t offset) {
  return offset + 2 <= b.size() ? GetU16(b.data() + offset) : 0;
}
inline void PutU16(Bytes& b, size_t offset, uint16_t v) {
  if (offset + 2 <= b.size()) PutU16(b.data() + offset, v);
}

// ---- CRC ---------------------------------------------------------------------------------------
// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, most significant bit
// first, no reflection, no final XOR (check value 0x29B1 over "123456789"). Computed
// bit by bit; `crc` continues a running value.
uint16_t FrameCrc(const uint8_t* bytes, size_t count, uint16_t crc = 0xFFFF);

// The complete frame (header, data, CRC) for one packet.
Bytes BuildFrame(uint16_t flags, const uint8_t* data, size_t length);
inline Bytes BuildFrame(uint16_t flags, const Bytes& data) {
  return BuildFrame(flags, data.data(), data.size());
}

// True when `sent`, the bytes that went on the line for `frame` after the line's damage,
// would still pass a receiver's frame check with bytes that are not `frame`. The receiver
// reads from the first tag, by the Length announced there, and a frame cut short is
// completed by what may follow it on the line: an ACK or NAK, then `frame` sent again. A
// frame shifted by a lost or an extra byte, or damaged twice, is checked against CRC bytes
// that are not its own, and one in 65536 of them passes.
bool PassesFrameCheck(const Bytes& sent, const Bytes& frame);

}  // namespace kxsim
