// The shared library as a host loads it: it exports exactly the public calls, under their
// plain names, and nothing else, and sends its trace where KXLIB_TRACE says.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "kxlib32.h"

namespace {

// Every call the public header declares.
std::set<std::string> DeclaredCalls() {
  std::ifstream header(std::string(KXLIB_SOURCE_DIR) + "/include/kxlib32.h");
  const std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
  const std::regex declaration(R"(KXAPI [^;(]*KXAPI_CALL\s+(\w+)\s*\()");
  std::set<std::string> names;
  for (std::sregex_iterator it(text.begin(), text.end(), declaration), end; it != end; ++it) names.insert((*it)[1]);
  return names;
}

TEST(Exports, SharedLibraryExportsExactlyThePublicCalls) {
  std::set<std::string> exported;
  FILE* pipe = popen(("nm -D --defined-only '" + std::string(KXLIB_SHARED_LIBRARY_PATH) + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512], name[400];
  while (std::fgets(line, sizeof line, pipe)) {
    if (std::sscanf(line, "%*s %*c %399s", name) == 1) exported.insert(name);  // "<address> <type> <name>"
  }
  pclose(pipe);
  const std::set<std::string> declared = DeclaredCalls();
  EXPECT_GT(declared.size(), 40u);
  EXPECT_EQ(exported, declared);
}

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A host process loads the library with KXLIB_TRACE set (or not) and fails an open at trace
// level 1 or 0: the trace reaches standard error, the file named, or nothing.
TEST(Exports, TheTraceGoesWhereKxlibTraceSaysAtLoad) {
  const std::string file = testing::TempDir() + "kxlib-trace.log", err = testing::TempDir() + "kxlib-stderr.log";
  const struct {
    const char* target;
    uint16_t level;
    std::string toStderr, toFile;  // "line": holds the failure's trace line
  } rows[] = {{"stderr", 1, "line", ""}, {file.c_str(), 1, "", "line"}, {file.c_str(), 0, "", "\n"},
              {nullptr, 1, "", ""}};
  for (const auto& r : rows) {
    std::remove(file.c_str());
    const pid_t child = fork();
    if (child == 0) {
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      r.target ? setenv("KXLIB_TRACE", r.target, 1) : unsetenv("KXLIB_TRACE");
      void* library = dlopen(KXLIB_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
      if (library == nullptr) _exit(2);
      reinterpret_cast<void (*)(uint16_t)>(dlsym(library, "KXSetDebugLevel"))(r.level);
      uint32_t error = 0;
      reinterpret_cast<int16_t (*)(const char*, const char*, uint32_t*)>(dlsym(library, "KXOpen"))("LPT1", "9", &error);
      _exit(error == KXERR_NOT_OPEN ? 0 : 3);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    for (const auto& [text, wanted] : {std::pair{Contents(err), r.toStderr}, std::pair{Contents(file), r.toFile}}) {
      if (wanted == "line") {
        EXPECT_NE(text.find("KXOpen Failed - Invalid DeviceName \n"), std::string::npos) << text;
      } else {
        EXPECT_EQ(text, wanted) << (r.target ? r.target : "unset") << " " << r.level;
      }
    }
  }
}

}  // namespace
