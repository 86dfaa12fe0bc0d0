// The USB entry of the transport table (link/transport.h). This build has no USB
// transport yet: a USB session can neither send nor receive, and its close only forgets
// the device path.
#pragma once

#include <cstdint>

int16_t SendOverUsb(uint16_t flags, const uint8_t* message, uint32_t length, int32_t retries);
int16_t WaitOverUsb(uint8_t* buffer, uint32_t* size, int32_t retries);
void CloseUsb();
