// Error codes and their texts (the public constants are in kxlib32.h).
#pragma once

#include <cstdint>

#include "kxlib32.h"

// Library code for a Windows-style system error: 2 (file not found) becomes
// KXERR_PORT_UNAVAILABLE, 5 (access denied) KXERR_PORT_IN_USE; any other code is
// returned unchanged.
uint32_t MapWinError(uint32_t windowsError);
