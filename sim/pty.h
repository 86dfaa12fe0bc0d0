// A pseudo-terminal pair: the simulator (or a test) holds the master side and a host
// opens the slave side, "COM:" + SlavePath(), as it would a serial port.
#pragma once

#include <string>

namespace kxsim {

class PtyPair {
 public:
  PtyPair();  // throws std::runtime_error when no pseudo-terminal can be had
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  std::string ComName() const { return "COM:" + slavePath_; }

 private:
  int master_ = -1;
  int slaveKeep_ = -1;  // held open so the master never sees a hang-up between host opens
  std::string slavePath_;
};

}  // namespace kxsim
