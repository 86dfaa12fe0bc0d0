// Test support: running the project's programs as a person would, and kxsim in the
// background for them to talk to.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ProgramResult {
  int exitCode = -1;  // 128 + signal when killed
  std::string out;
  std::string err;
};

// A signal sent to a running program once its standard error holds a text.
struct SignalWhen {
  int signal = 0;
  std::string errHolds;
};

// Runs `argv` (argv[0] is the program's path) to completion, with standard input from
// the file `inputPath`, and collects what it printed. Killed after `timeoutMs`; sent
// `when.signal` (once) when `when` names one.
ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutMs = 60000,
                         const std::string& inputPath = "/dev/null", const SignalWhen& when = {});

// kxsim started with `args` (its standard error to the file `errPath` when given);
// ComName() is the device name it printed on its first line.
class BackgroundKxsim {
 public:
  explicit BackgroundKxsim(const std::vector<std::string>& args = {}, const std::string& errPath = "");
  ~BackgroundKxsim();  // stops it
  BackgroundKxsim(const BackgroundKxsim&) = delete;
  BackgroundKxsim& operator=(const BackgroundKxsim&) = delete;

  const std::string& ComName() const { return comName_; }

 private:
  int pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string comName_;
};

}  // namespace testsupport
