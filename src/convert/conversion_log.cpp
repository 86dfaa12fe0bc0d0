#include "convert/conversion_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "convert/workspace.h"
#include "session/state.h"

platform::FileHandle LogFile = platform::kNoFile;
uint16_t SaveRecordNumber = 0;

namespace {

void WriteText(platform::FileHandle file, const char* text, size_t length) {
  uint32_t winError = 0;
  platform::FileWrite(file, text, length, &winError);
}

void FileVPrintf(platform::FileHandle file, const char* format, va_list args) {
  if (file == platform::kNoFile) return;
  char line[512];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  if (length >= 0 && static_cast<size_t>(length) < sizeof line) {
    WriteText(file, line, static_cast<size_t>(length));
  } else if (length > 0) {  // longer than a line usually is: format it again in full
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    WriteText(file, text.data(), static_cast<size_t>(length));
  }
  va_end(again);
}

}  // namespace

bool LogOn() { return (DebugLevel & DBG_LOGFILE) && LogFile != platform::kNoFile; }

void FilePrintf(platform::FileHandle file, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FileVPrintf(file, format, args);
  va_end(args);
}

void LogPrintf(const char* format, ...) {
  if (!LogOn()) return;
  va_list args;
  va_start(args, format);
  FileVPrintf(LogFile, format, args);
  va_end(args);
}

int16_t OpenConversionLog() {
  CloseConversionLog();
  uint32_t winError = 0;
  LogFile = platform::FileOpen("KXLIB.LOG", platform::FileMode::kReplace, &winError);
  return LogFile != platform::kNoFile ? 1 : 0;
}

void CloseConversionLog() {
  platform::FileClose(LogFile);
  LogFile = platform::kNoFile;
}

uint32_t ExplodedOffset(const uint8_t* position) {
  if (!ExplodedATBuffer || !position) return 0;
  const auto base = reinterpret_cast<uintptr_t>(ExplodedATBuffer);
  const auto at = reinterpret_cast<uintptr_t>(position);
  if (at < base || at - base > kExplodedATBufferSize) return 0;
  return static_cast<uint32_t>(at - base);
}

void HexDump(platform::FileHandle file, const uint8_t* data, uint32_t length) {
  if (file == platform::kNoFile) return;
  for (uint32_t offset = 0; offset < length; offset += 16) {
    const uint32_t count = length - offset < 16 ? length - offset : 16;
    char line[6 + 3 + 16 * 3 + 2 + 16 + 2];  // offset, " | ", bytes, "| ", characters, "\n"
    int at = std::snprintf(line, sizeof line, "%6.6x | ", offset);
    for (uint32_t i = 0; i < 16; ++i) {
      const char* separator = i < 15 ? " " : "";
      if (i < count) {
        at += std::snprintf(line + at, sizeof line - at, "%2.2x%s", data[offset + i], separator);
      } else {
        at += std::snprintf(line + at, sizeof line - at, "  %s", separator);
      }
    }
    at += std::snprintf(line + at, sizeof line - at, "| ");
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t c = data[offset + i];
      line[at++] = c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : ' ';
    }
    line[at++] = '\n';
    WriteText(file, line, static_cast<size_t>(at));
  }
  WriteText(file, "\n \n \n", 5);
}

void DumpRecordStart(uint32_t explodedLength) {
  if (!LogOn()) return;
  FilePrintf(LogFile, "Record Number: %d  \n", static_cast<int16_t>(SaveRecordNumber - 1));
  if (explodedLength > kExplodedATBufferSize) explodedLength = kExplodedATBufferSize;
  if (ExplodedATBuffer) HexDump(LogFile, ExplodedATBuffer, explodedLength);
  FilePrintf(LogFile, "%s",
             "\n \n \n"
             "Len Value      XTGID XTGTag                         TagID Tagdef Tag       \n"
             "--- -----      ----- ------------------------       ----- -----------------\n");
}
