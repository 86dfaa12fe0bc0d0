// The steps every save shares: the workspace and conversion log at the start, the data
// file opened for appending, and the clean-up at the end.
#pragma once

#include <cstdint>

#include "convert/datafile.h"
#include "platform/files.h"

// Allocates the conversion workspace and, when the debug level asks for it, creates the
// conversion log. Returns false with *error and its trace when either fails.
bool StartSave(uint32_t* error);

// Opens the data file and prepares it for appending (its index and trailer read, the
// write position at its index). Returns false with *error when it cannot be opened or is
// not a data file (KXERR_READ_ONLY_FILE) or cannot take records (the append's own code);
// *file is then open only when it must still be finished (closed unchanged).
bool OpenSaveFile(const char* path, int16_t append, platform::FileHandle* file, DatFileHeader* header,
                  const char* failureTrace, uint32_t* error);

// Finishes the data file (index, trailer, header) and closes it. False when a write or
// the close failed.
bool FinishSaveFile(platform::FileHandle* file, DatFileHeader* header);

// Closes the data file as it is, without writing its index again: a save that converted
// nothing leaves an appended-to file byte for byte unchanged.
void AbandonSaveFile(platform::FileHandle* file);

// The end of every save: SendOnlyMode cleared, the workspace freed, the data file and
// the log closed if they are still open.
void EndSave(platform::FileHandle* file);

// Points MemStream's read side at the `length` raw autotest bytes at `record`.
void FeedConverter(const uint8_t* record, uint32_t length);
