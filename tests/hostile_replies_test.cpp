// Replies no instrument should send, to the record services, to KXAccessMMC and to the
// card calls: too short, lying about their lengths or counts, of another kind, names that
// never end. One table: the replies the scripted instrument gives, the call, and what the
// call must return and leave in the host's area (which starts as 0xEE bytes; nothing may
// be written past what the call may fill, and the sanitizer build watches every read).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "services/card_access.h"
#include "services/record.h"
#include "session/state.h"
#include "tests/support/card_ops.h"
#include "tests/support/scripted_link.h"

namespace {

using namespace testsupport;  // NOLINT: the table's builders

// The local file of the copies, one per process (other runs may share /tmp).
const std::string kLocal = "/tmp/kxlib-hostile-" + std::to_string(getpid());

// A record reply (of Class `cls`, Type `op`, Status `status`) for `type` claiming `claimed`
// record bytes and carrying `carried`.
Bytes RecordReply(uint16_t type, uint16_t claimed, size_t carried, uint16_t op = DB_READ_RECORD, uint16_t status = 1,
                  uint16_t cls = 14) {
  return Message(cls, op, status, Cat({Le({type, claimed}), Bytes(56, 0), Bytes(carried, 0x5C)}));
}
// A card reply for `command` whose response is CardResponse(status, bytes, entries, data).
Bytes Card(uint16_t command, uint16_t status, uint16_t bytes, uint16_t entries, const Bytes& data) {
  return CardMessage(command, CardResponse(status, bytes, entries, data));
}
// 10000 bytes free; a file of 100 bytes.
const Bytes kRoom = Message(14, DB_INFO, 1, {0, 0, 0, 0x10, 0x27, 0, 0}),
            k100Bytes = Card(MMC_FILE_INFO, 0, 0, 0, Le({100, 0, 0, 0, 0}));
// A card-status request through KXAccessMMC with the given capacity.
Call Status(uint32_t capacity) { return {Op::kAccess, "", nullptr, MMC_CARD_STATUS, 0, capacity}; }

// reply: to every request, but those of the free space before a change or the size before a
// copy; area: the host's area afterwards; local: the local file afterwards (nullopt: none
// made); requests the instrument got and resynchronisations of the line (-1: not counted).
struct Row { const char* name; Bytes reply; Call call; int result; uint32_t error; Bytes area;
             std::optional<Bytes> local = {}; int requests = -1, syncs = -1; };

class HostileReplyTest : public ScriptedLinkTest {
 protected:
  void Check(const Row& row) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(kLocal);
    KXSetDebugLevel(DBG_TRACE);
    ClearTraces();
    const size_t before = instrument.Requests().size();
    instrument.SetHandler([row](const Bytes& request) {
      const uint16_t type = GetU16(request.data() + 2);
      if (type == DB_INFO && row.call.op != Op::kFreeSpace) return std::optional<Bytes>(kRoom);
      if (type == MMC_FILE_INFO && row.call.op == Op::kRead) return std::optional<Bytes>(k100Bytes);
      return std::optional<Bytes>(row.reply);
    });
    CheckCall(row.call, kLocal, row.result, row.error, row.area);
    CheckLocal(kLocal, row.local);
    if (row.requests >= 0) { EXPECT_EQ(instrument.Requests().size() - before, size_t(row.requests)); }
    if (row.syncs >= 0) { EXPECT_EQ(CountTrace("KXSync\n"), row.syncs); }
    EXPECT_EQ(ResendAllowed, 1u);  // a failed change still lets the link resend
  }
};

TEST_F(HostileReplyTest, EachGivesItsErrorAndWritesNothingItShouldNot) {
  const Bytes never = Card(MMC_DIR_LIST, 0x1000, 0, 40000, Bytes(40000, 0)), ab = Text(std::string("AB\0CD\0", 6)),
              twenty = CardMessage(19, Text("twenty-byte response")), name128 = Cat({Bytes(128, 'M'), {0}, Text("ddddd")}),
              cut = Cat({Message(14, 19, 1, Le({0, 40})), Bytes(56, 0), Bytes(8, 0x11)});
  const uint16_t rec = VERSION_INFO, pref = USER_UPREF_RECORD;
  const Call read600{Op::kReadRecord, "", "", rec, 600}, read16{Op::kReadRecord, "", "", rec, 16},
      write{Op::kWrite, "", "", pref}, list64{Op::kList, "", "", 0, 64}, del{Op::kDeleteRecord, "", "", pref},
      readAuto{Op::kReadRecord, "", "", COPPER_AUTOTEST_REC}, dirInfo{Op::kDirInfo, "", "", 0, 4000},
      copy{Op::kRead, "\\A"};
  const Row rows[] = {
      // Record services. A reply that does not echo the request is never retried and resynchronises the line.
      // A reply that disagrees with its RecordLength is corrupt: the number stays, the line is resynchronised.
      {"a record longer than its reply", RecordReply(rec, 500, 10), read600, 0, KXERR_COMM, Keep(602), {}, 1, 1},
      {"a reply one packet longer than its record (a packet received twice)", RecordReply(rec, 10, 610), read600, 0,
       KXERR_COMM, Keep(602), {}, 1, 1},
      {"a record reply without its record header", Message(14, DB_READ_RECORD, 1, Le({rec})), read16, 0,
       KXERR_NO_SCANNER, Keep(18)},
      {"a read answered for another record type", RecordReply(rec + 1, 0, 0), read16, 0, KXERR_NO_SCANNER, Keep(18), {},
       1, 1},
      {"a read answered with another Type", RecordReply(rec, 0, 0, DB_WRITE_RECORD), read16, 0, KXERR_NO_SCANNER,
       Keep(18), {}, 1, 1},
      {"a read answered with another Class", RecordReply(rec, 0, 0, DB_READ_RECORD, 1, 7), read16, 0, KXERR_NO_SCANNER,
       Keep(18), {}, 1, 1},
      {"a read that failed: the number comes back", RecordReply(rec, 0, 0, DB_READ_RECORD, 7), read16, 0, KXERR_COMM,
       Cat({Le({0}), Keep(16)}), {}, 1, 0},
      {"a not-found reply is not judged by its length",
       Message(14, DB_READ_RECORD, 251, Le({COPPER_AUTOTEST_REC, 0, 42})), readAuto, 0, KXERR_RECORD_NOT_FOUND,
       Le({42}), {}, 1, 0},
      {"a write answered for another record type", RecordReply(pref + 1, 0, 0, DB_WRITE_RECORD), write, 0,
       KXERR_NO_SCANNER, {}, {}, 2, 1},
      {"a write that failed", RecordReply(pref, 0, 0, DB_WRITE_RECORD, 7), write, 0, KXERR_COMM, {}, {}, 2, 0},
      {"an update answered for another record type", RecordReply(pref + 1, 0, 0, DB_UPDATE_RECORD),
       {Op::kUpdate, "", "", pref}, 0, KXERR_COMM, {}, {}, 2, 1},
      {"six bytes to a delete", {14, 0, 1, 0, 1, 0}, del, 0, KXERR_COMM, {}},
      {"a delete answered with another Class", RecordReply(pref, 0, 0, DB_DELETE_RECORD, 1, 7), del, 0, KXERR_COMM, {},
       {}, 1, 1},
      {"a free-space reply that stops before its figure", Message(14, DB_INFO, 1, {0, 0, 0, 0x10}), {Op::kFreeSpace}, 0,
       KXERR_COMM, Le({0}, 4)},
      {"a free-space reply with any status", Message(14, DB_INFO, 77, {0, 0, 0, 0x10, 0x27, 0, 0}), {Op::kFreeSpace}, 1,
       0, Le({10000}, 4)},
      {"a free-space reply of another Type: no error code", Message(14, DB_READ_RECORD, 1, Bytes(7, 1)),
       {Op::kFreeSpace}, 0, 0, Le({0}, 4), {}, 1, 0},
      {"a serial number reply one character short", Message(14, DB_SERIAL_NUMBER, 1, Bytes(70, 'x')), {Op::kSerial}, 0,
       0, Keep(12)},
      // KXAccessMMC, asking for the card status.
      {"an empty reply", {}, Status(64), 0, KXERR_COMM, Keep(64), {}, 1, 0},
      {"a header without a response length", Message(14, 19, 1), Status(64), 0, KXERR_COMM, Keep(64), {}, 1, 1},
      {"a response length of 40 with 8 bytes behind it", cut, Status(64), 0, KXERR_COMM, Keep(64)},
      {"a response length of 8 with 16 bytes behind it", Cat({CardMessage(19, Bytes(8, 0x11)), Bytes(8, 1)}),
       Status(64), 0, KXERR_COMM, Keep(64), {}, 1, 1},
      {"a response of exactly the capacity", twenty, Status(20), 1, 0, Cat({Text("twenty-byte response"), Keep(4)})},
      {"a response one byte over the capacity", twenty, Status(19), 0, KXERR_RECORD_TOO_LARGE,
       Cat({Text("twenty-byte respons"), Keep(5)})},
      {"a capacity that reads as negative", twenty, Status(0x80000000u), 0, KXERR_RECORD_TOO_LARGE, Keep(24)},
      {"another class with status OK", Message(7, 19, 1, Bytes(60, 0)), Status(18), 0, KXERR_NO_SCANNER, Keep(18), {},
       1, 1},
      {"a reply for another card command", CardMessage(MMC_FILE_INFO, Bytes(20, 0)), Status(18), 0, KXERR_NO_SCANNER,
       Keep(18), {}, 1, 1},
      {"an operation not completed", CardMessage(19, CardResponse(0, 0, 0, Bytes(8, 1)), 9), Status(18), 0, KXERR_COMM,
       Keep(18)},
      // The card calls.
      {"three names announced, two sent", Card(MMC_DIR_LIST, 0, 0, 3, ab), list64, 0, KXERR_COMM, Keep(64), {}, 1},
      {"one name announced, two sent", Card(MMC_DIR_LIST, 0x1000, 0, 1, ab), list64, 0, KXERR_COMM, Keep(64), {}, 1},
      {"a name without its terminator", Card(MMC_DIR_LIST, 0, 0, 1, Text("ENDLESS")), list64, 0, KXERR_COMM, Keep(64)},
      {"a listing shorter than its header", CardMessage(MMC_DIR_LIST, {0, 0, 0, 0, 1}), list64, 0, KXERR_COMM,
       Keep(64)},
      {"a listing that never stops ends where its index would pass 65535", never, {Op::kList, "", "", 0, 200000}, 0,
       KXERR_COMM, Cat({Bytes(80000, 0), Keep(120000)}), {}, 2},
      {"the same into a small area", never, {Op::kList, "", "", 0, 1000}, 0, KXERR_CARD_LIST_FULL,
       Cat({Bytes(1000, 0), Keep(1)})},
      {"more entries than bytes", Card(MMC_DIR_INFO, 0, 0, 100, Bytes(66, 'e')), dirInfo, 0, KXERR_COMM, Keep(4000)},
      {"fewer entries than bytes", Card(MMC_DIR_INFO, 0, 0, 2, Bytes(66, 'e')), dirInfo, 0, KXERR_COMM, Keep(4000)},
      {"file information of 16 bytes", Card(MMC_FILE_INFO, 0, 0, 0, Bytes(6, 1)), {Op::kSize, "", "A"}, 0, KXERR_COMM,
       Keep(4)},
      {"a card status of 14 bytes", Card(MMC_CARD_STATUS, 0, 0, 0, Bytes(4, 1)), {Op::kFigures}, 0, KXERR_COMM,
       Keep(8)},
      {"no card status: no figures", {}, {Op::kFigures}, 0, KXERR_COMM, Keep(8)},
      {"an empty card status", CardMessage(MMC_CARD_STATUS, {}), {Op::kStatus}, 0, KXERR_COMM, Keep(2)},
      {"a delete answered without a header", CardMessage(MMC_DELETE_FILE, {0, 0}), {Op::kDelete, "", "A"}, 0,
       KXERR_COMM, {}},
      {"a delete answered with 11 bytes", CardMessage(MMC_DELETE_FILE, Bytes(11, 0)), {Op::kDelete, "", "A"}, 0,
       KXERR_RECORD_TOO_LARGE, {}},
      {"a piece that claims more bytes than it carries", Card(MMC_READ_FILE, 0x2000, 500, 0, Bytes(100, 7)), copy, 0,
       KXERR_COMM, {}, Bytes{}},
      {"a piece that carries more bytes than it claims", Card(MMC_READ_FILE, 0x2000, 100, 0, Bytes(150, 7)), copy, 0,
       KXERR_COMM, {}, Bytes{}, 2},
      {"a header piece that carries more bytes than it claims", Card(MMC_READ_FILE, 0x2000, 30, 0, Bytes(40, 7)),
       {Op::kHeader, "", "A"}, 0, KXERR_COMM, Keep(49)},
      {"a walk that carries more file bytes than it claims", Card(MMC_NEXT_FILE, 0x2000, 4, 1, name128), {Op::kNext}, 0,
       KXERR_COMM, Keep(137), Bytes{}},
      {"a found name that fills its field", Card(MMC_FIRST_FILE, 0x2000, 0, 1, Bytes(129, 'N')), {Op::kFirst}, 0,
       KXERR_COMM, Keep(137), Bytes{}},
      {"a walk response that stops inside the name", Card(MMC_NEXT_FILE, 0x2000, 0, 1, Text("A.ATR")), {Op::kNext}, 0,
       KXERR_COMM, Keep(137), Bytes{}},
      {"a found name of 128 characters", Card(MMC_NEXT_FILE, 0x2000, 5, 1, name128), {Op::kNext}, 1, 0,
       Cat({Bytes(128, 'M'), {0}, Keep(8)}), Text("ddddd")},
      {"a first file answered with CardStatus 0", CardMessage(MMC_FIRST_FILE, Bytes(139, 0)), {Op::kFirst}, 0,
       KXERR_CARD_BASE, Keep(137), Bytes{}},
  };
  for (const Row& row : rows) Check(row);
  std::filesystem::remove(kLocal);
}

}  // namespace
