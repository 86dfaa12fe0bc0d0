// Files on the local disk: the data files a save writes and the reader loads, the
// conversion log, the card copies. The layers above reach the disk only through these
// operations. Each system call they make first asks the failure seam (platform.h,
// SysCall::File...), so a test can make any one of them fail with a chosen errno.
//
// A failure is reported as a Windows-style code in *winError (the table in platform.h):
// 2 for a missing file or directory, 5 for no permission or a file held by another,
// 8 for no memory, 112 for a full disk, 31 for anything else. Never a raw errno.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using FileHandle = int;
constexpr FileHandle kNoFile = -1;

enum class FileMode {
  kRead,     // an existing file, for reading only
  kUpdate,   // an existing file, for reading and writing, its bytes kept
  kReplace,  // the file made anew (an existing one cut to 0 bytes), for reading and writing
};

// Opens `path` in `mode`, positioned at its start; a file made anew gets the default
// permissions (0666 less the umask). Not held: the same file may be opened again.
// On failure returns kNoFile with the code in *winError (2 when the file, for kRead and
// kUpdate, or its directory is missing). Seam: FileOpen.
FileHandle FileOpen(const char* path, FileMode mode, uint32_t* winError);

// True only when nothing exists at `path`. False when something does, and also when that
// cannot be told (an I/O error, no permission): a caller that would create the file then
// tries to open it instead, and never replaces a file it could not see. Seam: FileStat.
bool FileMissing(const char* path);

// Creates `path` anew for reading and writing, held for this process alone while it is
// open (the card copies): a second FileCreate of the same file fails with 5 until the
// first is closed. An existing file is cut to 0 bytes only once it is held, so a refused
// create never loses its bytes. On failure returns kNoFile with the code in *winError
// (2 for a missing directory, 5 for no permission or held by another).
// Seam: FileCreate (the open), FileLock, FileStat (the check for a regular file),
// FileTruncate.
FileHandle FileCreate(const char* path, uint32_t* winError);

// Reads up to `count` bytes at the current position, fewer only at the end of the file,
// and moves the position past them; *got is the number read (also on failure). Returns
// false with the code in *winError when a read failed. Seam: FileRead.
bool FileRead(FileHandle file, void* buffer, size_t count, size_t* got, uint32_t* winError);

// Writes all `count` bytes at the current position (0 bytes always succeeds) and moves the
// position past them. On failure returns false with the code in *winError (112 for a full
// disk); part of the bytes may have been written. Seam: FileWrite.
bool FileWrite(FileHandle file, const void* bytes, size_t count, uint32_t* winError);

// Moves the position to `offset` bytes from the start of the file. Returns false with the
// code in *winError when it cannot. Seam: FileSeek.
bool FileSeek(FileHandle file, uint64_t offset, uint32_t* winError);

// The size of the open file in bytes into *size. Returns false with the code in *winError
// when it cannot be told. Seam: FileStat.
bool FileSize(FileHandle file, uint64_t* size, uint32_t* winError);

// Closes the file (kNoFile is ignored and succeeds). Returns false, with the code in
// *winError when it is not null, when the system reported a failure: bytes written
// before may not have reached the disk. The handle is gone either way. Seam: FileClose.
bool FileClose(FileHandle file, uint32_t* winError = nullptr);

}  // namespace platform
