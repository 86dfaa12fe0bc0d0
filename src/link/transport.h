// The session's transport: one small table of operations per kind of line (the serial
// line, the USB pipes), chosen once when the session opens. The message layer, KXSync
// and KXClose call through the chosen entry and never test the device type; the open
// procedures choose the entry (SelectTransport), and OpenDeviceType keeps its code as
// the state a host or a test can observe.
//
// Besides the two lines the table has an entry for "no transport" (no session has been
// opened, or the last open failed) and one for a device type that names no entry: both
// refuse to send and receive with their own traces, so every call behaves the same way
// whatever state the globals are in.
#pragma once

#include <cstdint>

// OpenDeviceType of each line (DEVICE_NONE, the load value, is in session/state.h).
constexpr uint32_t DEVICE_USB = 0x00FF;
constexpr uint32_t DEVICE_COM = 0xFF00;

// How a download of stored autotests streams its records over the line: the serial line
// keeps requests in flight and acknowledges on its own (pipelined), the USB pipes make one
// full exchange per record, and without a line nothing is downloaded.
enum class RecordStream : uint8_t { kNone, kPipelined, kExchange };

struct Transport {
  // What OpenDeviceType holds while this entry is selected.
  uint32_t deviceType;
  // The failures KXSendMessage, KXWaitMessage and the "normal persistence" record read
  // tolerate (DefaultRetries).
  int32_t defaultRetries;
  // KXSendMessageWithRetry, after its checks: sends the `length` (> 0) bytes of one
  // message, PacketFlagStart already in `flags`, tolerating `retries` failures. Returns 1
  // when the whole message went out, 0 on failure or cancel.
  int16_t (*sendMessage)(uint16_t flags, const uint8_t* message, uint32_t length, int32_t retries);
  // KXWaitMessageWithRetry: receives one message into `buffer`, whose capacity is *size on
  // entry; *size becomes the message's length (on failure, the bytes collected so far).
  // Returns 1 for a whole message, 0 on failure or cancel.
  int16_t (*waitMessage)(uint8_t* buffer, uint32_t* size, int32_t retries);
  // KXSync while a session is open (UseCount 1): brings the line back to a known state
  // after a failed exchange, or traces why it cannot. Returns KXSync's result, always 0.
  int16_t (*sync)();
  // KXClose while a session is open (UseCount not 0), before UseCount is cleared:
  // releases what the open acquired. OpenDeviceType and the selected entry stay.
  void (*close)();
  // The download loop the savers run on this line.
  RecordStream recordStream;
};

// The entries an open procedure selects.
const Transport& SerialTransport();
const Transport& UsbTransport();
const Transport& NoTransport();

// The entry of the current session (NoTransport at load).
const Transport& ActiveTransport();

// Makes `entry` the session's transport; OpenDeviceType becomes its device type.
void SelectTransport(const Transport& entry);

// Selects the entry whose device type is `deviceType` and stores the code in
// OpenDeviceType; a code of no entry selects the entry that only traces that the device
// type is undefined. For resetting the state and for tests that set up a session by hand.
void SelectTransportForType(uint32_t deviceType);
