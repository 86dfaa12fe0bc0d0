#include "services/service.h"

#include "kxlib32.h"
#include "session/state.h"
#include "session/trace.h"

bool ServiceEntry(uint32_t* error, const char* notOpenLine, uint32_t notOpenCode) {
  LastError = 0;
  CancelRequested.store(0);
  if (error != nullptr) *error = 0;
  if (UseCount == 0) {
    Trace("%s", notOpenLine);
    if (error != nullptr) *error = notOpenCode;
    return false;
  }
  return true;
}

uint32_t ExchangeFailure(uint32_t own) { return CancelRequested.load() ? KXERR_CANCELED : own; }
