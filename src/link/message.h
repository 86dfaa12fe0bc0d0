// The message layer. Every message starts with a 10-byte header (u16 fields,
// little-endian):
//   offset 0  Class    service class
//   offset 2  Type     operation within the class
//   offset 4  Status   requests 0; replies 1 (msOK) or the instrument's failure code
//   offset 6  reserved (requests 0)
//   offset 8  reserved (requests 0)
//   offset 10 payload
// On the serial line a message travels as packets of at most 600 data bytes; the first
// carries PacketFlagStart and the last PacketFlagEnd.
//
// Packets carry no sequence numbers: a packet the instrument sends again because the
// host's acknowledgement was lost arrives as one more good packet and is appended a
// second time. This layer cannot tell; the services judge a reply by the lengths its own
// headers declare (services/record.h). One case it does tell, because the lengths cannot:
// an instrument that took an acknowledgement for the packet after the one it was meant
// for (ours came late, or the line made one) is a packet ahead. Our NAK of a damaged
// packet then has it send the packet after that one again, so the damaged packet never
// comes and the next arrives twice, in a message of the right length. A packet that
// repeats the one before it, byte for byte, after a frame was refused is taken for that:
// the message is broken. (The same data twice in a row on an intact exchange stays
// allowed; with a refusal between it costs one more request at worst.)
#pragma once

#include <cstdint>

#include "kxlib32.h"

struct MessageHeader {
  uint16_t Class;
  uint16_t Type;
  uint16_t Status;
  uint16_t reserved1;
  uint16_t reserved2;
};
static_assert(sizeof(MessageHeader) == 10);

constexpr uint16_t msOK = 1;
constexpr uint16_t STATUS_RECORD_NOT_FOUND = 251;

constexpr uint16_t CLASS_NOTIFY = 5;
constexpr uint16_t CLASS_COMMAND = 7;
constexpr uint16_t CLASS_DATABASE = 14;

constexpr uint32_t kMessageChunk = 600;       // data bytes per packet sent
constexpr uint32_t kMaxPacketRequest = 32767; // most asked of one packet wait
constexpr int32_t kSerialRetries = 2;         // default tolerated failures on a serial line
constexpr int32_t kUsbRetries = 3;            // ... on USB

// The default retry count of the session's transport.
int32_t DefaultRetries();

// The serial entry of the transport table (link/transport.h): a message as packets of at
// most 600 data bytes, the first with PacketFlagStart and the last with PacketFlagEnd.
int16_t SendOverSerial(uint16_t flags, const uint8_t* message, uint32_t length, int32_t retries);
// Collects packets until one carries PacketFlagEnd (see message.cpp for a message that
// outgrows the buffer).
int16_t WaitOverSerial(uint8_t* buffer, uint32_t* size, int32_t retries);
