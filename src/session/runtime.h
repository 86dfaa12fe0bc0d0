// Session runtime helpers used by every layer above: the message pump of the waiting
// loops, and the zero-filled message buffers (whose failure is traced and recorded in
// LastError).
#pragma once

#include <cstdint>

#include "platform/platform.h"

using HGLOBAL = platform::MemHandle;

// Lets the host keep its user interface alive and call KXCancel (the pump hook).
void PumpMessages();
// Pumps until `ms` milliseconds have passed, without spinning.
void WaitPumping(uint32_t ms);

// Allocates `size` zero-filled bytes into *handle and *pointer; returns 1. On failure
// traces " GlobalAlloc Failure \n", sets LastError to KXERR_NO_MEMORY and returns 0.
int16_t AllocLocked(HGLOBAL* handle, void** pointer, uint32_t size);
void FreeLocked(HGLOBAL handle);
