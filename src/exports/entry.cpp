// Load and unload. The shared object's constructor sets every global to its load value
// (the static initialisers already have, so this also serves a static link); its
// destructor closes a session left open.
#include "exports/entry.h"

#include "convert/config_state.h"
#include "kxlib32.h"
#include "link/serial_port.h"
#include "link/transport.h"
#include "platform/platform.h"
#include "session/state.h"
#include "usb/usb_transport.h"

void ResetLibraryForTests() {
  ResetSerialPortState();
  ResetUsbState();
  ResetLibraryState();
  SelectTransport(NoTransport());
  ResetConvertState();
  platform::ResetPlatform();
}

namespace {

__attribute__((constructor)) void LibraryLoad() {
  ResetLibraryState();
  platform::OpenTraceSinkFromEnvironment();
}

__attribute__((destructor)) void LibraryUnload() { KXClose(); }

}  // namespace
