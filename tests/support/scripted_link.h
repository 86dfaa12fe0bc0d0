// Test support: a session open on a scripted instrument, whose every reply the test
// chooses (the request comes back as its own OK reply unless the test says otherwise).
#pragma once

#include <algorithm>
#include <memory>

#include "sim/pty_server.h"
#include "sim/scripted_instrument.h"
#include "tests/support/library_fixture.h"

namespace testsupport {

class ScriptedLinkTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    server = std::make_unique<kxsim::PtyServer>(instrument);
    server->Start();
    OpenLink(server->ComName());
  }
  void TearDown() override {
    KXClose();
    server->Stop();
    LibraryTest::TearDown();
  }
  // A reply: the 10-byte header (Class, Type, Status) and `payload`.
  static kxsim::Bytes Reply(uint16_t cls, uint16_t type, uint16_t status, const kxsim::Bytes& payload) {
    kxsim::Bytes m(10 + payload.size(), 0);
    const uint16_t words[] = {cls, type, status};
    for (size_t i = 0; i < 3; ++i) {
      m[2 * i] = static_cast<uint8_t>(words[i]);
      m[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
    }
    std::copy(payload.begin(), payload.end(), m.begin() + 10);
    return m;
  }
  // Answers every request with `reply`.
  void AnswerWith(const kxsim::Bytes& reply) {
    instrument.SetHandler([reply](const kxsim::Bytes&) { return std::optional<kxsim::Bytes>(reply); });
  }

  kxsim::ScriptedInstrument instrument;
  std::unique_ptr<kxsim::PtyServer> server;
};

}  // namespace testsupport
