#include "session/state.h"

#include <cstring>

// Load values of the session state.
uint32_t UseCount = 0;
uint32_t OpenDeviceType = DEVICE_NONE;
std::atomic<uint32_t> CancelRequested{0};
uint8_t SendOnlyMode = 0;
uint32_t ResendAllowed = 1;
uint16_t DebugLevel = 0;
uint32_t CommErrorCount = 0;
uint32_t RefusedFrameCount = 0;
uint32_t UsbSendErrorCount = 0;
uint32_t UsbReceiveErrorCount = 0;
uint32_t LastError = 0;
uint32_t LastUsbStatus = 0;
uint32_t SyncDepth = 0;
uint32_t FlushDepth = 0;
char UsbDevicePath[256] = {};
char ConnectedSerial[256] = {};

void ResetLibraryState() {
  UseCount = 0;
  OpenDeviceType = DEVICE_NONE;
  CancelRequested.store(0);
  SendOnlyMode = 0;
  ResendAllowed = 1;
  DebugLevel = 0;
  CommErrorCount = 0;
  RefusedFrameCount = 0;
  UsbSendErrorCount = 0;
  UsbReceiveErrorCount = 0;
  LastError = 0;
  LastUsbStatus = 0;
  SyncDepth = 0;
  FlushDepth = 0;
  std::memset(UsbDevicePath, 0, sizeof UsbDevicePath);
  std::memset(ConnectedSerial, 0, sizeof ConnectedSerial);
}
