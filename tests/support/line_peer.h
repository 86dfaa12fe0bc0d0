// Test support: the far end of a pseudo-terminal, driven byte by byte by a test.
// LinePeer reads what the library sent and writes what a test wants it to receive;
// frames are built here with an independent bitwise CRC, so a shared mistake with the
// library's table-driven CRC cannot pass unnoticed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty.h"

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// CRC-16/CCITT-FALSE, one bit at a time.
uint16_t BitwiseCrc(const uint8_t* data, size_t n, uint16_t crc = 0xFFFF);

// A complete frame: "PACKET" (tag as given), flags, length, data, CRC low byte first.
Bytes Frame(uint16_t flags, const Bytes& data, const char* tag = "PACKET");

// A message header (Class, Type, Status, two zero words) followed by the payload.
Bytes Message(uint16_t cls, uint16_t type, uint16_t status, const Bytes& payload = {});

struct ParsedFrame {
  uint16_t flags = 0;
  Bytes data;
  bool crcOk = false;
};

// Splits a byte stream that holds whole frames and single control bytes.
// Control bytes (ACK/NAK) are collected in `controls`.
std::vector<ParsedFrame> ParseFrames(const Bytes& stream, Bytes* controls = nullptr);

class LinePeer {
 public:
  LinePeer();
  ~LinePeer();

  std::string ComName() const { return pty_.ComName(); }

  void Write(const Bytes& bytes);
  // One attempt to write, without waiting; returns the number of bytes taken.
  size_t WriteSome(const Bytes& bytes);
  // Everything that arrives within `ms` of real time (returns early once `atLeast` bytes came).
  Bytes Read(int ms, size_t atLeast = SIZE_MAX);

  // Answers every complete frame that arrives with the byte `answer(frameIndex)`
  // (0 for no answer), on a background thread, and records the frames and all bytes.
  void AutoAnswer(std::function<uint8_t(size_t frameIndex)> answer);
  void StopAutoAnswer();
  std::vector<ParsedFrame> Frames();
  Bytes Received();

 private:
  void AnswerLoop();

  kxsim::PtyPair pty_;
  std::function<uint8_t(size_t)> answer_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::mutex lock_;
  Bytes received_;
  std::vector<ParsedFrame> frames_;
};

}  // namespace testsupport
