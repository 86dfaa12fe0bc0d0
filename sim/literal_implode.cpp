#include "sim/literal_implode.h"

namespace kxsim {
namespace {

// Appends bits to a stream, least significant bit first.
class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}
  void Put(uint32_t bits, int count) {
    for (int i = 0; i < count; ++i) {
      if (used_ == 0) out_.push_back(0);
      out_.back() = static_cast<uint8_t>(out_.back() | (((bits >> i) & 1u) << used_));
      used_ = (used_ + 1) % 8;
    }
  }

 private:
  Bytes& out_;
  int used_ = 0;  // bits in use in the last byte; 0 when it is full or there is none
};

constexpr uint8_t kBinaryLiterals = 0;
constexpr uint8_t kDictionary4096 = 6;

}  // namespace

Bytes ImplodeLiterals(const Bytes& data) {
  Bytes out{kBinaryLiterals, kDictionary4096};
  out.reserve(2 + data.size() * 9 / 8 + 3);
  BitWriter bits(out);
  for (uint8_t byte : data) bits.Put(static_cast<uint32_t>(byte) << 1, 9);  // flag 0, the byte
  bits.Put(1, 1);     // flag 1: a repetition ...
  bits.Put(0, 7);     // ... length code 15 (code 0x00 in 7 bits) ...
  bits.Put(255, 8);   // ... extra bits 255: length 519, the end of the stream
  return out;
}

}  // namespace kxsim
