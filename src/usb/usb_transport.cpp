#include "usb/usb_transport.h"

#include <cstring>

#include "session/state.h"
#include "session/trace.h"

int16_t SendOverUsb(uint16_t, const uint8_t*, uint32_t, int32_t) {
  Trace(" SendMessage Error - USB transport not available \n");
  return 0;
}

int16_t WaitOverUsb(uint8_t*, uint32_t*, int32_t) {
  if (CancelRequested.load()) return 0;
  Trace(" WaitMessage Error - USB transport not available \n");
  return 0;
}

void CloseUsb() {
  // Nothing is held open: only the device path is forgotten.
  Trace("Closing USB device: %s\n", UsbDevicePath);
  std::memset(UsbDevicePath, 0, sizeof UsbDevicePath);
}
