// Replays a fuzz target's seed corpus: calls LLVMFuzzerTestOneInput once per file
// of the directories (or files) named on the command line, then once with no input. Used
// by the regular test build, where libFuzzer is not available.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> files{argv[i]};
    if (std::filesystem::is_directory(argv[i])) {
      files.assign(std::filesystem::recursive_directory_iterator(argv[i]), {});
    }
    for (const auto& path : files) {
      if (!std::filesystem::is_regular_file(path)) continue;
      std::ifstream in(path, std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++runs;
    }
  }
  const uint8_t empty = 0;
  LLVMFuzzerTestOneInput(&empty, 0);
  std::printf("replayed %zu inputs\n", runs);
  return 0;
}
