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

void PrintError(const char* what, uint32_t error) {
  std::fprintf(stderr, "kxtool: %s: %s (0x%08X)\n", what, pxErrorMsg(error), error);
}

int RunInfo(const std::string& port, const std::string& baud) {
  uint32_t error = 0;
  if (!KXOpen(port.c_str(), baud.c_str(), &error)) {
    PrintError(("cannot open " + port).c_str(), error);
    return 1;
  }
  int status = 0;
  char serial[12] = {};
  if (KXGetSerialNumber(serial)) {
    std::printf("Serial number:      %s\n", serial);
  } else {
    std::fprintf(stderr, "kxtool: the instrument did not give its serial number\n");
    status = 1;
  }

  const int16_t model = KXID(&error);
  if (error == 0 || error == KXERR_BAD_RESPONSE) {
    std::printf("Model:              %s (code %d)\n", ModelName(model), model);
  } else {
    PrintError("model", error);
    status = 1;
  }

  char version[24] = {};
  if (KXVersion(version, &error)) {
    std::printf("Software version:   %s\n", version);
  } else {
    PrintError("software version", error);
    status = 1;
  }

  if (KXCheckPDFVersion(&error)) {
    std::printf("Format definitions: supported\n");
  } else if (error == 0x2000002C) {
    std::printf("Format definitions: newer than this library understands\n");
  } else {
    PrintError("format definitions", error);
    status = 1;
  }
  KXClose();
  return status;
}

std::string InfoPort;
std::string InfoBaud = "9600";

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("info", "Identify the instrument on PORT (e.g. COM:/dev/ttyUSB0)");
  cmd->add_option("PORT", InfoPort, "Serial port: COM:<path>, or COMn")->required();
  cmd->add_option("--baud", InfoBaud, "Line speed: 300 ... 57600 (default 9600)");
  cmd->callback([&exitCode] { exitCode = RunInfo(InfoPort, InfoBaud); });
});

}  // namespace
