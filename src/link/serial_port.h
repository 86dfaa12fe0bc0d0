// The serial port driver: one port at a time, opened for the session, with the raw
// byte operations the packet layer builds on. The line runs 8N1 without flow control;
// reads return at once with whatever has arrived.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// One row of the baud table: the rate as text and the code the instrument stores for it
// in byte 3 of its port-settings record.
struct BaudRow {
  char name[10];
  uint8_t code;
};

constexpr int kBaudTableRows = 10;
extern const BaudRow BaudTable[kBaudTableRows];

// The row whose name equals `baud` exactly (nine rate rows; the tenth is empty), or null.
const BaudRow* FindBaud(const char* baud);

// The open port (ComHandle) and the COM-open flag.
extern platform::PortHandle ComHandle;
extern uint32_t ComPortIsOpen;

// Opens `portName` at `baud` (a baud-table text); returns 1, or 0 with *error set to
// MapWinError of the system error (KXERR_PORT_UNAVAILABLE, KXERR_PORT_IN_USE, or the raw code).
int16_t ComPortOpen(const char* portName, const char* baud, uint32_t* error);
void ComPortWrite(const void* bytes, int16_t count);
// Up to `capacity` bytes already received; 0 when nothing was waiting or the read failed.
int16_t ComPortRead(void* buffer, int16_t capacity);
// Discards everything received so far.
void ComPortDrain();
// Holds a break on the line for at least 57 ms.
void ComPortBreak();
// Returns 1 if a port was open and has been closed, else 0.
int16_t ComPortClose();
// The close of a serial session (the serial entry of the transport table): a break, then
// the port closed.
void CloseSerialLine();

// Waits (without spinning) until input arrives on the open port or about a millisecond passes.
void ComPortAwaitInput();

// Back to the load state (tests): closes a port left open.
void ResetSerialPortState();
