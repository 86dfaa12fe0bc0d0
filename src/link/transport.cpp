// The transport table and the one place where a device type picks its entry.
#include "link/transport.h"

#include "link/message.h"
#include "link/packet.h"
#include "link/serial_port.h"
#include "session/state.h"
#include "session/trace.h"
#include "usb/usb_transport.h"

namespace {

// Without a line no message can travel.
int16_t SendWithoutLine(uint16_t, const uint8_t*, uint32_t, int32_t) {
  Trace(" SendMessage Error - Invalid \"OPEN\" COM device...\n");
  return 0;
}

int16_t WaitWithoutLine(uint8_t*, uint32_t*, int32_t) {
  Trace(" WaitMessage Error - Invalid \"OPEN\" COM device...\n");
  return 0;
}

void CloseWithoutLine() { Trace("No Open Devices!.\n"); }

void CloseUndefinedLine() { Trace("Error! Current Open device type is undefined!\n"); }

// The retry count of an entry without a line is the USB count: nothing is sent with it.
constexpr Transport kSerial = {DEVICE_COM, kSerialRetries, SendOverSerial, WaitOverSerial, SyncSerialLine,
                               CloseSerialLine, RecordStream::kPipelined};
constexpr Transport kUsb = {DEVICE_USB, kUsbRetries, SendOverUsb, WaitOverUsb, SyncWithoutSerialLine, CloseUsb,
                            RecordStream::kExchange};
constexpr Transport kNone = {DEVICE_NONE, kUsbRetries, SendWithoutLine, WaitWithoutLine, SyncWithoutSerialLine,
                             CloseWithoutLine, RecordStream::kNone};
constexpr Transport kUndefined = {DEVICE_NONE, kUsbRetries, SendWithoutLine, WaitWithoutLine,
                                  SyncWithoutSerialLine, CloseUndefinedLine, RecordStream::kNone};

constexpr const Transport* kTable[] = {&kNone, &kSerial, &kUsb};

const Transport* Active = &kNone;

}  // namespace

const Transport& SerialTransport() { return kSerial; }
const Transport& UsbTransport() { return kUsb; }
const Transport& NoTransport() { return kNone; }

const Transport& ActiveTransport() { return *Active; }

void SelectTransport(const Transport& entry) {
  Active = &entry;
  OpenDeviceType = entry.deviceType;
}

void SelectTransportForType(uint32_t deviceType) {
  Active = &kUndefined;
  for (const Transport* entry : kTable) {
    if (entry->deviceType == deviceType) Active = entry;
  }
  OpenDeviceType = deviceType;
}
