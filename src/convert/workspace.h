// The conversion workspace: nine zero-filled buffers that a save allocates once at its
// start and frees at its end; every step of the conversion works in them. Process-global,
// one save at a time.
#pragma once

#include <cstdint>

// Buffer sizes in bytes.
constexpr uint32_t kOutputBufferSize = 262140;        // imploded record on its way to the file;
                                                      // raw format record; converter scratch text
constexpr uint32_t kCompressionWorkAreaBytes = 36312; // working storage of implode and explode
constexpr uint32_t kExplodedATBufferSize = 262140;    // the decompressed autotest being converted
constexpr uint32_t kFormatEntryBufferSize = 65535;    // the decompressed format entries
constexpr uint32_t kLimitTableSize = 131070;          // the limit records, 320 bytes a slot
constexpr uint32_t kSpareBufferSize = 65535;          // allocated with the rest, holds nothing
constexpr uint32_t kIndexBufferSize = 65535;          // the record index of the open data file
constexpr uint32_t kTrailerBufferSize = 65535;        // the trailer block of the open data file
constexpr uint32_t kRecordBuildBufferSize = 262140;   // the record being built by WriteDataItem

extern uint8_t* OutputBuffer;
extern uint8_t* CompressionWorkArea;
extern uint8_t* ExplodedATBuffer;
extern uint8_t* FormatEntryBuffer;
extern uint8_t* LimitTable;
extern uint8_t* SpareBuffer;
extern uint8_t* IndexBuffer;
extern uint8_t* TrailerBuffer;
extern uint8_t* RecordBuildBuffer;

// Used length of the record build buffer: set to 0 by a save before each record and
// advanced by WriteDataItem.
extern uint32_t RecordBuildLength;

// Allocates all nine buffers, zero-filled. Returns 1, or 0 after freeing whatever it got
// (the caller reports KXERR_NO_MEMORY). Frees a previous workspace first.
int16_t AllocConversionBuffers();
// Frees all buffers that are allocated and resets RecordBuildLength; safe after a partial
// allocation and when called twice.
void FreeConversionBuffers();
