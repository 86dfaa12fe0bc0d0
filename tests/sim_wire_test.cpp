// The simulator's serial wire and fault engine, driven byte by byte with a hand-made
// clock: frames taken or refused, replies packet by packet, the line pace (bytes pass at
// baud / 10 per second, with no burst after a pause); the faults each kind injects, rules
// firing when and as often as asked, a seed repeating a run exactly (reply faults come
// from the wrapped instrument, line and frame faults from the wire, all drawn from one
// generator); the kxsim program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "sim/faults.h"
#include "sim/faulty_instrument.h"
#include "sim/pacer.h"
#include "sim/scripted_instrument.h"
#include "sim/serial_wire.h"
#include "sim/wire_format.h"
#include "tests/support/bytes.h"
#include "tests/support/programs.h"

namespace {

using namespace testsupport;
using kxsim::FaultKind;
using kxsim::FaultNext;
using kxsim::FaultPlan;
using kxsim::FaultRule;

Bytes Message(uint16_t cls, uint16_t type, const Bytes& payload = {}) { return testsupport::Message(cls, type, 0, payload); }

// A record read (Class 14, Type 2) of record 0 of `recordType`: both headers, no key.
Bytes ReadOf(uint16_t recordType) { return RecordMessage(kDbRead, recordType, 0, 0); }

// What the instrument sent, in order: `order` has 'A' for ACK, 'N' for NAK, a frame by
// its flags ('S' first packet 0x0300, 'M' middle 0x0200, 'E' last 0x2200, 'O' only packet
// 0x2300, 'F' other), '?' for any other byte. A frame still arriving is left out; `used`
// counts the bytes taken apart.
struct Received {
  std::string order;
  std::vector<ParsedFrame> frames;
  size_t used = 0;
};

Received TakeApart(const Bytes& out) {
  Received r;
  for (size_t& i = r.used; i < out.size();) {
    if (out[i] == kAck || out[i] == kNak) {
      r.order += out[i++] == kAck ? 'A' : 'N';
    } else if (std::memcmp(&out[i], "PACKET", std::min<size_t>(7, out.size() - i)) == 0) {  // tag and a 0
      const size_t n = 12u + kxsim::GetU16(out, i + 8);  // Length reads as 0 while it has not come
      if (out.size() - i < n) break;
      r.frames.push_back(ParseFrames(Bytes(out.begin() + i, out.begin() + i + n)).at(0));
      const uint16_t flags = r.frames.back().flags;
      r.order += flags == 0x0300 ? 'S' : flags == 0x0200 ? 'M' : flags == 0x2200 ? 'E' : flags == 0x2300 ? 'O' : 'F';
      i += n;
    } else {
      r.order += '?', ++i;
    }
  }
  return r;
}

// The model's reply to a record read: the headers echoed, Status OK, 100 bytes of data.
std::optional<Bytes> RecordReply(const Bytes& request) {
  Bytes reply = Cat(request, Pattern(100, 7));
  reply[kAtStatus] = 1;
  return reply;
}

// A wire over a model (answering record reads until told otherwise) behind the fault
// engine, on a hand-made clock.
struct Line {
  kxsim::ScriptedInstrument model{&RecordReply};
  kxsim::FaultyInstrument faulty;
  kxsim::SerialWire wire;
  uint32_t now = 1000;
  explicit Line(FaultPlan plan = {}, uint64_t seed = 1, uint32_t replyDelayMs = 0)
      : faulty(model, seed, std::move(plan), replyDelayMs), wire(faulty, {}, &faulty.Injector()) {}
  explicit Line(FaultRule rule) : Line(FaultPlan().Add(std::move(rule))) {}
  void Feed(const Bytes& b) { wire.Receive(b.data(), b.size(), now); }
  Bytes Out(size_t n = SIZE_MAX) { return wire.TakeOutput(now, n); }
  void Advance(uint32_t ms) { for (const uint32_t end = now + ms; now < end;) wire.Tick(++now); }
  // Sends a read of `type` and returns everything the instrument answered at once, ACKing
  // it; then, `waitMs` later, what came meanwhile (not ACKed).
  Bytes Ask(uint16_t type, uint32_t waitMs = 0) {
    Feed(Frame(0x2300, ReadOf(type)));
    const Bytes out = Out();
    Feed({kAck});
    if (waitMs == 0) return out;
    wire.Tick(now += waitMs);
    return Cat({out, Out()});
  }
};

// Each case goes to a fresh wire over a model that answers nothing: what the wire
// answers at once | after a second of silence, and the requests the model gets.
// Whatever came before, the next good frame is taken.
TEST(SimWire, FramesAreTakenOrRefusedAndPutTogether) {
  const Bytes request = Message(14, 2), frame = Frame(0x2300, request), largest = Message(7, 1, Pattern(4074, 7));
  const Bytes a = Pattern(600, 1), b = Pattern(600, 2), c = Pattern(50, 3);
  Bytes badCrc = frame;
  badCrc[12] ^= 0x40;
  const struct { const char* name; Bytes bytes; bool byteByByte; const char* order; std::vector<Bytes> taken; }
  cases[] = {
      {"the 22-byte example", kSerialNumberFrame, false, "A|", {Message(14, 5)}},
      {"lower-case tag, a byte every 3 ms", Frame(0x2300, request, "packet"), true, "A|", {request}},
      {"mixed-case tag", Frame(0x2300, request, "PaCkEt"), false, "A|", {request}},
      {"garbage, a broken tag, a stray 'P'", Cat({{'x', 'P', 'A', 'C', 'P', 0xFF, 'p'}, frame}), false, "A|", {request}},
      {"flags' low byte not 0 (CRC right)", Frame(0x2301, request), false, "|", {}},
      {"bad CRC", badCrc, false, "N|", {}},
      {"Length past the receive buffer", {'P', 'A', 'C', 'K', 'E', 'T', 0, 0x23, 0xF5, 0x0F}, false, "N|", {}},
      {"the largest frame that fits", Frame(0x2300, largest), false, "A|", {largest}},
      {"a frame that stops part-way", Bytes(frame.begin(), frame.begin() + 15), false, "|N", {}},
      {"less than a tag", {'P', 'A', 'C'}, false, "|", {}},
      {"start, middle, end", Cat({Frame(0x0300, a), Frame(0x0200, b), Frame(0x2200, c)}), false, "AAA|", {Cat({a, b, c})}},
      {"an end without a start", Cat({Frame(0x2200, c), Frame(0x2300, a)}), false, "AA|", {a}},
      {"a second start", Cat({Frame(0x0300, a), Frame(0x0300, b), Frame(0x2200, c)}), false, "AAA|", {Cat({b, c})}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Line line;
    line.model.SetHandler([](const Bytes&) { return std::nullopt; });
    for (size_t i = 0; i < k.bytes.size(); i += k.byteByByte ? 1 : k.bytes.size()) {
      line.Feed(k.byteByByte ? Bytes{k.bytes[i]} : k.bytes);
      line.Advance(k.byteByByte ? 3 : 0);
    }
    const std::string first = TakeApart(line.Out()).order;
    line.Advance(1000);
    EXPECT_EQ(first + "|" + TakeApart(line.Out()).order, k.order);
    EXPECT_EQ(line.model.Requests(), k.taken);
    line.Feed(frame);
    EXPECT_EQ(TakeApart(line.Out()).order, "A") << "the frame after";
    EXPECT_EQ(line.model.Requests().back(), request);
  }
}

// A reply exchange as a script of steps "<op><n>:<expected>", the model answering each
// request of Type t with Pattern(length, t). Ops: R request of Type n, r the same without
// reading the answer, A/a ACK, N NAK, W advance n ms, T take n bytes only, d take n bytes
// and drop them (lower-case ops read nothing). Expected: items as TakeApart names them.
// Every packet's data continues the reply.
TEST(SimWire, RepliesGoPacketByPacketWithResendsAndAbandons) {
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
    Line line(FaultPlan{}, 1, c.delayMs);
    line.model.SetHandler([&c](const Bytes& req) { return Pattern(c.length, req[2]); });
    std::istringstream steps(c.script);
    Bytes carry, joined, reply;
    for (std::string step; steps >> step;) {
      const char op = step[0];
      const std::string expected = step.substr(step.find(':') + 1);
      const uint32_t n = static_cast<uint32_t>(std::strtoul(step.c_str() + 1, nullptr, 10));
      if (op == 'R' || op == 'r') {
        line.Feed(Frame(0x2300, Message(14, static_cast<uint16_t>(n))));
        reply = Pattern(c.length, n);
      }
      if (op == 'A' || op == 'a' || op == 'N') line.Feed({op == 'N' ? kNak : kAck});
      if (op == 'W') line.Advance(n);
      if (op == 'd') (void)line.Out(n);
      if (op < 'A' || op > 'Z') continue;
      const Bytes out = line.Out(op == 'T' ? n : SIZE_MAX);
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
    const kxsim::WireStats& stats = line.wire.Stats();
    EXPECT_EQ(std::tuple(carry.empty(), line.wire.Busy(), stats.repliesSent, stats.repliesAbandoned, stats.strayAckNaks),
              std::tuple(true, false, c.sent, c.abandoned, c.stray));
  }
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
  const auto r = RunProgram(
      {"/usr/bin/timeout", "2", KXSIM_PATH, "--stats", "--seed", "3", "--pace", "--line-speed-check", "-d", "0",
       "--serial", "ZX987654321", "--free", "1000", "--baud", "19200", "--card-status", "1", "-v", "--empty",
       "--autotests", "5", "--fiber", "1", "--coax", "0", "--version", "V03.20",
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
    const auto refusal = RunProgram(args, 10000);
    EXPECT_EQ(std::tuple(refusal.exitCode, refusal.out), std::tuple(2, "")) << args[1] << " " << args.back();
  }
  EXPECT_EQ(RunProgram({KXSIM_PATH, "--help"}).out.rfind("usage: kxsim", 0), 0u);
  const auto noCard = RunProgram({KXSIM_PATH, "--card", "/nonexistent/kxsim-card"});
  EXPECT_EQ(std::tuple(noCard.exitCode, noCard.out, noCard.err),
            std::tuple(1, "", "kxsim: /nonexistent/kxsim-card is not a folder\n"));
}

#endif  // KXSIM_PATH

// A rule with one field changed.
template <typename T>
FaultRule With(FaultRule rule, T FaultRule::*field, std::type_identity_t<T> value) {
  rule.*field = value;
  return rule;
}
std::function<bool(const Bytes&)> Reads(uint16_t type) {
  return [type](const Bytes& request) { return U16(request, kAtRecType) == type; };
}

// A byte fault after skipping 20 bytes: the output is the clean one with that byte
// changed, gone, or one more before it.
TEST(SimFaults, ByteFaultsTouchOneByteGoingToTheHost) {
  const Bytes clean = Line().Ask(131);
  for (const auto& [kind, sizeChange] : {std::pair{FaultKind::kCorruptByte, 0}, {FaultKind::kDropByte, -1}, {FaultKind::kInsertByte, 1}}) {
    SCOPED_TRACE(kxsim::FaultKindName(kind));
    Bytes out = Line(FaultNext(kind, 1, 20)).Ask(131);
    ASSERT_EQ(out.size(), clean.size() + sizeChange);
    EXPECT_TRUE(sizeChange != 0 || out[20] != clean[20]) << "the byte changed";
    if (sizeChange == 0) out[20] = clean[20];
    if (sizeChange > 0) out.erase(out.begin() + 20);
    if (sizeChange < 0) out.insert(out.begin() + 20, clean[20]);
    EXPECT_EQ(out, clean) << "every other byte as it was";
  }
}

// Reply data of `size` bytes whose frame (flags 0x2300), with its byte at `lost` gone on the
// way and `next` arriving after it, still shows a good CRC: found by trying values of its
// first three bytes (about 65536 tries).
Bytes PassesWithoutByte(size_t size, size_t lost, uint8_t next) {
  Bytes data = Pattern(size, 9);
  for (uint32_t v = 0; v < (1u << 24); ++v) {
    std::tie(data[0], data[1], data[2]) = std::tuple(uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16));
    Bytes line = Frame(0x2300, data);
    line.erase(line.begin() + static_cast<std::ptrdiff_t>(lost));
    line.push_back(next);
    if (U16(line, 10 + size) == BitwiseCrc(line.data(), 10 + size)) return data;
  }
  ADD_FAILURE() << "no such data";
  return data;
}

// Damage a receiver's frame check cannot see, as the simulator tells it: what went on the
// line for a frame, and whether a receiver reading it (then an ACK or NAK, then the frame
// sent again) would take a frame with a good CRC that is not the one sent.
TEST(SimFaults, DamageTheFrameCheckCannotSeeIsTold) {
  const Bytes data = Pattern(30, 9), frame = Frame(0x2300, data), junk = {'x', 'P', 0xFF};
  const Bytes passing = PassesWithoutByte(30, 17, kAck), passingFrame = Frame(0x2300, passing);
  Bytes other = data, changed = frame, lost = frame, extra = frame, lostFromPassing = passingFrame;
  other[3] ^= 0x40;
  changed[13] ^= 0x40;
  lost.erase(lost.begin() + 20);
  extra.insert(extra.begin() + 20, 0x33);
  lostFromPassing.erase(lostFromPassing.begin() + 17);
  const struct { const char* name; Bytes sent; Bytes pristine; bool passes; } cases[] = {
      {"intact", frame, frame, false},
      {"a byte changed", changed, frame, false},
      {"a byte lost", lost, frame, false},
      {"a byte more", extra, frame, false},
      {"cut short, then sent again", Bytes(frame.begin(), frame.begin() + 20), frame, false},
      {"intact after garbage", Cat({junk, frame}), frame, false},
      {"another frame with its own good CRC", Frame(0x2300, other), frame, true},
      {"the same after garbage", Cat({junk, Frame(0x2300, other)}), frame, true},
      {"a byte lost, the CRC holding with the ACK after it", lostFromPassing, passingFrame, true},
  };
  for (const auto& c : cases) EXPECT_EQ(kxsim::PassesFrameCheck(c.sent, c.pristine), c.passes) << c.name;
}

// The line damages a frame (a byte lost) so that its CRC still holds. Going to the host,
// the wire damages it afresh (here: the rule has fired, so not at all); from the host, the
// instrument's check fails it. A plan that lets such damage through lets it through.
TEST(SimFaults, DamageTheFrameCheckCannotSeeStaysOffTheLineUnlessThePlanSaysSo) {
  constexpr size_t kLost = 17;
  const Bytes passing = PassesWithoutByte(30, kLost, kAck), passingFrame = Frame(0x2300, passing);
  Bytes damaged = passingFrame;
  damaged.erase(damaged.begin() + kLost);
  for (const bool letThrough : {false, true}) {
    SCOPED_TRACE(letThrough ? "let through" : "kept off");
    // To the host: the read's ACK, then the reply's frame.
    FaultPlan toHost = FaultPlan().Add(FaultNext(FaultKind::kDropByte, 1, 1 + kLost));
    toHost.undetectableDamage = letThrough;
    Line replying(toHost);
    replying.model.SetHandler([&](const Bytes&) { return passing; });
    EXPECT_EQ(replying.Ask(131), Cat({{kAck}, letThrough ? damaged : passingFrame}));
    EXPECT_EQ(replying.wire.Stats().undetectableDamage, 1u);
    // From the host: the frame, then an ACK.
    FaultPlan fromHost = FaultPlan().Add(With(FaultNext(FaultKind::kDropByte, 1, kLost), &FaultRule::direction,
                                              kxsim::LineDirection::kFromHost));
    fromHost.undetectableDamage = letThrough;
    Line receiving(fromHost);
    receiving.model.SetHandler([](const Bytes&) { return std::nullopt; });
    receiving.Feed(Cat({passingFrame, {kAck}}));
    EXPECT_EQ(TakeApart(receiving.Out()).order, letThrough ? "A" : "N");
    EXPECT_EQ(receiving.model.RequestCount(), letThrough ? 1u : 0u);
    EXPECT_EQ(receiving.wire.Stats().undetectableDamage, 1u);
  }
}

// Each case: one rule, then reads of record types and what comes back at once for each
// (items as TakeApart names them; every reply packet the model's reply with the field at
// `at` set to `value`, the same packet each time), and the requests the model got.
TEST(SimFaults, FrameReplyAndHostFaultsFireWhereTheRuleSays) {
  // value: at `at` of each reply packet (by default Status OK); waitMs: also take what comes this much later.
  struct Ask { uint16_t type; const char* order; uint16_t value = 1; size_t at = 4; uint32_t waitMs = 0; };
  constexpr auto kFromHost = kxsim::LineDirection::kFromHost;
  const struct { const char* name; FaultRule rule; std::vector<Ask> asks; size_t taken; } cases[] = {
      {"NAK two good frames", FaultNext(FaultKind::kNakGoodFrame, 2), {{131, "N"}, {131, "N"}, {131, "AO"}}, 1},
      {"withhold an ACK", FaultNext(FaultKind::kWithholdAck), {{131, "O"}, {131, "AO"}}, 2},
      {"drop a reply", FaultNext(FaultKind::kDropReply), {{131, "A"}, {131, "AO"}}, 2},
      {"spoil a byte from the host", With(FaultNext(FaultKind::kCorruptByte, 1, 12), &FaultRule::direction, kFromHost),
       {{131, "N"}, {131, "AO"}}, 1},
      {"lose every byte from the host", kxsim::FaultAtRate(FaultKind::kDropByte, 1.0, kFromHost), {{131, ""}}, 0},
      {"a status for one record type", kxsim::FaultWhen(FaultKind::kBadStatus, Reads(3841)),
       {{131, "AO"}, {3841, "AO", 2}, {131, "AO"}, {3841, "AO", 2}}, 4},
      {"another status, once", With(FaultNext(FaultKind::kBadStatus), &FaultRule::status, 251),
       {{131, "AO", 251}, {131, "AO"}}, 2},
      {"a wrong class, once", FaultNext(FaultKind::kWrongClass), {{131, "AO", 15, 0}, {131, "AO", 14, 0}}, 2},
      {"a wrong type", FaultNext(FaultKind::kWrongType), {{131, "AO", 3, 2}, {131, "AO", 2, 2}}, 2},
      {"a wrong record type", FaultNext(FaultKind::kWrongRecordType), {{131, "AO", 132, 10}, {131, "AO", 131, 10}}, 2},
      {"a reply held back", With(FaultNext(FaultKind::kDelayReply), &FaultRule::delayMs, 700), {{131, "A", 1, 4, 699}}, 1},
      {"a reply held back until due", With(FaultNext(FaultKind::kDelayReply), &FaultRule::delayMs, 700),
       {{131, "AO", 1, 4, 700}}, 1},
      // The ACK of the packet is taken as lost: the same packet comes again on the time-out, once.
      {"send a reply packet twice", FaultNext(FaultKind::kDuplicatePacket), {{131, "AOO", 1, 4, 1500}, {131, "AO", 1, 4, 2000}},
       2},
      {"not before the time-out, and not after a new request", FaultNext(FaultKind::kDuplicatePacket),
       {{131, "AO", 1, 4, 1499}, {131, "AO", 1, 4, 2000}}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Line ex(c.rule);
    for (const Ask& ask : c.asks) {
      const auto got = TakeApart(ex.Ask(ask.type, ask.waitMs));
      EXPECT_EQ(got.order, ask.order);
      Bytes expected = *RecordReply(ReadOf(ask.type));
      kxsim::PutU16(expected, ask.at, ask.value);
      for (const auto& frame : got.frames) EXPECT_EQ(frame.data, expected) << "that field and nothing else";
    }
    EXPECT_EQ(ex.model.RequestCount(), c.taken);
  }
  // Byte faults can be aimed at the replies to some requests too.
  Line aimed(kxsim::FaultWhen(FaultKind::kCorruptByte, Reads(772)));
  EXPECT_TRUE(TakeApart(aimed.Ask(131)).frames.at(0).crcOk);
  const auto spoiled = TakeApart(aimed.Ask(772));
  EXPECT_TRUE(spoiled.frames.empty() || !spoiled.frames[0].crcOk);
}

TEST(SimFaults, SkipCountAndRateDecideWhichOccasionsFire) {
  kxsim::FaultInjector f(9);
  f.SetPlan(FaultPlan().Add(FaultNext(FaultKind::kDropReply, 2, 3)));
  std::string fired;
  const Bytes any = {1};
  for (int i = 0; i < 8; ++i) fired += f.Fire(FaultKind::kDropReply, &any) ? 'x' : '.';
  EXPECT_EQ(fired, "...xx...");
  EXPECT_EQ(f.Fire(FaultKind::kBadStatus, &any), nullptr);

  for (const double rate : {0.0, 0.01}) {
    kxsim::FaultInjector r(42);
    r.SetPlan(FaultPlan().Add(kxsim::FaultAtRate(FaultKind::kCorruptByte, rate)));
    size_t hits = 0;
    for (int i = 0; i < 100000; ++i) hits += r.Fire(FaultKind::kCorruptByte, nullptr) != nullptr;
    EXPECT_NEAR(static_cast<double>(hits), rate * 100000, 150) << rate;
    EXPECT_EQ(r.Fired()[static_cast<size_t>(FaultKind::kCorruptByte)], hits);
  }
}

TEST(SimFaults, TheSameSeedRepeatsARunAndAnotherSeedDoesNot) {
  const auto run = [](uint64_t seed) {
    FaultPlan plan;
    for (auto kind : {FaultKind::kCorruptByte, FaultKind::kDropByte, FaultKind::kInsertByte, FaultKind::kBadStatus}) {
      plan.Add(kxsim::FaultAtRate(kind, 0.02));
    }
    Line ex(plan, seed);
    Bytes all;
    for (uint16_t t = 0; t < 20; ++t) all = Cat({all, ex.Ask(t)});
    return all;
  };
  EXPECT_EQ(run(5), run(5));
  EXPECT_NE(run(5), run(6));
}

}  // namespace
