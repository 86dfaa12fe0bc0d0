// Replays a fuzz target's seed corpus: calls LLVMFuzzerTestOneInput once per file
// of the directories (or files) named on the command line. Used by the regular
// test build, where libFuzzer is not available.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void RunOne(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p)) {
        if (e.is_regular_file()) { RunOne(e.path()); ++runs; }
      }
    } else if (std::filesystem::exists(p)) {
      RunOne(p);
      ++runs;
    }
  }
  const uint8_t empty = 0;
  LLVMFuzzerTestOneInput(&empty, 0);
  std::printf("replayed %zu inputs\n", runs);
  return 0;
}
