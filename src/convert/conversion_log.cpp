#include "convert/conversion_log.h"

#include <cstdarg>

#include "convert/memstream.h"
#include "convert/workspace.h"
#include "session/state.h"

FILE* LogFile = nullptr;
uint16_t SaveRecordNumber = 0;

bool LogOn() { return (DebugLevel & DBG_LOGFILE) && LogFile != nullptr; }

void LogPrintf(const char* format, ...) {
  if (!LogOn()) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(LogFile, format, args);
  va_end(args);
}

int16_t OpenConversionLog() {
  CloseConversionLog();
  LogFile = std::fopen("KXLIB.LOG", "w");
  return LogFile ? 1 : 0;
}

void CloseConversionLog() {
  if (LogFile) std::fclose(LogFile);
  LogFile = nullptr;
}

uint32_t ExplodedOffset(const uint8_t* position) {
  if (!ExplodedATBuffer || !position) return 0;
  const auto base = reinterpret_cast<uintptr_t>(ExplodedATBuffer);
  const auto at = reinterpret_cast<uintptr_t>(position);
  if (at < base || at - base > kExplodedATBufferSize) return 0;
  return static_cast<uint32_t>(at - base);
}

void HexDump(FILE* stream, const uint8_t* data, uint32_t length) {
  if (!stream) return;
  for (uint32_t offset = 0; offset < length; offset += 16) {
    const uint32_t count = length - offset < 16 ? length - offset : 16;
    std::fprintf(stream, "%6.6x | ", offset);
    for (uint32_t i = 0; i < 16; ++i) {
      const char* separator = i < 15 ? " " : "";
      if (i < count) {
        std::fprintf(stream, "%2.2x%s", data[offset + i], separator);
      } else {
        std::fprintf(stream, "  %s", separator);
      }
    }
    std::fputs("| ", stream);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t c = data[offset + i];
      std::fputc(c >= 0x20 && c <= 0x7E ? c : ' ', stream);
    }
    std::fputc('\n', stream);
  }
  std::fputs("\n \n \n", stream);
}

void DumpRecordStart() {
  if (!LogOn()) return;
  std::fprintf(LogFile, "Record Number: %d  \n", static_cast<int16_t>(SaveRecordNumber - 1));
  uint32_t length = MemStream.written;
  if (length > kExplodedATBufferSize) length = kExplodedATBufferSize;
  if (ExplodedATBuffer) HexDump(LogFile, ExplodedATBuffer, length);
  std::fputs("\n \n \n", LogFile);
  std::fputs("Len Value      XTGID XTGTag                         TagID Tagdef Tag       \n", LogFile);
  std::fputs("--- -----      ----- ------------------------       ----- -----------------\n", LogFile);
}
