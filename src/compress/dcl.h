// The imploded stream format: Explode (decompression) and Implode (compression).
//
// Both are pull/push engines over caller-supplied callbacks and a caller-owned work
// area; they keep no globals, do no I/O and allocate nothing.
//
// Format notes. An imploded stream is two header bytes and a bit stream:
//   byte 0  literal mode: 0 binary (literals as plain 8-bit values), 1 ASCII (literals in
//           the fixed ASCII literal code)
//   byte 1  dsize_bits: 4, 5 or 6 for a dictionary of 1024, 2048 or 4096 bytes
//   byte 2  the bit stream, taken from each byte least-significant bit first; a field of
//           several bits has its first bit as its least significant bit.
// Each token starts with a flag bit. 0: a literal follows. 1: a repetition follows, as a
// length code with extra bits (length 2 to 518) and then a distance code with low bits
// (2 low bits for length 2, dsize_bits otherwise) giving the distance back into the
// output. Length 519 is the end-of-stream marker and carries no distance. The code
// tables are in dcl_tables.h.
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
// compression work area. The work area needs no particular alignment.
constexpr size_t kCompressionWorkAreaSize = 36312;
// Explode: the 2048-byte input buffer and the 8192-byte output window (4096 bytes of
// history, one 4096-byte output block) with room for one repetition past its end.
constexpr size_t kExplodeWorkAreaSize = 10800;
// Implode: the input window (dictionary + 516 bytes kept, plus one 4096-byte block),
// the match-finder's chains over it, and the 2048-byte output buffer.
constexpr size_t kImplodeWorkAreaSize = 35872;
static_assert(kExplodeWorkAreaSize <= kCompressionWorkAreaSize);
static_assert(kImplodeWorkAreaSize <= kCompressionWorkAreaSize);

// Decompresses one imploded stream: pulls it through `read` (asking for 2048 bytes at a
// time) and pushes the bytes through `write` in blocks of 4096 and a final remainder.
// Returns one of the kExplode* codes. Whatever was decoded before an abort has already
// been written. `workArea` holds kExplodeWorkAreaSize bytes.
uint32_t Explode(DclReadFn read, DclWriteFn write, char* workArea, void* param);

// Compresses everything `read` delivers (asking for up to 4096 bytes at a time) into one
// imploded stream, pushed through `write` in blocks of 2048 bytes and a final remainder.
// *literalMode is kDclBinary or kDclAscii, *dictSize 1024, 2048 or 4096. Returns one of
// the kImplode* codes; on a parameter error nothing is read or written. `workArea` holds
// kImplodeWorkAreaSize bytes.
uint32_t Implode(DclReadFn read, DclWriteFn write, char* workArea, void* param,
                 uint32_t* literalMode, uint32_t* dictSize);
