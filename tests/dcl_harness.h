// Memory callbacks and one-call runners for Explode and Implode, for tests and fuzz
// targets. The work area is a heap block of exactly the documented size (so the
// sanitizer sees any access past it), filled with a non-zero pattern (so nothing may
// count on it being cleared), optionally handed over at an odd address.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "compress/dcl.h"

namespace dcltest {

struct MemoryIo {
  const uint8_t* in = nullptr;
  size_t inSize = 0;
  size_t readPos = 0;
  size_t maxChunk = SIZE_MAX;  // largest count one read delivers
  bool ended = false;
  int readsAfterEnd = 0;       // reads that came after one had returned 0
  std::vector<uint32_t> readRequests;
  std::vector<uint8_t> out;
  std::vector<uint32_t> writeSizes;
};

inline uint32_t MemoryRead(char* buffer, uint32_t* size, void* param) {
  auto* io = static_cast<MemoryIo*>(param);
  io->readRequests.push_back(*size);
  if (io->ended) ++io->readsAfterEnd;
  size_t n = std::min<size_t>({*size, io->inSize - io->readPos, io->maxChunk});
  if (n > 0) std::memcpy(buffer, io->in + io->readPos, n);
  io->readPos += n;
  if (n == 0) io->ended = true;
  return static_cast<uint32_t>(n);
}

inline void MemoryWrite(char* buffer, uint32_t* size, void* param) {
  auto* io = static_cast<MemoryIo*>(param);
  io->writeSizes.push_back(*size);
  io->out.insert(io->out.end(), buffer, buffer + *size);
}

struct Run {
  uint32_t result = 0;
  std::vector<uint8_t> out;
  std::vector<uint32_t> writeSizes;
  std::vector<uint32_t> readRequests;
  int readsAfterEnd = 0;
};

inline Run Finish(uint32_t result, MemoryIo& io) {
  return Run{result, std::move(io.out), std::move(io.writeSizes), std::move(io.readRequests), io.readsAfterEnd};
}

inline Run RunExplode(const std::vector<uint8_t>& stream, size_t maxChunk = SIZE_MAX, size_t misalign = 0) {
  MemoryIo io;
  io.in = stream.data();
  io.inSize = stream.size();
  io.maxChunk = maxChunk;
  std::vector<char> work(kExplodeWorkAreaSize + misalign, static_cast<char>(0xA5));
  const uint32_t result = Explode(MemoryRead, MemoryWrite, work.data() + misalign, &io);
  return Finish(result, io);
}

inline Run RunImplode(const std::vector<uint8_t>& input, uint32_t literalMode, uint32_t dictSize,
                      size_t maxChunk = SIZE_MAX, size_t misalign = 0) {
  MemoryIo io;
  io.in = input.data();
  io.inSize = input.size();
  io.maxChunk = maxChunk;
  std::vector<char> work(kImplodeWorkAreaSize + misalign, static_cast<char>(0xA5));
  const uint32_t result = Implode(MemoryRead, MemoryWrite, work.data() + misalign, &io, &literalMode, &dictSize);
  return Finish(result, io);
}

}  // namespace dcltest
