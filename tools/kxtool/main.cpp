// kxtool: the command-line program around kxlib.
#include <vector>

#include "command.h"

namespace {
std::vector<CommandSetup>& Commands() {
  static std::vector<CommandSetup> commands;
  return commands;
}
}  // namespace

CommandRegistrar::CommandRegistrar(CommandSetup setup) { Commands().push_back(std::move(setup)); }

int main(int argc, char** argv) {
  CLI::App app{"kxtool - talk to a Scanner cable-certification instrument and its data files"};
  app.set_version_flag("--version", "kxtool " KXTOOL_VERSION);
  app.require_subcommand(1);
  int exitCode = 0;
  for (auto& setup : Commands()) setup(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end the parse too, successfully; every other end is a usage error.
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }
  return exitCode;
}
