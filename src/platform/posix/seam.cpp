#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/posix/seam.h"

namespace platform {
namespace {

struct Injection {
  int err = 0;
  uint32_t skip = 0;
  uint32_t count = 0;
};

constexpr size_t kCalls = static_cast<size_t>(SysCall::kCount);
std::mutex seamLock;
std::array<Injection, kCalls> injections{};
std::array<std::atomic<uint32_t>, kCalls> callCounts{};
constexpr size_t kSizesKept = 64;
std::array<std::vector<size_t>, kCalls> callSizes{};

}  // namespace

uint32_t WinErrorFromErrno(int err) {
  switch (err) {
    case ENOENT: case ENODEV: case ENXIO: case EIO: case ENOTDIR:
      return kErrorFileNotFound;
    case EBUSY: case EWOULDBLOCK: case EACCES: case EPERM:
      return kErrorAccessDenied;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case ENOSPC:
      return kErrorDiskFull;
    default:
      return kErrorGenFailure;
  }
}

void InjectFailure(SysCall call, int err, uint32_t skip, uint32_t count) {
  std::lock_guard<std::mutex> guard(seamLock);
  injections[static_cast<size_t>(call)] = Injection{err, skip, count};
}

void ClearInjectedFailures() {
  std::lock_guard<std::mutex> guard(seamLock);
  injections.fill(Injection{});
  for (auto& c : callCounts) c.store(0);
  for (auto& sizes : callSizes) sizes.clear();
}

uint32_t SysCallCount(SysCall call) { return callCounts[static_cast<size_t>(call)].load(); }

std::vector<size_t> SysCallSizes(SysCall call) {
  std::lock_guard<std::mutex> guard(seamLock);
  return callSizes[static_cast<size_t>(call)];
}

namespace posix {

int CheckInjected(SysCall call) {
  const size_t i = static_cast<size_t>(call);
  callCounts[i].fetch_add(1);
  std::lock_guard<std::mutex> guard(seamLock);
  Injection& inj = injections[i];
  if (inj.count == 0) return 0;
  if (inj.skip > 0) {
    --inj.skip;
    return 0;
  }
  --inj.count;
  return inj.err;
}

int CheckInjected(SysCall call, size_t size) {
  {
    std::lock_guard<std::mutex> guard(seamLock);
    std::vector<size_t>& sizes = callSizes[static_cast<size_t>(call)];
    if (sizes.size() == kSizesKept) sizes.erase(sizes.begin());
    sizes.push_back(size);
  }
  return CheckInjected(call);
}

}  // namespace posix
}  // namespace platform
