#include "session/open.h"

#include <cctype>
#include <cstring>

#include "kxlib32.h"
#include "link/serial_port.h"
#include "session/state.h"
#include "session/trace.h"

namespace {

bool StartsWithNoCase(const char* text, const char* prefix) {
  if (text == nullptr) return false;
  for (; *prefix; ++text, ++prefix) {
    if (std::toupper(static_cast<unsigned char>(*text)) != std::toupper(static_cast<unsigned char>(*prefix)))
      return false;
  }
  return true;
}

// Opening by serial number needs the USB transport, which this build does not have:
// no instrument can be found that way.
int16_t OpenUsbSession(const char* serialNumber, uint32_t* error) {
  Trace("KXOpen Failed - USB transport not available for %s \n", serialNumber ? serialNumber : "");
  *error = KXERR_NO_SCANNER;
  TraceError(*error, "KXOpen Failed - No USB device \n");
  return 0;
}

void CloseSerialSession() {
  ComPortBreak();
  ComPortClose();
}

}  // namespace

int16_t OpenSerialSession(const char* portName, const char* baud, uint32_t* error) {
  CancelRequested.store(0);
  SendOnlyMode = 0;
  if (FindBaud(baud) == nullptr) {
    *error = KXERR_BAD_BAUD;
    TraceError(*error, "KXOpen Failed - Bad Baud Rate\n");
    return 0;
  }
  if (!ComPortOpen(portName, baud, error)) return 0;
  OpenDeviceType = DEVICE_COM;
  UseCount = 1;
  return 1;
}

extern "C" {

KXAPI int16_t KXAPI_CALL KXOpen(const char* deviceName, const char* baud, uint32_t* error) {
  Trace("%s\n\n", "KXLIB32.DLL built on " __DATE__ " at " __TIME__ ".\n");
  Trace("KXOpen %s %s \n", deviceName ? deviceName : "(null)", baud ? baud : "(null)");
  *error = 0;
  if (UseCount != 0) {
    *error = KXERR_NOT_OPEN;
    TraceError(*error, "KXOpen Failed - UseCount != 0 \n");
    return 0;
  }
  CancelRequested.store(0);

  int16_t result;
  if (StartsWithNoCase(baud, "USB")) {
    result = OpenUsbSession(deviceName, error);
  } else if (StartsWithNoCase(deviceName, "COM")) {
    result = OpenSerialSession(deviceName, baud, error);
  } else {
    *error = KXERR_NOT_OPEN;
    TraceError(*error, "KXOpen Failed - Invalid DeviceName \n");
    result = 0;
  }
  if (!result) OpenDeviceType = DEVICE_NONE;
  return result;
}

KXAPI void KXAPI_CALL KXClose(void) {
  Trace("KXClose():\n");
  if (UseCount == 0) {
    Trace("KXClose Warning - No Open device!\n");
    return;
  }
  CancelRequested.store(0);
  switch (OpenDeviceType) {
    case DEVICE_NONE:
      Trace("No Open Devices!.\n");
      break;
    case DEVICE_COM:
      CloseSerialSession();
      break;
    case DEVICE_USB:
      // The USB transport is not part of this build; nothing is held open.
      Trace("Closing USB device: %s\n", UsbDevicePath);
      std::memset(UsbDevicePath, 0, sizeof UsbDevicePath);
      break;
    default:
      Trace("Error! Current Open device type is undefined!\n");
      break;
  }
  UseCount = 0;
}

}  // extern "C"
