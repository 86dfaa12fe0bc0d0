// The host-facing sinks: trace output, the message pump and the message box.
// On Linux there is no window-message queue and no debugger output; the host installs
// hooks instead, and KXLIB_TRACE can send trace text to standard error or a file.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/platform.h"

namespace platform {
namespace {

struct Hooks {
  std::mutex lock;
  KXTraceHook trace = nullptr;
  void* traceContext = nullptr;
  KXPumpHook pump = nullptr;
  void* pumpContext = nullptr;
  KXMessageBoxHook box = nullptr;
  void* boxContext = nullptr;
  FILE* traceFile = nullptr;  // from KXLIB_TRACE; stderr or a file we opened
};

Hooks& State() {
  static Hooks hooks;
  return hooks;
}

void CloseTraceFile(Hooks& h) {
  if (h.traceFile != nullptr && h.traceFile != stderr) std::fclose(h.traceFile);
  h.traceFile = nullptr;
}

}  // namespace

void OpenTraceSinkFromEnvironment() {
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  CloseTraceFile(h);
  const char* target = std::getenv("KXLIB_TRACE");
  if (target == nullptr || *target == '\0') return;
  if (std::strcmp(target, "stderr") == 0) {
    h.traceFile = stderr;
  } else {
    h.traceFile = std::fopen(target, "a");
  }
}

void TraceWrite(const char* text) {
  Hooks& h = State();
  KXTraceHook hook;
  void* context;
  {
    std::lock_guard<std::mutex> guard(h.lock);
    hook = h.trace;
    context = h.traceContext;
    if (hook == nullptr) {
      if (h.traceFile != nullptr) {
        std::fputs(text, h.traceFile);
        std::fflush(h.traceFile);
      }
      return;
    }
  }
  // Called without the lock: the hook may call back into the library.
  hook(text, context);
}

void SetTraceHook(KXTraceHook hook, void* context) {
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  h.trace = hook;
  h.traceContext = hook ? context : nullptr;
}

void RunPumpHook() {
  Hooks& h = State();
  KXPumpHook pump;
  void* context;
  {
    std::lock_guard<std::mutex> guard(h.lock);
    pump = h.pump;
    context = h.pumpContext;
  }
  // Called without the lock: the hook may call back into the library (KXCancel).
  if (pump != nullptr) pump(context);
}

void SetPumpHook(KXPumpHook hook, void* context) {
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  h.pump = hook;
  h.pumpContext = hook ? context : nullptr;
}

void ShowMessageBox(const char* title, const char* text) {
  Hooks& h = State();
  KXMessageBoxHook box;
  void* context;
  {
    std::lock_guard<std::mutex> guard(h.lock);
    box = h.box;
    context = h.boxContext;
  }
  if (box != nullptr) {
    box(title, text, context);
  } else {
    std::fprintf(stderr, "%s: %s\n", title, text);
  }
}

void SetMessageBoxHook(KXMessageBoxHook hook, void* context) {
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  h.box = hook;
  h.boxContext = hook ? context : nullptr;
}

void ResetPlatform() {
  SetClockSpeed(1);
  ClearInjectedFailures();
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  h.trace = nullptr;
  h.traceContext = nullptr;
  h.pump = nullptr;
  h.pumpContext = nullptr;
  h.box = nullptr;
  h.boxContext = nullptr;
}

}  // namespace platform
