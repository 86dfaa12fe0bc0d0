// kxtool convert CARDFILE... FILE [--append]: turns autotest files copied from the
// instrument's memory card (kxtool card get / walk) into records of the data file FILE,
// one record per card file, in the order given. The first card file replaces FILE, or
// with --append is added to it; the others are added after it. No instrument is needed.
// A file the library refuses stops the run with its error (exit status 1); the records
// converted before it stay in FILE.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "kxlib32.h"

namespace {

std::vector<std::string> ConvertPaths;  // the card files, then the data file
bool ConvertAppend = false;

int RunConvert(const std::vector<std::string>& paths, bool append) {
  const std::string& datFile = paths.back();
  for (size_t i = 0; i + 1 < paths.size(); ++i) {
    uint32_t error = 0;
    const uint8_t appendThis = (i > 0 || append) ? 1 : 0;
    if (!SaveMMCAutotest(paths[i].c_str(), datFile.c_str(), appendThis, &error)) {
      ReportLibraryError("cannot convert " + paths[i], error);
      return kExitFailure;
    }
  }
  std::printf("Converted %zu card autotest%s into %s\n", paths.size() - 1, paths.size() == 2 ? "" : "s",
              datFile.c_str());
  return 0;
}

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("convert", "Convert card autotest files into records of a data file");
  cmd->add_option("CARDFILE... FILE", ConvertPaths, "The card autotest files, then the data file")
      ->required()
      ->expected(2, CLI::detail::expected_max_vector_size);
  cmd->add_flag("--append", ConvertAppend, "Add to an existing data file instead of replacing it");
  cmd->callback([&exitCode] { exitCode = RunConvert(ConvertPaths, ConvertAppend); });
});

}  // namespace
