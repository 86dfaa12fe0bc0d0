// The memory-to-memory stream that the library hands to Implode and Explode: the read
// callback serves bytes from a source, the write callback appends to a destination of
// fixed capacity. The caller owns the state and passes it as the callbacks' user
// parameter (Implode's and Explode's `param`). One shared instance, MemStream, carries
// the raw autotest from a save to the converter.
#pragma once

#include <cstdint>

struct MemStreamState {
  // Read side.
  const uint8_t* source = nullptr;
  uint32_t sourceRemaining = 0;
  // Write side: `destination` is where the next byte goes; `written` counts the bytes of
  // the destination buffer in use (it may start above 0 when the caller has already put
  // bytes there) and is compared against `capacity`.
  uint8_t* destination = nullptr;
  uint32_t written = 0;
  uint32_t capacity = 0;
  // Raised when the write side had to drop bytes.
  uint16_t truncated = 0;
};

// The stream of the autotest being converted: a save points its read side (source and
// sourceRemaining) at the raw autotest record before ProcessATResult; ExplodeATRecord
// explodes from it into the workspace, and its `written` is then the exploded length.
extern MemStreamState MemStream;

// Read callback, param a MemStreamState*: copies min(*size, source bytes remaining) bytes
// into buffer, advances the source and returns the count; 0 at the end of the source.
uint32_t MemRead(char* buffer, uint32_t* size, void* param);
// Write callback, param a MemStreamState*: appends *size bytes at the destination. When
// written + *size exceeds the capacity it traces "Truncation during explode\n" (for
// implode too), copies only what fits and raises the truncation flag.
void MemWrite(char* buffer, uint32_t* size, void* param);
