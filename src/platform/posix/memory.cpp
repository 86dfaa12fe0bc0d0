// Global memory: zero-filled blocks that remember their size, the counterpart of the
// fixed global memory the library's message buffers were always built in.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/posix/seam.h"

namespace platform {
namespace {

// Block layout: the size, then the caller's bytes (aligned for any type).
struct alignas(std::max_align_t) BlockHeader {
  size_t size;
  uint32_t locks;
};

BlockHeader* HeaderOf(MemHandle handle) { return static_cast<BlockHeader*>(handle); }

}  // namespace

MemHandle GlobalAllocZeroed(size_t size) {
  if (posix::CheckInjected(SysCall::Alloc) != 0) return nullptr;
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  void* raw = std::calloc(1, sizeof(BlockHeader) + size);
  if (raw == nullptr) return nullptr;
  HeaderOf(raw)->size = size;
  return raw;
}

void* GlobalLockBlock(MemHandle handle) {
  if (handle == nullptr) return nullptr;
  ++HeaderOf(handle)->locks;
  return HeaderOf(handle) + 1;
}

uint32_t GlobalUnlockBlock(MemHandle handle) {
  if (handle == nullptr || HeaderOf(handle)->locks == 0) return 0;
  return --HeaderOf(handle)->locks;
}

size_t GlobalBlockSize(MemHandle handle) { return handle ? HeaderOf(handle)->size : 0; }

void GlobalFreeBlock(MemHandle handle) { std::free(handle); }

}  // namespace platform
