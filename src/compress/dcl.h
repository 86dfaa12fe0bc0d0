// The imploded stream format: Explode (decompression) and Implode (compression).
//
// Both are pull/push engines over caller-supplied callbacks and a caller-owned work
// area; they keep no globals, do no I/O and allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>

// Read callback: copy up to *size bytes into buffer and return how many were copied;
// 0 means the input has ended.
using DclReadFn = uint32_t (*)(char* buffer, uint32_t* size, void* param);
// Write callback: consume the *size bytes in buffer.
using DclWriteFn = void (*)(char* buffer, uint32_t* size, void* param);

// Result codes of Explode.
constexpr uint32_t kExplodeOk = 0;            // the end-of-stream marker was reached
constexpr uint32_t kExplodeBadDictSize = 1;   // dictionary size code is not 4, 5 or 6
constexpr uint32_t kExplodeBadLiteralMode = 2;// literal mode is neither 0 nor 1
constexpr uint32_t kExplodeShortInput = 3;    // the first read delivered fewer than 5 bytes
constexpr uint32_t kExplodeAbort = 4;         // input ran out / a repetition failed to decode

// Result codes of Implode.
constexpr uint32_t kImplodeOk = 0;
constexpr uint32_t kImplodeBadDictSize = 1;   // not 1024, 2048 or 4096
constexpr uint32_t kImplodeBadLiteralMode = 2;// not 0 (binary) or 1 (ASCII)

constexpr uint32_t kDclBinary = 0;
constexpr uint32_t kDclAscii = 1;

// Work-area sizes in bytes. Both fit in the conversion workspace's 36,312-byte
// compression work area.
constexpr size_t kCompressionWorkAreaSize = 36312;
extern const size_t kExplodeWorkAreaSize;
extern const size_t kImplodeWorkAreaSize;

uint32_t Explode(DclReadFn read, DclWriteFn write, char* workArea, void* param);
uint32_t Implode(DclReadFn read, DclWriteFn write, char* workArea, void* param,
                 uint32_t* literalMode, uint32_t* dictSize);
