// Commands and data IDs against a scripted instrument over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/frames.h"
#include "tests/support/scripted_link.h"

namespace {

using namespace testsupport;

class CommandTest : public ScriptedLinkTest {
 protected:
  // Every request gets `reply`; with `cancel` the host presses cancel while it comes in.
  void Answer(const Bytes& reply, bool cancel) {
    instrument.SetHandler([reply, cancel](const Bytes&) {
      if (cancel) KXCancel();
      return std::optional<Bytes>(reply);
    });
  }
};

struct ReplyRow {
  const char* name;
  Bytes reply;
  Bytes request;      // payload of the request
  uint16_t capacity;  // 0: no reply area
  bool cancel;
  int16_t result;
  uint32_t error;
  uint16_t length;    // reported afterwards
  Bytes data;         // expected at the start of the reply area
};

TEST_F(CommandTest, SendCommandHandsBackThePayloadOrTheWholeReply) {
  const Bytes other = Message(7, 100, 1, Pattern(30, 1)), p200 = Pattern(200, 2);
  const ReplyRow rows[] = {
      {"OK", Message(7, 99, 1, {1, 2, 3, 4, 5}), {9, 8, 7}, 16, false, 1, 0, 5, {1, 2, 3, 4, 5}},
      {"OK, but no reply area", Message(7, 99, 1, {1, 2}), {}, 0, false, 0, KXERR_COMM, 0, {}},
      {"another kind", other, {}, 12, false, 1, KXERR_BAD_RESPONSE, 12, Head(other, 12)},
      {"another kind, no reply area", other, {}, 0, false, 0, KXERR_COMM, 0, {}},
      {"status not OK", Message(7, 99, 3, {1}), {}, 4, false, 0, KXERR_COMM, 4, {}},
      // The request is the larger, so the library's buffer can take a reply beyond the capacity.
      {"longer than the capacity", Message(7, 99, 1, p200), Bytes(300, 1), 16, false, 1, 0, 200, Head(p200, 16)},
      {"shorter than a header", {7, 0, 99}, {}, 4, false, 0, KXERR_COMM, 4, {}},
  };
  for (const ReplyRow& r : rows) {
    SCOPED_TRACE(r.name);
    Answer(r.reply, r.cancel);
    Bytes reply(r.capacity + 8u, 0xEE);
    uint16_t length = r.capacity;
    uint32_t error = 1;
    EXPECT_EQ(KXSendCommand(7, 99, r.request.data(), static_cast<uint16_t>(r.request.size()),
                            r.capacity ? reply.data() : nullptr, &length, &error), r.result);
    EXPECT_EQ(error, r.error);
    EXPECT_EQ(length, r.length);
    EXPECT_EQ(Head(reply, r.data.size()), r.data);
    EXPECT_EQ(Bytes(reply.begin() + r.capacity, reply.end()), Bytes(8, 0xEE));
    EXPECT_EQ(instrument.Requests().back(), Message(7, 99, 0, r.request));
  }
}

TEST_F(CommandTest, GetDataIdReadsTheValueBetweenItsFraming) {
  const Bytes value = Pattern(10, 3), other = Message(7, 77, 1, Pattern(20, 5));
  const ReplyRow rows[] = {
      {"a value", ValueReply(value), {}, 32, false, 1, 0, 10, value},
      {"no payload", Message(7, kGetDataId, 1), {}, 8, false, 1, 0, 0, {}},
      {"5 bytes", Message(7, kGetDataId, 1, Bytes(5, 0x42)), {}, 8, false, 1, 0, 0, {}},
      {"15 bytes", Message(7, kGetDataId, 1, Bytes(15, 0x42)), {}, 8, false, 1, 0, 0, {}},
      {"cut to the capacity", ValueReply(value), {}, 4, false, 1, 0, 4, Head(value, 4)},
      {"another type: the whole reply", other, {}, 10, false, 1, KXERR_BAD_RESPONSE, 10, Head(other, 10)},
      {"status not OK", Message(7, kGetDataId, 9), {}, 4, false, 0, KXERR_COMM, 4, {}},
      {"cancel during a good exchange", ValueReply(Bytes(4, 1)), {}, 8, true, 0, KXERR_COMM, 8, {}},
  };
  for (const ReplyRow& r : rows) {
    SCOPED_TRACE(r.name);
    Answer(r.reply, r.cancel);
    Bytes buffer(r.capacity + 8u, 0xEE);
    uint16_t length = r.capacity;
    uint32_t error = 1;
    EXPECT_EQ(KXGetDataID(705, buffer.data(), &length, &error), r.result);
    EXPECT_EQ(error, r.error);
    EXPECT_EQ(length, r.length);
    EXPECT_EQ(Head(buffer, r.data.size()), r.data);
    EXPECT_EQ(Bytes(buffer.begin() + r.capacity, buffer.end()), Bytes(8, 0xEE));
    EXPECT_EQ(instrument.Requests().back(), Message(7, kGetDataId, 0, {0xC1, 0x02}));
  }
}

TEST_F(CommandTest, SetDataIdSendsTheIdAndValue) {
  const struct {
    const char* name;
    Bytes reply;
    bool cancel;
    uint16_t length;
    int16_t result;
    uint32_t error;
  } rows[] = {
      {"the largest value", Message(7, kSetDataId, 1), false, 65533, 1, 0},
      {"an unexpected reply", Message(7, 36, 1), false, 2, 1, KXERR_BAD_RESPONSE},
      {"cancel during a good exchange", Message(7, kSetDataId, 1), true, 2, 0, KXERR_COMM},
      {"one byte too many", Message(7, kSetDataId, 1), false, 65534, 0, KXERR_NO_MEMORY},
  };
  const Bytes value = Pattern(65534, 6);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Answer(r.reply, r.cancel);
    const size_t before = instrument.RequestCount();
    uint32_t error = 1;
    EXPECT_EQ(KXSetDataID(0x1234, value.data(), r.length, &error), r.result);
    EXPECT_EQ(error, r.error);
    if (r.error == KXERR_NO_MEMORY) {
      EXPECT_EQ(instrument.RequestCount(), before);  // nothing sent
    } else {
      EXPECT_EQ(instrument.Requests().back(), Message(7, kSetDataId, 0, Cat({0x34, 0x12}, Head(value, r.length))));
    }
  }
}

}  // namespace
