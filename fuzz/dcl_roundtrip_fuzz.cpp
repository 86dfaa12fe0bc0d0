// Implode then Explode on arbitrary input: the round trip gives the input back for every
// literal mode and dictionary size, the stream is the exhaustive-search encoder's (with
// binary literals, as the ASCII code is not built in here), and neither side touches
// memory outside its buffers.
//
// Input: byte 0 chooses the literal mode (bit 0), the dictionary size (bits 1-2: 1024,
// 2048, 4096) and the read size of the encoder's callback (bits 3-7); the rest is the data.
#include "../tests/support/dcl_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint32_t mode = data[0] & 1, dict = 1024u << ((data[0] >> 1) & 3) % 3;
  const size_t chunk = (data[0] >> 3) == 0 ? SIZE_MAX : static_cast<size_t>(data[0] >> 3) * 131;
  const dcltest::Bytes input(data + 1, data + size);
  const dcltest::Run packed = dcltest::RunImplode(input, mode, dict, chunk, size % 8);
  dcltest::Check(packed.result == kImplodeOk && dcltest::CallsInBlocks(packed, 2048, 1, 4096));
  const dcltest::Run unpacked = dcltest::RunExplode(packed.out);
  dcltest::Check(input.empty() ? packed.out.size() == 4 : unpacked.result == kExplodeOk && unpacked.out == input);
  dcltest::Check(dcltest::RunImplode(input, kDclBinary, dict).out == dcltest::ReferenceImplode(input, kDclBinary, dict).bytes);
  return 0;
}
