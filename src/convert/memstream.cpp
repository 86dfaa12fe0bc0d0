#include "convert/memstream.h"

#include <cstring>

#include "session/trace.h"

MemStreamState MemStream;

uint32_t MemRead(char* buffer, uint32_t* size, void* param) {
  auto* stream = static_cast<MemStreamState*>(param);
  const uint32_t n = *size < stream->sourceRemaining ? *size : stream->sourceRemaining;
  if (n == 0 || !stream->source) return 0;
  std::memcpy(buffer, stream->source, n);
  stream->source += n;
  stream->sourceRemaining -= n;
  return n;
}

void MemWrite(char* buffer, uint32_t* size, void* param) {
  auto* stream = static_cast<MemStreamState*>(param);
  uint32_t n = *size;
  const uint32_t room = stream->written < stream->capacity ? stream->capacity - stream->written : 0;
  if (n > room) {
    Trace("Truncation during explode\n");
    n = room;
    stream->truncated = 1;
  }
  if (n == 0 || !stream->destination) return;
  std::memcpy(stream->destination, buffer, n);
  stream->destination += n;
  stream->written += n;
}
