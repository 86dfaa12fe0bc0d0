// The serial receiver's decoding over arbitrary bytes: scan, resynchronise, take a frame,
// as KXWaitPacket does with what arrives. Every access stays inside the bytes held.
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The receive buffer: the input arrives in pieces of up to 64 bytes.
  std::vector<uint8_t> pending(data, data + size);
  std::vector<uint8_t> buffer;
  size_t fed = 0;
  for (int rounds = 0; rounds < 100000; ++rounds) {
    const size_t piece = std::min<size_t>(64, pending.size() - fed);
    const size_t room = kPacketReceiveBuffer - buffer.size();
    const size_t take = std::min(piece, room);
    buffer.insert(buffer.end(), pending.begin() + static_cast<long>(fed), pending.begin() + static_cast<long>(fed + take));
    fed += take;
    // An exact-size copy, so a read past `have` is caught.
    std::vector<uint8_t> exact(buffer);
    int have = static_cast<int>(exact.size());
    int length = -1;
    switch (ScanFrame(exact.data(), have, &length)) {
      case FrameScan::kNeedMore:
        if (take == 0) return 0;  // nothing more will come
        break;
      case FrameScan::kMisaligned:
        Resynchronise(exact.data(), &have);
        if (have < 0 || have >= static_cast<int>(buffer.size())) __builtin_trap();
        buffer.assign(exact.begin(), exact.begin() + have);
        break;
      case FrameScan::kBadCrc:
        buffer.clear();
        break;
      case FrameScan::kComplete:
        if (length < 0 || length + kPacketOverhead > have) __builtin_trap();
        buffer.clear();
        break;
    }
  }
  return 0;
}
