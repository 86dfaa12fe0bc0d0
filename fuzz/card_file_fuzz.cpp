// Fuzz target for the card-file walk: a card autotest file's header and item list turned
// into a record. Nothing outside the item list may be read (it lies on the heap, exactly
// its length) and the record build buffer stays within bounds.
//
// Input: the card file itself (49 bytes of header, zero-filled when shorter, then the item
// list, at most 131,071 bytes of it); the first byte's low bit also turns the conversion
// log on.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "conversion_setup.h"
#include "download/card_autotest.h"
#include "session/state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PrepareConversionOnce();
  uint8_t header[kCardHeaderSize] = {};
  if (size != 0) std::memcpy(header, data, size < kCardHeaderSize ? size : kCardHeaderSize);
  std::vector<uint8_t> list;
  if (size > kCardHeaderSize) {
    const size_t rest = size - kCardHeaderSize;
    list.assign(data + kCardHeaderSize, data + kCardHeaderSize + (rest < kCardItemListSize ? rest : kCardItemListSize));
  }
  DebugLevel = (header[0] & 1) ? DBG_LOGFILE : 0;
  RecordBuildLength = 0;
  BuildCardRecord(header, list.data(), static_cast<uint32_t>(list.size()));
  if (RecordBuildLength > kRecordBuildBufferSize) std::abort();
  return 0;
}
