// Local files: data files and the conversion log opened like C streams (no lock), card
// copies created anew and held exclusively. The Windows original opens the card copies
// with no sharing and CREATE_ALWAYS; here such a file is opened without cutting it, locked
// with flock (so a second holder is refused before anything is lost), and only then cut
// to 0 bytes. Every system call asks the failure seam first.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/seam.h"

namespace platform {
namespace {

// The seam's verdict, or the errno of a failed call: false with the code stored.
bool Failed(uint32_t* winError, int err) {
  if (winError) *winError = WinErrorFromErrno(err);
  return false;
}

// open(2) behind the seam `call`; kNoFile with the code on failure.
FileHandle OpenBehind(SysCall call, const char* path, int flags, uint32_t* winError) {
  if (path == nullptr || *path == '\0') {
    *winError = kErrorFileNotFound;
    return kNoFile;
  }
  if (int err = posix::CheckInjected(call)) {
    Failed(winError, err);
    return kNoFile;
  }
  const int fd = open(path, flags | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) Failed(winError, errno);
  return fd < 0 ? kNoFile : fd;
}

// A system call returning 0 or -1, behind the seam `call`.
template <typename Call>
bool Checked(SysCall call, uint32_t* winError, Call&& systemCall) {
  if (int err = posix::CheckInjected(call)) return Failed(winError, err);
  if (systemCall() != 0) return Failed(winError, errno);
  return true;
}

}  // namespace

FileHandle FileOpen(const char* path, FileMode mode, uint32_t* winError) {
  const int flags = mode == FileMode::kRead ? O_RDONLY : mode == FileMode::kUpdate ? O_RDWR : O_RDWR | O_CREAT | O_TRUNC;
  return OpenBehind(SysCall::FileOpen, path, flags, winError);
}

bool FileMissing(const char* path) {
  if (path == nullptr || *path == '\0') return true;
  if (posix::CheckInjected(SysCall::FileStat) != 0) return false;
  struct stat st {};
  return stat(path, &st) != 0 && errno == ENOENT;
}

FileHandle FileCreate(const char* path, uint32_t* winError) {
  const int fd = OpenBehind(SysCall::FileCreate, path, O_RDWR | O_CREAT, winError);
  if (fd == kNoFile) return kNoFile;
  struct stat st {};
  const bool ready = Checked(SysCall::FileLock, winError, [&] { return flock(fd, LOCK_EX | LOCK_NB); }) &&
                     Checked(SysCall::FileStat, winError, [&] { return fstat(fd, &st); }) &&
                     (!S_ISREG(st.st_mode) || st.st_size == 0 ||
                      Checked(SysCall::FileTruncate, winError, [&] { return ftruncate(fd, 0); }));
  if (!ready) {
    close(fd);
    return kNoFile;
  }
  return fd;
}

bool FileRead(FileHandle file, void* buffer, size_t count, size_t* got, uint32_t* winError) {
  auto* p = static_cast<uint8_t*>(buffer);
  *got = 0;
  while (*got < count) {
    if (int err = posix::CheckInjected(SysCall::FileRead)) return Failed(winError, err);
    const ssize_t n = read(file, p + *got, count - *got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(winError, errno);
    if (n == 0) break;  // end of the file
    *got += static_cast<size_t>(n);
  }
  return true;
}

bool FileWrite(FileHandle file, const void* bytes, size_t count, uint32_t* winError) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    if (int err = posix::CheckInjected(SysCall::FileWrite)) return Failed(winError, err);
    const ssize_t n = write(file, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(winError, errno);
    if (n == 0) {  // no progress and no reason given
      *winError = kErrorGenFailure;
      return false;
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool FileSeek(FileHandle file, uint64_t offset, uint32_t* winError) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return Failed(winError, EINVAL);
  return Checked(SysCall::FileSeek, winError,
                 [&] { return lseek(file, static_cast<off_t>(offset), SEEK_SET) < 0 ? -1 : 0; });
}

bool FileSize(FileHandle file, uint64_t* size, uint32_t* winError) {
  struct stat st {};
  if (!Checked(SysCall::FileStat, winError, [&] { return fstat(file, &st); })) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool FileClose(FileHandle file, uint32_t* winError) {
  if (file == kNoFile) return true;
  if (int err = posix::CheckInjected(SysCall::FileClose)) {
    close(file);  // the handle is gone either way
    return Failed(winError, err);
  }
  // After a failed close the descriptor is released all the same (Linux): never retried.
  return close(file) == 0 || Failed(winError, errno);
}

}  // namespace platform
