// Explode on arbitrary bytes: never touches memory outside its buffers (the sanitizers
// watch), and decodes exactly as the test-side model of the format does, with whole
// reads and with short ones.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../tests/support/dcl_harness.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> stream(data, data + size);
  const dcltest::Decoded model = dcltest::ReferenceExplode(stream, dcltest::LibraryAscii());

  const dcltest::Run whole = dcltest::RunExplode(stream);
  Check(whole.result == model.result);
  Check(whole.out == model.output);

  // Short reads (at least 5 bytes, so the first read is judged the same way).
  const size_t chunk = 5 + (size * 7 + (size > 0 ? data[size - 1] : 0)) % 59;
  const dcltest::Run pieces = dcltest::RunExplode(stream, chunk, size % 8);
  Check(pieces.result == model.result);
  Check(pieces.out == model.output);
  return 0;
}
