// Test support: the far end of a pseudo-terminal, driven byte by byte by a test.
// LinePeer reads what the library sent and writes what a test wants it to receive.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "sim/pty.h"
#include "tests/support/frames.h"
#include "tests/support/library_fixture.h"

namespace testsupport {

class LinePeer {
 public:
  ~LinePeer() { StopAutoAnswer(); }

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

// A library test whose rows each start on a new line, the library at the load state
// with traces on, the link open as the serial open leaves it.
class PeerTest : public LibraryTest {
 protected:
  void NewLine(uint32_t clockSpeed = 1) {
    Restart();
    peer = std::make_unique<LinePeer>();
    OpenLink(peer->ComName());
    platform::SetClockSpeed(clockSpeed);
    KXSetDebugLevel(DBG_TRACE);
  }
  std::unique_ptr<LinePeer> peer;
};

}  // namespace testsupport
