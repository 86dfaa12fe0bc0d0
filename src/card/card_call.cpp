#include "card/card_call.h"

#include <cstdarg>

#include "session/trace.h"

void CardCallStart(uint32_t* error, const char* format, ...) {
  *error = 0;
  va_list args;
  va_start(args, format);
  TraceV(format, args);
  va_end(args);
}

void TextTooLong(const char* call, uint32_t* error) {
  TraceError(KXERR_INVALID_FUNCTION, "%s Error - Path or name longer than 127 characters\n", call);
  *error = KXERR_INVALID_FUNCTION;
}

bool CardCommand(uint16_t command, const uint8_t* block, int32_t blockLength, ResponseArea& area,
                 uint32_t capacity, CardReply* reply, uint32_t* error) {
  uint32_t length = capacity;
  if (!KXAccessMMC(command, block, blockLength, area.data(), &length, error)) return false;
  if (!ParseCardReply(area.data(), length, reply)) {
    Trace(" MMC Error - response shorter than its header ");
    SetCardError(error, KXERR_COMM);
    return false;
  }
  return true;
}

bool ResponseAgrees(const char* call, uint16_t command, const CardReply& reply, uint32_t* error) {
  if (CardResponseAgrees(command, reply)) return true;
  Trace("%s Error - corrupt card response. Length = %#6x ", call, reply.dataLength + kCardReplyHeader);
  SetCardError(error, KXERR_COMM);
  return false;
}
