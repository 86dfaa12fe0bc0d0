// kxtool count|download|save PORT ...: the autotests stored in the instrument.
//
//   count PORT [--type KIND] [--key N]         how many autotests of the kind are stored
//                                              (with --key: those of that search key)
//   download PORT FILE [--type KIND] [--append] [--key N ...] [--baud RATE]
//                                              every stored autotest of the kind into the
//                                              data file FILE (replaced, or added to with
//                                              --append); with keys, one pass per key
//   save PORT NUMBER FILE [--type KIND] [--append]
//                                              stored autotest NUMBER (from 0) into FILE
//
// KIND is copper (default), fiber or coax. Ctrl-C or SIGTERM stops a download at the
// library's next check: the file keeps the autotests converted before and stays valid,
// and the exit status is 130.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "download.h"
#include "kxlib32.h"

namespace {

constexpr size_t kMaxKeys = 16;

struct AutotestOptions {
  PortOptions port;
  std::string type = "copper";
  std::vector<int> keys;
  std::string path;
  bool append = false;
  unsigned number = 0;
};

AutotestOptions CountOptions, DownloadOptions, SaveOptions;

void AddKeyOption(CLI::App* cmd, std::vector<int>* keys, const char* text) {
  cmd->add_option("--key", *keys, text)->check(CLI::Range(0, 255))->take_last();
}

int RunCount(const AutotestOptions& options) {
  InstrumentSession session;
  if (!session.Open(options.port)) return kExitFailure;
  DownloadJob job;
  job.recordType = AutotestRecordType(options.type);
  if (!options.keys.empty()) job.keys = {static_cast<int16_t>(options.keys.back())};
  if (!CountStoredAutotests(&job)) return InstrumentSession::Interrupted() ? kExitCancelled : kExitFailure;
  std::printf("%u\n", job.total);
  return 0;
}

int RunDownload(const AutotestOptions& options) {
  if (options.keys.size() > kMaxKeys) {
    std::fprintf(stderr, "kxtool download: at most %zu search keys\n", kMaxKeys);
    return kExitUsage;
  }
  InstrumentSession session;
  if (!session.Open(options.port)) return kExitFailure;
  DownloadJob job;
  job.recordType = AutotestRecordType(options.type);
  job.keys.assign(options.keys.begin(), options.keys.end());
  job.path = options.path;
  job.append = options.append;
  if (!CountStoredAutotests(&job)) return InstrumentSession::Interrupted() ? kExitCancelled : kExitFailure;
  if (InstrumentSession::Interrupted()) return kExitCancelled;
  return ReportDownload(job, DownloadAutotests(job));
}

int RunSave(const AutotestOptions& options) {
  if (options.number > 0xFFFF) {
    std::fprintf(stderr, "kxtool save: NUMBER is 0 ... 65535\n");
    return kExitUsage;
  }
  InstrumentSession session;
  if (!session.Open(options.port)) return kExitFailure;
  const uint16_t number = static_cast<uint16_t>(options.number);
  const int16_t append = options.append ? 1 : 0;
  uint32_t error = 0;
  int16_t saved = 0;
  switch (AutotestRecordType(options.type)) {
    case 3874: saved = KXSaveAFiberAutotest(number, options.path.c_str(), append, &error); break;
    case 3877: saved = KXSaveACoaxAutotest(number, options.path.c_str(), append, &error); break;
    default: saved = KXSaveAnAutotest(number, options.path.c_str(), append, &error); break;
  }
  if (!saved) {
    ReportLibraryError("cannot save autotest " + std::to_string(number), error);
    return InstrumentSession::Interrupted() ? kExitCancelled : kExitFailure;
  }
  std::printf("Saved %s autotest %u to %s\n", options.type.c_str(), number, options.path.c_str());
  if (error != 0) ReportLibraryError("saved without a limit curve it names", error);
  return 0;
}

CommandRegistrar countReg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("count", "Count the autotests stored in the instrument");
  AddPortOptions(cmd, &CountOptions.port);
  AddTypeOption(cmd, &CountOptions.type);
  AddKeyOption(cmd, &CountOptions.keys, "Count only the autotests stored under this search key (0 ... 255)");
  cmd->callback([&exitCode] { exitCode = RunCount(CountOptions); });
});

CommandRegistrar downloadReg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand(
      "download", "Download every stored autotest into a data file, with a progress meter; Ctrl-C stops it "
                  "(exit status 130) and keeps what was saved");
  AddPortOptions(cmd, &DownloadOptions.port);
  cmd->add_option("FILE", DownloadOptions.path, "The data file")->required();
  AddTypeOption(cmd, &DownloadOptions.type);
  cmd->add_flag("--append", DownloadOptions.append, "Add to an existing data file instead of replacing it");
  cmd->add_option("--key", DownloadOptions.keys, "Only the autotests of this search key (0 ... 255); repeat for "
                  "up to 16 keys, one pass each")->check(CLI::Range(0, 255));
  cmd->callback([&exitCode] { exitCode = RunDownload(DownloadOptions); });
});

CommandRegistrar saveReg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("save", "Save one stored autotest, by its number from 0, into a data file");
  AddPortOptions(cmd, &SaveOptions.port);
  cmd->add_option("NUMBER", SaveOptions.number, "The autotest's number (0 is the first)")->required();
  cmd->add_option("FILE", SaveOptions.path, "The data file")->required();
  AddTypeOption(cmd, &SaveOptions.type);
  cmd->add_flag("--append", SaveOptions.append, "Add to an existing data file instead of replacing it");
  cmd->callback([&exitCode] { exitCode = RunSave(SaveOptions); });
});

}  // namespace
