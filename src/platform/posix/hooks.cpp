// The host-facing sinks: trace output, the message pump and the message box.
// On Linux there is no window-message queue and no debugger output; the host installs
// hooks instead, and KXLIB_TRACE can send trace text to standard error or a file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/platform.h"

namespace platform {
namespace {

// A host hook: a function and its context. Hooks are read under the lock and called
// without it, since a hook may call back into the library (KXCancel, a trace).
template <typename Fn>
struct Hook {
  Fn fn = nullptr;
  void* context = nullptr;
};

struct Hooks {
  std::mutex lock;
  Hook<TraceHook> trace;
  Hook<PumpHook> pump;
  Hook<MessageBoxHook> box;
  FILE* traceFile = nullptr;  // from KXLIB_TRACE; stderr or a file we opened
};

Hooks& State() {
  static Hooks hooks;
  return hooks;
}

template <typename Fn>
Hook<Fn> Read(Hook<Fn> Hooks::*which) {
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  return h.*which;
}

template <typename Fn>
void Install(Hook<Fn> Hooks::*which, Fn fn, void* context) {
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  h.*which = Hook<Fn>{fn, fn ? context : nullptr};
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
  const Hook<TraceHook> hook = Read(&Hooks::trace);
  if (hook.fn != nullptr) {
    hook.fn(text, hook.context);
    return;
  }
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  if (h.traceFile != nullptr) {
    std::fputs(text, h.traceFile);
    std::fflush(h.traceFile);
  }
}

void SetTraceHook(TraceHook hook, void* context) { Install(&Hooks::trace, hook, context); }

void RunPumpHook() {
  const Hook<PumpHook> hook = Read(&Hooks::pump);
  if (hook.fn != nullptr) hook.fn(hook.context);
}

void SetPumpHook(PumpHook hook, void* context) { Install(&Hooks::pump, hook, context); }

void ShowMessageBox(const char* title, const char* text) {
  const Hook<MessageBoxHook> hook = Read(&Hooks::box);
  if (hook.fn != nullptr) {
    hook.fn(title, text, hook.context);
  } else {
    std::fprintf(stderr, "%s: %s\n", title, text);
  }
}

void SetMessageBoxHook(MessageBoxHook hook, void* context) { Install(&Hooks::box, hook, context); }

void ResetPlatform() {
  SetClockSpeed(1);
  ClearInjectedFailures();
  Hooks& h = State();
  std::lock_guard<std::mutex> guard(h.lock);
  h.trace = {};
  h.pump = {};
  h.box = {};
}

}  // namespace platform
