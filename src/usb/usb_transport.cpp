#include "usb/usb_transport.h"

#include <algorithm>
#include <cstring>

#include "kxlib32.h"
#include "link/transport.h"
#include "session/runtime.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

const Guid kScannerInterfaceClass = {0x86E820E1, 0xD9A4, 0x11D3, {0x9B, 0x46, 0x00, 0x50, 0xDA, 0x5F, 0xF8, 0x5A}};

platform::PipeHandle UsbOutPipe = platform::kNoPipe;
platform::PipeHandle UsbInPipe = platform::kNoPipe;
uint8_t EnumeratorTried = 0;
FindDeviceFunction EnumeratorFindDevice = nullptr;

namespace {

constexpr const char* kOutPipeName = "PIPE00";
constexpr const char* kInPipeName = "PIPE01";
constexpr uint32_t kSliceMs = 1000;        // one read attempt
constexpr uint32_t kResetWaitMs = 500;
constexpr uint32_t kEmptyFrameNapMs = 10;
constexpr uint32_t kSmallestCapacity = 64;  // a capacity of this or less is refused
constexpr int kThreadStartTries = 11;       // what a read without attempts once tried
constexpr uint32_t kWriteSizes[] = {16384, 12288, 8192, 4096};
constexpr uint32_t kReadSizes[] = {16384, 12288, 8192, 4096, 2048, 1024};

// The size of each write of a frame: the largest step the frame exceeds, else the frame.
uint32_t WriteSizeFor(uint32_t frame) {
  for (uint32_t step : kWriteSizes) {
    if (frame > step) return step;
  }
  return frame;
}

// The size of the first read for a buffer of `capacity` bytes; 0 when it is too small.
uint32_t ReadSizeFor(uint32_t capacity) {
  for (uint32_t step : kReadSizes) {
    if (capacity > step) return step;
  }
  return capacity > kSmallestCapacity ? capacity : 0;
}

void ClosePipe(platform::PipeHandle* pipe) {
  platform::UsbPipeClose(*pipe);
  *pipe = platform::kNoPipe;
}

// Resets a pipe whose status shows it halted or failed, then closes it.
void ClosePipeChecked(platform::PipeHandle* pipe, const char* closing) {
  if (*pipe == platform::kNoPipe) return;
  if (UsbStatusBad(platform::UsbPipeStatus(*pipe))) KXUSBReset(*pipe);
  Trace("%s", closing);
  ClosePipe(pipe);
}

// One frame being read into the caller's buffer. Before its header is complete the
// buffer holds the frame's first bytes; after it, the message bytes. Bytes of a message
// longer than the buffer are read on (into `scratch`) and dropped, never written past it.
struct FrameRead {
  uint8_t* buffer = nullptr;
  uint32_t capacity = 0;
  uint32_t count = 0;       // bytes the next read asks for at most
  int32_t attempts = 0;
  uint32_t deadline = 0;    // of the whole read
  uint32_t total = 0;       // frame bytes kept before the header, message bytes after it
  bool headerSeen = false;
  uint32_t length = 0;      // the header's Length
  uint32_t remaining = 0;   // message bytes still to come (0 before the header)
  bool overlong = false;    // more bytes came than the header announced
  uint8_t scratch[4096] = {};

  // Where the next read goes and how much it may take.
  uint8_t* Target(uint32_t* room) {
    if (remaining != 0 && remaining < count) count = remaining;
    if (total < capacity) {
      *room = std::min(count, capacity - total);
      return buffer + total;
    }
    *room = std::min<uint32_t>(count, sizeof scratch);
    return scratch;
  }
};

enum class Step { kGoOn, kDone, kFailed };

// The frame's header has just become complete: checks it and keeps the message bytes.
Step TakeHeader(FrameRead& r) {
  const uint16_t check = GetU16(r.buffer);
  const uint16_t length = GetU16(r.buffer + 2);
  if (check != static_cast<uint16_t>(~length)) {
    --r.attempts;
    Trace("Invalid USB Application data Header");
    r.total = 0;
    if (r.attempts <= 0) return Step::kFailed;
    return Step::kGoOn;
  }
  if (length == 0) {
    r.total = 0;
    if (platform::TickPassed(platform::TickCount(), r.deadline, 0)) return Step::kFailed;
    platform::SleepMs(kEmptyFrameNapMs);
    return Step::kGoOn;
  }
  r.headerSeen = true;
  r.length = length;
  r.total -= kUsbFrameHeaderSize;
  std::memmove(r.buffer, r.buffer + kUsbFrameHeaderSize, r.total);
  if (r.total > length) {
    // A frame longer than it says never completes: it ends at the deadline.
    r.overlong = true;
    return Step::kGoOn;
  }
  if (length == r.total) return Step::kDone;
  r.remaining = length - r.total;
  if (length > r.capacity) {
    const char* stars = "********************************************************************************\n";
    Trace("%s", stars);
    Trace("KXReadUSBData() - Insufficient Space in caller's \t\t\t\t\t\t\t\t\t\t\t\tBuffer. Message size = %d > "
          "Buffer size = %d\n", length, r.capacity);
    Trace("%s", stars);
  }
  return Step::kGoOn;
}

// `n` bytes have arrived at the read's target.
Step TakeBytes(FrameRead& r, uint32_t n) {
  Trace("- Read %d bytes successfully\n", n);
  if (!r.headerSeen) {
    r.total += n;
    return r.total >= kUsbFrameHeaderSize ? TakeHeader(r) : Step::kGoOn;
  }
  r.total = std::min(r.total + n, r.capacity);
  r.remaining -= n;
  if (r.remaining == 0) return r.length <= r.capacity ? Step::kDone : Step::kFailed;
  if (platform::TickPassed(platform::TickCount(), r.deadline, 0)) return Step::kFailed;
  return Step::kGoOn;
}

// One pass of the read: waits briefly on the pipe and takes what came. A slot of
// kSliceMs without data uses up an attempt, as does a failed read (which then waits out
// its slot).
Step ReadPass(FrameRead& r, uint32_t* slotStart) {
  if (r.overlong) {
    platform::UsbPipeWaitInput(UsbInPipe);
    uint32_t ignored = 0;
    platform::UsbPipeRead(UsbInPipe, r.scratch, sizeof r.scratch, &ignored);
    return platform::TickPassed(platform::TickCount(), r.deadline, 0) ? Step::kFailed : Step::kGoOn;
  }
  platform::UsbPipeWaitInput(UsbInPipe);
  uint32_t room = 0;
  uint8_t* target = r.Target(&room);
  uint32_t winError = 0;
  const long n = platform::UsbPipeRead(UsbInPipe, target, room, &winError);
  if (n > 0) {
    *slotStart = platform::TickCount();
    return TakeBytes(r, static_cast<uint32_t>(n));
  }
  if (n < 0) {
    --r.attempts;
    LastUsbStatus = winError;
    Trace("ReadFile Returned FALSE from Thread, GetLastError() = %d,  \t\t\t\t\t\t\tBytes read = %d\n", winError, 0);
    const uint32_t now = platform::TickCount();
    if (!platform::TickPassed(now, *slotStart, kSliceMs)) WaitPumping(*slotStart + kSliceMs - now);
    *slotStart = platform::TickCount();
    return r.attempts <= 0 ? Step::kFailed : Step::kGoOn;
  }
  if (platform::TickPassed(platform::TickCount(), *slotStart, kSliceMs)) {
    --r.attempts;
    Trace("\nReadFile timed out waiting for %d bytes of data.\n", room);
    *slotStart = platform::TickCount();
    if (r.attempts <= 0) return Step::kFailed;
  }
  return Step::kGoOn;
}

}  // namespace

bool UsbStatusBad(uint32_t status) {
  return (status & 0xC0000000u) == 0xC0000000u || (status & 0x80000000u) != 0;
}

uint8_t FindDeviceByIndex(const Guid* interfaceClass, uint32_t index, char* devicePath, uint32_t* error) {
  if (!EnumeratorTried) {
    EnumeratorTried = 1;
    platform::ModuleHandle module = platform::LoadModule(kEnumeratorModule, kEnumeratorPathVariable);
    if (module == nullptr) {
      *error = KXERR_NO_SCANNER;
      return 0;
    }
    void* function = platform::ModuleFunction(module, kEnumeratorFunction);
    if (function == nullptr) {
      platform::FreeModule(module);
      *error = KXERR_INVALID_FUNCTION;
      return 0;
    }
    std::memcpy(&EnumeratorFindDevice, &function, sizeof function);
  } else if (EnumeratorFindDevice == nullptr) {
    *error = KXERR_NO_SCANNER;
    return 0;
  }
  const int32_t found = EnumeratorFindDevice(interfaceClass, index, devicePath, error);
  devicePath[sizeof UsbDevicePath - 1] = '\0';  // the module's path is bounded here
  return static_cast<uint8_t>(found & 0xFF);
}

int16_t KXOpenUSBDevice(const char* devicePath, uint32_t* error) {
  Trace("%s\nKXOpenUSBDevice: %s\n", "KXLIB32.DLL built on " __DATE__ " at " __TIME__ ".\n", devicePath);
  *error = 0;
  UsbInPipe = platform::kNoPipe;
  UsbOutPipe = platform::kNoPipe;
  LastUsbStatus = 0;
  uint32_t winError = 0;
  if (!platform::UsbDeviceProbe(devicePath, &winError)) {
    *error = KXERR_NO_SCANNER;
    return 0;
  }
  UsbOutPipe = platform::UsbPipeOpen(devicePath, kOutPipeName, true, &winError);
  if (UsbOutPipe != platform::kNoPipe) UsbInPipe = platform::UsbPipeOpen(devicePath, kInPipeName, false, &winError);
  if (UsbOutPipe == platform::kNoPipe || UsbInPipe == platform::kNoPipe) {
    ClosePipe(&UsbOutPipe);
    ClosePipe(&UsbInPipe);
    Trace("Failed to open device %s\n Error = %d\n", devicePath, winError);
    UseCount = 0;
    *error = KXERR_NOT_OPEN;
    return 0;
  }
  Trace("Opened USB device successfully.\n");
  Trace("Complete Device Name = %s\n", devicePath);
  Trace("\\PIPE00 handle = %d\n", UsbOutPipe);
  Trace("\\PIPE01 handle = %d\n", UsbInPipe);
  std::memset(UsbDevicePath, 0, sizeof UsbDevicePath);
  std::memcpy(UsbDevicePath, devicePath, strnlen(devicePath, sizeof UsbDevicePath - 1));
  SelectTransport(UsbTransport());
  UseCount = 1;
  return 1;
}

void KXUSBReset(platform::PipeHandle pipe) {
  Trace("KXUSBReset():\n");
  if (UseCount == 0) {
    Trace("KXClose Warning - No Open device!\n");
  } else if (OpenDeviceType == DEVICE_USB) {
    platform::UsbPipeReset(pipe);
    WaitPumping(kResetWaitMs);
    Trace(" SendMessage Error - Call IOCTL - RESET DEVICE...\n");
  } else {
    Trace("Error! Current Open device type is undefined!\n");
  }
}

int16_t SendOverUsb(uint16_t, const uint8_t* message, uint32_t length, int32_t retries) {
  int32_t failures = 0;
  for (;;) {
    PumpMessages();
    if (CancelRequested.load()) return 0;
    const uint32_t status = platform::UsbPipeStatus(UsbOutPipe);
    if (UsbStatusBad(status)) {
      KXUSBReset(UsbOutPipe);
      ++UsbSendErrorCount;
    }
    if (KXWriteUSBData(message, length)) {
      LastUsbStatus = 0;
      return 1;
    }
    if (++failures >= retries) {
      if (UsbStatusBad(status)) LastUsbStatus = status;
      return 0;
    }
    ++UsbSendErrorCount;
  }
}

int16_t WaitOverUsb(uint8_t* buffer, uint32_t* size, int32_t retries) {
  if (CancelRequested.load()) return 0;
  LastUsbStatus = 0;
  uint32_t error = 0;  // not passed on: the services set their own codes
  const int16_t result = KXReadUSBData(buffer, size, retries, &error);
  if (!result) LastUsbStatus = platform::UsbPipeStatus(UsbInPipe);
  return result;
}

void CloseUsb() {
  Trace("Closing USB device: %s\n", UsbDevicePath);
  std::memset(UsbDevicePath, 0, sizeof UsbDevicePath);
  ClosePipeChecked(&UsbInPipe, "Close USB In Pipe connection...\n");
  ClosePipeChecked(&UsbOutPipe, "Close USB Out Pipe connection...\n");
}

void ResetUsbState() {
  ClosePipe(&UsbInPipe);
  ClosePipe(&UsbOutPipe);
  EnumeratorTried = 0;
  EnumeratorFindDevice = nullptr;
}

extern "C" {

KXAPI int16_t KXAPI_CALL KXWriteUSBData(const void* message, uint32_t length) {
  if (length > kUsbMaxMessage) {
    Trace("KXWriteUSBData() - Message Length exceeded \t\t\t\t\tmaximum allowable size of %d bytes\n",
          kUsbMaxMessage);
    return 0;
  }
  if (message == nullptr && length != 0) return 0;
  const uint32_t frameLength = length + kUsbFrameHeaderSize;
  const uint32_t writeSize = WriteSizeFor(frameLength);
  HGLOBAL handle = nullptr;
  void* memory = nullptr;
  if (!AllocLocked(&handle, &memory, frameLength)) return 0;
  auto* frame = static_cast<uint8_t*>(memory);
  PutU16(frame, static_cast<uint16_t>(~length));
  PutU16(frame + 2, static_cast<uint16_t>(length));
  if (length != 0) std::memcpy(frame + kUsbFrameHeaderSize, message, length);

  int16_t result = 0;
  uint32_t done = 0;
  uint32_t size = writeSize;
  uint32_t winError = 0;
  for (uint32_t writes = 0; writes <= frameLength / writeSize; ++writes) {
    const size_t written = platform::UsbPipeWrite(UsbOutPipe, frame + done, size, &winError);
    if (written != size) break;
    done += size;
    if (done == frameLength) {
      result = 1;
      break;
    }
    size = std::min(frameLength - done, writeSize);
    PumpMessages();
  }
  if (result) {
    Trace(" KXWriteUSBData() wrote %d bytes successfully...\n", frameLength);
  } else {
    LastUsbStatus = winError;
  }
  FreeLocked(handle);
  return result;
}

KXAPI int16_t KXAPI_CALL KXReadUSBData(void* buffer, uint32_t* size, int32_t attempts, uint32_t* error) {
  *error = 0;
  const uint32_t readSize = (buffer != nullptr && size != nullptr) ? ReadSizeFor(*size) : 0;
  if (readSize == 0) {
    Trace("KXReadUSBData(): Caller allocated buffer too small. Must be a positive number!\n");
    *error = KXERR_INVALID_FUNCTION;
    return 0;
  }
  if (attempts <= 0) {
    Trace("KXReadUSBData Failed %d CreateThread() attempts.\n", kThreadStartTries);
    WaitPumping(kSliceMs);
    return 0;
  }
  FrameRead r;
  r.buffer = static_cast<uint8_t*>(buffer);
  r.capacity = *size;
  r.count = readSize;
  r.attempts = attempts;
  r.deadline = platform::TickCount() + static_cast<uint32_t>(attempts) * kSliceMs;
  uint32_t slotStart = platform::TickCount();
  Step step = Step::kGoOn;
  while (step == Step::kGoOn) {
    step = ReadPass(r, &slotStart);
    PumpMessages();
  }
  if (step == Step::kFailed) return 0;
  *size = r.total;
  return 1;
}

KXAPI int16_t KXAPI_CALL KXFlushUSB(void) {
  Trace("KXFlushUSB\n");
  if (UseCount == 0) {
    Trace("KXFlushUSB Error - KXLIB32 not currently open\n");
    return 0;
  }
  if (OpenDeviceType != DEVICE_USB) return 0;
  if (FlushDepth++ != 0) {
    Trace("KXFlushUSB recursive Call!\n");
    return 0;
  }
  HGLOBAL handle = nullptr;
  void* block = nullptr;
  int16_t result = 0;
  if (AllocLocked(&handle, &block, kUsbMaxMessage)) {
    uint32_t size = kUsbMaxMessage;
    uint32_t error = 0;
    result = KXReadUSBData(block, &size, 1, &error);
    FreeLocked(handle);
  }
  FlushDepth = 0;
  return result;
}

KXAPI void KXAPI_CALL KXGetUSBErrors(uint32_t* sendErrors, uint32_t* receiveErrors) {
  if (sendErrors) *sendErrors = UsbSendErrorCount;
  if (receiveErrors) *receiveErrors = UsbReceiveErrorCount;
}

}  // extern "C"
