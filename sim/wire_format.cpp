#include "sim/wire_format.h"

namespace kxsim {

uint16_t FrameCrc(const uint8_t* bytes, size_t count, uint16_t crc) {
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

Bytes BuildFrame(uint16_t flags, const uint8_t* data, size_t length) {
  Bytes frame(kFrameOverhead + length);
  for (size_t i = 0; i < sizeof kPacketTag; ++i) frame[i] = kPacketTag[i];
  PutU16(&frame[kFlagsOffset], flags);
  PutU16(&frame[kLengthOffset], static_cast<uint16_t>(length));
  for (size_t i = 0; i < length; ++i) frame[kPacketHeaderSize + i] = data[i];
  PutU16(&frame[kPacketHeaderSize + length],
         FrameCrc(frame.data(), kPacketHeaderSize + length));
  return frame;
}

}  // namespace kxsim
