// The services on a bad line: bytes corrupted, dropped and inserted by the simulator,
// and a line where nothing answers at all. Every call must return the right data or one
// of its documented error codes, within its time-outs.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "platform/platform.h"
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
  std::snprintf(reinterpret_cast<char*>(record.data()), 21, "LINK-%04d", i % 25);
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
    uint16_t number = static_cast<uint16_t>(i % kRecords), length = 4096;
    Bytes buffer(4096, 0);
    uint32_t error = 0;
    uint32_t t0 = platform::TickCount();
    if (KXReadRecord(kUserPrefRec, &number, buffer.data(), &length, &error)) {
      ++reads;
      ASSERT_EQ(number, i % kRecords) << "read " << i;
      ASSERT_EQ(Head(buffer, length), *scanner.GetRecord(kUserPrefRec, number)) << "read " << i;
    } else {
      EXPECT_TRUE(error == KXERR_COMM || error == KXERR_NO_SCANNER) << std::hex << error << " read " << i;
    }
    EXPECT_LE(platform::TickCount() - t0, CallBoundMs(10)) << "read " << i;
    // Keyed writes: a record written twice (a lost acknowledgement) replaces itself.
    const Bytes record = LinkRecord(i);
    t0 = platform::TickCount();
    if (KXWriteRecord(kKeyed3847, record.data(), static_cast<uint16_t>(record.size()), &error)) {
      ++writes;
      auto stored = scanner.FindRecord(kKeyed3847, Head(record, 21));
      ASSERT_TRUE(stored.has_value()) << "write " << i;
      EXPECT_EQ(stored->data, record) << "write " << i;
    } else {
      EXPECT_TRUE(error == KXERR_COMM || error == KXERR_NO_SCANNER) << std::hex << error << " write " << i;
    }
    EXPECT_LE(platform::TickCount() - t0, CallBoundMs(35)) << "write " << i;
  }
  // Whatever the instrument holds is data a host wrote, never a damaged copy.
  for (const auto& r : scanner.Records(kKeyed3847)) {
    bool matches = false;
    for (int i = std::atoi(reinterpret_cast<const char*>(r.data.data()) + 5); i < 200 && !matches; i += 25) {
      matches = LinkRecord(i) == r.data;
    }
    EXPECT_TRUE(matches) << "record " << r.number;
  }
  EXPECT_GT(reads, 180);  // at 1 in 1000 bytes nearly every call gets through
  EXPECT_GT(writes, 180);
}

struct DeadRow {
  const char* name;
  std::function<int16_t(uint32_t* error)> call;
  uint16_t cls, type;  // of every request sent
  size_t requests;     // one per tolerated failure
  const char* trace;   // the failure's trace line
};

// Nothing on the line: every call gives up with its code within its time-outs, having sent
// its request once per tolerated failure.
using DeadLineTest = PeerTest;

TEST_F(DeadLineTest, EveryServiceGivesUpWithinItsTimeOuts) {
  uint8_t buffer[64] = {};
  uint16_t n = 0, l = 64;
  uint32_t freeSpace = 7;
  const char *kReadFailed = " KXReadRecord Error - Couldn't Send ",
             *kInfoFailed = "KXDataBaseReportDBInfo() Error - Couldn't send Message ";
  const DeadRow rows[] = {
      {"read", [&](uint32_t* e) { return KXReadRecord(kVersionRec, &n, buffer, &l, e); }, 14, kDbRead, 10, kReadFailed},
      {"read, normal", [&](uint32_t* e) { return KXReadRecordNormalPersistence(kVersionRec, &n, buffer, &l, e); }, 14,
       kDbRead, 2, kReadFailed},
      // The free-space query fails first, so the record itself never goes out.
      {"write", [&](uint32_t* e) { return KXWriteRecord(kUserPrefRec, buffer, 64, e); }, 14, kDbInfo, 10, kInfoFailed},
      {"delete", [&](uint32_t* e) { return KXDeleteRecord(kUserPrefRec, 1, e); }, 14, kDbDelete, 2,
       " KXDeleteRecord Error - SendMessage Failed "},
      {"notify", [&](uint32_t* e) { return KXNotify(kUserPrefRec, buffer, 10, e); }, 5, kUserPrefRec, 2, nullptr},
      // A failed query leaves the free space at 0, and counts as full.
      {"free space", [&](uint32_t* e) { return int16_t(KXGetVEXADBaseFreeSpace(&freeSpace, e) + freeSpace); }, 14,
       kDbInfo, 10, kInfoFailed},
      {"coalesce status", [&](uint32_t* e) { return int16_t(KXGetFlashCoalesceStatus(10, 0, e) - 1); }, 14, kDbInfo, 10,
       kInfoFailed},
      {"data ID", [&](uint32_t* e) { return KXGetDataID(705, buffer, &l, e); }, 7, kGetDataId, 2,
       " KXGetDataID Error - Send Failed "},
      {"command", [&](uint32_t* e) { return KXSendCommand(7, 40, buffer, 4, buffer, &l, e); }, 7, 40, 2,
       " KXSendCommand Error - Send Failed "},
  };
  for (const DeadRow& r : rows) {
    SCOPED_TRACE(r.name);
    NewLine(50);
    uint32_t error = 0;
    const uint32_t t0 = platform::TickCount();
    EXPECT_EQ(r.call(&error), 0);
    // A pass of a waiting loop is about a real millisecond, 50 ms of library time here.
    EXPECT_LE(platform::TickCount() - t0, CallBoundMs(static_cast<uint32_t>(r.requests)) + 1500);
    EXPECT_EQ(error, KXERR_COMM);
    if (r.trace) { EXPECT_EQ(CountTrace(r.trace), 1); }
    const auto frames = ParseFrames(peer->Read(100));
    EXPECT_EQ(frames.size(), r.requests);
    for (const auto& f : frames) EXPECT_EQ(Head(f.data, 4), Head(Message(r.cls, r.type, 0), 4));
  }
}

}  // namespace
