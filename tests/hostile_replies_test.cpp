// Replies no instrument should send, to the record services, to KXAccessMMC and to the
// card calls: too short, lying about their lengths or counts, of another kind, names that
// never end. One table: the replies the scripted instrument gives, the call, and what the
// call must return and leave in the host's area (which starts as 0xEE bytes; nothing may
// be written past what the call may fill, and the sanitizer build watches every read).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "services/card_access.h"
#include "services/record.h"
#include "tests/support/card_ops.h"
#include "tests/support/scripted_link.h"

namespace {

using namespace testsupport;  // NOLINT: the table's builders

constexpr uint16_t kAny = 0xFFFF;  // a reply for every other request
// The local file of the copies, one per process (other runs may share /tmp).
const std::string kLocal = "/tmp/kxlib-hostile-" + std::to_string(getpid());

// A record-read reply for `type` claiming `claimed` record bytes and carrying `carried`.
Bytes RecordReply(uint16_t type, uint16_t claimed, size_t carried) {
  return Message(14, DB_READ_RECORD, 1, Cat({Le({type, claimed}), Bytes(56, 0), Bytes(carried, 0x5C)}));
}
// A card-status request through KXAccessMMC with the given capacity.
Call Status(uint32_t capacity) { return {Op::kAccess, "", nullptr, MMC_CARD_STATUS, 0, capacity}; }

struct Row {
  const char* name;
  std::map<uint16_t, Bytes> replies;  // by request Type
  Call call;
  int result;
  uint32_t error;
  Bytes area;                       // the host's area afterwards
  std::optional<Bytes> local = {};  // the local file afterwards (nullopt: none made)
  int requests = -1;                // requests the instrument got (-1: not counted)
  int syncs = -1;                   // resynchronisations of the line (-1: not counted)
};

class HostileReplyTest : public ScriptedLinkTest {
 protected:
  void TearDown() override {
    std::filesystem::remove(kLocal);
    ScriptedLinkTest::TearDown();
  }
  void Check(const Row& row) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(kLocal);
    KXSetDebugLevel(DBG_TRACE);
    ClearTraces();
    const size_t before = instrument.Requests().size();
    instrument.SetHandler([replies = row.replies](const Bytes& request) {
      auto it = replies.find(GetU16(request.data() + 2));
      return std::optional<Bytes>(it != replies.end() ? it->second : replies.at(kAny));
    });
    CheckCall(row.call, kLocal, row.result, row.error, row.area);
    CheckLocal(kLocal, row.local);
    if (row.requests >= 0) {
      EXPECT_EQ(instrument.Requests().size() - before, size_t(row.requests));
    }
    if (row.syncs >= 0) {
      EXPECT_EQ(CountTrace("KXSync\n"), row.syncs);
    }
  }
};

TEST_F(HostileReplyTest, EachGivesItsErrorAndWritesNothingItShouldNot) {
  const Bytes never = CardMessage(MMC_DIR_LIST, CardResponse(0x1000, 0, 40000, Bytes(40000, 0)));
  const Bytes twenty = CardMessage(19, Text("twenty-byte response"));
  const Bytes cut = Cat({Message(14, 19, 1, Le({0, 40})), Bytes(56, 0), Bytes(8, 0x11)});
  const Bytes ab = Text(std::string("AB\0CD\0", 6));
  const Bytes name128 = Cat({Bytes(128, 'M'), {0}, Text("ddddd")});
  const uint16_t rec = VERSION_INFO;
  const Row rows[] = {
      // Record services.
      // A reply that disagrees with its RecordLength is corrupt: the number stays, the line is resynchronised.
      {"a record longer than its reply", {{kAny, RecordReply(rec, 500, 10)}}, {Op::kReadRecord, "", "", rec, 600}, 0,
       KXERR_COMM, Keep(602), {}, 1, 1},
      {"a reply one packet longer than its record (a packet received twice)", {{kAny, RecordReply(rec, 10, 610)}},
       {Op::kReadRecord, "", "", rec, 600}, 0, KXERR_COMM, Keep(602), {}, 1, 1},
      {"a not-found reply is not judged by its length",
       {{kAny, Message(14, DB_READ_RECORD, 251, Cat({Le({COPPER_AUTOTEST_REC, 0, 42}), Bytes(600, 1)}))}},
       {Op::kReadRecord, "", "", COPPER_AUTOTEST_REC}, 0, KXERR_RECORD_NOT_FOUND, Le({42}), {}, 1, 0},
      {"a record reply without its record header", {{kAny, Message(14, DB_READ_RECORD, 1, Le({rec}))}},
       {Op::kReadRecord, "", "", rec, 16}, 0, KXERR_NO_SCANNER, Keep(18)},
      {"a not-found reply that stops after the record number",
       {{kAny, Message(14, DB_READ_RECORD, 251, Le({COPPER_AUTOTEST_REC, 0, 42}))}},
       {Op::kReadRecord, "", "", COPPER_AUTOTEST_REC}, 0, KXERR_RECORD_NOT_FOUND, Le({42})},
      {"six bytes to a write", {{kAny, {14, 0, 1, 0, 1, 0}}}, {Op::kWrite, "", "", USER_UPREF_RECORD}, 0, kSomeError,
       {}},
      {"six bytes to a delete", {{kAny, {14, 0, 1, 0, 1, 0}}}, {Op::kDeleteRecord, "", "", USER_UPREF_RECORD}, 0,
       KXERR_COMM, {}},
      {"a free-space reply that stops before its figure", {{kAny, Message(14, DB_INFO, 1, {0, 0, 0, 0x10})}},
       {Op::kFreeSpace}, 0, KXERR_COMM, Le({0}, 4)},
      {"a free-space reply with any status", {{kAny, Message(14, DB_INFO, 77, {0, 0, 0, 0x10, 0x27, 0, 0})}},
       {Op::kFreeSpace}, 1, 0, Le({10000}, 4)},
      {"a serial number reply one character short", {{kAny, Message(14, DB_SERIAL_NUMBER, 1, Bytes(70, 'x'))}},
       {Op::kSerial}, 0, 0, Keep(12)},
      // KXAccessMMC, asking for the card status.
      {"an empty reply", {{kAny, {}}}, Status(64), 0, KXERR_COMM, Keep(64), {}, 1, 0},
      {"shorter than a message header", {{kAny, {14, 0, 19}}}, Status(64), 0, KXERR_COMM, Keep(64)},
      {"a header without a response length", {{kAny, Message(14, 19, 1)}}, Status(64), 0, KXERR_COMM, Keep(64)},
      {"a response length of 40 with 8 bytes behind it", {{kAny, cut}}, Status(64), 0, KXERR_COMM, Keep(64)},
      {"a response length of 8 with 16 bytes behind it", {{kAny, Cat({CardMessage(19, Bytes(8, 0x11)), Bytes(8, 1)})}},
       Status(64), 0, KXERR_COMM, Keep(64), {}, 1, 1},
      {"a response length with no response behind it", {{kAny, Cat({Message(14, 19, 1, Le({0, 8})), Bytes(56, 0)})}},
       Status(64), 0, KXERR_COMM, Keep(64)},
      {"a response of exactly the capacity", {{kAny, twenty}}, Status(20), 1, 0,
       Cat({Text("twenty-byte response"), Keep(4)})},
      {"a response one byte over the capacity", {{kAny, twenty}}, Status(19), 0, KXERR_RECORD_TOO_LARGE,
       Cat({Text("twenty-byte respons"), Keep(5)})},
      {"a capacity that reads as negative", {{kAny, twenty}}, Status(0x80000000u), 0, KXERR_RECORD_TOO_LARGE, Keep(24)},
      {"another class with status OK", {{kAny, Message(7, 19, 1, Bytes(60, 0))}}, Status(18), 0, KXERR_NO_SCANNER,
       Keep(18), {}, 1, 1},
      {"a reply for another card command", {{kAny, CardMessage(MMC_FILE_INFO, Bytes(20, 0))}}, Status(18), 0,
       KXERR_NO_SCANNER, Keep(18), {}, 1, 1},
      {"an operation not completed", {{kAny, CardMessage(19, CardResponse(0, 0, 0, Bytes(8, 1)), 9)}}, Status(18), 0,
       KXERR_COMM, Keep(18)},
      // The card calls.
      {"three names announced, two sent", {{kAny, CardMessage(MMC_DIR_LIST, CardResponse(0, 0, 3, ab))}},
       {Op::kList, "", "", 0, 64}, 0, KXERR_COMM, Keep(64), {}, 1},
      {"one name announced, two sent", {{kAny, CardMessage(MMC_DIR_LIST, CardResponse(0x1000, 0, 1, ab))}},
       {Op::kList, "", "", 0, 64}, 0, KXERR_COMM, Keep(64), {}, 1},
      {"a name without its terminator", {{kAny, CardMessage(MMC_DIR_LIST, CardResponse(0, 0, 1, Text("ENDLESS")))}},
       {Op::kList, "", "", 0, 64}, 0, KXERR_COMM, Keep(64)},
      {"a listing shorter than its header", {{kAny, CardMessage(MMC_DIR_LIST, {0, 0, 0, 0, 1})}},
       {Op::kList, "", "", 0, 64}, 0, KXERR_COMM, Keep(64)},
      {"a listing that never stops ends where its index would pass 65535", {{kAny, never}},
       {Op::kList, "", "", 0, 200000}, 0, KXERR_COMM, Cat({Bytes(80000, 0), Keep(120000)}), {}, 2},
      {"the same into a small area", {{kAny, never}}, {Op::kList, "", "", 0, 1000}, 0, KXERR_CARD_LIST_FULL,
       Cat({Bytes(1000, 0), Keep(1)})},
      {"more entries than bytes", {{kAny, CardMessage(MMC_DIR_INFO, CardResponse(0, 0, 100, Bytes(66, 'e')))}},
       {Op::kDirInfo, "", "", 0, 4000}, 0, KXERR_COMM, Keep(4000)},
      {"fewer entries than bytes", {{kAny, CardMessage(MMC_DIR_INFO, CardResponse(0, 0, 2, Bytes(66, 'e')))}},
       {Op::kDirInfo, "", "", 0, 4000}, 0, KXERR_COMM, Keep(4000)},
      {"file information of 16 bytes", {{kAny, CardMessage(MMC_FILE_INFO, CardResponse(0, 0, 0, Bytes(6, 1)))}},
       {Op::kSize, "", "A"}, 0, KXERR_COMM, Keep(4)},
      {"a card status of 14 bytes", {{kAny, CardMessage(MMC_CARD_STATUS, CardResponse(0, 0, 0, Bytes(4, 1)))}},
       {Op::kFigures}, 0, KXERR_COMM, Keep(8)},
      {"an empty card status", {{kAny, CardMessage(MMC_CARD_STATUS, {})}}, {Op::kStatus}, 0, KXERR_COMM, Keep(2)},
      {"a delete answered without a header", {{kAny, CardMessage(MMC_DELETE_FILE, {0, 0})}}, {Op::kDelete, "", "A"}, 0,
       KXERR_COMM, {}},
      {"a delete answered with 11 bytes", {{kAny, CardMessage(MMC_DELETE_FILE, Bytes(11, 0))}},
       {Op::kDelete, "", "A"}, 0, KXERR_RECORD_TOO_LARGE, {}},
      {"a piece that claims more bytes than it carries",
       {{MMC_FILE_INFO, CardMessage(MMC_FILE_INFO, CardResponse(0, 0, 0, Le({100, 0, 0, 0, 0})))},
        {kAny, CardMessage(MMC_READ_FILE, CardResponse(0x2000, 500, 0, Bytes(100, 7)))}},
       {Op::kRead, "\\A"}, 0, KXERR_COMM, {}, Bytes{}},
      {"a piece that carries more bytes than it claims",
       {{MMC_FILE_INFO, CardMessage(MMC_FILE_INFO, CardResponse(0, 0, 0, Le({100, 0, 0, 0, 0})))},
        {kAny, CardMessage(MMC_READ_FILE, CardResponse(0x2000, 100, 0, Bytes(150, 7)))}},
       {Op::kRead, "\\A"}, 0, KXERR_COMM, {}, Bytes{}, 2},
      {"a header piece that carries more bytes than it claims",
       {{kAny, CardMessage(MMC_READ_FILE, CardResponse(0x2000, 30, 0, Bytes(40, 7)))}}, {Op::kHeader, "", "A"}, 0,
       KXERR_COMM, Keep(49)},
      {"a walk that carries more file bytes than it claims",
       {{kAny, CardMessage(MMC_NEXT_FILE, CardResponse(0x2000, 4, 1, name128))}}, {Op::kNext}, 0, KXERR_COMM,
       Keep(137), Bytes{}},
      {"a found name that fills its field",
       {{kAny, CardMessage(MMC_FIRST_FILE, CardResponse(0x2000, 0, 1, Bytes(129, 'N')))}}, {Op::kFirst}, 0, KXERR_COMM,
       Keep(137), Bytes{}},
      {"a walk response that stops inside the name",
       {{kAny, CardMessage(MMC_NEXT_FILE, CardResponse(0x2000, 0, 1, Text("A.ATR")))}}, {Op::kNext}, 0, KXERR_COMM,
       Keep(137), Bytes{}},
      {"a found name of 128 characters", {{kAny, CardMessage(MMC_NEXT_FILE, CardResponse(0x2000, 5, 1, name128))}},
       {Op::kNext}, 1, 0, Cat({Bytes(128, 'M'), {0}, Keep(8)}), Text("ddddd")},
      {"a first file answered with CardStatus 0", {{kAny, CardMessage(MMC_FIRST_FILE, Bytes(139, 0))}}, {Op::kFirst}, 0,
       KXERR_CARD_BASE, Keep(137), Bytes{}},
  };
  for (const Row& row : rows) Check(row);
}

}  // namespace
