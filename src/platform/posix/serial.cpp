// Serial ports through termios. A port is opened non-blocking, locked for exclusive
// use with flock (root ignores TIOCEXCL, and on a pseudo-terminal that flag would
// outlive the close), set raw 8N1 without flow control at the requested speed, with
// DTR and RTS raised.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/seam.h"
#include "wire/text.h"

namespace platform {
namespace {

struct SpeedRow {
  uint32_t baud;
  speed_t speed;
};

constexpr SpeedRow kSpeeds[] = {
    {300, B300},     {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},
    {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

bool SpeedFor(uint32_t baud, speed_t* speed) {
  for (const SpeedRow& row : kSpeeds) {
    if (row.baud == baud) {
      *speed = row.speed;
      return true;
    }
  }
  return false;
}

bool CopyPath(const char* from, char* path, size_t capacity) {
  const size_t n = std::strlen(from);
  if (n == 0 || n >= capacity) return false;
  std::memcpy(path, from, n + 1);
  return true;
}

// Runs one system call through the failure seam: an injected failure sets errno
// and returns -1 without making the call.
template <typename Call>
int Guarded(SysCall kind, Call call) {
  if (int err = posix::CheckInjected(kind)) {
    errno = err;
    return -1;
  }
  return call();
}

bool Configure(int fd, uint32_t baud) {
  speed_t speed;
  if (!SpeedFor(baud, &speed)) {
    errno = EINVAL;
    return false;
  }
  return Guarded(SysCall::Configure, [&] {
           termios t{};
           if (tcgetattr(fd, &t) != 0) return -1;
           cfmakeraw(&t);
           t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
           t.c_cflag |= CS8 | CLOCAL | CREAD;
           t.c_iflag &= ~(IXON | IXOFF | IXANY);
           t.c_cc[VMIN] = 0;
           t.c_cc[VTIME] = 0;
           if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return -1;
           if (tcsetattr(fd, TCSANOW, &t) != 0) return -1;
           // DTR and RTS up; a pseudo-terminal answers "not supported", which is fine.
           int lines = TIOCM_DTR | TIOCM_RTS;
           ioctl(fd, TIOCMBIS, &lines);
           return 0;
         }) == 0;
}

}  // namespace

bool ResolvePortName(const char* name, char* path, size_t capacity) {
  if (name == nullptr) return false;
  if (StartsWithNoCase(name, "COM:")) return CopyPath(name + 4, path, capacity);

  char variable[64] = "KXLIB_";
  const size_t prefix = std::strlen(variable);
  const size_t n = std::strlen(name);
  if (n > 0 && prefix + n < sizeof variable) {
    for (size_t i = 0; i < n; ++i) variable[prefix + i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    variable[prefix + n] = '\0';
    if (const char* value = std::getenv(variable)) return CopyPath(value, path, capacity);
  }

  if (StartsWithNoCase(name, "COM")) {
    const char* digits = name + 3;
    if (*digits == '\0' || std::strlen(digits) > 4) return false;
    for (const char* d = digits; *d; ++d)
      if (!std::isdigit(static_cast<unsigned char>(*d))) return false;
    const int number = std::atoi(digits);
    if (number < 1) return false;
    return std::snprintf(path, capacity, "/dev/ttyS%d", number - 1) < static_cast<int>(capacity);
  }
  return false;
}

PortHandle SerialOpen(const char* portName, uint32_t baud, uint32_t* winError) {
  char path[256];
  if (!ResolvePortName(portName, path, sizeof path)) {
    *winError = kErrorFileNotFound;
    return kNoPort;
  }
  const int fd = Guarded(SysCall::Open, [&] { return open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) {
    *winError = WinErrorFromErrno(errno);
    return kNoPort;
  }
  if (Guarded(SysCall::Lock, [&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    *winError = WinErrorFromErrno(errno == EWOULDBLOCK ? EBUSY : errno);
    close(fd);
    return kNoPort;
  }
  if (!Configure(fd, baud)) {
    *winError = WinErrorFromErrno(errno);
    close(fd);
    return kNoPort;
  }
  return fd;
}

size_t SerialRead(PortHandle port, void* buffer, size_t capacity) {
  if (port == kNoPort || capacity == 0) return 0;
  const ssize_t n = Guarded(SysCall::Read, [&] { return static_cast<int>(read(port, buffer, capacity)); });
  return n > 0 ? static_cast<size_t>(n) : 0;
}

bool SerialWrite(PortHandle port, const void* bytes, size_t count) {
  if (port == kNoPort) return false;
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    const ssize_t n = Guarded(SysCall::Write, [&] { return static_cast<int>(write(port, p, count)); });
    if (n > 0) {
      p += n;
      count -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd pfd{port, POLLOUT, 0};
    if (poll(&pfd, 1, 100) < 0 && errno != EINTR) return false;
    if (pfd.revents & (POLLERR | POLLNVAL)) return false;
  }
  return true;
}

void SerialWaitInput(PortHandle port, uint32_t ms) {
  if (port == kNoPort) {
    SleepMs(ms < 1 ? 1 : ms);
    return;
  }
  // At most 1 ms of real time per pass, so the caller's loop keeps its rhythm.
  (void)ms;
  pollfd pfd{port, POLLIN, 0};
  const int r = poll(&pfd, 1, 1);
  // A line that has hung up or failed wakes poll at once (with POLLIN too, and reads
  // return nothing): sleep instead, so the caller's loop does not spin.
  if (r > 0 && (!(pfd.revents & POLLIN) || (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))) PauseBriefly();
}

bool SerialSetBreak(PortHandle port, bool on) {
  if (port == kNoPort) return false;
  return Guarded(SysCall::Break, [&] { return ioctl(port, on ? TIOCSBRK : TIOCCBRK); }) == 0;
}

void SerialDrainOutput(PortHandle port) {
  if (port != kNoPort) tcdrain(port);
}

void SerialClose(PortHandle port) {
  if (port == kNoPort) return;
  flock(port, LOCK_UN);
  close(port);
}

}  // namespace platform
