#include "link/message.h"

#include <algorithm>
#include <cstring>

#include "link/packet.h"
#include "link/transport.h"
#include "session/runtime.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

int16_t SendOverSerial(uint16_t flags, const uint8_t* position, uint32_t length, int32_t retries) {
  uint32_t remaining = length;
  int32_t failures = 0;
  for (;;) {
    PumpMessages();
    uint32_t chunk = kMessageChunk;
    if (remaining <= kMessageChunk) {
      chunk = remaining;
      flags |= PacketFlagEnd;
    }
    if (KXSendPacket(flags | PacketFlagMessage, position, static_cast<uint16_t>(chunk))) {
      position += chunk;
      remaining -= chunk;
      flags &= static_cast<uint16_t>(~PacketFlagStart);
      if (CancelRequested.load()) return 0;
    } else {
      Trace(" SendMessage Error - SendPacket Failed \n");
      KXSync();
      if (++failures >= retries || CancelRequested.load()) return 0;
    }
    if (remaining == 0) return 1;
  }
}

namespace {

// The last packet put into the message: its flags, where it lies, its Length and how much
// of it the buffer kept, and the count of refused frames before it was waited for.
struct LastPacket {
  bool present = false;
  uint16_t flags = 0;
  uint32_t at = 0;
  uint32_t length = 0;
  uint32_t kept = 0;
  uint32_t refusedBefore = 0;
};

// True when the packet at `at` repeats the last one (flags and bytes) and a frame was
// refused since the wait for the last one began: the instrument was a packet ahead.
// Departs from appending every good packet (message.h says why).
bool RepeatsAfterRefusal(const LastPacket& last, const uint8_t* buffer, const LastPacket& next) {
  return last.present && RefusedFrameCount != last.refusedBefore && next.flags == last.flags &&
         next.length == last.length && next.kept == last.kept &&
         std::memcmp(buffer + last.at, buffer + next.at, next.kept) == 0;
}

}  // namespace

// Collects packets into `buffer` until one carries PacketFlagEnd. `received` counts
// every packet's full Length, so a message that outgrows the buffer before its last
// packet fails; one whose last packet does not fit is cut to the buffer, and *size never
// reports more bytes than the buffer holds.
int16_t WaitOverSerial(uint8_t* buffer, uint32_t* size, int32_t retries) {
  const uint32_t bufferSize = *size;
  uint32_t received = 0;
  bool started = false;
  int32_t failures = 0;
  uint8_t header[kPacketHeaderSize];
  LastPacket last;
  for (;;) {
    PumpMessages();
    if (bufferSize < received) return 0;
    const uint32_t capacity = std::min(bufferSize - received, kMaxPacketRequest);
    uint8_t* position = buffer + received;
    const uint32_t refusedBefore = RefusedFrameCount;
    if (!KXWaitPacket(header, position, static_cast<uint16_t>(capacity))) {
      Trace(" KXWaitMessage Error - Failure in WaitPacket \n");
      if (++failures >= retries || CancelRequested.load()) {
        *size = std::min(received, bufferSize);
        return 0;
      }
      continue;
    }
    failures = 0;
    const uint16_t flags = GetU16(header + 6);
    const uint32_t length = GetU16(header + 8);
    if (flags & PacketFlagStart) {
      if (received != 0) {
        // An earlier start had no end: the new message begins at the buffer's start.
        std::memmove(buffer, position, std::min(length, capacity));
        received = 0;
        last.present = false;
        Trace(" WaitMessage Warning - Second Start with no End \n");
        // Cut to the room the old message had left, the new start lost bytes that no
        // later packet brings back.
        if (length > capacity) return 0;
      }
      started = true;
    }
    if (started) {
      const LastPacket packet{true, flags, received, length, std::min(length, capacity), refusedBefore};
      if (RepeatsAfterRefusal(last, buffer, packet)) {
        Trace(" WaitMessage Error - Packet repeated after a refused frame \n");
        *size = std::min(received, bufferSize);
        return 0;
      }
      last = packet;
      received += length;
      if (flags & PacketFlagEnd) {
        *size = std::min(received, bufferSize);
        return CancelRequested.load() ? 0 : 1;
      }
    }
    if (CancelRequested.load()) return 0;
  }
}

int32_t DefaultRetries() { return ActiveTransport().defaultRetries; }

extern "C" {

KXAPI int16_t KXAPI_CALL KXSendMessage(uint16_t flags, const void* message, uint32_t length) {
  Trace(" KXSendMessage \n");
  return KXSendMessageWithRetry(flags, message, length, DefaultRetries());
}

KXAPI int16_t KXAPI_CALL KXSendMessageWithRetry(uint16_t flags, const void* message, uint32_t length,
                                                int32_t retries) {
  Trace(" KXSendMessageWithRetry() \n");
  flags |= PacketFlagStart;
  if (length == 0) {
    Trace(" SendMessage Error - Length <= 0 \n");
    return 0;
  }
  return ActiveTransport().sendMessage(flags, static_cast<const uint8_t*>(message), length, retries);
}

KXAPI int16_t KXAPI_CALL KXWaitMessage(void* buffer, uint32_t* size) {
  Trace(" KXWaitMessage \n");
  return KXWaitMessageWithRetry(buffer, size, DefaultRetries());
}

KXAPI int16_t KXAPI_CALL KXWaitMessageWithRetry(void* buffer, uint32_t* size, int32_t retries) {
  Trace(" KXWaitMessageWithRetry() \n");
  return ActiveTransport().waitMessage(static_cast<uint8_t*>(buffer), size, retries);
}

}  // extern "C"
