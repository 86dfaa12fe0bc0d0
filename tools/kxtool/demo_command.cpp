// kxtool demo [--autotests N] [--faults]: the whole tour without an instrument. Starts the
// simulator kxsim holding a generated instrument of N copper autotests (default 50) on a
// pseudo-terminal, identifies it, downloads every autotest into demo.dat in the current
// folder with the progress meter, prints a summary (autotests per result, the first few
// autotests' main items) and stops the simulator. With --faults the simulated line
// corrupts about one byte in a thousand in each direction: the summary then says how many
// retries the download needed and whether all N autotests reached the file.
//
// kxsim is looked for beside kxtool's own executable, then in ../sim/ and ../../sim/ from
// there (an installed kxtool and a build tree), then on PATH.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "command.h"
#include "convert/datafile_reader.h"
#include "download.h"

extern char** environ;

namespace {

constexpr const char* kDemoFile = "demo.dat";
constexpr const char* kDemoBaud = "57600";
// About one byte in a thousand corrupted, each way; the instrument re-sends what the host
// refuses and the download asks again for what it missed.
constexpr const char* kFaultRule = "corrupt=0.001:both";
constexpr const char* kSimDirs[] = {".", "../sim", "../../sim"};
constexpr int kSimStartMs = 10000;
constexpr size_t kAutotestsShown = 5;

// The items the summary shows of an autotest, by tag, with their column heads.
struct SummaryColumn {
  uint16_t tag;
  const char* head;
  int width;
};
constexpr SummaryColumn kSummaryColumns[] = {
    {24, "Name", 14}, {176, "Result", 7}, {46, "Cable", 11}, {1080, "Length", 7}, {84, "Unit", 4},
};
constexpr uint16_t kResultTag = 176;

std::string FindKxsim() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    for (const char* dir : kSimDirs) {
      const fs::path candidate = self.parent_path() / dir / "kxsim";
      if (access(candidate.c_str(), X_OK) == 0) return fs::weakly_canonical(candidate, ec).string();
    }
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  for (size_t start = 0; start <= dirs.size();) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = (end > start ? dirs.substr(start, end - start) : ".") + "/kxsim";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

// kxsim run for the demo, in its own process group (Ctrl-C at the terminal reaches kxtool
// only, which cancels the download and then stops the simulator). It stops when its
// standard input, a pipe held here, is closed.
class DemoSimulator {
 public:
  bool Start(const std::string& program, const std::vector<std::string>& args) {
    int in[2], out[2];
    if (pipe(in) != 0) return false;
    if (pipe(out) != 0) {
      close(in[0]), close(in[1]);
      return false;
    }
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, in[0], 0);
    posix_spawn_file_actions_adddup2(&files, out[1], 1);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&files, in[1]);
    posix_spawn_file_actions_addclose(&files, out[0]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, program.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
    if (spawned != 0) pid_ = -1;
    return spawned == 0 && ReadPortName();
  }

  ~DemoSimulator() {
    if (in_ >= 0) close(in_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  const std::string& Port() const { return port_; }

 private:
  // The first line kxsim prints names the port to open.
  bool ReadPortName() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSimStartMs);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char c;
      if (read(out_, &c, 1) != 1) return false;
      if (c == '\n') return !port_.empty();
      port_ += c;
    }
    return false;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string port_;
};

// The value of `tag` in a record as text ("" when absent or not text).
std::string ItemText(const DatRecord& record, uint16_t tag) {
  for (const DatRecordItem& item : record.items) {
    if (item.tag != tag) continue;
    std::string text = record.Text(item);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }
  return "";
}

// Autotests per result and the first few autotests' main items, from the file itself.
unsigned PrintSummary(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string problem;
  DatFileView view;
  if (!LoadFileBytes(path.c_str(), &bytes, &problem) || !OpenDatBytes(bytes.data(), bytes.size(), &view, &problem)) {
    std::fprintf(stderr, "kxtool demo: %s: %s\n", path.c_str(), problem.c_str());
    return 0;
  }
  std::map<std::string, unsigned> results;
  std::printf("\n  #  ");
  for (const SummaryColumn& c : kSummaryColumns) std::printf("%-*s ", c.width, c.head);
  std::printf("\n");
  for (uint32_t n = 0; n < view.index.size(); ++n) {
    DatRecord record;
    if (!ReadDatRecord(view, n, &record)) {
      ++results["unreadable"];
      continue;
    }
    ++results[ItemText(record, kResultTag)];
    if (n >= kAutotestsShown) continue;
    std::printf("%3u  ", n);
    for (const SummaryColumn& c : kSummaryColumns) std::printf("%-*s ", c.width, ItemText(record, c.tag).c_str());
    std::printf("\n");
  }
  if (view.index.size() > kAutotestsShown) std::printf("  ... and %zu more\n", view.index.size() - kAutotestsShown);
  std::printf("\nResults:");
  for (const auto& [result, count] : results) std::printf(" %s %u", result.empty() ? "(none)" : result.c_str(), count);
  std::printf("\n");
  return static_cast<unsigned>(view.index.size());
}

int RunDemo(unsigned autotests, bool faults) {
  const std::string kxsim = FindKxsim();
  if (kxsim.empty()) {
    std::fprintf(stderr, "kxtool demo: kxsim not found beside kxtool, in ../sim/, ../../sim/ or on PATH\n");
    return kExitFailure;
  }
  std::vector<std::string> args = {"--autotests", std::to_string(autotests), "--pace"};
  if (faults) args.insert(args.end(), {"-f", kFaultRule});
  DemoSimulator sim;
  if (!sim.Start(kxsim, args)) {
    std::fprintf(stderr, "kxtool demo: %s did not start\n", kxsim.c_str());
    return kExitFailure;
  }
  std::printf("Simulated Scanner on %s (%s)%s\n\n", sim.Port().c_str(), kxsim.c_str(),
              faults ? ", the line corrupting about 1 byte in 1000" : "");
  InstrumentSession session;
  if (!session.Open({sim.Port(), kDemoBaud})) return kExitFailure;
  if (PrintIdentity() != 0) return kExitFailure;
  DownloadJob job;
  job.path = kDemoFile;
  if (!CountStoredAutotests(&job)) return InstrumentSession::Interrupted() ? kExitCancelled : kExitFailure;
  std::printf("Stored autotests:   %u\n\n", job.total);
  std::fflush(stdout);
  const DownloadOutcome outcome = DownloadAutotests(job);
  const int status = ReportDownload(job, outcome);
  if (status != 0) return status;
  const unsigned inFile = PrintSummary(job.path);
  if (faults) std::printf("\nThe noisy line cost %u retries. ", outcome.retries);
  if (inFile == job.total) {
    std::printf("Nothing was lost: all %u autotests are in %s.\n", job.total, job.path.c_str());
  } else {
    std::printf("Only %u of the %u autotests are in %s.\n", inFile, job.total, job.path.c_str());
  }
  return inFile == job.total ? 0 : kExitFailure;
}

unsigned DemoAutotests = 50;
bool DemoFaults = false;

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand(
      "demo", "Start the simulator kxsim (looked for beside kxtool, in ../sim/, ../../sim/, then on PATH), "
              "download its autotests into demo.dat with the progress meter and sum them up");
  cmd->add_option("--autotests", DemoAutotests, "Copper autotests the simulated instrument holds (default 50)")
      ->check(CLI::Range(1, 8191));
  cmd->add_flag("--faults", DemoFaults, "Make the simulated line noisy (about 1 byte in 1000 corrupted)");
  cmd->callback([&exitCode] { exitCode = RunDemo(DemoAutotests, DemoFaults); });
});

}  // namespace
