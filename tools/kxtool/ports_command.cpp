// kxtool ports: where an instrument may be. Serial ports are the tty devices the kernel
// ties to a driver, each as the PORT the other commands take; a port of the kernel's
// serial core (an on-board UART) only when a UART answers there, since the kernel makes
// those nodes whether or not one is fitted. USB instruments are those the enumerator
// module lists and that give their serial number, each as usb:SERIAL with its device path.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command.h"
#include "kxlib32.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMostUsbInstruments = 32;
constexpr size_t kUsbPathBytes = 256;

// The driver bound to tty `name`, or empty when none is.
std::string DriverOf(const fs::path& tty) {
  std::error_code ec;
  const fs::path driver = fs::read_symlink(tty / "device" / "driver", ec);
  return ec ? std::string() : driver.filename().string();
}

// A port of the serial core reports its UART type in "type" (0: nothing answered); other
// ttys have no such file.
bool SerialCorePort(const fs::path& tty, bool* fitted) {
  std::ifstream in(tty / "type");
  int type = 0;
  if (!(in >> type)) return false;
  *fitted = type != 0;
  return true;
}

void ListSerialPorts() {
  std::vector<std::pair<std::string, std::string>> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
    std::string what = DriverOf(entry.path());
    bool fitted = false;
    if (SerialCorePort(entry.path(), &fitted)) {
      if (!fitted) continue;
      what = "UART";
    }
    if (what.empty()) continue;
    ports.emplace_back("COM:/dev/" + entry.path().filename().string(), what);
  }
  std::sort(ports.begin(), ports.end());
  std::printf("Serial ports:\n");
  if (ports.empty()) std::printf("  none found\n");
  for (const auto& [port, what] : ports) std::printf("  %-24s %s\n", port.c_str(), what.c_str());
}

// Prints the USB instruments; false when the enumeration failed other than by finding none.
bool ListUsbInstruments() {
  std::printf("USB instruments:\n");
  void* block = KXGlobalAlloc(KX_GMEM_MOVEABLE | KX_GMEM_ZEROINIT, kMostUsbInstruments * KX_USB_ENTRY_SIZE);
  if (block == nullptr) {
    std::fprintf(stderr, "kxtool: no memory for the list of USB instruments\n");
    return false;
  }
  uint32_t error = 0;
  const uint32_t found = KXGetVexaUSBConnections(block, &error);
  const auto* entries = static_cast<const char*>(KXGlobalLock(block));
  for (uint32_t i = 0; i < found && entries != nullptr; ++i) {
    const char* entry = entries + static_cast<size_t>(i) * KX_USB_ENTRY_SIZE;
    const std::string path(entry, strnlen(entry, kUsbPathBytes));
    const std::string serial(entry + kUsbPathBytes, strnlen(entry + kUsbPathBytes, 11));
    std::printf("  usb:%-20s %s\n", serial.c_str(), path.c_str());
  }
  KXGlobalUnlock(block);
  KXGlobalFree(block);
  if (found > 0) return true;
  std::printf("  none found\n");
  // "No scanner" is what an empty enumeration, or a missing enumerator module, reports.
  if (error == 0 || error == KXERR_NO_SCANNER) return true;
  ReportLibraryError("cannot list the USB instruments", error);
  return false;
}

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("ports", "List the serial ports and the USB instruments to open");
  cmd->callback([&exitCode] {
    ListSerialPorts();
    exitCode = ListUsbInstruments() ? 0 : kExitFailure;
  });
});

}  // namespace
