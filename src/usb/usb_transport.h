// The USB transport: an instrument reached through the two pipes of its device path,
// carrying one application frame per message in each direction (u16 fields little-endian):
//   offset 0  LengthCheck  one's complement of Length
//   offset 2  Length       message bytes that follow, 0 to 65535
//   offset 4  reserved     0 when sent; not read
//   offset 6  the message
// A received header is valid when LengthCheck is the complement of Length; a valid header
// with Length 0 is an empty frame, which carries nothing and is skipped.
//
// Instruments are found by index through the device enumerator module, loaded once per
// process. Reading waits on the in pipe in 1-second slices with poll, where a reader
// thread per read once gave the same behaviour.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr uint32_t kUsbFrameHeaderSize = 6;
constexpr uint32_t kUsbMaxMessage = 65535;

// The device interface class the enumerator is asked about, as a 16-byte GUID
// {86E820E1-D9A4-11D3-9B46-0050DA5FF85A}.
struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
extern const Guid kScannerInterfaceClass;

// The enumerator module and its one function (of the same signature in the module).
constexpr const char* kEnumeratorModule = "libkxdevapi.so";
constexpr const char* kEnumeratorPathVariable = "KXLIB_DEVAPI";
constexpr const char* kEnumeratorFunction = "KXDEVFindDeviceByIndex";
// The interface class travels as an untyped pointer to its 16 bytes, as the module declares it.
using FindDeviceFunction = int32_t (*)(const void* interfaceClass, uint32_t index, char* devicePath, uint32_t* error);

// The pipes of the open instrument (kNoPipe when closed) and the enumerator state: whether
// loading the module was tried, and the function found in it.
extern platform::PipeHandle UsbOutPipe;
extern platform::PipeHandle UsbInPipe;
extern uint8_t EnumeratorTried;
extern FindDeviceFunction EnumeratorFindDevice;

// Non-zero when the enumerator has a device at `index`; its zero-terminated path is then
// in `devicePath` (256 zeroed bytes from the caller). Without the module *error is
// KXERR_NO_SCANNER, without its function KXERR_INVALID_FUNCTION.
uint8_t FindDeviceByIndex(const Guid* interfaceClass, uint32_t index, char* devicePath, uint32_t* error);

// Opens the instrument at `devicePath` as the session (UseCount 1, the USB transport).
int16_t KXOpenUSBDevice(const char* devicePath, uint32_t* error);
// Resets `pipe` of the open USB session and waits half a second.
void KXUSBReset(platform::PipeHandle pipe);
// Whether a pipe status word shows the pipe halted or failed.
bool UsbStatusBad(uint32_t status);

// The USB entry of the transport table (link/transport.h).
int16_t SendOverUsb(uint16_t flags, const uint8_t* message, uint32_t length, int32_t retries);
int16_t WaitOverUsb(uint8_t* buffer, uint32_t* size, int32_t retries);
void CloseUsb();

// Back to the load state (tests): closes pipes left open, forgets the enumerator.
void ResetUsbState();
