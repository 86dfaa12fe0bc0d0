// Internal to the POSIX platform layer: the failure seam every system-call wrapper
// consults before making its call.
#pragma once

#include "platform/platform.h"

namespace platform::posix {

// Counts the call; returns 0 to go ahead, or the errno the call must fail with.
int CheckInjected(SysCall call);
// The same for a call that moves `size` bytes, which SysCallSizes reports.
int CheckInjected(SysCall call, size_t size);

}  // namespace platform::posix
