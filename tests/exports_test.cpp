// The shared library exports exactly the public calls, under their plain names, and
// nothing else: every internal routine stays hidden.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

namespace {

const std::set<std::string> kExpectedExports = {
    // session
    "KXOpen", "KXClose", "KXCancel", "KXSetDebugLevel", "pxErrorMsg",
    // packets and messages
    "KXSendPacket", "KXWaitPacket", "KXSync",
    "KXSendMessage", "KXSendMessageWithRetry", "KXWaitMessage", "KXWaitMessageWithRetry",
    // records
    "KXReadRecord", "KXReadRecordNormalPersistence", "KXReadRecordWithKey", "KXReadRecByKeyWithRetry",
    "KXReadRecordBySize", "KXReadRecBySizeWithRetry", "KXWriteRecord", "KXUpdateRecord", "KXDeleteRecord",
    "KXNotify", "KXGetVEXADBaseFreeSpace", "KXGetFlashCoalesceStatus",
    // commands, data IDs, identity
    "KXSendCommand", "KXGetDataID", "KXSetDataID", "KXGetSerialNumber", "KXID", "KXVersion", "KXCheckPDFVersion",
    // memory card
    "KXAccessMMC", "mmcGetMMCStatus", "mmcGetMMCInfo", "mmcGetDirectoryCount", "mmcGetDirectoryList",
    "mmcGetDirectoryInfo", "mmcGetFileInfo", "mmcGetFileSize", "mmcDeleteFile", "mmcDeleteDirectory",
    "mmcReadFile", "mmcReadFileHeader", "mmcGetFirstFile", "mmcGetNextFile", "mmcCloseFile",
    // POSIX hooks
    "KXSetPumpHook", "KXSetMessageBoxHook", "KXSetTraceHook",
};

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only '" + library + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char type = 0;
    char name[400] = {};
    // "<address> <type> <name>"
    if (std::sscanf(line, "%*s %c %399s", &type, name) == 2) names.insert(name);
  }
  pclose(pipe);
  return names;
}

TEST(Exports, SharedLibraryExportsExactlyThePublicCalls) {
  const std::set<std::string> actual = DefinedDynamicSymbols(KXLIB_SHARED_LIBRARY_PATH);
  ASSERT_FALSE(actual.empty()) << "could not list " << KXLIB_SHARED_LIBRARY_PATH;
  std::set<std::string> missing, extra;
  std::set_difference(kExpectedExports.begin(), kExpectedExports.end(), actual.begin(), actual.end(),
                      std::inserter(missing, missing.end()));
  std::set_difference(actual.begin(), actual.end(), kExpectedExports.begin(), kExpectedExports.end(),
                      std::inserter(extra, extra.end()));
  std::string m, e;
  for (const auto& s : missing) m += s + " ";
  for (const auto& s : extra) e += s + " ";
  EXPECT_TRUE(missing.empty()) << "missing: " << m;
  EXPECT_TRUE(extra.empty()) << "exported but not public: " << e;
}

TEST(Exports, AHostCanLoadTheLibraryAndCallIt) {
  void* handle = dlopen(KXLIB_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  using ErrorMsg = const char* (*)(uint32_t);
  auto msg = reinterpret_cast<ErrorMsg>(dlsym(handle, "pxErrorMsg"));
  ASSERT_NE(msg, nullptr);
  EXPECT_STREQ(msg(0x20000012), "No Scanner found");
  EXPECT_EQ(dlsym(handle, "ComPortOpen"), nullptr);
  EXPECT_EQ(dlsym(handle, "Crc16"), nullptr);
  dlclose(handle);
}

}  // namespace
