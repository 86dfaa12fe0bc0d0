// The services on a bad line: bytes corrupted, dropped and inserted by the simulator,
// and a line where nothing answers at all. Every call must return the right data or one
// of its documented error codes, within its time-outs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>

#include "platform/platform.h"
#include "services/card_access.h"
#include "tests/support/frames.h"
#include "tests/support/line_peer.h"
#include "tests/support/scanner_session.h"

namespace {

using namespace testsupport;

// The longest a call may take, in library time, with `retries` tolerated failures of the
// send (an unanswered packet: 3 s, then the quiet drain) and of the wait (a little over
// one second of silence each), and room for the exchange itself.
constexpr uint32_t CallBoundMs(uint32_t retries) { return retries * (3000 + 500) + retries * 1200 + 5000; }

// A keyed record written by pass i; its first 21 bytes ("LINK-nnnn") are the key.
Bytes LinkRecord(int i) {
  Bytes record = Pattern(200 + (i % 7) * 150, 1000 + i);
  char key[21] = {};
  std::snprintf(key, sizeof key, "LINK-%04d", i % 25);
  std::copy(key, key + sizeof key, record.begin());
  return record;
}

class NoisyLineTest : public ScannerSessionTest {
 protected:
  void Configure(kxsim::ServerOptions& options) override {
    // Host and instrument share one clock, so the whole exchange runs faster than real time.
    options.clock = [] { return platform::TickCount(); };
    options.seed = 20261205;
  }
};

TEST_F(NoisyLineTest, ReadsAndWritesReturnTheRightDataOrADocumentedError) {
  platform::SetClockSpeed(40);
  Open("57600");
  // One byte in 1000 damaged: a third of them changed, a third lost, a third with a stray byte before them.
  kxsim::FaultPlan plan;
  for (auto kind : {kxsim::FaultKind::kCorruptByte, kxsim::FaultKind::kDropByte, kxsim::FaultKind::kInsertByte}) {
    plan.Add(kxsim::FaultAtRate(kind, 1.0 / 3000, kxsim::LineDirection::kBoth));
  }
  server->SetFaults(plan);
  constexpr int kRecords = 40;
  for (int i = 0; i < kRecords; ++i) scanner.PutRecord(kUserPrefRec, static_cast<uint16_t>(i), Pattern(82 + i * 37, i));
  int reads = 0, writes = 0;
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE(i);
    uint16_t number = static_cast<uint16_t>(i % kRecords), length = 4096;
    Bytes buffer(4096, 0);
    uint32_t error = 0, t0 = platform::TickCount();
    const bool read = KXReadRecord(kUserPrefRec, &number, buffer.data(), &length, &error);
    if (read) {
      ASSERT_EQ(std::tuple(number, Head(buffer, length)), std::tuple(i % kRecords, *scanner.GetRecord(kUserPrefRec, number)));
    }
    EXPECT_TRUE(read || error == KXERR_COMM || error == KXERR_NO_SCANNER) << std::hex << error;
    EXPECT_LE(platform::TickCount() - t0, CallBoundMs(10));
    // Keyed writes: a record written twice (a lost acknowledgement) replaces itself.
    const Bytes record = LinkRecord(i);
    t0 = platform::TickCount();
    const bool written = KXWriteRecord(kKeyed3847, record.data(), static_cast<uint16_t>(record.size()), &error);
    if (written) { EXPECT_EQ(scanner.FindRecord(kKeyed3847, Head(record, 21)).value_or(kxsim::Scanner::Record{}).data, record); }
    EXPECT_TRUE(written || error == KXERR_COMM || error == KXERR_NO_SCANNER) << std::hex << error;
    EXPECT_LE(platform::TickCount() - t0, CallBoundMs(35));
    reads += read, writes += written;
  }
  // Whatever the instrument holds is data a host wrote, never a damaged copy.
  for (const auto& r : scanner.Records(kKeyed3847)) {
    bool matches = false;
    const int first = std::atoi(reinterpret_cast<const char*>(r.data.data()) + 5);  // the key's number: pass mod 25
    for (int i = first; i < 200 && !matches; i += 25) matches = LinkRecord(i) == r.data;
    EXPECT_TRUE(matches) << "record " << r.number;
  }
  EXPECT_GT(reads, 180);  // at 1 in 1000 bytes nearly every call gets through
  EXPECT_GT(writes, 180);
}

// A reply packet received twice (its ACK lost, so the instrument sends it again) makes a
// reply longer than its headers say. Each row aims the fault at one packet of the replies
// to one request type: the call fails delivering nothing new, or delivers the right
// bytes, never others; asked again, it delivers them.
TEST_F(NoisyLineTest, APacketReceivedTwiceNeverAltersWhatACallDelivers) {
  // Slower than the other noisy-line tests: at 40x the instrument's 1.5 s acknowledgement
  // time-out is under 40 ms, short enough for a busy machine to provoke a genuine re-send.
  platform::SetClockSpeed(10);
  Open("57600");
  const Bytes record = Pattern(1420, 17), file = Pattern(20000, 18);  // 3 packets; 14 per 7930-byte piece
  scanner.PutRecord(kUserPrefRec, 3, record);
  scanner.card().AddFile("\\DUP\\A.BIN", file);
  const std::string local = "/tmp/kxlib-duplicate-" + std::to_string(getpid());
  Bytes got;  // what the call delivered
  const auto read = [&](uint32_t* e) {
    uint16_t number = 3, length = 2000;
    got.assign(length, 0xEE);
    const int r = KXReadRecord(kUserPrefRec, &number, got.data(), &length, e);
    return got.resize(length), r;
  };
  const auto copy = [&](uint32_t* e) {
    const int r = mmcReadFile("\\DUP\\A.BIN", local.c_str(), e);
    std::ifstream in(local, std::ios::binary);
    return got.assign(std::istreambuf_iterator<char>(in), {}), r;
  };
  const auto fired = [&] { return server->Stats().faultsInjected[size_t(kxsim::FaultKind::kDuplicatePacket)]; };
  // type: of the requests whose replies the fault is aimed at; packet: the one sent twice, from 0.
  const struct { const char* name; uint16_t type; uint32_t packet; std::function<int(uint32_t*)> call; int result;
                 Bytes delivered; const Bytes& intact; } rows[] = {
      {"the middle packet of a record", kDbRead, 1, read, 0, Bytes(2000, 0xEE), record},
      {"the last packet of a record, once the reply is whole", kDbRead, 2, read, 1, record, record},
      {"a middle packet of the first file piece", 15, 1, copy, 0, {}, file},
      {"a middle packet of the last file piece", 15, 30, copy, 0, Head(file, 15860), file},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    uint32_t space = 0, error = 0;
    KXGetVEXADBaseFreeSpace(&space, &error);  // once answered, the last row's ACKs are taken
    auto rule = kxsim::FaultWhen(
        kxsim::FaultKind::kDuplicatePacket, [t = row.type](const Bytes& r) { return U16(r, kAtType) == t; }, 1);
    rule.skip = row.packet;
    server->SetFaults(kxsim::FaultPlan().Add(rule));
    const uint64_t before = fired();
    EXPECT_EQ(std::tuple(row.call(&error), error, got), std::tuple(row.result, row.result ? 0u : KXERR_COMM, row.delivered));
    EXPECT_EQ(std::tuple(row.call(&error), error, got), std::tuple(1, 0u, row.intact));
    EXPECT_EQ(fired() - before, 1u);
  }
  std::remove(local.c_str());
}

// requests: on a dead line, one per tolerated failure (0: not tried there), each of Class
// `cls` and Type `type`; closedResult, closedError: with no session open.
struct ServiceRow {
  const char* name;
  std::function<int32_t(uint32_t* error)> call;
  size_t requests = 0;
  uint16_t cls = 0, type = 0;
  int32_t closedResult = 0;
  uint32_t closedError = KXERR_NOT_OPEN;
};

// With no session open every call reports its own code and sends nothing. On a line where
// nothing answers every call gives up with KXERR_COMM within its time-outs, having sent its
// request once per tolerated failure.
using DeadLineTest = PeerTest;

TEST_F(DeadLineTest, EveryServiceGivesUpWithItsCode) {
  uint8_t buffer[64] = {};
  uint16_t n = 0, l = 64;
  uint32_t freeSpace = 7, size = 18;
  char serial[12] = "untouched!";
  const ServiceRow rows[] = {
      {"read", [&](uint32_t* e) { return KXReadRecord(kVersionRec, &n, buffer, &l, e); }, 10, 14, kDbRead},
      {"by size", [&](uint32_t* e) { return KXReadRecordBySize(kVersionRec, &n, buffer, &l, e); }},
      {"normal", [&](uint32_t* e) { return KXReadRecordNormalPersistence(kVersionRec, &n, buffer, &l, e); }, 2, 14, kDbRead},
      {"with key", [&](uint32_t* e) { return KXReadRecordWithKey(kVersionRec, &n, buffer, &l, e, "k", 1, 0); }},
      {"by key, retries", [&](uint32_t* e) { return KXReadRecByKeyWithRetry(kVersionRec, &n, buffer, &l, e, nullptr, 0, 0, 3); }},
      {"by size, retries", [&](uint32_t* e) { return KXReadRecBySizeWithRetry(kVersionRec, &n, buffer, &l, e, nullptr, 0, 0, 3); }},
      // The free-space query fails first, so the record itself never goes out.
      {"write", [&](uint32_t* e) { return KXWriteRecord(kUserPrefRec, buffer, 64, e); }, 10, 14, kDbInfo},
      {"update", [&](uint32_t* e) { return KXUpdateRecord(kVersionRec, 0, buffer, 4, e); }},
      {"delete", [&](uint32_t* e) { return KXDeleteRecord(kUserPrefRec, 1, e); }, 2, 14, kDbDelete},
      {"notify", [&](uint32_t* e) { return KXNotify(kUserPrefRec, buffer, 10, e); }, 2, 5, kUserPrefRec},
      // A failed query leaves the free space at 0, and counts as full.
      {"free space", [&](uint32_t* e) { return KXGetVEXADBaseFreeSpace(&freeSpace, e) + int32_t(freeSpace); }, 10, 14,
       kDbInfo, 0, KXERR_DEVICE_NOT_OPEN},
      {"coalesce status", [&](uint32_t* e) { return int32_t(KXGetFlashCoalesceStatus(10, 0, e)); }, 10, 14, kDbInfo, 1,
       KXERR_DEVICE_NOT_OPEN},
      {"command", [&](uint32_t* e) { return KXSendCommand(7, 40, buffer, 4, buffer, &l, e); }, 2, 7, 40},
      {"get data ID", [&](uint32_t* e) { return KXGetDataID(705, buffer, &l, e); }, 2, 7, kGetDataId},
      {"set data ID", [&](uint32_t* e) { return KXSetDataID(1, buffer, 2, e); }},
      {"model", [&](uint32_t* e) { return KXID(e); }},
      {"version", [&](uint32_t* e) { return KXVersion(reinterpret_cast<char*>(buffer), e); }},
      {"PDF version", [&](uint32_t* e) { return KXCheckPDFVersion(e); }},
      {"serial number", [&](uint32_t* e) { return *e = 0, KXGetSerialNumber(serial); }, 0, 0, 0, 0, 0},
      {"card access", [&](uint32_t* e) { return int32_t(KXAccessMMC(MMC_CARD_STATUS, nullptr, 0, buffer, &size, e)); }},
  };
  for (const ServiceRow& r : rows) {
    SCOPED_TRACE(r.name);
    NewLine(50);
    UseCount = 0;  // the port open, the session not
    uint32_t error = 12345;
    freeSpace = 7;
    EXPECT_EQ((std::tuple{r.call(&error), error}), std::tuple(r.closedResult, r.closedError));
    EXPECT_EQ(peer->Read(20), Bytes{});
    if (r.requests == 0) continue;
    UseCount = 1;
    error = 0, freeSpace = 7;
    const uint32_t t0 = platform::TickCount();
    // The same result as with no session.
    EXPECT_EQ((std::tuple{r.call(&error), error}), std::tuple(r.closedResult, uint32_t{KXERR_COMM}));
    // A pass of a waiting loop is about a real millisecond, 50 ms of library time here.
    EXPECT_LE(platform::TickCount() - t0, CallBoundMs(static_cast<uint32_t>(r.requests)) + 1500);
    const auto frames = ParseFrames(peer->Read(100));
    EXPECT_EQ(frames.size(), r.requests);
    for (const auto& f : frames) EXPECT_EQ(Head(f.data, 4), Head(Message(r.cls, r.type, 0), 4));
  }
  EXPECT_STREQ(serial, "untouched!");
}

}  // namespace
