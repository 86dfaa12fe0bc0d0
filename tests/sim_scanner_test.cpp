// The simulated Scanner's record database, answered message by message.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/sample_database.h"
#include "sim/scanner.h"
#include "sim/wire_format.h"
#include "tests/sim_host.h"

namespace {

using kxsim::Bytes;
using kxsim::Scanner;
using simtest::Get16;
using simtest::Get32;
using simtest::Message;
using simtest::RecordMessage;

constexpr uint16_t kRead = 2, kWrite = 1, kUpdate = 3, kDelete = 0;

Bytes Data(size_t n, uint32_t seed = 3) { return simtest::Pattern(n, seed); }
Bytes Key(const char* text, size_t n) {
  Bytes k(n, 0);
  std::memcpy(k.data(), text, std::min(n, std::strlen(text)));
  return k;
}
// The record data a reply carries.
Bytes DataOf(const Bytes& reply) { return Bytes(reply.begin() + 70, reply.end()); }

struct SimScanner : ::testing::Test {
  Scanner scanner;
  Bytes Ask(const Bytes& request) {
    auto reply = scanner.HandleMessage(request);
    EXPECT_TRUE(reply.has_value());
    return reply.value_or(Bytes{});
  }
};

TEST_F(SimScanner, ReadDeliversTheRecordWithHeadersEchoed) {
  scanner.PutRecord(131, 0, Data(24));
  const Bytes reply = Ask(RecordMessage(kRead, 131, 0));
  ASSERT_EQ(reply.size(), 70u + 24u);
  EXPECT_EQ(Get16(reply, 0), 14);
  EXPECT_EQ(Get16(reply, 2), 2);
  EXPECT_EQ(Get16(reply, 4), 1);
  EXPECT_EQ(Get16(reply, 10), 131);
  EXPECT_EQ(Get16(reply, 12), 24);
  EXPECT_EQ(Get16(reply, 14), 0);
  EXPECT_EQ(DataOf(reply), Data(24));

  // The largest record there is.
  scanner.PutRecord(773, 0, Data(65535));
  const Bytes big = Ask(RecordMessage(kRead, 773, 0));
  EXPECT_EQ(Get16(big, 12), 65535);
  EXPECT_EQ(DataOf(big), Data(65535));
}

TEST_F(SimScanner, NotFoundCarriesTheCountInRecordNumber) {
  for (int i = 0; i < 3; ++i) scanner.AddRecord(3841, Data(50, i));
  for (uint16_t asked : {uint16_t{3}, uint16_t{0x7FFF}, uint16_t{0xFFFF}}) {
    const Bytes reply = Ask(RecordMessage(kRead, 3841, asked, 0xFFFF));
    ASSERT_EQ(reply.size(), 70u);
    EXPECT_EQ(Get16(reply, 4), 251);
    EXPECT_EQ(Get16(reply, 10), 3841);
    EXPECT_EQ(Get16(reply, 14), 3) << asked;
  }
  // A type with no records at all counts 0.
  EXPECT_EQ(Get16(Ask(RecordMessage(kRead, 3874, 0xFFFF, 0xFFFF)), 14), 0);
}

TEST_F(SimScanner, ReadFindsTheFirstRecordAtOrAfterTheNumber) {
  scanner.PutRecord(3841, 0, Data(10, 1));
  scanner.PutRecord(3841, 5, Data(10, 2));
  const Bytes reply = Ask(RecordMessage(kRead, 3841, 1, 0xFFFF));
  EXPECT_EQ(Get16(reply, 4), 1);
  EXPECT_EQ(Get16(reply, 14), 5);
  EXPECT_EQ(DataOf(reply), Data(10, 2));
}

TEST_F(SimScanner, KeysSelectRecordsAndCounts) {
  scanner.AddRecord(3841, Data(20, 1), {1});
  scanner.AddRecord(3841, Data(20, 2), {2});
  scanner.AddRecord(3841, Data(20, 3), {1});
  // Walk the records of key 1 the way a download does.
  Bytes reply = Ask(RecordMessage(kRead, 3841, 0, 0xFFFF, {1}));
  EXPECT_EQ(Get16(reply, 14), 0);
  reply = Ask(RecordMessage(kRead, 3841, 1, 0xFFFF, {1}));
  EXPECT_EQ(Get16(reply, 14), 2);
  EXPECT_EQ(DataOf(reply), Data(20, 3));
  reply = Ask(RecordMessage(kRead, 3841, 3, 0xFFFF, {1}));
  EXPECT_EQ(Get16(reply, 4), 251);
  EXPECT_EQ(Get16(reply, 14), 2) << "two records match key 1";
  EXPECT_EQ(Get16(Ask(RecordMessage(kRead, 3841, 0xFFFF, 0xFFFF, {2})), 14), 1);

  // A limit read by name: the name and its terminator match the start of the key.
  Bytes limit = Key("TIA Cat 6", 17);
  limit.resize(96, 0x55);
  scanner.AddRecord(3862, Key("TIA Cat 6A", 17), Key("TIA Cat 6A", 17));
  scanner.AddRecord(3862, limit, Key("TIA Cat 6", 17));
  reply = Ask(RecordMessage(kRead, 3862, 0, 0, Bytes{'T', 'I', 'A', ' ', 'C', 'a', 't', ' ', '6', 0}));
  EXPECT_EQ(Get16(reply, 14), 1);
  EXPECT_EQ(DataOf(reply), limit);
  // A key longer than the stored one never matches.
  EXPECT_EQ(Get16(Ask(RecordMessage(kRead, 3841, 0, 0xFFFF, {1, 0})), 4), 251);
}

TEST_F(SimScanner, ABySizeReadDeliversAtMostTheWantedSize) {
  scanner.AddRecord(3841, Data(420));
  Bytes reply = Ask(RecordMessage(kRead, 3841, 0, 100));
  EXPECT_EQ(Get16(reply, 12), 100);
  const Bytes whole = Data(420);
  EXPECT_EQ(DataOf(reply), Bytes(whole.begin(), whole.begin() + 100));
  reply = Ask(RecordMessage(kRead, 3841, 0, 1000));
  EXPECT_EQ(Get16(reply, 12), 420);
}

TEST_F(SimScanner, WriteStoresUnderTheNextNumberAndKeyedWritesReplace) {
  scanner.PutRecord(3841, 7, Data(10));
  Bytes reply = Ask(RecordMessage(kWrite, 3841, 0, 30, {}, Data(30, 9)));
  ASSERT_EQ(reply.size(), 70u);
  EXPECT_EQ(Get16(reply, 2), 1);
  EXPECT_EQ(Get16(reply, 4), 1);
  EXPECT_EQ(Get16(reply, 10), 3841);
  EXPECT_EQ(Get16(reply, 14), 8);
  EXPECT_EQ(scanner.GetRecord(3841, 8), Data(30, 9));

  Bytes first = Key("LIMIT-A", 17), second = Key("LIMIT-A", 17);
  first.resize(40, 1);
  second.resize(60, 2);
  EXPECT_EQ(Get16(Ask(RecordMessage(kWrite, 3866, 0, 40, Key("LIMIT-A", 17), first)), 14), 0);
  EXPECT_EQ(Get16(Ask(RecordMessage(kWrite, 3866, 0, 40, Key("LIMIT-B", 17), first)), 14), 1);
  EXPECT_EQ(Get16(Ask(RecordMessage(kWrite, 3866, 0, 60, Key("LIMIT-A", 17), second)), 14), 0);
  EXPECT_EQ(scanner.RecordCount(3866), 2u);
  EXPECT_EQ(scanner.GetRecord(3866, 0), second);
  EXPECT_EQ(scanner.FindRecord(3866, Key("LIMIT-A", 17))->data, second);
}

TEST_F(SimScanner, UpdateAndDeleteNeedTheExactRecord) {
  scanner.PutRecord(3848, 0, Data(82, 1));
  scanner.PutRecord(3848, 2, Data(82, 2));
  Bytes reply = Ask(RecordMessage(kUpdate, 3848, 2, 50, {}, Data(50, 5)));
  EXPECT_EQ(Get16(reply, 2), 3);
  EXPECT_EQ(Get16(reply, 4), 1);
  EXPECT_EQ(scanner.GetRecord(3848, 2), Data(50, 5));
  EXPECT_EQ(Get16(Ask(RecordMessage(kUpdate, 3848, 1, 50, {}, Data(50))), 4), 251);

  reply = Ask(RecordMessage(kDelete, 3848, 0));
  EXPECT_EQ(Get16(reply, 2), 0);
  EXPECT_EQ(Get16(reply, 4), 1);
  EXPECT_FALSE(scanner.GetRecord(3848, 0).has_value());
  EXPECT_EQ(Get16(Ask(RecordMessage(kDelete, 3848, 0)), 4), 251);
  EXPECT_EQ(Get16(Ask(RecordMessage(kDelete, 999, 0)), 4), 251);
  EXPECT_EQ(scanner.GetRecord(3848, 2), Data(50, 5)) << "numbers stay where they are";
}

TEST_F(SimScanner, NotifyStoresWithoutReplyAndThePortSettingsMoveTheLine) {
  EXPECT_EQ(scanner.LineBaud(), 9600u);
  Bytes port(10, 0);
  port[3] = 8;
  Bytes notify = RecordMessage(0x402, 0x402, 0, 10, {}, port, 5);
  EXPECT_FALSE(scanner.HandleMessage(notify).has_value());
  EXPECT_EQ(scanner.LineBaud(), 57600u);
  EXPECT_EQ(scanner.GetRecord(0x402, 0), port);
  ASSERT_EQ(scanner.Notifies().size(), 1u);
  EXPECT_EQ(scanner.Notifies()[0], notify);

  for (uint8_t code = 0; code < 9; ++code) {
    port[3] = code;
    scanner.HandleMessage(RecordMessage(0x402, 0x402, 0, 10, {}, port, 5));
    EXPECT_EQ(scanner.LineBaud(), kxsim::kBaudByCode[code]);
    EXPECT_EQ(kxsim::BaudCode(kxsim::kBaudByCode[code]), code);
  }
  port[3] = 9;  // not a rate: the line stays
  scanner.HandleMessage(RecordMessage(0x402, 0x402, 0, 10, {}, port, 5));
  EXPECT_EQ(scanner.LineBaud(), 57600u);
  scanner.LineBreak();
  EXPECT_EQ(scanner.LineBaud(), 9600u);

  // A notify of another type is stored as its record 0.
  EXPECT_FALSE(scanner.HandleMessage(RecordMessage(3848, 3848, 0, 5, {}, Data(5), 5)).has_value());
  EXPECT_EQ(scanner.GetRecord(3848, 0), Data(5));
}

TEST_F(SimScanner, DatabaseInformationAndFlashSpace) {
  scanner.SetFreeSpace(1000);
  Bytes reply = Ask(Message(14, 4));
  ASSERT_GE(reply.size(), 17u);
  EXPECT_EQ(Get16(reply, 0), 14);
  EXPECT_EQ(Get16(reply, 2), 4);
  EXPECT_EQ(Get32(reply, 13), 1000u);

  // A write costs its length plus 128.
  EXPECT_EQ(Get16(Ask(RecordMessage(kWrite, 3841, 0, 100, {}, Data(100))), 4), 1);
  EXPECT_EQ(Get32(Ask(Message(14, 4)), 13), 1000u - 228u);
  EXPECT_EQ(scanner.TakeBusyMs(), 0u);

  // Deleting leaves dead space; a write that needs it makes the flash coalesce.
  EXPECT_EQ(Get16(Ask(RecordMessage(kDelete, 3841, 0)), 4), 1);
  EXPECT_EQ(scanner.DeadSpace(), 228u);
  EXPECT_EQ(Get32(Ask(Message(14, 4)), 13), 772u);
  EXPECT_EQ(Ask(Message(14, 4))[12], 1) << "coalesce pending";
  EXPECT_EQ(Get16(Ask(RecordMessage(kWrite, 3841, 0, 850, {}, Data(850))), 4), 1);
  EXPECT_EQ(scanner.Coalesces(), 1u);
  EXPECT_EQ(scanner.TakeBusyMs(), 1500u);
  EXPECT_EQ(scanner.TakeBusyMs(), 0u) << "read once";
  EXPECT_EQ(Get32(Ask(Message(14, 4)), 13), 1000u - 978u);

  // A record that does not fit even then is refused.
  EXPECT_EQ(Get16(Ask(RecordMessage(kWrite, 3841, 0, 100, {}, Data(100))), 4), kxsim::kStatusDatabaseFull);
  EXPECT_EQ(scanner.RecordCount(3841), 1u);
}

TEST_F(SimScanner, RequestsItCannotTakeAreRefused) {
  EXPECT_FALSE(scanner.HandleMessage(Bytes{14, 0, 2}).has_value());
  // A record request without its record header.
  EXPECT_EQ(Get16(Ask(Message(14, kRead, Data(20))), 4), kxsim::kStatusBadRequest);
  // A key longer than 48 bytes.
  Bytes longKey = RecordMessage(kRead, 131, 0);
  simtest::Put16(longKey, 18, 49);
  EXPECT_EQ(Get16(Ask(longKey), 4), kxsim::kStatusBadRequest);
  // Record data shorter than RecordLength says.
  EXPECT_EQ(Get16(Ask(RecordMessage(kWrite, 131, 0, 30, {}, Data(29))), 4), kxsim::kStatusBadRequest);
  EXPECT_EQ(scanner.RecordCount(131), 0u);
  // Classes and types the instrument does not know, echoed.
  Bytes reply = Ask(Message(9, 1));
  EXPECT_EQ(Get16(reply, 0), 9);
  EXPECT_EQ(Get16(reply, 4), kxsim::kStatusUnsupported);
  EXPECT_EQ(Get16(Ask(Message(14, 8)), 4), kxsim::kStatusUnsupported);
}

TEST_F(SimScanner, SerialNumber) {
  scanner.SetSerialNumber("AB123456789");
  const Bytes reply = Ask(Message(14, 5));
  ASSERT_GE(reply.size(), 82u);
  EXPECT_EQ(Get16(reply, 4), 1);
  EXPECT_EQ(std::string(reply.begin() + 70, reply.begin() + 81), "AB123456789");
}

TEST_F(SimScanner, TheSampleDatabase) {
  kxsim::LoadSampleDatabase(scanner);
  const auto port = scanner.GetRecord(0x402, 0);
  ASSERT_TRUE(port.has_value());
  ASSERT_EQ(port->size(), 10u);
  EXPECT_EQ((*port)[3], 5) << "9600";
  const auto version = scanner.GetRecord(131, 0);
  ASSERT_EQ(version->size(), 24u);
  EXPECT_NE(std::find(version->begin(), version->end(), 0), version->end());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(version->data()), 3), "V06");
  const auto format = scanner.GetRecord(772, 0);
  ASSERT_EQ(format->size(), 74u);
  EXPECT_STREQ(reinterpret_cast<const char*>(format->data()), "KX0600.PDF");
  EXPECT_STREQ(reinterpret_cast<const char*>(format->data() + 42), "KY0600.PDF");
  EXPECT_EQ(scanner.GetRecord(3848, 0)->size(), 82u);
  EXPECT_GE(scanner.RecordCount(3841), 3u);
  // Limits are found by name.
  Bytes name = {'T', 'I', 'A', ' ', 'C', 'a', 't', ' ', '6', ' ', 'P', 'e', 'r', 'm', 0};
  EXPECT_TRUE(scanner.FindRecord(3862, name).has_value());
}

}  // namespace
