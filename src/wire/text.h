// Small text tests shared by the device-name handling of the open procedures and the
// platform's port-name resolution.
#pragma once

#include <cctype>

// True when `text` begins with `prefix`, letters compared in any case. A null `text`
// begins with nothing.
inline bool StartsWithNoCase(const char* text, const char* prefix) {
  if (text == nullptr) return false;
  for (; *prefix; ++text, ++prefix) {
    if (std::toupper(static_cast<unsigned char>(*text)) != std::toupper(static_cast<unsigned char>(*prefix)))
      return false;
  }
  return true;
}
