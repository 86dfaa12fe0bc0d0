// The USB pipes of an instrument as files in its device folder: "PIPE00" (host to
// instrument) and "PIPE01" (instrument to host). The simulator makes them FIFOs and keeps
// both ends open, so opening the out pipe fails (ENXIO) only when nothing serves the
// folder. Pipe files have no halt state: their status is always good, a reset does nothing.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/seam.h"

namespace platform {
namespace {

// How long one write waits for room in a pipe nobody drains (library milliseconds).
constexpr uint32_t kWriteRoomMs = 5000;

uint32_t Failed(uint32_t* winError, int err) {
  *winError = WinErrorFromErrno(err);
  return *winError;
}

// One write with SIGPIPE held back: a pipe whose reader has gone fails with EPIPE, and
// the signal it raised is taken off this thread before the mask is restored.
ssize_t WriteWithoutSigpipe(int fd, const void* bytes, size_t count) {
  sigset_t pipeSignal, old;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
  const ssize_t n = write(fd, bytes, count);
  const int err = errno;
  if (n < 0 && err == EPIPE) {
    const timespec none{0, 0};
    sigtimedwait(&pipeSignal, nullptr, &none);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = err;
  return n;
}

}  // namespace

bool UsbDeviceProbe(const char* devicePath, uint32_t* winError) {
  const int fd = open(devicePath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    Failed(winError, errno);
    return false;
  }
  close(fd);
  return true;
}

PipeHandle UsbPipeOpen(const char* devicePath, const char* pipeName, bool out, uint32_t* winError) {
  char path[256];
  const int n = std::snprintf(path, sizeof path, "%s/%s", devicePath, pipeName);
  if (n < 0 || n >= static_cast<int>(sizeof path)) {
    Failed(winError, ENOENT);
    return kNoPipe;
  }
  if (int err = posix::CheckInjected(SysCall::PipeOpen)) {
    Failed(winError, err);
    return kNoPipe;
  }
  const int fd = open(path, (out ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    Failed(winError, errno);
    return kNoPipe;
  }
  if (out && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    Failed(winError, errno == EWOULDBLOCK ? EBUSY : errno);
    close(fd);
    return kNoPipe;
  }
  return fd;
}

size_t UsbPipeWrite(PipeHandle pipe, const void* bytes, size_t count, uint32_t* winError) {
  if (int err = posix::CheckInjected(SysCall::PipeWrite, count)) {
    Failed(winError, err);
    return 0;
  }
  const auto* p = static_cast<const uint8_t*>(bytes);
  size_t done = 0;
  const uint32_t start = TickCount();
  while (done < count) {
    const ssize_t n = WriteWithoutSigpipe(pipe, p + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      Failed(winError, errno);
      break;
    }
    if (TickPassed(TickCount(), start, kWriteRoomMs)) {
      Failed(winError, ETIMEDOUT);
      break;
    }
    pollfd pfd{pipe, POLLOUT, 0};
    poll(&pfd, 1, 1);
  }
  return done;
}

long UsbPipeRead(PipeHandle pipe, void* buffer, size_t count, uint32_t* winError) {
  if (int err = posix::CheckInjected(SysCall::PipeRead, count)) {
    Failed(winError, err);
    return -1;
  }
  const ssize_t n = read(pipe, buffer, count);
  if (n > 0) return static_cast<long>(n);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
  Failed(winError, n == 0 ? EPIPE : errno);  // end of file: the writer has gone
  return -1;
}

void UsbPipeWaitInput(PipeHandle pipe) {
  pollfd pfd{pipe, POLLIN, 0};
  const int r = poll(&pfd, 1, 1);
  // A pipe whose writer has gone reports a hang-up at once: sleep instead of spinning.
  if (r > 0 && !(pfd.revents & POLLIN)) PauseBriefly();
}

uint32_t UsbPipeStatus(PipeHandle) { return 0; }

bool UsbPipeReset(PipeHandle) { return true; }

void UsbPipeClose(PipeHandle pipe) {
  if (pipe == kNoPipe) return;
  close(pipe);
}

}  // namespace platform
