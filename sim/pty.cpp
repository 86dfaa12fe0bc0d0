#include "sim/pty.h"

#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kxsim {

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    if (master_ >= 0) close(master_);
    throw std::runtime_error("no pseudo-terminal available");
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    close(master_);
    throw std::runtime_error("ptsname failed");
  }
  slavePath_ = name;
  // Keep one descriptor of the slave open and raw, so the line is 8-bit clean from the
  // start and the master side does not read EIO while the host closes and reopens it.
  slaveKeep_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slaveKeep_ >= 0) {
    termios t{};
    if (tcgetattr(slaveKeep_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(slaveKeep_, TCSANOW, &t);
    }
  }
}

PtyPair::~PtyPair() {
  if (slaveKeep_ >= 0) close(slaveKeep_);
  if (master_ >= 0) close(master_);
}

}  // namespace kxsim
