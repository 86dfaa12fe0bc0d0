// The calls a host makes to steer the library rather than the instrument: cancel, the
// trace level, and the hooks that stand in for the message queue, message boxes and the
// debugger output on Linux.
#include "kxlib32.h"
#include "platform/platform.h"
#include "session/state.h"
#include "session/trace.h"

extern "C" {

KXAPI void KXAPI_CALL KXCancel(void) {
  Trace("KXCancel Called\n");
  CancelRequested.store(1);
}

KXAPI void KXAPI_CALL KXSetDebugLevel(uint16_t level) { DebugLevel = level; }

KXAPI void KXAPI_CALL KXSetPumpHook(KXPumpHook hook, void* context) { platform::SetPumpHook(hook, context); }

KXAPI void KXAPI_CALL KXSetMessageBoxHook(KXMessageBoxHook hook, void* context) {
  platform::SetMessageBoxHook(hook, context);
}

KXAPI void KXAPI_CALL KXSetTraceHook(KXTraceHook hook, void* context) { platform::SetTraceHook(hook, context); }

}  // extern "C"
