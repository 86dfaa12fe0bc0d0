// Fuzz support for the conversion targets: the workspace allocated once, message boxes
// shown nowhere, and the conversion log ("KXLIB.LOG" in a passing working folder) open on
// /dev/null, so logged conversions run their formatting without filling a disk.
#pragma once

#include <unistd.h>

#include <cstdlib>

#include "convert/conversion_log.h"
#include "convert/workspace.h"
#include "platform/platform.h"

inline void PrepareConversionOnce() {
  static bool ready = false;
  if (ready) return;
  ready = true;
  if (AllocConversionBuffers() != 1) std::abort();
  platform::SetMessageBoxHook([](const char*, const char*, void*) {}, nullptr);
  char cwd[4096], dir[] = "/tmp/kxfuzz.XXXXXX";
  if (getcwd(cwd, sizeof cwd) && mkdtemp(dir) && chdir(dir) == 0) {
    if (symlink("/dev/null", "KXLIB.LOG") == 0) OpenConversionLog();
    if (unlink("KXLIB.LOG") != 0 || chdir(cwd) != 0 || rmdir(dir) != 0) std::abort();
  }
}
