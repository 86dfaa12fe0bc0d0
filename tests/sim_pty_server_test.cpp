// The simulator served on a real pseudo-terminal, with the test as the host writing raw
// bytes to the slave side.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sim/pty_server.h"
#include "sim/scripted_instrument.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::PtyServer;
using kxsim::ScriptedInstrument;
using kxsim::ServerOptions;
using simtest::Frame;
using simtest::Message;
using simtest::PtyHost;
using Clock = std::chrono::steady_clock;

// A host that opens the port at the wrong rate hears nothing while the line speed is
// checked; at the instrument's rate it is answered, also after closing and reopening the
// port. The wire's timers follow the clock the server is given: a 5-second reply delay
// passes when that clock is moved on by 5 seconds.
TEST(SimPtyServer, ServesAHostOnThePseudoTerminal) {
  ScriptedInstrument model;
  ServerOptions options;
  options.lineSpeedCheck = true;
  options.replyDelayMs = 5000;
  std::atomic<uint32_t> skipMs{0};
  options.clock = [&skipMs, start = Clock::now()] {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()) +
           skipMs.load();
  };
  PtyServer server(model, options);
  EXPECT_EQ(server.ComName(), "COM:" + server.DevicePath());
  server.Start();
  {
    PtyHost host(server.DevicePath(), B19200);
    ASSERT_TRUE(host.ok());
    host.Write(Frame(0x2300, Message(14, 2)));
    for (int ms = 0; ms < 5000 && server.Stats().bytesGarbled < 22; ++ms) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(server.Stats().bytesGarbled, 22u);
    EXPECT_EQ(server.Stats().hostBaud, 19200u);
    EXPECT_EQ(host.Expect(1, 50).order, "");
    EXPECT_EQ(model.RequestCount(), 0u);
  }
  for (uint16_t round = 0; round < 2; ++round) {
    PtyHost host(server.DevicePath());
    host.Write(Frame(0x2300, Message(14, round)));
    EXPECT_EQ(host.Expect(1).order, "A") << round;
    skipMs += 5000;
    const auto got = host.Expect(1);
    ASSERT_EQ(got.order, "F") << round;
    Bytes echo = Message(14, round);
    echo[4] = 1;
    EXPECT_EQ(got.frames[0].data, echo);
    host.Write({kxsim::kAck});
  }
  const kxsim::ServerStats s = server.Stats();
  EXPECT_EQ(s.framesGood, 2u);
  EXPECT_EQ(s.lastRequest, Message(14, 1));
  EXPECT_EQ(s.hostBaud, 9600u);
  server.Stop();
  server.Stop();  // twice is harmless
}

// With pace, bytes leave no faster than the line carries them: 1286 bytes (three
// packets of a 1250-byte reply) at 38400 baud take at least a third of a second.
TEST(SimPtyServer, PaceHoldsTheLineToItsRate) {
  ScriptedInstrument model([](const Bytes&) { return simtest::Pattern(1250); });
  model.SetLineBaud(38400);
  ServerOptions options;
  options.pace = true;
  PtyServer server(model, options);
  server.Start();
  PtyHost host(server.DevicePath(), B38400);
  const auto start = Clock::now();
  host.Write(Frame(0x2300, Message(14, 2)));
  size_t frames = host.Expect(2).frames.size();
  for (int i = 0; i < 2; ++i) {
    host.Write({kxsim::kAck});
    frames += host.Expect(1).frames.size();
  }
  EXPECT_EQ(frames, 3u);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300)) << "1286 bytes at 3840 bytes per second";
}

}  // namespace
