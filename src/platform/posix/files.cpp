// Local files for the card copies: created anew, held exclusively, written whole.
// The Windows original opens them with no sharing and CREATE_ALWAYS; here the file is
// opened without cutting it, locked with flock (so a second holder is refused before
// anything is lost), and only then cut to 0 bytes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/seam.h"

namespace platform {

FileHandle FileCreate(const char* path, uint32_t* winError) {
  if (path == nullptr || *path == '\0') {
    *winError = kErrorFileNotFound;
    return kNoFile;
  }
  if (int err = posix::CheckInjected(SysCall::FileCreate)) {
    *winError = WinErrorFromErrno(err);
    return kNoFile;
  }
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    *winError = WinErrorFromErrno(errno);
    return kNoFile;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *winError = WinErrorFromErrno(errno);
    close(fd);
    return kNoFile;
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size != 0 && ftruncate(fd, 0) != 0) {
    *winError = WinErrorFromErrno(errno);
    close(fd);
    return kNoFile;
  }
  return fd;
}

bool FileWrite(FileHandle file, const void* bytes, size_t count, uint32_t* winError) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    if (int err = posix::CheckInjected(SysCall::FileWrite)) {
      *winError = WinErrorFromErrno(err);
      return false;
    }
    const ssize_t n = write(file, p, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      *winError = WinErrorFromErrno(errno);
      return false;
    }
    if (n == 0) {  // no progress and no reason given
      *winError = kErrorGenFailure;
      return false;
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

void FileClose(FileHandle file) {
  if (file != kNoFile) close(file);
}

}  // namespace platform
