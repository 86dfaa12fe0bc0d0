#include "download/save_steps.h"

#include "convert/conversion_log.h"
#include "convert/memstream.h"
#include "convert/workspace.h"
#include "kxlib32.h"
#include "session/state.h"
#include "session/trace.h"

bool StartSave(uint32_t* error) {
  if (!AllocConversionBuffers()) {
    Trace("Failed to Allocate Memory ");
    *error = KXERR_NO_MEMORY;
    return false;
  }
  if ((DebugLevel & DBG_LOGFILE) != 0 && !OpenConversionLog()) {
    Trace("Couldn't Open DEBUG Output file ");
    *error = KXERR_READ_ONLY_FILE;
    return false;
  }
  return true;
}

bool OpenSaveFile(const char* path, int16_t append, platform::FileHandle* file, DatFileHeader* header,
                  const char* failureTrace, uint32_t* error) {
  if (!OpenDatFile(path, append, file, header)) {
    if (failureTrace != nullptr) Trace("%s", failureTrace);
    *error = KXERR_READ_ONLY_FILE;
    return false;
  }
  return PrepareDatAppend(*file, *header, error) != 0;
}

bool FinishSaveFile(platform::FileHandle* file, DatFileHeader* header) {
  uint32_t error = 0;
  const bool finished = FinishDatFile(file, header, &error) != 0;
  CloseConversionLog();
  return finished;
}

void AbandonSaveFile(platform::FileHandle* file) {
  platform::FileClose(*file);
  *file = platform::kNoFile;
  DatPreparedFile = platform::kNoFile;
}

void EndSave(platform::FileHandle* file) {
  SendOnlyMode = 0;
  FreeConversionBuffers();
  if (*file != platform::kNoFile) AbandonSaveFile(file);
  CloseConversionLog();
}

void FeedConverter(const uint8_t* record, uint32_t length) {
  MemStream.source = record;
  MemStream.sourceRemaining = length;
}
