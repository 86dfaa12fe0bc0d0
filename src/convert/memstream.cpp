#include "convert/memstream.h"

#include <cstring>

#include "session/trace.h"

MemStreamState MemStream;

uint32_t MemRead(char* buffer, uint32_t* size, void* /*param*/) {
  uint32_t n = *size < MemStream.sourceRemaining ? *size : MemStream.sourceRemaining;
  if (n == 0 || !MemStream.source) return 0;
  std::memcpy(buffer, MemStream.source, n);
  MemStream.source += n;
  MemStream.sourceRemaining -= n;
  return n;
}

void MemWrite(char* buffer, uint32_t* size, void* /*param*/) {
  uint32_t n = *size;
  const uint32_t room = MemStream.written < MemStream.capacity ? MemStream.capacity - MemStream.written : 0;
  if (n > room) {
    Trace("Truncation during explode\n");
    n = room;
    MemStream.truncated = 1;
  }
  if (n == 0 || !MemStream.destination) return;
  std::memcpy(MemStream.destination, buffer, n);
  MemStream.destination += n;
  MemStream.written += n;
}
