#include "exports/open.h"

#include <cstring>

#include "kxlib32.h"
#include "link/serial_port.h"
#include "link/transport.h"
#include "services/record.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/text.h"

namespace {

constexpr const char* kInitialBaud = "9600";  // every session starts at this rate
constexpr int kPortSettingsLength = 10;
constexpr int kBaudCodeByte = 3;             // the instrument's baud-table code

}  // namespace

// The serial open: the port at 9600 with a break, the instrument's port-settings record
// read, the new rate sent back in it, then the port closed and reopened at that rate.
// The instrument learns its new rate before the PC changes its own.
int16_t OpenSerialSession(const char* portName, const char* baud, uint32_t* error) {
  CancelRequested.store(0);
  SendOnlyMode = 0;
  const BaudRow* rate = FindBaud(baud);
  if (rate == nullptr) {
    *error = KXERR_BAD_BAUD;
    TraceError(*error, "KXOpen Failed - Bad Baud Rate\n");
    return 0;
  }
  if (!ComPortOpen(portName, kInitialBaud, error)) return 0;
  SelectTransport(SerialTransport());
  UseCount = 1;
  ComPortBreak();

  int16_t result = 0;
  uint8_t settings[kPortSettingsLength] = {};
  uint16_t number = 0;
  uint16_t length = sizeof settings;
  if (!KXReadRecordNormalPersistence(PORT_SETTINGS_REC, &number, settings, &length, error)) {
    *error = CancelRequested.load() ? KXERR_CANCELED : KXERR_NO_SCANNER;
  } else if (std::strcmp(baud, kInitialBaud) != 0) {
    settings[kBaudCodeByte] = rate->code;
    if (KXNotify(PORT_SETTINGS_REC, settings, length, error)) {
      result = 1;
    } else {
      *error = KXERR_COMM;
    }
  } else {
    result = 1;
  }

  UseCount = 0;
  ComPortClose();
  if (!result) return 0;
  if (ComPortOpen(portName, baud, error)) {
    UseCount = 1;
    return 1;
  }
  UseCount = 0;
  ComPortClose();
  *error = CancelRequested.load() ? KXERR_CANCELED : KXERR_NO_SCANNER;
  return 0;
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
    result = OpenUsbSessionBySerial(deviceName, error);
  } else if (StartsWithNoCase(deviceName, "COM")) {
    result = OpenSerialSession(deviceName, baud, error);
  } else {
    *error = KXERR_NOT_OPEN;
    TraceError(*error, "KXOpen Failed - Invalid DeviceName \n");
    result = 0;
  }
  if (!result) SelectTransport(NoTransport());
  return result;
}

KXAPI void KXAPI_CALL KXClose(void) {
  Trace("KXClose():\n");
  if (UseCount == 0) {
    Trace("KXClose Warning - No Open device!\n");
    return;
  }
  CancelRequested.store(0);
  ActiveTransport().close();
  UseCount = 0;
}

}  // extern "C"
