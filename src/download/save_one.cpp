// Saving one stored autotest, chosen by its record number, with one plain exchange. The
// three record types differ only in the traces, whether the model is asked for, and
// (inside the converter) the format record and the limit items.
#include "convert/autotest_walk.h"
#include "convert/datafile.h"
#include "convert/instrument_config.h"
#include "convert/limits.h"
#include "convert/memstream.h"
#include "convert/workspace.h"
#include "download/save_steps.h"
#include "download/savers.h"
#include "kxlib32.h"
#include "session/state.h"
#include "session/trace.h"

namespace {

// What tells the three savers apart (null: no trace).
struct SaveOneForm {
  uint16_t recordType;
  const char* entryTrace;
  const char* notOpenTrace;
  const char* configurationTrace;
  bool asksModel;  // the fiber saver keeps the model name an earlier call left
  const char* conversionTrace;
};

constexpr SaveOneForm kForms[] = {
    {kCopperAutotests, "KXSaveAnAutotest ", "KXSaveAnAutotest Error - KXLIB not currently open",
     "Couldn't get scanner records ", true, " ProcessATResult failed. "},
    {kFiberAutotests, nullptr, "KXSaveAFiberAutotest Error - KXLIB not currently open",
     "Couldn't get necessary scanner configuration records ", false, " Fiber ProcessATResult failed. "},
    {kCoaxAutotests, "KXSaveACoaxAutotest ", nullptr, "Couldn't get necessary scanner configuration records ", true,
     " Coax ProcessATResult failed. "},
};

const SaveOneForm& FormOf(uint16_t recordType) {
  for (const SaveOneForm& form : kForms) {
    if (form.recordType == recordType) return form;
  }
  return kForms[2];  // the converter takes any other type as coax
}

void TraceIf(const char* line) {
  if (line != nullptr) Trace("%s", line);
}

// Reads the record and converts it into the prepared file. Returns the save's result;
// *file is left open only when the file must not be rewritten.
int16_t ReadAndConvert(const SaveOneForm& form, uint16_t* number, platform::FileHandle file, uint32_t* error) {
  SendOnlyMode = 0;
  uint16_t length = 0xFFFF;
  uint32_t readError = 0;
  if (!KXReadRecord(form.recordType, number, OutputBuffer, &length, &readError)) {
    Trace("ReadRecordFailed ");
    *error = KXERR_COMM;
    return -1;
  }
  FeedConverter(OutputBuffer, length);
  if (form.asksModel && !GetScannerID(error)) {
    Trace("GetScannerID Failed ");
    return -1;
  }
  if (!ProcessATResult(length, file, form.recordType, error)) {
    Trace("%s", form.conversionTrace);
    return 0;
  }
  return 1;
}

}  // namespace

int16_t SaveOneAutotest(uint16_t recordType, uint16_t number, const char* path, int16_t append, uint32_t* error) {
  const SaveOneForm& form = FormOf(recordType);
  TraceIf(form.entryTrace);
  Trace(append ? "Append Mode " : "Overwrite Mode ");
  LastError = 0;
  CancelRequested = 0;
  *error = 0;
  MemStream.truncated = 0;
  if (UseCount == 0) {
    TraceIf(form.notOpenTrace);
    *error = KXERR_NOT_OPEN;
    return 0;
  }
  platform::FileHandle file = platform::kNoFile;
  int16_t result = 0;
  if (StartSave(error)) {
    uint16_t progress = 0;  // the configuration loader's steps, not reported
    if (!LoadInstrumentConfiguration(error, recordType, &progress)) {
      Trace("%s", form.configurationTrace);
      *error = CancelRequested.load() ? KXERR_CANCELED : KXERR_RECORD_NOT_FOUND;
    } else {
      LimitCount = 0;  // limits are fetched by name as the record names them
      DatFileHeader header{};
      if (OpenSaveFile(path, append, &file, &header, "Couldn't Prepare Output File ", error)) {
        // The file is rewritten only once the converter has run: a failed read or model
        // query leaves an appended-to file as it was.
        const int16_t converted = ReadAndConvert(form, &number, file, error);
        if (converted >= 0) {
          if (!FinishSaveFile(&file, &header)) {
            *error = KXERR_FILE_WRITE;
          } else if (converted == 1) {
            result = 1;
            Trace("Autotest Record %d Read\n", number);
          }
        }
      }
    }
  }
  EndSave(&file);
  return result;
}
