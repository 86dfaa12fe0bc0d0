// The identity calls against a scripted instrument over a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/frames.h"
#include "tests/support/scripted_link.h"

namespace {

using namespace testsupport;

class IdentityTest : public ScriptedLinkTest {
 protected:
  // Answers every record read with `record` (Status 1, the request's headers echoed).
  void AnswerRecord(const Bytes& record) {
    instrument.SetHandler([record](const Bytes& request) { return std::optional<Bytes>(RecordReply(request, 1, record)); });
  }
};

TEST_F(IdentityTest, SerialNumberIsElevenCharactersFromTheRightReply) {
  const Bytes tail = {'K', 'X', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'T', 'R', 'A', 'I', 'L'};
  const struct {
    uint16_t cls, type;
    const char* serial;  // null: refused, the buffer untouched
  } rows[] = {{14, 5, "KX123456789"}, {14, 6, nullptr}, {15, 5, nullptr}};
  for (const auto& r : rows) {
    AnswerWith(Message(r.cls, r.type, 1, Cat(Bytes(60, 0x5A), tail)));  // 60 unread bytes, the characters
    char serial[16];
    std::memset(serial, 'x', sizeof serial);
    EXPECT_EQ(KXGetSerialNumber(serial), r.serial != nullptr) << r.type;
    EXPECT_EQ(std::string(serial, 16), r.serial ? std::string(r.serial) + '\0' + "xxxx" : std::string(16, 'x'));
    EXPECT_EQ(instrument.Requests().back(), Message(14, 5, 0));
  }
}

TEST_F(IdentityTest, ModelCodeIsByteEightOfDataId705) {
  const struct {
    Bytes value;
    int16_t model;
  } rows[] = {
      {{0, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12}, {{0, 0, 0, 0, 0, 0, 0, 0, 4, 0}, 4}, {{0, 0, 0, 0, 0, 0, 0, 0, 7, 0}, 0},
      {{0, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0}, 0}, {{1, 2, 3, 4, 5, 6, 7, 12}, 0},  // 8 bytes: byte 8 is never filled
      {{}, 0},
  };
  for (const auto& r : rows) {
    AnswerWith(ValueReply(r.value));
    uint32_t error = 1;
    EXPECT_EQ(KXID(&error), r.model) << r.value.size() << " " << int(r.value.size() > 8 ? r.value[8] : 0);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(instrument.Requests().back(), Message(7, kGetDataId, 0, {0xC1, 0x02}));
  }
}

TEST_F(IdentityTest, VersionIsTheTextOfTheVersionRecord) {
  Bytes zeroInside(24, 0);
  std::memcpy(zeroInside.data(), "V6.20 R3", 8);
  zeroInside[12] = 'Z';
  const struct {
    const char* name;
    std::optional<Bytes> record;  // none: the instrument has no such record
    int16_t result;
    uint32_t error;
    std::string text;
  } rows[] = {
      {"stops at the first zero", zeroInside, 1, 0, "V6.20 R3"},
      {"24 bytes without a zero stay inside the text", Bytes(24, 'A'), 1, 0, std::string(23, 'A')},
      {"a failed read is empty", std::nullopt, 0, KXERR_NO_SCANNER, ""},  // not found, no record type echoed
  };
  for (const auto& r : rows) {
    if (r.record) {
      AnswerRecord(*r.record);
    } else {
      AnswerWith(Message(14, 2, 251, Bytes(60, 0)));
    }
    char text[32];
    std::memset(text, 'x', sizeof text);
    uint32_t error = 1;
    EXPECT_EQ(KXVersion(text, &error), r.result) << r.name;
    EXPECT_EQ(error, r.error) << r.name;
    EXPECT_EQ(std::string(text), r.text) << r.name;
    EXPECT_EQ(text[24], 'x') << r.name;
    EXPECT_EQ(U16(instrument.Requests().back(), kAtRecType), kVersionRec);
  }
}

TEST_F(IdentityTest, PdfVersionComparesCopperThenFiber) {
  const struct {
    const char* copper;
    const char* fiber;
    int16_t result;
    uint32_t error;
  } rows[] = {
      {"KX0600.PDF", "KY0600.PDF", 1, 0},
      {"KX0700.PDF", "KY0500.PDF", 0, 0x2000002C},
      {"KX0700.PDF", "KYxxxx.PDF", 0, 0x2000002C},
      {"KX0500.PDF", "KY0700.PDF", 0, 0x2000002C},
      {"KX0599.PDF", "KY0601.PDF", 0, 0x2000002C},
      {"KXABCD.PDF", "KY0600.PDF", 1, 0},           // no digits: number 0
      {"KX-001.PDF", "KY0600.PDF", 0, 0x2000002C},  // a negative number is a large one
      {nullptr, nullptr, 0, 0x2000002C},            // digits everywhere, no terminator anywhere
  };
  for (const auto& r : rows) {
    Bytes record(74, r.copper ? 0 : '9');
    if (r.copper) {
      std::memcpy(record.data(), r.copper, std::strlen(r.copper));
      std::memcpy(record.data() + 42, r.fiber, std::strlen(r.fiber));
    }
    AnswerRecord(record);
    uint32_t error = 0;
    EXPECT_EQ(KXCheckPDFVersion(&error), r.result) << (r.copper ? r.copper : "nines");
    EXPECT_EQ(error, r.error) << (r.copper ? r.copper : "nines");
    EXPECT_EQ(U16(instrument.Requests().back(), kAtRecType), kDataFormatRec);
  }
}

}  // namespace
