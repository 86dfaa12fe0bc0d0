// Test support: byte patterns, frames, instrument messages and replies, built here with
// their own CRC and their own copy of the wire layout, so a mistake shared with the
// library's encoder cannot pass unnoticed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kAck = 0x06, kNak = 0x15;
// The request of Class 14, Type 5 travels as exactly these 22 bytes.
inline const Bytes kSerialNumberFrame = {0x50, 0x41, 0x43, 0x4B, 0x45, 0x54, 0x00, 0x23, 0x0A, 0x00, 0x0E,
                                         0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0xDF};

// A message: Class, Type, Status at 0, 2, 4. A record message adds RecordType 10,
// RecordLength 12, RecordNumber 14, KeyMode 16, KeyLength 18, Key 20, and the data from 70.
enum : size_t { kAtType = 2, kAtStatus = 4, kAtRecType = 10, kAtRecLength = 12, kAtRecNumber = 14, kAtKeyMode = 16,
                kAtKeyLength = 18, kAtKey = 20, kAtRecordData = 70 };
enum : uint16_t { kClassNotify = 5, kClassCommand = 7, kClassDatabase = 14 };
enum : uint16_t { kDbDelete = 0, kDbWrite = 1, kDbRead = 2, kDbUpdate = 3, kDbInfo = 4, kDbSerial = 5 };
enum : uint16_t { kGetDataId = 34, kSetDataId = 35 };
// Record types the tests store and ask for.
enum : uint16_t { kVersionRec = 131, kDataFormatRec = 772, kPortSettingsRec = 0x0402,
                  kCopperAutotestRec = 3841, kKeyed3847 = 3847, kUserPrefRec = 3848, kFirstLimitRec = 3862,
                  kLastLimitRec = 3870, kKeyed3873 = 3873 };

// n bytes that differ with the seed and along the block.
inline Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((seed * 2654435761u + i * 97) >> 7);
  return b;
}
inline Bytes Head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); }
inline Bytes Cat(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }
inline uint16_t U16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8); }
inline void PutU16(Bytes& b, size_t at, uint16_t v) { b.at(at) = v & 0xFF, b.at(at + 1) = static_cast<uint8_t>(v >> 8); }

// CRC-16/CCITT-FALSE, one bit at a time.
inline uint16_t BitwiseCrc(const uint8_t* data, size_t n, uint16_t crc = 0xFFFF) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int b = 0; b < 8; ++b) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

// A complete frame: the tag (as given), flags, length, data, CRC low byte first.
inline Bytes Frame(uint16_t flags, const Bytes& data, const char* tag = "PACKET") {
  Bytes f(tag, tag + 6);
  f.resize(10);
  PutU16(f, 6, flags);
  PutU16(f, 8, static_cast<uint16_t>(data.size()));
  f = Cat(f, data);
  const uint16_t crc = BitwiseCrc(f.data(), f.size());
  return Cat(f, {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)});
}

// A message header (Class, Type, Status, two zero words) followed by the payload.
inline Bytes Message(uint16_t cls, uint16_t type, uint16_t status, const Bytes& payload = {}) {
  Bytes m(10, 0);
  PutU16(m, 0, cls);
  PutU16(m, kAtType, type);
  PutU16(m, kAtStatus, status);
  return Cat(m, payload);
}

// A record message of Class 14 (or `cls`) and `type`: the headers with the fields given, then `data`.
inline Bytes RecordMessage(uint16_t type, uint16_t recType, uint16_t length, uint16_t number, const Bytes& data = {},
                           uint16_t cls = kClassDatabase) {
  Bytes m = Message(cls, type, 0, Bytes(60, 0));
  PutU16(m, kAtRecType, recType);
  PutU16(m, kAtRecLength, length);
  PutU16(m, kAtRecNumber, number);
  return Cat(m, data);
}

// The reply to a record request: its 70 header bytes with Status `status`, RecordLength
// and the record after them.
inline Bytes RecordReply(const Bytes& request, uint16_t status, const Bytes& record) {
  Bytes reply = Head(request, kAtRecordData);
  PutU16(reply, kAtStatus, status);
  PutU16(reply, kAtRecLength, static_cast<uint16_t>(record.size()));
  return Cat(reply, record);
}

// A data-ID reply of `type`: 2 leading bytes, the value, 13 trailing bytes.
inline Bytes ValueReply(const Bytes& value, uint16_t type = kGetDataId) {
  return Message(kClassCommand, type, 1, Cat(Cat({0xA1, 0xA2}, value), Bytes(13, 0xB0)));
}

struct ParsedFrame {
  uint16_t flags = 0;
  Bytes data;
  bool crcOk = false;
};

// Splits a byte stream of whole frames and single control bytes (collected in `controls`).
inline std::vector<ParsedFrame> ParseFrames(const Bytes& s, Bytes* controls = nullptr) {
  std::vector<ParsedFrame> frames;
  for (size_t i = 0; i < s.size();) {
    const size_t n = s.size() - i >= 12 ? U16(s, i + 8) : 0;
    if (s.size() - i < 12 || std::memcmp(&s[i], "PACKET", 6) != 0) {
      if (controls) controls->push_back(s[i]);
      ++i;
      continue;
    }
    if (s.size() - i < 12 + n) break;
    ParsedFrame f{U16(s, i + 6), Bytes(s.begin() + static_cast<long>(i + 10), s.begin() + static_cast<long>(i + 10 + n)),
                  U16(s, i + 10 + n) == BitwiseCrc(&s[i], 10 + n)};
    frames.push_back(std::move(f));
    i += 12 + n;
  }
  return frames;
}

}  // namespace testsupport
