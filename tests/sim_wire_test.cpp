// The simulator's serial wire, driven byte by byte with a hand-made clock; its line pace
// (bytes pass at baud / 10 per second, with no burst after a pause); the kxsim program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "sim/faulty_instrument.h"
#include "sim/pacer.h"
#include "sim/scripted_instrument.h"
#include "sim/serial_wire.h"
#include "tests/support/programs.h"
#include "tests/support/sim_host.h"

namespace {

using kxsim::Bytes;
using simtest::Frame;
using simtest::Join;
using simtest::Message;
using simtest::Pattern;
using simtest::TakeApart;


struct SimWire : ::testing::Test {
  kxsim::ScriptedInstrument model;
  std::unique_ptr<kxsim::FaultyInstrument> faulty;
  std::unique_ptr<kxsim::SerialWire> wire;
  uint32_t now = 1000;

  void SetUp() override { Make(0); }
  void Make(uint32_t replyDelayMs) {
    faulty = std::make_unique<kxsim::FaultyInstrument>(model, 1, kxsim::FaultPlan{}, replyDelayMs);
    wire = std::make_unique<kxsim::SerialWire>(*faulty);
  }
  void Feed(const Bytes& b) { wire->Receive(b.data(), b.size(), now); }
  Bytes Out() { return wire->TakeOutput(now); }
  void Advance(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) wire->Tick(++now);
  }
};

// Each case goes to a fresh wire over a model that answers nothing: what the wire
// answers at once | after a second of silence, and the requests the model gets.
// Whatever came before, the next good frame is taken.
TEST_F(SimWire, FramesAreTakenOrRefusedAndPutTogether) {
  model.SetHandler([](const Bytes&) { return std::nullopt; });
  const Bytes request = Message(14, 2), frame = Frame(0x2300, request), largest = Message(7, 1, Pattern(4074));
  const Bytes a = Pattern(600, 1), b = Pattern(600, 2), c = Pattern(50, 3);
  Bytes badCrc = frame;
  badCrc[12] ^= 0x40;
  const struct { const char* name; Bytes bytes; bool byteByByte; const char* order; std::vector<Bytes> taken; }
  cases[] = {
      {"the 22-byte example", testsupport::kSerialNumberFrame, false, "A|", {Message(14, 5)}},
      {"lower-case tag, a byte every 3 ms", Frame(0x2300, request, "packet"), true, "A|", {request}},
      {"mixed-case tag", Frame(0x2300, request, "PaCkEt"), false, "A|", {request}},
      {"garbage, a broken tag, a stray 'P'", Join({{'x', 'P', 'A', 'C', 'P', 0xFF, 'p'}, frame}), false, "A|", {request}},
      {"flags' low byte not 0 (CRC right)", Frame(0x2301, request), false, "|", {}},
      {"bad CRC", badCrc, false, "N|", {}},
      {"Length past the receive buffer", {'P', 'A', 'C', 'K', 'E', 'T', 0, 0x23, 0xF5, 0x0F}, false, "N|", {}},
      {"the largest frame that fits", Frame(0x2300, largest), false, "A|", {largest}},
      {"a frame that stops part-way", Bytes(frame.begin(), frame.begin() + 15), false, "|N", {}},
      {"less than a tag", {'P', 'A', 'C'}, false, "|", {}},
      {"start, middle, end", Join({Frame(0x0300, a), Frame(0x0200, b), Frame(0x2200, c)}), false, "AAA|", {Join({a, b, c})}},
      {"an end without a start", Join({Frame(0x2200, c), Frame(0x2300, a)}), false, "AA|", {a}},
      {"a second start", Join({Frame(0x0300, a), Frame(0x0300, b), Frame(0x2200, c)}), false, "AAA|", {Join({b, c})}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Make(0);
    const size_t before = model.RequestCount();
    for (size_t i = 0; i < k.bytes.size(); i += k.byteByByte ? 1 : k.bytes.size()) {
      Feed(k.byteByByte ? Bytes{k.bytes[i]} : k.bytes);
      Advance(k.byteByByte ? 3 : 0);
    }
    const std::string first = TakeApart(Out()).order;
    Advance(1000);
    EXPECT_EQ(first + "|" + TakeApart(Out()).order, k.order);
    const std::vector<Bytes> requests = model.Requests();
    EXPECT_EQ(std::vector<Bytes>(requests.begin() + static_cast<std::ptrdiff_t>(before), requests.end()), k.taken);
    Feed(frame);
    EXPECT_EQ(TakeApart(Out()).order, "A") << "the frame after";
    EXPECT_EQ(model.Requests().back(), request);
  }
}

// A reply exchange as a script of steps "<op><n>:<expected>", the model answering each
// request of Type t with Pattern(length, t). Ops: R request of Type n, r the same without
// reading the answer, A/a ACK, N NAK, W advance n ms, T take n bytes only, d take n bytes
// and drop them (lower-case ops read nothing). Expected: items as TakeApart names them.
// Every packet's data continues the reply.
TEST_F(SimWire, RepliesGoPacketByPacketWithResendsAndAbandons) {
  const std::string nakThenSilence = "N:S N:S N:S N:S W1499: W1:S W1499: W1:S W1499: W1:S W1499: W1:S W1499: W1:S";
  const struct { const char* name; size_t length; uint32_t delayMs; std::string script; uint64_t sent, abandoned, stray; }
  cases[] = {
      {"each packet after the host's ACK", 1250, 0, "r2 T20:A a W0:S W100: A:M W100: A:E A:", 1, 0, 1},
      {"ten transmissions of a first packet", 700, 0, "r2 W5000:AS " + nakThenSilence + " W1500: A:", 0, 1, 1},
      {"ten transmissions, the last NAKed", 700, 0, "R2:AS N:S N:S N:S N:S N:S N:S N:S N:S N:S N: A:", 0, 1, 1},
      {"a later packet never again on silence", 700, 0, "R2:AS A:E W1500:", 0, 1, 0},
      {"a new request drops the unsent bytes", 400, 0, "r2 d30 R3:AO A:", 1, 1, 0},
      {"a new request drops a delayed reply", 400, 500, "R2:A W100: R4:A W499: W1:O A:", 1, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Make(c.delayMs);
    model.SetHandler([&c](const Bytes& req) { return Pattern(c.length, req[2]); });
    std::istringstream steps(c.script);
    Bytes carry, joined, reply;
    for (std::string step; steps >> step;) {
      const char op = step[0];
      const std::string expected = step.substr(step.find(':') + 1);
      const uint32_t n = static_cast<uint32_t>(std::strtoul(step.c_str() + 1, nullptr, 10));
      if (op == 'R' || op == 'r') {
        Feed(Frame(0x2300, Message(14, static_cast<uint16_t>(n))));
        reply = Pattern(c.length, n);
      }
      if (op == 'A' || op == 'a' || op == 'N') Feed({op == 'N' ? kxsim::kNak : kxsim::kAck});
      if (op == 'W') Advance(n);
      if (op == 'd') (void)wire->TakeOutput(now, n);
      if (op < 'A' || op > 'Z') continue;
      const Bytes out = wire->TakeOutput(now, op == 'T' ? n : SIZE_MAX);
      carry.insert(carry.end(), out.begin(), out.end());
      const auto got = TakeApart(carry);
      carry.erase(carry.begin(), carry.begin() + static_cast<std::ptrdiff_t>(got.used));
      for (const auto& frame : got.frames) {
        EXPECT_TRUE(frame.crcOk);
        if (frame.flags & 0x0100) joined.clear();
        joined.insert(joined.end(), frame.data.begin(), frame.data.end());
        ASSERT_LE(joined.size(), reply.size()) << step;
        EXPECT_TRUE(std::equal(joined.begin(), joined.end(), reply.begin())) << step << ": the reply's bytes, in order";
      }
      EXPECT_EQ(got.order, expected) << step;
    }
    EXPECT_EQ(std::tuple(carry.empty(), wire->Busy(), wire->Stats().repliesSent, wire->Stats().repliesAbandoned,
                         wire->Stats().strayAckNaks), std::tuple(true, false, c.sent, c.abandoned, c.stray));
  }
}

// Random bytes with good frames among them: every frame is found, nothing runs past a
// buffer (the sanitizers watch), the engine never blocks up, and the requests it keeps
// for tests stay bounded.
TEST_F(SimWire, FramesAreFoundAmongRandomBytes) {
  model.SetHandler([](const Bytes&) { return std::nullopt; });
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0xFF; };
  Bytes payload;
  for (uint32_t round = 0; round < 300; ++round) {
    Bytes noise(next() % 40);
    for (auto& b : noise) b = next() % 8 == 0 ? 'P' : static_cast<uint8_t>(next());
    payload = Pattern(10 + next() % 200, round);
    Feed(Join({noise, Frame(0x2300, payload)}));
    ASSERT_EQ(model.RequestCount(), round + 1) << "round " << round;
    EXPECT_EQ(model.Requests().back(), payload);
  }
  EXPECT_EQ(wire->Stats().requests.size(), 256u);
  EXPECT_EQ(wire->Stats().requests.back(), payload);
  for (int i = 0; i < 20000; ++i) {  // pure noise, long enough to hold every kind of half frame
    Feed({static_cast<uint8_t>(next())});
    if (i % 97 == 0) Advance(1100);
  }
  Advance(1100);
  EXPECT_FALSE(wire->Busy());
}

// Through changes of rate, the bytes that pass in a second, taking every allowance at
// once, are the line's byte rate (within two milliseconds' worth); a pause earns no burst.
TEST(SimPacer, CarriesTheLinesByteRateWithoutBursts) {
  kxsim::Pacer p;
  EXPECT_GT(p.Allowance(0), 1u << 30) << "unpaced";
  uint32_t t = 0;
  for (const uint32_t baud : {9600u, 57600u, 300u, 2400u, 19200u}) {
    p.SetBaud(baud);
    size_t total = 0;
    for (const uint32_t end = t + 1000; t <= end; ++t) {
      total += p.Allowance(t);
      p.Consume(p.Allowance(t));
    }
    t += 4000;
    EXPECT_GE(total + 1, baud / 10) << baud;
    EXPECT_LE(total, baud / 10 + 2 * baud / 10000 + 1) << baud;
  }
  p.SetBaud(300);  // one byte every 33 1/3 ms
  p.Consume(p.Allowance(t));
  EXPECT_EQ(p.Allowance(t + 10), 0u);
  EXPECT_EQ(p.MsUntilNextByte(t + 10), 24u);
  EXPECT_EQ(p.Allowance(t + 34), 1u);
  p.Consume(1);
  EXPECT_EQ(p.Allowance(t + 60000), 1u) << "a minute of silence earns no burst";
}

#ifdef KXSIM_PATH
// It prints the device name to open as its first line and stops cleanly on SIGTERM
// (timeout(1) sends it and then exits 124), with its statistics when asked for them.
// Every option it documents is taken (each fault kind by its name, at rate 0); a wrong one
// is refused with exit status 2 before any port is made.
TEST(SimKxsim, PrintsItsDeviceNameAndStopsOnSigterm) {
  const auto r = testsupport::RunProgram(
      {"/usr/bin/timeout", "2", KXSIM_PATH, "--stats", "--seed", "3", "--pace", "--line-speed-check", "-d", "0",
       "--serial", "ZX987654321", "--free", "1000", "--baud", "19200", "--card-status", "1", "-v", "--empty",
       "-f", "corrupt=0", "-f", "drop=0:both", "-f", "insert=0:from-host", "-f", "nak=0", "-f", "withhold-ack=0",
       "-f", "delay=0:2000", "-f", "no-reply=0", "-f", "wrong-class=0", "-f", "wrong-type=0",
       "-f", "wrong-record-type=0", "-f", "bad-status=0:7"});
  EXPECT_EQ(r.exitCode, 124) << r.err;
  EXPECT_EQ(r.out.rfind("COM:/dev/", 0), 0u) << r.out;
  EXPECT_NE(r.err.find("kxsim: 0 messages"), std::string::npos) << "the statistics of a clean stop: " << r.err;

  const std::vector<std::vector<std::string>> refused = {
      {"--fault", "bogus=1"}, {"--fault", "corrupt=2"}, {"--fault", "corrupt=0.1:sideways"}, {"--baud", "1234"},
      {"--seed", "x"},        {"--free", "-1"},         {"stray"},             {"--bogus"}};
  for (auto args : refused) {
    args.insert(args.begin(), KXSIM_PATH);
    const auto refusal = testsupport::RunProgram(args, 10000);
    EXPECT_EQ(refusal.exitCode, 2) << args[1] << " " << args.back();
    EXPECT_EQ(refusal.out, "") << args[1];
  }
  EXPECT_EQ(testsupport::RunProgram({KXSIM_PATH, "--help"}).out.rfind("usage: kxsim", 0), 0u);
  const auto noCard = testsupport::RunProgram({KXSIM_PATH, "--card", "/nonexistent/kxsim-card"});
  EXPECT_EQ(std::tuple(noCard.exitCode, noCard.out, noCard.err),
            std::tuple(1, "", "kxsim: /nonexistent/kxsim-card is not a folder\n"));
}

#endif  // KXSIM_PATH

}  // namespace
