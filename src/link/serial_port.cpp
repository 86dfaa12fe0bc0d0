#include "link/serial_port.h"

#include <cstdlib>
#include <cstring>

#include "session/errors.h"

// Rates and the instrument's codes for them. The tenth row is empty and holds no rate.
const BaudRow BaudTable[kBaudTableRows] = {
    {"300", 0},   {"600", 1},   {"1200", 2},  {"2400", 3},  {"4800", 4},
    {"9600", 5},  {"19200", 6}, {"38400", 7}, {"57600", 8}, {"", 0},
};

platform::PortHandle ComHandle = platform::kNoPort;
uint32_t ComPortIsOpen = 0;

namespace {
constexpr uint32_t kBreakMs = 57;
}

const BaudRow* FindBaud(const char* baud) {
  if (baud == nullptr) return nullptr;
  for (int i = 0; i < kBaudTableRows - 1; ++i) {
    if (std::strcmp(BaudTable[i].name, baud) == 0) return &BaudTable[i];
  }
  return nullptr;
}

int16_t ComPortOpen(const char* portName, const char* baud, uint32_t* error) {
  uint32_t winError = 0;
  const platform::PortHandle port =
      platform::SerialOpen(portName, static_cast<uint32_t>(std::atoi(baud)), &winError);
  if (port == platform::kNoPort) {
    *error = MapWinError(winError);
    return 0;
  }
  ComHandle = port;
  ComPortIsOpen = 1;
  return 1;
}

void ComPortWrite(const void* bytes, int16_t count) {
  // A short or failed write shows up later as a missing acknowledgement.
  if (count > 0) platform::SerialWrite(ComHandle, bytes, static_cast<size_t>(count));
}

int16_t ComPortRead(void* buffer, int16_t capacity) {
  if (capacity <= 0) return 0;
  return static_cast<int16_t>(platform::SerialRead(ComHandle, buffer, static_cast<size_t>(capacity)));
}

void ComPortDrain() {
  uint8_t scratch[256];
  while (ComPortRead(scratch, sizeof scratch) >= 1) {
  }
}

void ComPortBreak() {
  const uint32_t start = platform::TickCount();
  platform::SerialSetBreak(ComHandle, true);
  while (!platform::TickPassed(platform::TickCount(), start, kBreakMs)) platform::PauseBriefly();
  platform::SerialSetBreak(ComHandle, false);
}

int16_t ComPortClose() {
  if (ComPortIsOpen != 1) return 0;
  platform::SerialDrainOutput(ComHandle);
  platform::SerialClose(ComHandle);
  ComHandle = platform::kNoPort;
  ComPortIsOpen = 0;
  return 1;
}

void CloseSerialLine() {
  ComPortBreak();
  ComPortClose();
}

void ComPortAwaitInput() { platform::SerialWaitInput(ComHandle, 1); }

void ResetSerialPortState() { ComPortClose(); }
