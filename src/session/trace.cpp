#include "session/trace.h"

#include <cstdarg>
#include <cstdio>

#include "kxlib32.h"
#include "platform/platform.h"
#include "session/state.h"

namespace {

// The shared line buffer of trace lines with arguments. A longer line is cut at the
// buffer's end (vsnprintf never writes past it).
char TraceBuffer[256];

void FormatAndWrite(const char* format, va_list args) {
  std::vsnprintf(TraceBuffer, sizeof TraceBuffer, format, args);
  platform::TraceWrite(TraceBuffer);
}

}  // namespace

void Trace(const char* format, ...) {
  if (!(DebugLevel & DBG_TRACE)) return;
  va_list args;
  va_start(args, format);
  FormatAndWrite(format, args);
  va_end(args);
}

void TraceV(const char* format, va_list args) {
  if (DebugLevel & DBG_TRACE) FormatAndWrite(format, args);
}

void TraceError(uint32_t code, const char* format, ...) {
  if (DebugLevel & DBG_TRACE) {
    va_list args;
    va_start(args, format);
    FormatAndWrite(format, args);
    va_end(args);
    platform::TraceWrite(pxErrorMsg(code));
  }
  platform::TraceWrite("\n");
}
