// The simulated Scanner's record database, answered message by message. The offsets are
// written out here as the wire has them, so the model cannot drift from the layout the
// library's integration tests take for granted.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/dataset.h"
#include "sim/scanner.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using simtest::GetU16;
using simtest::Message;
using simtest::RecordMessage;

constexpr uint16_t kDelete = 0, kWrite = 1, kRead = 2, kUpdate = 3;

Bytes Data(size_t n, uint32_t seed = 3) { return simtest::Pattern(n, seed); }
Bytes Text(const char* text, size_t n) {
  Bytes b(n, 0);
  std::memcpy(b.data(), text, std::min(n, std::strlen(text)));
  return b;
}
Bytes DataOf(const Bytes& reply) { return Bytes(reply.begin() + std::min<size_t>(70, reply.size()), reply.end()); }
uint32_t FreeIn(const Bytes& info) { return info.size() >= 17 ? kxsim::GetU32(&info[13]) : 0; }

struct SimScanner : ::testing::Test {
  kxsim::Scanner scanner;
  Bytes Ask(const Bytes& request) {
    auto reply = scanner.HandleMessage(request);
    EXPECT_TRUE(reply.has_value());
    return reply.value_or(Bytes{});
  }
  uint16_t StatusOf(const Bytes& request) { return GetU16(Ask(request), 4); }
};

TEST_F(SimScanner, ReadsDeliverTheRecordOrCountWhatIsThere) {
  const Bytes whole = Data(420, 1), later = Data(10, 2);
  scanner.PutRecord(3841, 0, whole);
  scanner.PutRecord(3841, 5, later);
  const struct {
    uint16_t asked, wanted;  // RecordNumber and RecordLength of the request
    uint16_t status, number;
    Bytes data;
  } cases[] = {
      {0, 0, 1, 0, whole},
      {0, 0xFFFF, 1, 0, whole},
      {0, 100, 1, 0, Bytes(whole.begin(), whole.begin() + 100)},  // at most the wanted size
      {0, 1000, 1, 0, whole},
      {1, 0, 1, 5, later},         // the first record at or after the number asked for
      {6, 0xFFFF, 251, 2, {}},     // none: the count of the type in RecordNumber
      {0xFFFF, 0, 251, 2, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "record " << c.asked << ", length " << c.wanted);
    const Bytes reply = Ask(RecordMessage(kRead, 3841, c.asked, c.wanted));
    ASSERT_EQ(reply.size(), 70 + c.data.size());
    EXPECT_EQ(GetU16(reply, 0), 14);
    EXPECT_EQ(GetU16(reply, 2), kRead);
    EXPECT_EQ(GetU16(reply, 4), c.status);
    EXPECT_EQ(GetU16(reply, 10), 3841);
    EXPECT_EQ(GetU16(reply, 12), c.data.size());
    EXPECT_EQ(GetU16(reply, 14), c.number);
    EXPECT_EQ(DataOf(reply), c.data);
  }
  EXPECT_EQ(GetU16(Ask(RecordMessage(kRead, 3874, 0xFFFF, 0xFFFF)), 14), 0) << "a type with no records";
  scanner.PutRecord(773, 0, Data(65535));
  EXPECT_EQ(DataOf(Ask(RecordMessage(kRead, 773, 0))), Data(65535)) << "the largest record there is";
}

// The sample database's autotests (keys 1, 1, 2) and limits (keyed by name), walked the
// way a download does.
TEST_F(SimScanner, KeysSelectRecordsAndCountThem) {
  kxsim::LoadDataset(kxsim::GenerateDataset(), scanner);
  const struct {
    uint16_t type, asked;
    Bytes key;
    uint16_t status, number;
  } cases[] = {
      {3841, 0, {1}, 1, 0},      {3841, 1, {1}, 1, 1},      {3841, 2, {1}, 251, 2},
      {3841, 0xFFFF, {2}, 251, 1}, {3841, 0, {1, 0}, 251, 0},  // a key longer than the stored one
      {3862, 0, Text("ISO Class E Ch", 15), 1, 1},          // a name and its terminator
      {3862, 0, Text("TIA Cat 6", 10), 251, 0},              // ... which must match too
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " from " << c.asked << " key size " << c.key.size());
    const Bytes reply = Ask(RecordMessage(kRead, c.type, c.asked, 0, c.key));
    EXPECT_EQ(GetU16(reply, 4), c.status);
    EXPECT_EQ(GetU16(reply, 14), c.number);
    if (c.type == 3862 && c.status == 1) {
      EXPECT_EQ(Bytes(reply.begin() + 70, reply.begin() + 70 + c.key.size()), c.key) << "the limit's name";
    }
  }
  // The sample's port settings let a host open at 9600.
  EXPECT_EQ(scanner.GetRecord(kxsim::kRecPortSettings, 0).value_or(Bytes(4)).at(3), 5);
}

TEST_F(SimScanner, WriteUpdateAndDelete) {
  scanner.PutRecord(3848, 7, Data(10));
  Bytes reply = Ask(RecordMessage(kWrite, 3848, 0, 30, {}, Data(30, 9)));
  ASSERT_EQ(reply.size(), 70u);
  EXPECT_EQ(GetU16(reply, 2), kWrite);
  EXPECT_EQ(GetU16(reply, 4), 1);
  EXPECT_EQ(GetU16(reply, 10), 3848);
  EXPECT_EQ(GetU16(reply, 14), 8) << "the number after the highest";
  EXPECT_EQ(scanner.GetRecord(3848, 8), Data(30, 9));

  EXPECT_EQ(StatusOf(RecordMessage(kUpdate, 3848, 8, 50, {}, Data(50, 5))), 1);
  EXPECT_EQ(scanner.GetRecord(3848, 8), Data(50, 5));
  EXPECT_EQ(StatusOf(RecordMessage(kUpdate, 3848, 1, 50, {}, Data(50))), 251);
  EXPECT_EQ(StatusOf(RecordMessage(kDelete, 3848, 7)), 1);
  EXPECT_FALSE(scanner.GetRecord(3848, 7).has_value());
  EXPECT_EQ(StatusOf(RecordMessage(kDelete, 3848, 7)), 251);
  EXPECT_EQ(StatusOf(RecordMessage(kDelete, 999, 0)), 251);
  EXPECT_EQ(scanner.GetRecord(3848, 8), Data(50, 5)) << "numbers stay where they are";

  // A keyed write replaces the record with the same key, keeping its number.
  Bytes first = Text("LIMIT-A", 40), second = Text("LIMIT-A", 60);
  EXPECT_EQ(GetU16(Ask(RecordMessage(kWrite, 3866, 0, 40, Text("LIMIT-A", 17), first)), 14), 0);
  EXPECT_EQ(GetU16(Ask(RecordMessage(kWrite, 3866, 0, 40, Text("LIMIT-B", 17), first)), 14), 1);
  EXPECT_EQ(GetU16(Ask(RecordMessage(kWrite, 3866, 0, 60, Text("LIMIT-A", 17), second)), 14), 0);
  EXPECT_EQ(scanner.RecordCount(3866), 2u);
  EXPECT_EQ(scanner.GetRecord(3866, 0), second);
}

TEST_F(SimScanner, NotifyStoresWithoutReplyAndThePortSettingsMoveTheLine) {
  Bytes port(10, 0);
  const struct {
    uint8_t code;
    uint32_t baud;
  } cases[] = {{8, 57600}, {0, 300}, {5, 9600}, {7, 38400}, {9, 38400} /* not a rate: the line stays */};
  for (const auto& c : cases) {
    port[3] = c.code;
    EXPECT_FALSE(scanner.HandleMessage(RecordMessage(0x402, 0x402, 0, 10, {}, port, 5)).has_value());
    EXPECT_EQ(scanner.LineBaud(), c.baud) << int{c.code};
  }
  EXPECT_EQ(scanner.GetRecord(0x402, 0), port);
  EXPECT_EQ(scanner.Notifies().size(), 5u);
  scanner.LineBreak();
  EXPECT_EQ(scanner.LineBaud(), 9600u);
  // A notify of another type is stored as its record 0.
  EXPECT_FALSE(scanner.HandleMessage(RecordMessage(3848, 3848, 0, 5, {}, Data(5), 5)).has_value());
  EXPECT_EQ(scanner.GetRecord(3848, 0), Data(5));
}

TEST_F(SimScanner, DatabaseInformationAndFlashSpace) {
  scanner.SetFreeSpace(1000);
  const Bytes info = Ask(Message(14, 4));
  EXPECT_EQ(GetU16(info, 2), 4);
  EXPECT_EQ(FreeIn(info), 1000u);

  // A write costs its length plus 128; deleting leaves dead space, shown in byte 12.
  EXPECT_EQ(StatusOf(RecordMessage(kWrite, 3841, 0, 100, {}, Data(100))), 1);
  EXPECT_EQ(FreeIn(Ask(Message(14, 4))), 772u);
  EXPECT_EQ(StatusOf(RecordMessage(kDelete, 3841, 0)), 1);
  EXPECT_EQ(FreeIn(Ask(Message(14, 4))), 772u);
  EXPECT_EQ(Ask(Message(14, 4)).at(12), 1) << "coalesce pending";
  EXPECT_EQ(scanner.TakeBusyMs(), 0u);

  // A write that needs the dead space makes the flash coalesce, which holds up the reply.
  EXPECT_EQ(StatusOf(RecordMessage(kWrite, 3841, 0, 850, {}, Data(850))), 1);
  EXPECT_EQ(scanner.TakeBusyMs(), 1500u);
  EXPECT_EQ(scanner.TakeBusyMs(), 0u) << "read once";
  EXPECT_EQ(FreeIn(Ask(Message(14, 4))), 1000u - 978u);
  // One that does not fit even then is refused.
  EXPECT_EQ(StatusOf(RecordMessage(kWrite, 3841, 0, 100, {}, Data(100))), kxsim::kStatusDatabaseFull);
  EXPECT_EQ(scanner.RecordCount(3841), 1u);
}

TEST_F(SimScanner, RequestsItCannotTakeAreRefused) {
  EXPECT_FALSE(scanner.HandleMessage(Bytes{14, 0, 2}).has_value()) << "not even a header";
  Bytes longKey = RecordMessage(kRead, 131, 0);
  kxsim::PutU16(longKey, 18, 49);
  const struct {
    const char* name;
    Bytes request;
    uint16_t status;
  } cases[] = {
      {"no record header", Message(14, kRead, Data(20)), kxsim::kStatusBadRequest},
      {"a key of 49 bytes", longKey, kxsim::kStatusBadRequest},
      {"less data than RecordLength", RecordMessage(kWrite, 131, 0, 30, {}, Data(29)), kxsim::kStatusBadRequest},
      {"an unknown class", Message(9, 1), kxsim::kStatusUnsupported},
      {"an unknown type", Message(14, 8), kxsim::kStatusUnsupported},
  };
  for (const auto& c : cases) {
    const Bytes reply = Ask(c.request);
    EXPECT_EQ(GetU16(reply, 0), GetU16(c.request, 0)) << c.name;
    EXPECT_EQ(GetU16(reply, 4), c.status) << c.name;
  }
  EXPECT_EQ(scanner.RecordCount(131), 0u);
}

}  // namespace
