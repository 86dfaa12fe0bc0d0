// kxtool info PORT [--baud RATE]: opens a session and says who is on the line: serial
// number, model, software version, and whether the instrument's format-definition files
// are newer than this library understands. A failure prints the library's error text and
// code and exits with status 1.
#include <cstdio>
#include <string>

#include "command.h"
#include "kxlib32.h"

namespace {

const char* ModelName(int16_t code) {
  switch (code) {
    case 12: return "VEXAScanner2";
    case 4: return "VEXAScanner";
    default: return "unknown";
  }
}

}  // namespace

int PrintIdentity() {
  uint32_t error = 0;
  int status = 0;
  char serial[12] = {};
  if (KXGetSerialNumber(serial)) {
    std::printf("Serial number:      %s\n", serial);
  } else {
    std::fprintf(stderr, "kxtool: the instrument did not give its serial number\n");
    status = kExitFailure;
  }

  const int16_t model = KXID(&error);
  if (error == 0 || error == KXERR_BAD_RESPONSE) {
    std::printf("Model:              %s (code %d)\n", ModelName(model), model);
  } else {
    ReportLibraryError("model", error);
    status = kExitFailure;
  }

  char version[24] = {};
  if (KXVersion(version, &error)) {
    std::printf("Software version:   %s\n", version);
  } else {
    ReportLibraryError("software version", error);
    status = kExitFailure;
  }

  if (KXCheckPDFVersion(&error)) {
    std::printf("Format definitions: supported\n");
  } else if (error == 0x2000002C) {
    std::printf("Format definitions: newer than this library understands\n");
  } else {
    ReportLibraryError("format definitions", error);
    status = kExitFailure;
  }
  return status;
}

namespace {

int RunInfo(const PortOptions& options) {
  InstrumentSession session;
  if (!session.Open(options)) return kExitFailure;
  return PrintIdentity();
}

PortOptions InfoOptions;

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("info", "Identify the instrument on PORT (e.g. COM:/dev/ttyUSB0)");
  AddPortOptions(cmd, &InfoOptions);
  cmd->callback([&exitCode] { exitCode = RunInfo(InfoOptions); });
});

}  // namespace
