// kxtool is one program with subcommands. Each command lives in its own file and
// registers itself with a static CommandRegistrar, so adding a command touches no other file:
//
//   static CommandRegistrar reg([](CLI::App& app, int& exitCode) {
//     auto* cmd = app.add_subcommand("info", "Identify the instrument");
//     ...
//     cmd->callback([&exitCode] { exitCode = RunInfo(...); });
//   });
//
// A command's callback stores the process exit status in exitCode.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

using CommandSetup = std::function<void(CLI::App& app, int& exitCode)>;

struct CommandRegistrar {
  explicit CommandRegistrar(CommandSetup setup);
};
