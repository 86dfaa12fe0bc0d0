#include "session/runtime.h"

#include "kxlib32.h"
#include "session/state.h"
#include "session/trace.h"

void PumpMessages() { platform::RunPumpHook(); }

void WaitPumping(uint32_t ms) {
  const uint32_t t0 = platform::TickCount();
  while (!platform::TickPassed(platform::TickCount(), t0, ms)) {
    PumpMessages();
    platform::PauseBriefly();
  }
}

int16_t AllocLocked(HGLOBAL* handle, void** pointer, uint32_t size) {
  *handle = platform::GlobalAllocZeroed(size);
  if (*handle != nullptr) {
    *pointer = platform::GlobalLockBlock(*handle);
    return 1;
  }
  *pointer = nullptr;
  LastError = KXERR_NO_MEMORY;
  TraceError(LastError, " GlobalAlloc Failure \n");
  return 0;
}

void FreeLocked(HGLOBAL handle) {
  if (handle == nullptr) return;
  platform::GlobalUnlockBlock(handle);
  platform::GlobalFreeBlock(handle);
}
