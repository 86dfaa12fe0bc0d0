// Little-endian word loads and stores on byte buffers, shared by Explode and Implode.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace dcl {

inline uint64_t LoadLE64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

inline uint32_t LoadLE32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline void StoreLE32(uint8_t* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, sizeof v);
}

// Rounds a caller's work-area pointer up to an 8-byte boundary; the work-area sizes
// include the 7 bytes this may skip.
inline uint8_t* AlignWorkArea(char* workArea) {
  const auto address = reinterpret_cast<uintptr_t>(workArea);
  return reinterpret_cast<uint8_t*>(workArea) + ((8 - (address & 7)) & 7);
}

}  // namespace dcl
