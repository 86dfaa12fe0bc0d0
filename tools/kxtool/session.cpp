// Opening and closing the instrument session, shared by the commands that talk to it.
#include <signal.h>
#include <strings.h>

#include <cstdio>

#include "command.h"
#include "kxlib32.h"

namespace {

// SIGINT and SIGTERM while a session is open: the handler that was there before each.
constexpr int kCancelSignals[] = {SIGINT, SIGTERM};
struct sigaction PreviousHandlers[2] {};
volatile sig_atomic_t InterruptSeen = 0;

void OnInterrupt(int) {
  InterruptSeen = 1;
  KXCancel();
}

// The kinds of stored autotest and their record types.
struct AutotestKind {
  const char* name;
  uint16_t recordType;
};
constexpr AutotestKind kAutotestKinds[] = {{"copper", 3841}, {"fiber", 3874}, {"coax", 3877}};

}  // namespace

void AddPortOptions(CLI::App* cmd, PortOptions* options) {
  cmd->add_option("PORT", options->port,
                  "Serial port (COM:<path>, or COMn) or USB instrument (usb:<serial number>; see ports)")
      ->required();
  cmd->add_option("--baud", options->baud, "Line speed: 300 ... 57600 (default 9600)");
}

void AddTypeOption(CLI::App* cmd, std::string* type) {
  cmd->add_option("--type", *type, "Kind of autotest: copper (default), fiber or coax")
      ->check(CLI::IsMember({"copper", "fiber", "coax"}));
}

uint16_t AutotestRecordType(const std::string& type) {
  for (const AutotestKind& kind : kAutotestKinds) {
    if (type == kind.name) return kind.recordType;
  }
  return kAutotestKinds[0].recordType;
}

void ReportLibraryError(const std::string& what, uint32_t error) {
  std::fprintf(stderr, "kxtool: %s: %s (0x%08X)\n", what.c_str(), pxErrorMsg(error), error);
}

bool InstrumentSession::Open(const PortOptions& options) {
  uint32_t error = 0;
  // "usb:SERIAL" opens the USB instrument with that serial number; the line speed does
  // not apply there.
  const bool usb = options.port.size() >= 4 && strncasecmp(options.port.c_str(), "usb:", 4) == 0;
  const std::string device = usb ? options.port.substr(4) : options.port;
  if (!KXOpen(device.c_str(), usb ? "USB" : options.baud.c_str(), &error)) {
    ReportLibraryError("cannot open " + options.port, error);
    return false;
  }
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  for (size_t i = 0; i < std::size(kCancelSignals); ++i) sigaction(kCancelSignals[i], &sa, &PreviousHandlers[i]);
  open_ = true;
  return true;
}

bool InstrumentSession::Interrupted() { return InterruptSeen != 0; }

InstrumentSession::~InstrumentSession() {
  if (!open_) return;
  for (size_t i = 0; i < std::size(kCancelSignals); ++i) sigaction(kCancelSignals[i], &PreviousHandlers[i], nullptr);
  KXClose();
}
