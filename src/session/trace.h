// The trace convention. Lines go to the platform's trace sink only while DebugLevel has
// DBG_TRACE; lines with arguments are formatted into the shared 256-byte TraceBuffer
// (cut, never overrun, when longer).
#pragma once

#include <cstdarg>
#include <cstdint>

// One trace line (printf-style), written only with DBG_TRACE.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same with the arguments of a caller's own argument list.
void TraceV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// The error trace: the message line and pxErrorMsg(code), both only with DBG_TRACE,
// then a bare "\n" written at any level.
void TraceError(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));
