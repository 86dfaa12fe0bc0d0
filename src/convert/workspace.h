// The conversion workspace: eight zero-filled buffers that AllocConversionBuffers
// allocates and FreeConversionBuffers frees, one conversion at a time. The workspace owns
// them; the code named on each line uses them between those two calls.
#pragma once

#include <cstdint>

// Buffer sizes in bytes.
constexpr uint32_t kOutputBufferSize = 262140;
constexpr uint32_t kCompressionWorkAreaBytes = 36312;
constexpr uint32_t kExplodedATBufferSize = 262140;
constexpr uint32_t kFormatEntryBufferSize = 65535;
constexpr uint32_t kLimitTableSize = 131070;
constexpr uint32_t kIndexBufferSize = 65535;
constexpr uint32_t kTrailerBufferSize = 65535;
constexpr uint32_t kRecordBuildBufferSize = 262140;

// Who writes each buffer, its size, and how long what it holds stays valid ("converter":
// ProcessATResult, the configuration loader and the limit table, which also read the
// format definition into the output buffer):
extern uint8_t* OutputBuffer;         // ImplodeRecord; 262,140; one record, until written
extern uint8_t* CompressionWorkArea;  // Implode/Explode; 36,312; one call of either
extern uint8_t* ExplodedATBuffer;     // converter; 262,140; one autotest (DumpRecordStart shows it)
extern uint8_t* FormatEntryBuffer;    // converter; 65,535; the format entries, the whole conversion
extern uint8_t* LimitTable;           // converter; 131,070, 320 bytes a limit; the whole conversion
extern uint8_t* IndexBuffer;          // PrepareDatAppend/AppendDatRecord; 65,535; until FinishDatFile
extern uint8_t* TrailerBuffer;        // PrepareDatAppend; 65,535; until FinishDatFile
extern uint8_t* RecordBuildBuffer;    // WriteDataItem; 262,140; one record, until imploded

// Used length of the record build buffer: set to 0 before each record and advanced by
// WriteDataItem.
extern uint32_t RecordBuildLength;

// Allocates all eight buffers, zero-filled. Returns 1, or 0 after freeing whatever it got
// (the caller reports KXERR_NO_MEMORY). Frees a previous workspace first.
int16_t AllocConversionBuffers();
// Frees all buffers that are allocated and resets RecordBuildLength; safe after a partial
// allocation and when called twice.
void FreeConversionBuffers();
