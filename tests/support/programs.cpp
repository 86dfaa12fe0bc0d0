#include "tests/support/programs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<char*> v;
  for (const auto& a : args) v.push_back(const_cast<char*>(a.c_str()));
  v.push_back(nullptr);
  return v;
}

// Reads whatever is ready on `fd` into `into`; false at end of file.
bool Drain(int fd, std::string& into) {
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n > 0) into.append(buffer, static_cast<size_t>(n));
  return n > 0 || (n < 0 && errno == EINTR);
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, int timeoutMs, const std::string& inputPath,
                         const SignalWhen& when) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, inputPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
  posix_spawn_file_actions_addclose(&fa, outPipe[0]);
  posix_spawn_file_actions_addclose(&fa, errPipe[0]);
  pid_t pid = -1;
  auto args = ArgvOf(argv);
  const int spawned = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(outPipe[1]);
  close(errPipe[1]);
  ProgramResult result;
  if (spawned != 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool outOpen = true, errOpen = true, signalled = when.signal == 0;
  while ((outOpen || errOpen) && Clock::now() < deadline) {
    pollfd p[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
    if (poll(p, 2, 50) <= 0) continue;
    if (p[0].revents) outOpen = Drain(outPipe[0], result.out);
    if (p[1].revents) errOpen = Drain(errPipe[0], result.err);
    if (!signalled && result.err.find(when.errHolds) != std::string::npos) {
      kill(pid, when.signal);
      signalled = true;
    }
  }
  if (outOpen || errOpen) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close(outPipe[0]);
  close(errPipe[0]);
  return result;
}

BackgroundKxsim::BackgroundKxsim(const std::vector<std::string>& args, const std::string& errPath) {
#ifdef KXSIM_PATH
  int inPipe[2], outPipe[2];
  if (pipe(inPipe) != 0 || pipe(outPipe) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_addclose(&fa, inPipe[1]);
  posix_spawn_file_actions_addclose(&fa, outPipe[0]);
  if (!errPath.empty()) posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> all = {KXSIM_PATH};
  all.insert(all.end(), args.begin(), args.end());
  auto argv = ArgvOf(all);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(inPipe[0]);
  close(outPipe[1]);
  in_ = inPipe[1];
  out_ = outPipe[0];
  if (spawned != 0) throw std::runtime_error("cannot start kxsim");
  pid_ = pid;
  // The first line names the device to open.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    char c;
    if (read(out_, &c, 1) != 1) break;
    if (c == '\n') return;
    comName_ += c;
  }
  throw std::runtime_error("kxsim printed no device name");
#else
  (void)args, (void)errPath;
  throw std::runtime_error("kxsim was not built");
#endif
}

BackgroundKxsim::~BackgroundKxsim() {
  if (in_ >= 0) close(in_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (out_ >= 0) close(out_);
}

}  // namespace testsupport
