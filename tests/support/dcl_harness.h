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
#include "compress/dcl_tables.h"
#include "dcl_reference.h"

namespace dcltest {

// One call's input, what it wrote, and how it used the callbacks.
struct Run {
  uint32_t result = 0;
  std::vector<uint8_t> out;
  std::vector<uint32_t> writeSizes, readRequests;
  int readsAfterEnd = 0;  // reads that came after one had returned 0
  const std::vector<uint8_t>* in = nullptr;  // while the call runs
  size_t maxChunk = SIZE_MAX;                // the most one read delivers
  size_t readPos = 0;
  bool ended = false;
};

inline uint32_t MemoryRead(char* buffer, uint32_t* size, void* param) {
  Run& r = *static_cast<Run*>(param);
  r.readRequests.push_back(*size);
  r.readsAfterEnd += r.ended;
  const size_t n = std::min<size_t>({*size, r.in->size() - r.readPos, r.maxChunk});
  if (n > 0) std::memcpy(buffer, r.in->data() + r.readPos, n);
  r.readPos += n;
  r.ended |= n == 0;
  return static_cast<uint32_t>(n);
}

inline void MemoryWrite(char* buffer, uint32_t* size, void* param) {
  Run& r = *static_cast<Run*>(param);
  r.writeSizes.push_back(*size);
  r.out.insert(r.out.end(), buffer, buffer + *size);
}

inline Run RunExplode(const std::vector<uint8_t>& stream, size_t maxChunk = SIZE_MAX, size_t misalign = 0) {
  Run r;
  r.in = &stream;
  r.maxChunk = maxChunk;
  std::vector<char> work(kExplodeWorkAreaSize + misalign, static_cast<char>(0xA5));
  r.result = Explode(MemoryRead, MemoryWrite, work.data() + misalign, &r);
  return r;
}

inline Run RunImplode(const std::vector<uint8_t>& input, uint32_t literalMode, uint32_t dictSize,
                      size_t maxChunk = SIZE_MAX, size_t misalign = 0) {
  Run r;
  r.in = &input;
  r.maxChunk = maxChunk;
  std::vector<char> work(kImplodeWorkAreaSize + misalign, static_cast<char>(0xA5));
  r.result = Implode(MemoryRead, MemoryWrite, work.data() + misalign, &r, &literalMode, &dictSize);
  return r;
}

// True when every write but the last had `block` bytes and the last 1 to `block`, every
// read asked for `minRead` to `maxRead` bytes, and none followed the end of the input.
inline bool CallsInBlocks(const Run& r, uint32_t block, uint32_t minRead, uint32_t maxRead) {
  bool ok = r.readsAfterEnd == 0;
  for (size_t i = 0; i < r.writeSizes.size(); ++i) {
    ok &= r.writeSizes[i] == block || (i + 1 == r.writeSizes.size() && r.writeSizes[i] - 1 < block);
  }
  for (uint32_t n : r.readRequests) ok &= n >= minRead && n <= maxRead;
  return ok;
}

// The library's own ASCII literal code in the model's form, for the fuzz targets, which
// run without the shared file.
inline const AsciiTable& LibraryAscii() {
  static const AsciiTable table = [] {
    AsciiTable t;
    for (unsigned s = 0; s < 256; ++s) {
      t.bits[s] = dcl::kAsciiBits[s];
      t.code[s] = dcl::kAsciiCode[s];
    }
    return t;
  }();
  return table;
}

}  // namespace dcltest
