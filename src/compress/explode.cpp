// Explode: decodes an imploded stream (format notes in dcl.h, code tables in dcl_tables.h).
//
// Reading bits. The stream is read into a 64-bit bit buffer, least-significant bit
// first; every lookup takes the low bits of the buffer. Completion is judged against the
// format's rule for the end of the input: a token counts only if, after its last bit,
// at least 8 more bits of input follow (the decoder always keeps one whole byte ahead).
// The one exception is the end-of-stream marker, which counts as soon as its own 16 bits
// are there. While the input buffer holds at least 8 unread bytes the buffer is
// refilled with one word load and every token is complete; near the end of the input
// the bytes are taken one at a time and each token is checked.
//
// Output. Bytes are decoded into an 8192-byte window whose first 4096 bytes are the
// history (zeros before the first output byte, so a distance that reaches back past the
// start of the output reads zeros). When the write position reaches 8192, the block
// 4096..8191 goes to the write callback and the window moves down by 4096 bytes.
// Repetitions whose distance is at least 8 are copied a word at a time, possibly
// writing a few bytes past their end into the window's spare room; nearer ones, which
// overlap their own output and repeat a short pattern, are copied byte by byte.
#include <algorithm>
#include <cstring>

#include "compress/dcl.h"
#include "compress/dcl_bits.h"
#include "compress/dcl_tables.h"

namespace {

constexpr uint32_t kInputBlock = 2048;
constexpr size_t kHistory = 4096;
constexpr size_t kFlushAt = 8192;
constexpr size_t kWindowSlack = 32;  // word-at-a-time copies may overrun a repetition
constexpr size_t kWindowSize = kFlushAt + dcl::kMaxLength + kWindowSlack;
constexpr size_t kLayoutSize = 7 + kInputBlock + kWindowSize;
static_assert(kLayoutSize <= kExplodeWorkAreaSize);

// The most bits one token can take (flag 1, length code 7, extra bits 8, distance code 8,
// low bits 6), plus the 8 bits the decoder keeps ahead.
constexpr unsigned kTokenBits = 1 + 7 + 8 + 8 + 6;
constexpr unsigned kAheadBits = 8;

// Token values that end the decode loop.
enum class Stop { kEndMarker, kError };

class Decoder {
 public:
  Decoder(DclReadFn read, DclWriteFn write, void* param, uint8_t* inBuf, uint8_t* window,
          unsigned literalMode, unsigned dsizeBits, uint32_t filled)
      : read_(read), write_(write), param_(param), inBuf_(inBuf), window_(window),
        ascii_(literalMode == kDclAscii), dsizeBits_(dsizeBits) {
    in_ = inBuf_ + 2;  // bytes 0 and 1 are the header
    end_ = inBuf_ + filled;
  }

  uint32_t Run() {
    std::memset(window_, 0, kHistory);
    size_t pos = kHistory;
    const Stop stop = DecodeLoop(pos);
    if (pos > kHistory) Write(window_ + kHistory, pos - kHistory);
    return stop == Stop::kEndMarker ? kExplodeOk : kExplodeAbort;
  }

 private:
  // Makes at least kTokenBits + kAheadBits bits available unless the input has ended.
  inline void Refill() {
    if (end_ - in_ >= 8) {
      bits_ |= dcl::LoadLE64(in_) << count_;
      in_ += (63 - count_) >> 3;
      count_ |= 56;
    } else {
      SlowRefill();
    }
  }

  void SlowRefill() {
    while (count_ <= 56) {
      if (in_ == end_) {
        if (ended_ || count_ >= kTokenBits + kAheadBits) return;
        uint32_t want = kInputBlock;
        const uint32_t got = std::min(read_(reinterpret_cast<char*>(inBuf_), &want, param_), kInputBlock);
        if (got == 0) {
          ended_ = true;
          return;
        }
        in_ = inBuf_;
        end_ = inBuf_ + got;
      }
      bits_ |= uint64_t{*in_++} << count_;
      count_ += 8;
    }
  }

  inline void Drop(unsigned n) {
    bits_ >>= n;
    count_ -= n;
  }

  void Write(uint8_t* data, size_t size) {
    uint32_t n = static_cast<uint32_t>(size);
    write_(reinterpret_cast<char*>(data), &n, param_);
  }

  // Decodes tokens into the window until the end marker or an error; `pos` is the write
  // position in the window.
  Stop DecodeLoop(size_t& pos) {
    uint8_t* const window = window_;
    for (;;) {
      if (pos >= kFlushAt) {
        Write(window + kHistory, kFlushAt - kHistory);
        std::memmove(window, window + kHistory, pos - kHistory);
        pos -= kHistory;
      }
      Refill();
      const uint64_t b = bits_;

      if ((b & 1) == 0) {  // literal
        unsigned value, used;
        if (!ascii_) {
          value = static_cast<unsigned>(b >> 1) & 0xFF;
          used = 9;
        } else {
          const dcl::AsciiFirst& first = dcl::kAsciiDecode.first[(b >> 1) & 0xFF];
          if (first.length != 0) {
            value = first.value;
            used = 1 + first.length;
          } else {
            const unsigned index = first.value + (static_cast<unsigned>(b >> 9) & ((1u << first.subBits) - 1));
            const dcl::AsciiSecond& second = dcl::kAsciiDecode.second[index];
            value = second.symbol;
            used = 1 + second.length;
          }
        }
        if (used + kAheadBits > count_) [[unlikely]] return Stop::kError;
        Drop(used);
        window[pos++] = static_cast<uint8_t>(value);
        continue;
      }

      // Repetition: length code and extra bits.
      const unsigned code = dcl::kLenLookup[(b >> 1) & 0xFF];
      const unsigned codeEnd = 1 + dcl::kLenBits[code];
      const unsigned extraBits = dcl::kExLenBits[code];
      const unsigned extra = static_cast<unsigned>(b >> codeEnd) & ((1u << extraBits) - 1);
      const unsigned length = dcl::kLenBase[code] + extra + 2;
      const unsigned lengthUsed = codeEnd + extraBits;
      if (length == dcl::kEndMarkerLength) {
        // The marker needs no byte after it: the input may end right here.
        return lengthUsed <= count_ ? Stop::kEndMarker : Stop::kError;
      }

      // Distance code and low bits.
      const uint64_t d = b >> lengthUsed;
      const unsigned distCode = dcl::kDistLookup[d & 0xFF];
      const unsigned distBits = dcl::kDistBits[distCode];
      const unsigned lowBits = length == 2 ? 2 : dsizeBits_;
      const unsigned low = static_cast<unsigned>(d >> distBits) & ((1u << lowBits) - 1);
      const size_t distance = ((size_t{distCode} << lowBits) | low) + 1;
      const unsigned used = lengthUsed + distBits + lowBits;
      if (used + kAheadBits > count_) [[unlikely]] return Stop::kError;
      Drop(used);

      // distance <= 4096 <= pos, so the source lies inside the window.
      uint8_t* dst = window + pos;
      const uint8_t* src = dst - distance;
      if (distance >= 16) {
        for (unsigned n = 0; n < length; n += 16) std::memcpy(dst + n, src + n, 16);
      } else if (distance >= 8) {
        for (unsigned n = 0; n < length; n += 8) std::memcpy(dst + n, src + n, 8);
      } else if (distance == 1) {
        std::memset(dst, *src, length);
      } else {
        for (unsigned n = 0; n < length; ++n) dst[n] = src[n];
      }
      pos += length;
    }
  }

  DclReadFn read_;
  DclWriteFn write_;
  void* param_;
  uint8_t* inBuf_;
  uint8_t* window_;
  const uint8_t* in_;
  const uint8_t* end_;
  uint64_t bits_ = 0;
  unsigned count_ = 0;  // valid bits in bits_
  bool ended_ = false;
  bool ascii_;
  unsigned dsizeBits_;
};

}  // namespace

uint32_t Explode(DclReadFn read, DclWriteFn write, char* workArea, void* param) {
  uint8_t* const inBuf = dcl::AlignWorkArea(workArea);
  uint8_t* const window = inBuf + kInputBlock;

  uint32_t want = kInputBlock;
  const uint32_t got = std::min(read(reinterpret_cast<char*>(inBuf), &want, param), kInputBlock);
  if (got < 5) return kExplodeShortInput;
  const unsigned literalMode = inBuf[0];
  const unsigned dsizeBits = inBuf[1];
  if (dsizeBits < 4 || dsizeBits > 6) return kExplodeBadDictSize;
  if (literalMode != kDclBinary && literalMode != kDclAscii) return kExplodeBadLiteralMode;

  Decoder decoder(read, write, param, inBuf, window, literalMode, dsizeBits, got);
  return decoder.Run();
}
