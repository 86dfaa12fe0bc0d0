// The kxsim program: started as a person or a test harness would start it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/sim_host.h"

#ifdef KXSIM_PATH

extern char** environ;

namespace {

using simtest::Bytes;
using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
  int in = -1;   // write end of the child's stdin (-1: stdin is /dev/null)
  int out = -1;  // read end of the child's stdout

  ~Child() {
    if (in >= 0) close(in);
    if (out >= 0) close(out);
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Exit status after waiting up to `ms`; -1 if it is still running.
  int WaitExit(int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }
  std::string FirstLine(int ms = 5000) {
    std::string line;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline) {
      pollfd p{out, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      char c;
      if (read(out, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }
};

std::unique_ptr<Child> Start(std::vector<std::string> args, bool stdinPipe = true) {
  auto child = std::make_unique<Child>();
  int inPipe[2], outPipe[2];
  EXPECT_EQ(pipe(outPipe), 0);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (stdinPipe) {
    EXPECT_EQ(pipe(inPipe), 0);
    posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    posix_spawn_file_actions_addclose(&fa, inPipe[1]);
  } else {
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
  posix_spawn_file_actions_addclose(&fa, outPipe[0]);
  args.insert(args.begin(), KXSIM_PATH);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  EXPECT_EQ(posix_spawn(&child->pid, KXSIM_PATH, &fa, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  close(outPipe[1]);
  child->out = outPipe[0];
  if (stdinPipe) {
    close(inPipe[0]);
    child->in = inPipe[1];
  }
  return child;
}

// Opens the port the simulator named, sends one request and returns its reply message
// (empty when none came), acknowledging the reply.
Bytes Exchange(const std::string& comName, const Bytes& request) {
  EXPECT_EQ(comName.rfind("COM:/dev/", 0), 0u) << comName;
  const int fd = open(comName.substr(4).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_GE(fd, 0);
  if (fd < 0) return {};
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
  const Bytes frame = simtest::HostFrame(0x2300, request);
  EXPECT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  Bytes got;
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  while (simtest::TakeApart(got).frames.empty() && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10) > 0) {
      uint8_t buf[1024];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) got.insert(got.end(), buf, buf + n);
    }
  }
  const uint8_t ack = 0x06;
  EXPECT_EQ(write(fd, &ack, 1), 1);
  close(fd);
  const auto parts = simtest::TakeApart(got);
  return parts.frames.empty() ? Bytes{} : parts.frames[0].data;
}

TEST(SimKxsim, NamesItsPortServesTheSampleDatabaseAndStopsWhenStdinCloses) {
  auto child = Start({});
  const std::string name = child->FirstLine();
  const Bytes reply = Exchange(name, simtest::RecordMessage(2, 131, 0));
  ASSERT_GE(reply.size(), 70u + 24u);
  EXPECT_EQ(simtest::Get16(reply, 4), 1);
  EXPECT_EQ(std::string(reply.begin() + 70, reply.begin() + 73), "V06");
  // The port-settings record says 9600.
  const Bytes port = Exchange(name, simtest::RecordMessage(2, 0x402, 0));
  ASSERT_EQ(port.size(), 80u);
  EXPECT_EQ(port[73], 5);

  EXPECT_EQ(child->WaitExit(100), -1) << "still serving";
  close(child->in);
  child->in = -1;
  EXPECT_EQ(child->WaitExit(5000), 0);
}

TEST(SimKxsim, SigtermStopsItWhenStdinIsNotWatched) {
  auto child = Start({"--stats"}, /*stdinPipe=*/false);
  const std::string name = child->FirstLine();
  EXPECT_EQ(name.rfind("COM:", 0), 0u);
  EXPECT_EQ(child->WaitExit(300), -1) << "/dev/null on stdin does not stop it";
  kill(child->pid, SIGTERM);
  EXPECT_EQ(child->WaitExit(5000), 0);
}

TEST(SimKxsim, OptionsReachTheInstrument) {
  auto child = Start({"--fault", "bad-status=1:7", "--serial", "ZX987654321", "--empty", "--seed", "3"});
  const std::string name = child->FirstLine();
  Bytes reply = Exchange(name, simtest::Message(14, 5));
  ASSERT_GE(reply.size(), 81u);
  EXPECT_EQ(simtest::Get16(reply, 4), 7);
  EXPECT_EQ(std::string(reply.begin() + 70, reply.begin() + 81), "ZX987654321");
  // An empty database has no version record.
  auto plain = Start({"--empty"});
  reply = Exchange(plain->FirstLine(), simtest::RecordMessage(2, 131, 0));
  EXPECT_EQ(simtest::Get16(reply, 4), 251);
}

TEST(SimKxsim, RefusesBadOptions) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--fault", "bogus=1"},
                                        {"--fault", "corrupt=2"},
                                        {"--fault", "corrupt=0.1:sideways"},
                                        {"--baud", "1234"},
                                        {"--seed", "x"},
                                        {"stray"}}) {
    auto child = Start(args);
    EXPECT_EQ(child->WaitExit(5000), 2) << args[0];
  }
  auto help = Start({"--help"});
  EXPECT_EQ(help->FirstLine().rfind("usage: kxsim", 0), 0u);
  EXPECT_EQ(help->WaitExit(5000), 0);
}

}  // namespace

#endif  // KXSIM_PATH
