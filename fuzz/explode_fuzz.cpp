// Explode on arbitrary bytes: never touches memory outside its buffers (the sanitizers
// watch), refuses a bad header before any output, and gives the same result and output
// in short reads at any work-area alignment as in whole reads.
#include "../tests/support/dcl_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const dcltest::Bytes stream(data, data + size);
  const dcltest::Run whole = dcltest::RunExplode(stream);
  const uint32_t header = size < 5 ? kExplodeShortInput : data[1] < 4 || data[1] > 6 ? kExplodeBadDictSize
                          : data[0] > 1 ? kExplodeBadLiteralMode : kExplodeOk;
  dcltest::Check(header == kExplodeOk ? whole.result == kExplodeOk || whole.result == kExplodeAbort
                                      : whole.result == header && whole.out.empty());
  const size_t chunk = 5 + (size * 7 + (size > 0 ? data[size - 1] : 0)) % 59;  // at least 5: the same first read
  const dcltest::Run pieces = dcltest::RunExplode(stream, chunk, size % 8);
  dcltest::Check(pieces.result == whole.result && pieces.out == whole.out);
  return 0;
}
