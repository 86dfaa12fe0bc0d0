#include "sim/wire_format.h"

#include <optional>

namespace kxsim {
namespace {

bool TagAt(const Bytes& line, size_t at) {
  for (size_t i = 0; i < sizeof kPacketTag; ++i) {
    if ((line[at + i] | 0x20) != (kPacketTag[i] | 0x20)) return false;
  }
  return line[at + kFlagsOffset] == 0;
}

// The frame a receiver takes from `line` (from its first tag), or nothing when the frame
// there fails its check or never completes.
std::optional<Bytes> FrameTaken(const Bytes& line) {
  for (size_t at = 0; at + kFrameOverhead <= line.size(); ++at) {
    if (!TagAt(line, at)) continue;
    const size_t length = GetU16(&line[at + kLengthOffset]);
    if (length > kMaxReceivePacketData || at + kFrameOverhead + length > line.size()) return std::nullopt;
    const uint8_t* frame = &line[at];
    if (GetU16(frame + kPacketHeaderSize + length) != FrameCrc(frame, kPacketHeaderSize + length)) {
      return std::nullopt;
    }
    return Bytes(frame, frame + kFrameOverhead + length);
  }
  return std::nullopt;
}

}  // namespace

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

bool PassesFrameCheck(const Bytes& sent, const Bytes& frame) {
  if (sent == frame) return false;
  for (int between : {-1, int{kAck}, int{kNak}}) {
    Bytes line = sent;
    if (between >= 0) line.push_back(static_cast<uint8_t>(between));
    // Enough of the frame sent again to complete any Length a receiver takes.
    while (line.size() < sent.size() + kReceiveBufferSize) line.insert(line.end(), frame.begin(), frame.end());
    const std::optional<Bytes> taken = FrameTaken(line);
    if (taken && *taken != frame) return true;
  }
  return false;
}

}  // namespace kxsim
