// Opening and closing the instrument session, shared by the commands that talk to it.
#include <signal.h>

#include <cstdio>

#include "command.h"
#include "kxlib32.h"

namespace {

struct sigaction PreviousInterrupt {};

void OnInterrupt(int) { KXCancel(); }

}  // namespace

void AddPortOptions(CLI::App* cmd, PortOptions* options) {
  cmd->add_option("PORT", options->port, "Serial port: COM:<path>, or COMn")->required();
  cmd->add_option("--baud", options->baud, "Line speed: 300 ... 57600 (default 9600)");
}

void ReportLibraryError(const std::string& what, uint32_t error) {
  std::fprintf(stderr, "kxtool: %s: %s (0x%08X)\n", what.c_str(), pxErrorMsg(error), error);
}

bool InstrumentSession::Open(const PortOptions& options) {
  uint32_t error = 0;
  if (!KXOpen(options.port.c_str(), options.baud.c_str(), &error)) {
    ReportLibraryError("cannot open " + options.port, error);
    return false;
  }
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &PreviousInterrupt);
  open_ = true;
  return true;
}

InstrumentSession::~InstrumentSession() {
  if (!open_) return;
  sigaction(SIGINT, &PreviousInterrupt, nullptr);
  KXClose();
}
