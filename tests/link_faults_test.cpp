// The record services on a bad line: bytes corrupted, dropped and inserted by the
// simulator, and a line where nothing answers at all. Every call must return the right
// data or one of its documented error codes, within its time-outs.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "platform/platform.h"
#include "services/record.h"
#include "tests/support/line_peer.h"
#include "tests/support/scanner_session.h"

using kxsim::Bytes;

namespace {

constexpr uint32_t kClockSpeed = 40;

// The longest a record call may take, in library time: every tolerated failure of the
// send (an unanswered packet: 3 s, then the quiet drain) and of the wait (a little over
// one second of silence each), with room for the exchange itself.
constexpr uint32_t kRecordCallBoundMs = 10 * (3000 + 500) + 10 * 1200 + 5000;
constexpr uint32_t kCoalescingWriteBoundMs = 35 * (3000 + 500) + 35 * 1200 + 5000;

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((seed * 2654435761u + i * 97) >> 7);
  return b;
}

class NoisyLineTest : public testsupport::ScannerSessionTest {
 protected:
  void Configure(kxsim::ServerOptions& options) override {
    // Host and instrument share one clock, so the whole exchange runs faster than real time.
    options.clock = [] { return platform::TickCount(); };
    options.seed = 20261205;
  }
  void SetUp() override {
    ScannerSessionTest::SetUp();
    platform::SetClockSpeed(kClockSpeed);
    Open("57600");
    // One byte in 1000 damaged in all: a third of them changed, a third lost, and a
    // third with a stray byte before them.
    kxsim::FaultPlan plan;
    for (auto kind : {kxsim::FaultKind::kCorruptByte, kxsim::FaultKind::kDropByte, kxsim::FaultKind::kInsertByte}) {
      plan.Add(kxsim::FaultAtRate(kind, 1.0 / 3000, kxsim::LineDirection::kBoth));
    }
    server->SetFaults(plan);
  }
};

TEST_F(NoisyLineTest, ReadsAndWritesReturnTheRightDataOrADocumentedError) {
  constexpr int kRecords = 40;
  for (int i = 0; i < kRecords; ++i) scanner.PutRecord(USER_UPREF_RECORD, static_cast<uint16_t>(i), Pattern(82 + i * 37, i));

  const std::set<uint32_t> readCodes = {KXERR_COMM, KXERR_NO_SCANNER};
  const std::set<uint32_t> writeCodes = {KXERR_COMM, KXERR_NO_SCANNER};
  int readsDone = 0, writesDone = 0;
  std::map<uint32_t, int> readErrors, writeErrors;
  uint32_t longest = 0;

  for (int i = 0; i < 200; ++i) {
    const uint16_t n = static_cast<uint16_t>(i % kRecords);
    uint16_t number = n;
    Bytes buffer(4096, 0);
    uint16_t length = static_cast<uint16_t>(buffer.size());
    uint32_t error = 0;
    uint32_t t0 = platform::TickCount();
    const int16_t got = KXReadRecord(USER_UPREF_RECORD, &number, buffer.data(), &length, &error);
    uint32_t took = platform::TickCount() - t0;
    longest = std::max(longest, took);
    EXPECT_LE(took, kRecordCallBoundMs) << "read " << i;
    if (got) {
      ++readsDone;
      const Bytes expected = *scanner.GetRecord(USER_UPREF_RECORD, number);
      ASSERT_EQ(number, n) << "read " << i;
      ASSERT_EQ(Bytes(buffer.begin(), buffer.begin() + length), expected) << "read " << i;
    } else {
      ++readErrors[error];
      EXPECT_TRUE(readCodes.count(error)) << std::hex << error << " read " << i;
    }

    // Keyed writes: a record written twice (a lost acknowledgement) replaces itself.
    Bytes record = Pattern(200 + (i % 7) * 150, 1000 + i);
    std::snprintf(reinterpret_cast<char*>(record.data()), 21, "LINK-%04d", i % 25);
    t0 = platform::TickCount();
    const int16_t wrote = KXWriteRecord(KEYED_RECORD_3847, record.data(), static_cast<uint16_t>(record.size()), &error);
    took = platform::TickCount() - t0;
    longest = std::max(longest, took);
    EXPECT_LE(took, kCoalescingWriteBoundMs) << "write " << i;
    if (wrote) {
      ++writesDone;
      auto stored = scanner.FindRecord(KEYED_RECORD_3847, Bytes(record.begin(), record.begin() + 21));
      ASSERT_TRUE(stored.has_value()) << "write " << i;
      EXPECT_EQ(stored->data, record) << "write " << i;
    } else {
      ++writeErrors[error];
      EXPECT_TRUE(writeCodes.count(error)) << std::hex << error << " write " << i;
    }
  }
  // Whatever the instrument holds is data a host wrote, never a damaged copy.
  for (const auto& r : scanner.Records(KEYED_RECORD_3847)) {
    const int link = std::atoi(reinterpret_cast<const char*>(r.data.data()) + 5);
    bool matches = false;
    for (int i = link; i < 200 && !matches; i += 25) {
      Bytes record = Pattern(200 + (i % 7) * 150, 1000 + i);
      std::snprintf(reinterpret_cast<char*>(record.data()), 21, "LINK-%04d", i % 25);
      matches = record == r.data;
    }
    EXPECT_TRUE(matches) << "record " << r.number;
  }
  const auto stats = server->Stats();
  std::printf("noisy line: %d of 200 reads and %d of 200 writes completed; longest call %u ms; "
              "%llu bad frames, %llu NAKs from the host\n",
              readsDone, writesDone, longest, static_cast<unsigned long long>(stats.framesBadCrc),
              static_cast<unsigned long long>(stats.naksReceived));
  for (const auto& [code, n] : readErrors) std::printf("  read error %08x: %d\n", code, n);
  for (const auto& [code, n] : writeErrors) std::printf("  write error %08x: %d\n", code, n);
  RecordProperty("reads_completed", readsDone);
  RecordProperty("writes_completed", writesDone);
  // At 1 in 1000 bytes nearly every call gets through.
  EXPECT_GT(readsDone, 180);
  EXPECT_GT(writesDone, 180);
}

// Nothing on the line: every call gives up with its code within its time-outs.
class DeadLineTest : public testsupport::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    platform::SetClockSpeed(50);
    OpenLink(peer.ComName());
  }
  template <typename Call>
  void ExpectGivesUp(const char* what, Call call, uint32_t expectedError, uint32_t boundMs) {
    uint32_t error = 0;
    const uint32_t t0 = platform::TickCount();
    EXPECT_EQ(call(&error), 0) << what;
    const uint32_t took = platform::TickCount() - t0;
    EXPECT_EQ(error, expectedError) << what;
    // A pass of a waiting loop is about a real millisecond, which is 50 ms of library
    // time here: allow for a few of them beyond the time-outs.
    EXPECT_LE(took, boundMs + 1500) << what;
    std::printf("dead line: %s gave up after %u ms\n", what, took);
  }
  testsupport::LinePeer peer;
};

TEST_F(DeadLineTest, EveryRecordServiceGivesUpWithinItsTimeOuts) {
  uint8_t buffer[64];
  const uint32_t sendBound = 3000 + 500;  // one unanswered packet and the drain after it
  ExpectGivesUp("KXReadRecord", [&](uint32_t* e) {
    uint16_t n = 0, l = 64;
    return KXReadRecord(VERSION_INFO, &n, buffer, &l, e);
  }, KXERR_COMM, 10 * sendBound);
  ExpectGivesUp("KXReadRecordNormalPersistence", [&](uint32_t* e) {
    uint16_t n = 0, l = 64;
    return KXReadRecordNormalPersistence(VERSION_INFO, &n, buffer, &l, e);
  }, KXERR_COMM, 2 * sendBound);
  ExpectGivesUp("KXWriteRecord", [&](uint32_t* e) { return KXWriteRecord(USER_UPREF_RECORD, buffer, 64, e); },
                KXERR_COMM, 10 * sendBound);
  ExpectGivesUp("KXDeleteRecord", [&](uint32_t* e) { return KXDeleteRecord(USER_UPREF_RECORD, 1, e); },
                KXERR_COMM, 2 * sendBound);
  ExpectGivesUp("KXNotify", [&](uint32_t* e) { return KXNotify(USER_UPREF_RECORD, buffer, 10, e); }, KXERR_COMM,
                2 * sendBound);
  ExpectGivesUp("KXGetVEXADBaseFreeSpace", [&](uint32_t* e) {
    uint32_t f = 0;
    return KXGetVEXADBaseFreeSpace(&f, e);
  }, KXERR_COMM, 10 * sendBound);
  ExpectGivesUp("KXGetDataID", [&](uint32_t* e) {
    uint16_t l = 64;
    return KXGetDataID(705, buffer, &l, e);
  }, KXERR_COMM, 2 * sendBound);
  ExpectGivesUp("KXSendCommand", [&](uint32_t* e) {
    uint16_t l = 64;
    return KXSendCommand(7, 40, buffer, 4, buffer, &l, e);
  }, KXERR_COMM, 2 * sendBound);
}

}  // namespace
