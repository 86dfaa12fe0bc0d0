// Implode then Explode on arbitrary input: the round trip gives the input back for every
// literal mode and dictionary size, the stream's repetitions stay within the encoder's
// limits, and neither side touches memory outside its buffers.
//
// Input: byte 0 chooses the literal mode (bit 0), the dictionary size (bits 1-2: 1024,
// 2048, 4096) and the read size of the encoder's callback (bits 3-7); the rest is the data.
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
  if (size == 0) return 0;
  const uint32_t mode = data[0] & 1;
  const uint32_t dict = 1024u << ((data[0] >> 1) & 3) % 3;
  const size_t chunk = (data[0] >> 3) == 0 ? SIZE_MAX : static_cast<size_t>(data[0] >> 3) * 131;
  const std::vector<uint8_t> input(data + 1, data + size);

  const dcltest::Run packed = dcltest::RunImplode(input, mode, dict, chunk, size % 8);
  Check(packed.result == kImplodeOk);
  Check(packed.out.size() >= 4);
  Check(packed.out[0] == mode);
  for (size_t i = 0; i + 1 < packed.writeSizes.size(); ++i) Check(packed.writeSizes[i] == 2048);

  if (input.empty()) {
    Check(packed.out.size() == 4);
    return 0;
  }
  const dcltest::Run unpacked = dcltest::RunExplode(packed.out);
  Check(unpacked.result == kExplodeOk);
  Check(unpacked.out == input);

  const dcltest::Decoded tokens = dcltest::ReferenceExplode(packed.out, dcltest::LibraryAscii());
  Check(tokens.result == 0);
  for (const dcltest::Token& t : tokens.tokens) {
    if (t.literal) continue;
    Check(t.value <= 516 && t.distance <= dict - 1);
    Check(t.value > 2 || t.distance <= 256);
  }
  return 0;
}
