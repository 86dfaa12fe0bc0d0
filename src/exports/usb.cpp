// The USB session and the enumeration calls: instruments found by index through the
// enumerator, each opened in turn and asked for its serial number (a service), and the
// global-memory calls a host builds the connection list with.
#include <cstring>

#include "exports/open.h"
#include "kxlib32.h"
#include "platform/platform.h"
#include "session/state.h"
#include "usb/usb_transport.h"

namespace {

// The most device positions asked about: a USB bus has at most 127 devices, and an
// enumerator that never says "no more" must not keep the caller forever.
constexpr uint32_t kMaxDevices = 127;
constexpr uint32_t kPathSize = 256;
constexpr uint32_t kSerialLength = 11;

// The record of KXGetVexaUSBConnections: the device path, then the serial number.
constexpr size_t kEntrySize = KX_USB_ENTRY_SIZE;
constexpr size_t kEntrySerialOffset = kPathSize;

// A session left open is closed before the enumeration reuses the session's state.
void CloseOpenSession() {
  if (UseCount != 0) KXClose();
}

}  // namespace

int16_t OpenUsbSessionBySerial(const char* serial, uint32_t* error) {
  *error = 0;
  if (serial == nullptr || *serial == '\0') return 0;
  for (uint32_t index = 0; index < kMaxDevices; ++index) {
    char path[kPathSize] = {};
    if (!FindDeviceByIndex(&kScannerInterfaceClass, index, path, error)) break;
    uint32_t openError = 0;
    if (!KXOpenUSBDevice(path, &openError)) {
      *error = openError;
      continue;
    }
    char got[kSerialLength + 1] = {};
    if (!KXGetSerialNumber(got)) {
      KXFlushUSB();
      if (!KXGetSerialNumber(got)) {
        KXClose();
        *error = KXERR_COMM;
        continue;
      }
    }
    if (std::strcmp(got, serial) == 0) {
      std::memset(ConnectedSerial, 0, sizeof ConnectedSerial);
      std::memcpy(ConnectedSerial, got, sizeof got);
      return 1;
    }
    KXClose();
  }
  if (*error == 0) *error = KXERR_NO_SCANNER;
  return 0;
}

extern "C" {

KXAPI int32_t KXAPI_CALL KXGetVexaUSBCount(uint32_t* error) {
  *error = 0;
  CloseOpenSession();
  int32_t count = 0;
  for (uint32_t index = 0; index < kMaxDevices; ++index) {
    char path[kPathSize] = {};
    if (!FindDeviceByIndex(&kScannerInterfaceClass, index, path, error)) break;
    if (KXOpenUSBDevice(path, error)) {
      ++count;
      KXClose();
    }
  }
  if (count == 0 && *error == 0) *error = KXERR_NO_SCANNER;
  return count;
}

KXAPI uint32_t KXAPI_CALL KXGetVexaUSBConnections(void* list, uint32_t* error) {
  *error = 0;
  auto* block = static_cast<uint8_t*>(KXGlobalLock(list));
  const size_t capacity = KXGlobalSize(list) / kEntrySize;
  if (block == nullptr || capacity == 0) {
    if (block != nullptr) KXGlobalUnlock(list);
    *error = KXERR_BAD_MEMORY_HANDLE;
    return 0;
  }
  CloseOpenSession();
  uint32_t count = 0;
  for (uint32_t index = 0; index < kMaxDevices && count < capacity; ++index) {
    char path[kPathSize] = {};
    if (!FindDeviceByIndex(&kScannerInterfaceClass, index, path, error)) break;
    if (!KXOpenUSBDevice(path, error)) continue;
    uint8_t* entry = block + count * kEntrySize;
    if (KXGetSerialNumber(reinterpret_cast<char*>(entry + kEntrySerialOffset))) {
      std::memcpy(entry, path, kPathSize);
      ++count;
    }
    KXClose();
  }
  KXGlobalUnlock(list);
  return count;
}

KXAPI void* KXAPI_CALL KXGlobalAlloc(uint32_t, size_t bytes) { return platform::GlobalAllocZeroed(bytes); }

KXAPI void* KXAPI_CALL KXGlobalLock(void* block) {
  if (block == nullptr || platform::GlobalBlockSize(block) == 0) return nullptr;
  return platform::GlobalLockBlock(block);
}

KXAPI int32_t KXAPI_CALL KXGlobalUnlock(void* block) {
  return static_cast<int32_t>(platform::GlobalUnlockBlock(block));
}

KXAPI size_t KXAPI_CALL KXGlobalSize(void* block) { return platform::GlobalBlockSize(block); }

KXAPI void* KXAPI_CALL KXGlobalFree(void* block) {
  platform::GlobalFreeBlock(block);
  return nullptr;
}

}  // extern "C"
