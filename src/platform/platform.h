// The platform layer: everything the library needs from the operating system, behind
// small documented operations. Only this folder includes OS headers; the layers above
// never see an OS type or a raw errno. posix/ implements it for Linux.
//
// Errors are reported as Windows-style system error codes, which the library's error
// handling was built around (errno numbers collide with them):
//   2 ERROR_FILE_NOT_FOUND  (ENOENT, ENODEV, ENXIO, EIO, ENOTDIR)
//   5 ERROR_ACCESS_DENIED   (EBUSY, EWOULDBLOCK from flock, EACCES, EPERM)
//   8 ERROR_NOT_ENOUGH_MEMORY (ENOMEM)
// 112 ERROR_DISK_FULL       (ENOSPC)
//  31 ERROR_GEN_FAILURE     (anything else)
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/files.h"

namespace platform {

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorDiskFull = 112;

// Windows-style code for an errno value (table above).
uint32_t WinErrorFromErrno(int err);

// ---- Clock -------------------------------------------------------------------------
// Milliseconds from a monotonic clock as a wrapping 32-bit count; compare with
// TickElapsed. Tests can make library time run faster than real time: with speed
// factor F, F library milliseconds pass per real millisecond, and the waits below
// shrink to match, so a 3-second time-out takes 3000/F real milliseconds.
uint32_t TickCount();
void SetClockSpeed(uint32_t factor);  // 1 = real time (the load value)
uint32_t ClockSpeed();

// True once `now` is later than `start + ms` (wrap-safe).
inline bool TickPassed(uint32_t now, uint32_t start, uint32_t ms) {
  return static_cast<int32_t>(now - (start + ms)) > 0;
}

// Sleeps for `ms` library milliseconds.
void SleepMs(uint32_t ms);
// One pass of a waiting loop with nothing to wait on: yields the core for at most 1 ms.
void PauseBriefly();

// ---- Serial port -------------------------------------------------------------------
using PortHandle = int;
constexpr PortHandle kNoPort = -1;

// Resolves a port name to a device path: "COM:<path>" (prefix in any case) is <path>;
// else the environment variable KXLIB_<NAME> (name upper-cased); else "COMn" (n >= 1)
// is /dev/ttyS<n-1>. Returns false when the name resolves to nothing or does not fit.
bool ResolvePortName(const char* name, char* path, size_t capacity);

// Opens and configures a port for exclusive use: raw 8N1, no flow control, DTR and RTS
// raised, non-blocking reads, at `baud` bits per second. On failure returns kNoPort and
// stores a Windows-style code in *winError (2 for a missing port, 5 for one in use).
PortHandle SerialOpen(const char* portName, uint32_t baud, uint32_t* winError);
// Reads what has arrived, up to `capacity` bytes, without waiting; 0 when nothing
// was waiting or the read failed.
size_t SerialRead(PortHandle port, void* buffer, size_t capacity);
// Writes every byte (waiting for the driver as needed); false if the port failed.
bool SerialWrite(PortHandle port, const void* bytes, size_t count);
// Waits until input is available or at most `ms` library milliseconds (capped at 1 ms
// of real time) have passed. Never returns at once on a line that has nothing to read.
void SerialWaitInput(PortHandle port, uint32_t ms);
// Starts (on) or ends (off) a break condition on the line.
bool SerialSetBreak(PortHandle port, bool on);
// Waits until everything written has been transmitted.
void SerialDrainOutput(PortHandle port);
void SerialClose(PortHandle port);

// ---- USB pipes ---------------------------------------------------------------------
// An instrument on USB is a device folder holding two pipe files: "PIPE00" carries bytes
// from the host to the instrument, "PIPE01" from the instrument to the host.
using PipeHandle = int;
constexpr PipeHandle kNoPipe = -1;

// Whether the device folder `devicePath` exists and can be opened; else false with a
// Windows-style code in *winError.
bool UsbDeviceProbe(const char* devicePath, uint32_t* winError);
// Opens the pipe file `pipeName` inside `devicePath`: the out pipe for writing, held for
// exclusive use (a second host gets code 5), the in pipe for reading. Reads and writes
// never block. kNoPipe and *winError on failure.
PipeHandle UsbPipeOpen(const char* devicePath, const char* pipeName, bool out, uint32_t* winError);
// One write of `count` bytes, waiting for room up to a few seconds: the bytes written
// (fewer on failure, with *winError set). A pipe nobody reads any more fails instead of
// raising SIGPIPE.
size_t UsbPipeWrite(PipeHandle pipe, const void* bytes, size_t count, uint32_t* winError);
// One read of what has arrived, up to `count` bytes, without waiting: the bytes read,
// 0 when nothing has arrived, -1 when the pipe failed or its writer has gone (with
// *winError set).
long UsbPipeRead(PipeHandle pipe, void* buffer, size_t count, uint32_t* winError);
// Waits until input is available or about a millisecond of real time has passed; on a
// failed pipe it sleeps instead, so a caller's loop never spins.
void UsbPipeWaitInput(PipeHandle pipe);
// The pipe's status word: always 0 ("good") on pipe files, which have no halt state.
uint32_t UsbPipeStatus(PipeHandle pipe);
// A pipe reset: nothing to do on pipe files; true.
bool UsbPipeReset(PipeHandle pipe);
void UsbPipeClose(PipeHandle pipe);

// ---- Dynamic loading ------------------------------------------------------------------
using ModuleHandle = void*;
// Loads the module the environment variable `pathVariable` names by its full path when
// it is set, else `fileName` through the library search path. Null when it cannot.
ModuleHandle LoadModule(const char* fileName, const char* pathVariable);
// The address of the module's function `name`, or null.
void* ModuleFunction(ModuleHandle module, const char* name);
void FreeModule(ModuleHandle module);

// ---- Trace sink, message box, message pump ------------------------------------------
// The host's hooks, as the library's public calls take them: a function and the context
// pointer it is called with.
using TraceHook = void (*)(const char* text, void* context);
using PumpHook = void (*)(void* context);
using MessageBoxHook = void (*)(const char* title, const char* text, void* context);

// Writes trace text to the host's trace hook if one is set, else to where KXLIB_TRACE
// named at load ("stderr" or a file path), else nowhere.
void TraceWrite(const char* text);
void SetTraceHook(TraceHook hook, void* context);
// Re-reads KXLIB_TRACE (done once at load).
void OpenTraceSinkFromEnvironment();

// Calls the host's pump hook, if any.
void RunPumpHook();
void SetPumpHook(PumpHook hook, void* context);

// Shows a warning through the host's hook, or as "Title: text" on stderr.
void ShowMessageBox(const char* title, const char* text);
void SetMessageBoxHook(MessageBoxHook hook, void* context);

// ---- Global memory -------------------------------------------------------------------
// A zero-filled block with its size, handed out as an opaque handle.
using MemHandle = void*;
MemHandle GlobalAllocZeroed(size_t size);  // null on failure
// The block's address; each lock counts.
void* GlobalLockBlock(MemHandle handle);
// Releases one lock; returns the locks still held.
uint32_t GlobalUnlockBlock(MemHandle handle);
size_t GlobalBlockSize(MemHandle handle);
void GlobalFreeBlock(MemHandle handle);

// ---- Local files ---------------------------------------------------------------------
// Data files, the conversion log and the card copies: see files.h.

// ---- Failure seam for tests ----------------------------------------------------------
// The system calls the layer makes can be made to fail in tests: after `skip` more
// successful calls of that kind, the next `count` calls fail with errno `err`.
// Open ... Break are the serial port's calls, File... the local files' (files.h says which
// operation makes which), Pipe... the USB pipes', LoadModule the dynamic loading.
enum class SysCall {
  Open, Lock, Configure, Read, Write, Break, Alloc,
  FileCreate, FileOpen, FileLock, FileTruncate, FileRead, FileWrite, FileSeek, FileStat, FileClose,
  PipeOpen, PipeRead, PipeWrite, LoadModule,
  kCount
};
void InjectFailure(SysCall call, int err, uint32_t skip = 0, uint32_t count = 1);
void ClearInjectedFailures();
// Number of calls of a kind made so far (tests use it to check that a port was
// never touched).
uint32_t SysCallCount(SysCall call);
// The byte counts that calls of a kind asked for (reads and writes of the USB pipes),
// oldest first, since the failures were last cleared; at most the last 64.
std::vector<size_t> SysCallSizes(SysCall call);

// Back to the load state: real-time clock, no hooks, no injected failures.
void ResetPlatform();

}  // namespace platform
