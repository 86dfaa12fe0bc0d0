// The simulator served on a real pseudo-terminal, with the test as the host writing raw
// bytes to the slave side.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "sim/pty_server.h"
#include "sim/scanner.h"
#include "sim/scripted_instrument.h"
#include "sim/wire_format.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::PtyServer;
using kxsim::ScriptedInstrument;
using kxsim::ServerOptions;
using simtest::HostFrame;
using simtest::Message;
using simtest::TakeApart;
using Clock = std::chrono::steady_clock;

class PtyHost {
 public:
  explicit PtyHost(const std::string& path, speed_t speed = B9600) { Open(path, speed); }
  ~PtyHost() { Close(); }

  void Open(const std::string& path, speed_t speed) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd_, 0);
    SetSpeed(speed);
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void SetSpeed(speed_t speed) {
    termios t{};
    ASSERT_EQ(tcgetattr(fd_, &t), 0);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    ASSERT_EQ(tcsetattr(fd_, TCSANOW, &t), 0);
  }
  void Write(const Bytes& b) {
    size_t done = 0;
    while (done < b.size()) {
      const ssize_t n = write(fd_, b.data() + done, b.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Reads until `done` holds for what has arrived, or `timeoutMs` pass.
  Bytes ReadUntil(const std::function<bool(const Bytes&)>& done, int timeoutMs) {
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(got) && Clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 5) > 0) {
        uint8_t buf[4096];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n > 0) got.insert(got.end(), buf, buf + n);
      }
    }
    return got;
  }
  Bytes ReadFor(int ms) {
    return ReadUntil([](const Bytes&) { return false; }, ms);
  }
  // Waits for `n` items (ACK/NAK bytes and whole frames) in the instrument's output.
  simtest::Received Expect(size_t n, int timeoutMs = 3000) {
    return TakeApart(ReadUntil([n](const Bytes& b) { return TakeApart(b).order.size() >= n; }, timeoutMs));
  }

 private:
  int fd_ = -1;
};

Bytes Echoed(Bytes request) {
  request[4] = 1;
  return request;
}

TEST(SimPtyServer, ExchangesAMessageAndCountsIt) {
  ScriptedInstrument model;
  PtyServer server(model);
  EXPECT_EQ(server.ComName(), "COM:" + server.DevicePath());
  server.Start();
  PtyHost host(server.DevicePath());

  host.Write(HostFrame(0x2300, Message(14, 5)));
  auto got = host.Expect(2);
  ASSERT_EQ(got.order, "AF");
  EXPECT_EQ(got.frames[0].flags, 0x2300);
  EXPECT_EQ(got.frames[0].data, Echoed(Message(14, 5)));
  host.Write({kxsim::kAck});
  for (int i = 0; i < 1000 && server.Stats().repliesSent == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const kxsim::ServerStats s = server.Stats();
  EXPECT_EQ(s.framesGood, 1u);
  EXPECT_EQ(s.acksSent, 1u);
  EXPECT_EQ(s.acksReceived, 1u);
  EXPECT_EQ(s.messagesReceived, 1u);
  EXPECT_EQ(s.repliesSent, 1u);
  EXPECT_EQ(s.lastRequest, Message(14, 5));
  EXPECT_EQ(s.hostBaud, 9600u);
  server.Stop();
  server.Stop();  // twice is harmless
}

TEST(SimPtyServer, TheHostMayCloseAndReopenThePort) {
  ScriptedInstrument model;
  PtyServer server(model);
  server.Start();
  for (uint16_t round = 0; round < 3; ++round) {
    PtyHost host(server.DevicePath());
    host.Write(HostFrame(0x2300, Message(14, round)));
    auto got = host.Expect(2);
    ASSERT_EQ(got.order, "AF") << round;
    EXPECT_EQ(got.frames[0].data, Echoed(Message(14, round)));
    host.Write({kxsim::kAck});
    EXPECT_TRUE(server.WaitForMessages(round + 1u, 2000));
  }
  EXPECT_EQ(model.RequestCount(), 3u);
}

TEST(SimPtyServer, ALongReplyAndABadFrame) {
  const Bytes reply = simtest::Pattern(1250);
  ScriptedInstrument model([&](const Bytes&) { return reply; });
  PtyServer server(model);
  server.Start();
  PtyHost host(server.DevicePath());

  Bytes bad = HostFrame(0x2300, Message(14, 2));
  bad.back() ^= 1;
  host.Write(bad);
  EXPECT_EQ(host.Expect(1).order, "N");

  host.Write(HostFrame(0x2300, Message(14, 2)));
  Bytes joined;
  auto got = host.Expect(2);
  ASSERT_EQ(got.order, "AF");
  joined = got.frames[0].data;
  for (uint16_t flags : {0x0200, 0x2200}) {
    host.Write({kxsim::kAck});
    got = host.Expect(1);
    ASSERT_EQ(got.order, "F");
    EXPECT_EQ(got.frames[0].flags, flags);
    joined.insert(joined.end(), got.frames[0].data.begin(), got.frames[0].data.end());
  }
  host.Write({kxsim::kAck});
  EXPECT_EQ(joined, reply);
  // A NAK is answered by the same packet again.
  host.Write(HostFrame(0x2300, Message(14, 2)));
  got = host.Expect(2);
  host.Write({kxsim::kNak});
  auto again = host.Expect(1);
  ASSERT_EQ(again.order, "F");
  EXPECT_EQ(again.frames[0].data, got.frames.at(0).data);
}

TEST(SimPtyServer, FaultsCanBeSetWhileItRuns) {
  ScriptedInstrument model;
  PtyServer server(model);
  server.Start();
  PtyHost host(server.DevicePath());
  server.SetFaults(kxsim::FaultPlan().Add(kxsim::FaultNext(kxsim::FaultKind::kNakGoodFrame)));
  host.Write(HostFrame(0x2300, Message(14, 2)));
  EXPECT_EQ(host.Expect(1).order, "N");
  host.Write(HostFrame(0x2300, Message(14, 2)));
  EXPECT_EQ(host.Expect(2).order, "AF");
  EXPECT_EQ(server.Stats().faultsInjected[static_cast<size_t>(kxsim::FaultKind::kNakGoodFrame)], 1u);
}

// The wire's timers follow the clock the server is given: a 5-second reply delay on a
// clock that runs 100 times faster than real time passes in about 50 ms.
TEST(SimPtyServer, TimersFollowTheGivenClock) {
  ScriptedInstrument model;
  ServerOptions options;
  options.replyDelayMs = 5000;
  const auto start = Clock::now();
  options.clock = [start] {
    return static_cast<uint32_t>(
        100 * std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  };
  PtyServer server(model, options);
  server.Start();
  PtyHost host(server.DevicePath());
  host.Write(HostFrame(0x2300, Message(14, 2)));
  EXPECT_EQ(host.Expect(2, 3000).order, "AF");
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
  host.Write(HostFrame(0x2300, Message(14, 2)));
  size_t frames = 0;
  auto got = host.Expect(2);
  EXPECT_EQ(got.order, "AF");
  frames += got.frames.size();
  for (int i = 0; i < 2; ++i) {
    host.Write({kxsim::kAck});
    frames += host.Expect(1).frames.size();
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_EQ(frames, 3u);
  EXPECT_GE(ms, 300) << "1286 bytes at 3840 bytes per second";
}

TEST(SimPtyServer, WithTheSpeedCheckMismatchedRatesHearNothing) {
  ScriptedInstrument model;
  ServerOptions options;
  options.lineSpeedCheck = true;
  PtyServer server(model, options);
  server.Start();
  PtyHost host(server.DevicePath(), B19200);
  host.Write(HostFrame(0x2300, Message(14, 2)));
  EXPECT_TRUE(host.ReadFor(200).empty());
  EXPECT_EQ(model.RequestCount(), 0u);
  EXPECT_GE(server.Stats().bytesGarbled, 22u);
  EXPECT_EQ(server.Stats().hostBaud, 19200u);

  host.SetSpeed(B9600);
  host.Write(HostFrame(0x2300, Message(14, 2)));
  EXPECT_EQ(host.Expect(2).order, "AF");
}

// A session opens at 9600 after a break; a pty carries no break, so the host's return
// to 9600 stands for it and brings the instrument back to 9600.
TEST(SimPtyServer, TheHostsReturnTo9600ActsAsABreak) {
  kxsim::Scanner scanner;
  PtyServer server(scanner);
  server.Start();
  PtyHost host(server.DevicePath(), B57600);
  // The port-settings notify moves the instrument to 57600.
  Bytes port(10, 0);
  port[3] = 8;
  host.Write(HostFrame(0x2300, simtest::RecordMessage(0x402, 0x402, 0, 10, {}, port, 5)));
  EXPECT_EQ(host.Expect(1).order, "A");
  EXPECT_EQ(scanner.LineBaud(), 57600u);
  host.SetSpeed(B9600);
  for (int i = 0; i < 2000 && scanner.LineBaud() != 9600; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(scanner.LineBaud(), 9600u);
  EXPECT_EQ(server.Stats().instrumentBaud, 9600u);
}

}  // namespace
