// kxtool is one program with subcommands. Each command lives in its own file and
// registers itself with a static CommandRegistrar, so adding a command touches no other file:
//
//   static CommandRegistrar reg([](CLI::App& app, int& exitCode) {
//     auto* cmd = app.add_subcommand("info", "Identify the instrument");
//     ...
//     cmd->callback([&exitCode] { exitCode = RunInfo(...); });
//   });
//
// A command's callback stores the process exit status in exitCode: 0 on success,
// kExitFailure when the work failed, kExitUsage when the command line asks for something
// the command cannot take (main also gives it for every command line that does not parse).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;  // as a shell reports a program ended by Ctrl-C

using CommandSetup = std::function<void(CLI::App& app, int& exitCode)>;

struct CommandRegistrar {
  explicit CommandRegistrar(CommandSetup setup);
};

// The PORT argument and the --baud option of a command that talks to an instrument.
struct PortOptions {
  std::string port;
  std::string baud = "9600";
};
void AddPortOptions(CLI::App* cmd, PortOptions* options);

// --type copper|fiber|coax (default copper), for the commands that work on one kind of
// stored autotest; AutotestRecordType gives the instrument's record type of the kind.
void AddTypeOption(CLI::App* cmd, std::string* type);
uint16_t AutotestRecordType(const std::string& type);

// "kxtool: WHAT: <the library's text for error> (0x<error>)" on standard error.
void ReportLibraryError(const std::string& what, uint32_t error);

// A session with the instrument for one command: Open reports a failure itself; while
// the session is open Ctrl-C cancels the running call; the destructor closes it.
class InstrumentSession {
 public:
  InstrumentSession() = default;
  ~InstrumentSession();
  InstrumentSession(const InstrumentSession&) = delete;
  InstrumentSession& operator=(const InstrumentSession&) = delete;

  bool Open(const PortOptions& options);

  // True once Ctrl-C (SIGINT) or SIGTERM arrived while the session was open: each calls
  // KXCancel, so the running call stops at its next check.
  static bool Interrupted();

 private:
  bool open_ = false;
};

// Prints who is on the line (serial number, model, software version, format definitions)
// for an open session; kExitFailure when a question went unanswered (said on stderr).
int PrintIdentity();
