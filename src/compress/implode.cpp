// Implode: encodes bytes as an imploded stream (format notes in dcl.h, code tables in
// dcl_tables.h).
//
// Input window. The input is read in blocks of 4096 bytes into a window that keeps the
// previous dictionary-size + 516 bytes in front of the new block. On every block but the
// last, the final 516 bytes wait as lookahead for the next block, so a repetition found
// near the end of a block can run its full 516 bytes. After each block the window moves
// down so that it again starts dictionary-size + 516 bytes before its end.
//
// Choosing the tokens. At each position the encoder looks for the longest earlier
// occurrence of the bytes there, at most dictionary-size - 1 bytes back and at most 516
// bytes long (cut at the end of the data on the last block); among equally long ones
// the nearest wins, which is never longer to code. A length-2 occurrence is used only
// within 256 bytes. Lazy evaluation: a match shorter than 8 is held back when the next
// position has a longer one, unless that one is just one byte longer and the current
// match is at most 129 bytes back; then the current byte goes out as a literal and the
// next position's match is weighed the same way.
//
// Finding the longest match. Every position of the window is linked into a hash chain
// keyed on the 3 bytes starting there, newest first. A match of 3 or more bytes starts
// with the same 3 bytes, so walking one chain from the nearest position outward visits
// every candidate; a candidate is first tested on the byte just past the best length so
// far (it cannot beat the best otherwise), then compared 8 bytes at a time. The walk
// stops at the dictionary limit or at a match as long as the data allows. Only when no
// match of 3 or more exists is a length-2 match looked for, directly in the 256 bytes
// before the position.
//
// Bit output. Codes are ORed into a 64-bit accumulator from bit 0 upward and stored 32
// bits at a time into a 2048-byte output buffer, which goes to the write callback
// whenever it is full; the end marker's last partial byte is padded with zero bits.
#include <algorithm>
#include <bit>
#include <cstring>

#include "compress/dcl.h"
#include "compress/dcl_bits.h"
#include "compress/dcl_tables.h"

namespace {

constexpr uint32_t kBlockSize = 4096;
constexpr unsigned kLookahead = 516;         // longest match Implode writes
constexpr unsigned kMaxDictSize = 4096;
constexpr size_t kWindowCapacity = kMaxDictSize + kLookahead + kBlockSize;
constexpr size_t kWindowSlack = 8;           // word compares may read past the data
constexpr unsigned kHashBits = 11;
constexpr size_t kHashSize = size_t{1} << kHashBits;
constexpr uint16_t kNoPosition = 0xFFFF;     // never within reach of a window position
constexpr uint32_t kOutputBlock = 2048;
constexpr size_t kOutputSize = kOutputBlock + 8;

constexpr size_t kLayoutSize = 7 + kWindowCapacity * 2 + kHashSize * 2 + kWindowCapacity + kWindowSlack + kOutputSize;
static_assert(kLayoutSize <= kImplodeWorkAreaSize);
static_assert(kWindowCapacity < kNoPosition);

// The lazy-evaluation thresholds.
constexpr unsigned kLazyBelow = 8;          // only matches shorter than this are held back
constexpr unsigned kLazyKeepDistance = 129; // a one-byte-longer successor loses to a match this near

struct Match {
  unsigned length = 0;  // 0: none
  unsigned distance = 0;
};

class Encoder {
 public:
  Encoder(DclReadFn read, DclWriteFn write, void* param, uint8_t* area, unsigned literalMode,
          unsigned dictSize, unsigned dsizeBits)
      : read_(read), write_(write), param_(param), ascii_(literalMode == kDclAscii), dictSize_(dictSize),
        dsizeBits_(dsizeBits) {
    prev_ = reinterpret_cast<uint16_t*>(area);
    head_ = prev_ + kWindowCapacity;
    window_ = reinterpret_cast<uint8_t*>(head_ + kHashSize);
    out_ = window_ + kWindowCapacity + kWindowSlack;
  }

  void Run(unsigned literalMode) {
    std::fill(head_, head_ + kHashSize, kNoPosition);
    std::memset(window_ + kWindowCapacity, 0, kWindowSlack);
    out_[0] = static_cast<uint8_t>(literalMode);
    out_[1] = static_cast<uint8_t>(dsizeBits_);
    outLen_ = 2;

    for (bool first = true;; first = false) {
      const uint32_t got = ReadBlock();
      if (first && got == 0) break;
      fill_ += got;
      const bool last = got < kBlockSize;
      EncodeUpTo(last ? fill_ : fill_ - kLookahead);
      if (last) break;
      Slide();
    }

    const dcl::SymbolCode& end = dcl::kLengthCodes[dcl::kEndMarkerLength];
    PutBits(end.code, end.bits);
    Finish();
  }

 private:
  // Gathers up to one block at the end of the window; a short count means the input ended.
  uint32_t ReadBlock() {
    uint32_t got = 0;
    while (got < kBlockSize) {
      uint32_t want = kBlockSize - got;
      const uint32_t n = std::min(read_(reinterpret_cast<char*>(window_ + fill_ + got), &want, param_), kBlockSize - got);
      if (n == 0) break;
      got += n;
    }
    return got;
  }

  // Keeps the last dictionary-size + 516 bytes and the chains over them.
  void Slide() {
    const size_t keep = size_t{dictSize_} + kLookahead;
    if (fill_ <= keep) return;
    InsertUpTo(cur_);
    const size_t shift = fill_ - keep;
    std::memmove(window_, window_ + shift, keep);
    auto rebase = [shift](uint16_t p) { return p != kNoPosition && p >= shift ? static_cast<uint16_t>(p - shift) : kNoPosition; };
    for (size_t p = shift; p < inserted_; ++p) prev_[p - shift] = rebase(prev_[p]);
    for (size_t h = 0; h < kHashSize; ++h) head_[h] = rebase(head_[h]);
    fill_ = keep;
    cur_ -= shift;
    inserted_ -= shift;
  }

  static unsigned Hash3(const uint8_t* p) {
    const uint32_t three = dcl::LoadLE32(p) & 0xFFFFFF;
    return (three * 0x9E3779B1u) >> (32 - kHashBits);
  }

  // Links every position before `pos` whose 3 bytes are all in the window.
  void InsertUpTo(size_t pos) {
    const size_t stop = std::min(pos, fill_ >= 3 ? fill_ - 2 : 0);
    for (size_t p = inserted_; p < stop; ++p) {
      const unsigned h = Hash3(window_ + p);
      prev_[p] = head_[h];
      head_[h] = static_cast<uint16_t>(p);
    }
    inserted_ = std::max(inserted_, stop);
  }

  // Number of equal bytes at a and b, at most `limit`. Reads up to 7 bytes past `limit`.
  static unsigned MatchLength(const uint8_t* a, const uint8_t* b, unsigned limit) {
    unsigned n = 0;
    for (;;) {
      const uint64_t diff = dcl::LoadLE64(a + n) ^ dcl::LoadLE64(b + n);
      if (diff != 0) return std::min(limit, n + static_cast<unsigned>(std::countr_zero(diff) >> 3));
      n += 8;
      if (n >= limit) return limit;
    }
  }

  // The longest earlier occurrence of the bytes at `pos`, nearest among equals.
  Match FindMatch(size_t pos) {
    const unsigned maxLen = static_cast<unsigned>(std::min<size_t>(kLookahead, fill_ - pos));
    if (maxLen < 2) return {};
    const uint8_t* const s = window_ + pos;

    if (maxLen >= 3) {
      InsertUpTo(pos);
      unsigned best = 2;
      unsigned bestDistance = 0;
      const size_t reach = dictSize_ - 1;
      size_t cand = head_[Hash3(s)];
      // Unsigned: kNoPosition lies "after" pos and so ends the walk like a far candidate.
      while (pos - cand - 1 < reach) {
        const uint8_t* c = window_ + cand;
        if (c[best] == s[best]) {
          const unsigned len = MatchLength(c, s, maxLen);
          if (len > best) {
            best = len;
            bestDistance = static_cast<unsigned>(pos - cand);
            if (len >= maxLen) break;
          }
        }
        cand = prev_[cand];
      }
      if (bestDistance != 0) return {best, bestDistance};
    }

    // No match of 3 or more: the nearest pair within 256 bytes.
    const unsigned pair = s[0] | (s[1] << 8);
    const size_t reach = std::min<size_t>(256, pos);
    for (size_t d = 1; d <= reach; ++d) {
      const uint8_t* c = s - d;
      if (static_cast<unsigned>(c[0] | (c[1] << 8)) == pair) {
        return {2, static_cast<unsigned>(d)};
      }
    }
    return {};
  }

  void EncodeUpTo(size_t dataEnd) {
    size_t cur = cur_;
    Match m;
    bool haveMatch = false;
    while (cur < dataEnd) {
      if (!haveMatch) m = FindMatch(cur);
      haveMatch = false;
      if (m.length == 0) {
        PutLiteral(window_[cur]);
        ++cur;
        continue;
      }
      if (m.length < kLazyBelow && cur + 1 < dataEnd) {
        const Match next = FindMatch(cur + 1);
        if (next.length > m.length && !(next.length == m.length + 1 && m.distance <= kLazyKeepDistance)) {
          PutLiteral(window_[cur]);
          ++cur;
          m = next;
          haveMatch = true;
          continue;
        }
      }
      PutMatch(m);
      cur += m.length;
    }
    cur_ = cur;
  }

  inline void PutBits(uint64_t code, unsigned bits) {
    acc_ |= code << accBits_;
    accBits_ += bits;
    if (accBits_ >= 32) {
      dcl::StoreLE32(out_ + outLen_, static_cast<uint32_t>(acc_));
      acc_ >>= 32;
      accBits_ -= 32;
      outLen_ += 4;
      if (outLen_ >= kOutputBlock) FlushBlock();
    }
  }

  void FlushBlock() {
    uint32_t n = kOutputBlock;
    write_(reinterpret_cast<char*>(out_), &n, param_);
    outLen_ -= kOutputBlock;
    std::memmove(out_, out_ + kOutputBlock, outLen_);
  }

  inline void PutLiteral(uint8_t byte) {
    if (!ascii_) {
      PutBits(uint64_t{byte} << 1, 9);
    } else {
      const dcl::SymbolCode& c = dcl::kAsciiLiteralCodes[byte];
      PutBits(c.code, c.bits);
    }
  }

  inline void PutMatch(const Match& m) {
    const dcl::SymbolCode& len = dcl::kLengthCodes[m.length];
    const unsigned d = m.distance - 1;
    const unsigned lowBits = m.length == 2 ? 2 : dsizeBits_;
    const unsigned code = d >> lowBits;
    const unsigned low = d & ((1u << lowBits) - 1);
    const unsigned distBits = dcl::kDistBits[code];
    const uint64_t field = len.code | (uint64_t{dcl::kDistCode[code]} << len.bits) |
                           (uint64_t{low} << (len.bits + distBits));
    PutBits(field, len.bits + distBits + lowBits);
  }

  // Writes out the accumulator, the last partial byte as a whole one, and the rest of
  // the output buffer.
  void Finish() {
    while (accBits_ > 0) {
      out_[outLen_++] = static_cast<uint8_t>(acc_);
      acc_ >>= 8;
      accBits_ = accBits_ > 8 ? accBits_ - 8 : 0;
    }
    if (outLen_ >= kOutputBlock) FlushBlock();
    if (outLen_ > 0) {
      uint32_t n = outLen_;
      write_(reinterpret_cast<char*>(out_), &n, param_);
    }
  }

  DclReadFn read_;
  DclWriteFn write_;
  void* param_;
  bool ascii_;
  unsigned dictSize_;
  unsigned dsizeBits_;
  uint16_t* prev_;    // per window position: the previous position with the same hash
  uint16_t* head_;    // per hash: the newest position
  uint8_t* window_;
  uint8_t* out_;
  size_t fill_ = 0;      // bytes in the window
  size_t cur_ = 0;       // next position to encode
  size_t inserted_ = 0;  // positions below this are linked into the chains
  uint64_t acc_ = 0;
  unsigned accBits_ = 0;
  uint32_t outLen_ = 0;
};

}  // namespace

uint32_t Implode(DclReadFn read, DclWriteFn write, char* workArea, void* param, uint32_t* literalMode,
                 uint32_t* dictSize) {
  unsigned dsizeBits;
  switch (*dictSize) {
    case 1024: dsizeBits = 4; break;
    case 2048: dsizeBits = 5; break;
    case 4096: dsizeBits = 6; break;
    default: return kImplodeBadDictSize;
  }
  if (*literalMode != kDclBinary && *literalMode != kDclAscii) return kImplodeBadLiteralMode;

  Encoder encoder(read, write, param, dcl::AlignWorkArea(workArea), *literalMode, *dictSize, dsizeBits);
  encoder.Run(*literalMode);
  return kImplodeOk;
}
