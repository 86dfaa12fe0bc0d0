// libkxdevapi.so: the device enumerator a host's library loads to find USB instruments,
// here listing the device folders named in the environment variable KXDEVAPI_DEVICES
// (colon-separated), so that a host finds simulated instruments (kxsim --usb DIR) exactly
// as it would real ones. Only the Scanner's device interface class has devices.
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kDevicesVariable = "KXDEVAPI_DEVICES";
constexpr size_t kPathSize = 256;  // the caller's path buffer, terminator included

// {86E820E1-D9A4-11D3-9B46-0050DA5FF85A} as it lies in memory (little-endian fields).
constexpr uint8_t kScannerClass[16] = {0xE1, 0x20, 0xE8, 0x86, 0xA4, 0xD9, 0xD3, 0x11,
                                       0x9B, 0x46, 0x00, 0x50, 0xDA, 0x5F, 0xF8, 0x5A};

// The `index`-th non-empty entry of `list` that fits the caller's buffer, as a start and
// a length; false when there are fewer.
bool Entry(const char* list, uint32_t index, const char** start, size_t* length) {
  uint32_t seen = 0;
  while (*list != '\0') {
    const char* end = std::strchr(list, ':');
    const size_t n = end ? static_cast<size_t>(end - list) : std::strlen(list);
    if (n > 0 && n < kPathSize && seen++ == index) {
      *start = list;
      *length = n;
      return true;
    }
    if (end == nullptr) break;
    list = end + 1;
  }
  return false;
}

}  // namespace

// Non-zero when a device of `interfaceClass` exists at `index` (counted from 0, dense);
// its zero-terminated path is then in `devicePath` (256 bytes). `error` is the caller's,
// passed through untouched.
extern "C" __attribute__((visibility("default"))) int32_t KXDEVFindDeviceByIndex(const void* interfaceClass,
                                                                                 uint32_t index, char* devicePath,
                                                                                 uint32_t* error) {
  (void)error;
  if (interfaceClass == nullptr || devicePath == nullptr) return 0;
  if (std::memcmp(interfaceClass, kScannerClass, sizeof kScannerClass) != 0) return 0;
  const char* list = std::getenv(kDevicesVariable);
  const char* start = nullptr;
  size_t length = 0;
  if (list == nullptr || !Entry(list, index, &start, &length)) return 0;
  std::memcpy(devicePath, start, length);
  devicePath[length] = '\0';
  return 1;
}
