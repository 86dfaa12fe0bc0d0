// Small text tests shared by the device-name handling of the open procedures and the
// platform's port-name resolution.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>

// True when `text` begins with `prefix`, letters compared in any case. A null `text`
// begins with nothing.
// True when the `length` bytes at `bytes` begin with `prefix`, letters compared in any
// case; a prefix longer than the bytes is not found.
inline bool StartsWithNoCase(const uint8_t* bytes, size_t length, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= length || std::toupper(bytes[i]) != std::toupper(static_cast<unsigned char>(prefix[i]))) return false;
  }
  return true;
}

inline bool StartsWithNoCase(const char* text, const char* prefix) {
  if (text == nullptr) return false;
  for (; *prefix; ++text, ++prefix) {
    if (std::toupper(static_cast<unsigned char>(*text)) != std::toupper(static_cast<unsigned char>(*prefix)))
      return false;
  }
  return true;
}
