// Implode: encodes bytes as an imploded stream (format notes in dcl.h, code tables in
// dcl_tables.h).
//
// Input window. The input is read in blocks of 4096 bytes into a window that keeps the
// previous dictionary-size + 516 bytes in front of the new block. On every block but the
// last, the final 516 bytes wait as lookahead for the next block, so a repetition found
// near the end of a block can run its full 516 bytes. The first block goes in after
// dictionary-size + 516 empty bytes, so the window always moves down by exactly one
// block.
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
// Finding the longest match. Every position is linked into three hash chains, newest
// first: one keyed on the 4 bytes starting there, one on 3 bytes, one on 2 bytes. A
// match of 4 or more bytes starts with the same 4 bytes, so one walk of the 4-byte chain
// out to the dictionary limit sees every such candidate; a candidate is first tested on
// the byte just past the best length so far (it cannot beat the best otherwise), then
// compared 8 bytes at a time, and the walk ends early at a match as long as the data
// allows. Once a match of length L is found, only candidates that also match the 4 bytes
// ending at offset L can beat it, so the walk moves over to the chain of those 4 bytes
// (usually far shorter) and goes on from the same candidate outward. Only when there is
// no match of 4 or more does the 3-byte chain give the nearest 3-byte match,
// and failing that the 2-byte chain the nearest pair within 256 bytes. The chains' links
// live in rings indexed by position modulo their reach (4096, 256): a walk never goes
// further back than that, so an overwritten link is never followed.
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
constexpr uint16_t kNoPosition = 0xFFFF;     // never within reach of a window position
constexpr uint32_t kOutputBlock = 2048;
constexpr size_t kOutputSize = kOutputBlock + 8;

// The hash chains: heads per hash value, links in rings of the chain's reach.
constexpr unsigned kHash4Bits = 11;
constexpr unsigned kHash3Bits = 10;
constexpr unsigned kHash2Bits = 10;
constexpr size_t kRing = kMaxDictSize;       // 3- and 4-byte chains
constexpr size_t kRing2 = 256;               // the 2-byte chain
constexpr size_t kChainWords = 2 * kRing + kRing2 + (size_t{1} << kHash4Bits) + (size_t{1} << kHash3Bits) +
                               (size_t{1} << kHash2Bits);

constexpr size_t kLayoutSize = 7 + kChainWords * 2 + kWindowCapacity + kWindowSlack + kOutputSize;
static_assert(kLayoutSize <= kImplodeWorkAreaSize);
static_assert(kWindowCapacity < kNoPosition);

// The lazy-evaluation thresholds.
constexpr unsigned kLazyBelow = 8;          // only matches shorter than this are held back
constexpr unsigned kLazyKeepDistance = 129; // a one-byte-longer successor loses to a match this near

struct Match {
  unsigned length = 0;  // 0: none
  unsigned distance = 0;
};

// A hash chain keyed on the `Bytes` bytes at each window position. `head` holds, per hash
// value, the newest position; `link`, a ring of `Ring` entries indexed by position, the
// previous position with the same hash.
template <unsigned Bytes, unsigned HashBits, size_t Ring>
struct Chain {
  static constexpr size_t kHeads = size_t{1} << HashBits;
  uint16_t* head;
  uint16_t* link;
  size_t inserted;  // positions below this are linked

  // `word`: the 4 bytes at a position, first byte lowest.
  static unsigned HashWord(uint32_t word) {
    const uint32_t key = Bytes == 4 ? word : word & ((1u << (8 * Bytes)) - 1);
    return (key * 0x9E3779B1u) >> (32 - HashBits);
  }
  static unsigned Hash(const uint8_t* p) { return HashWord(dcl::LoadLE32(p)); }

  inline void Link(size_t p, uint32_t word) {
    uint16_t& h = head[HashWord(word)];
    link[p % Ring] = h;
    h = static_cast<uint16_t>(p);
  }

  // Links every position below `pos` whose key bytes are all in the window's `fill` bytes.
  void InsertUpTo(const uint8_t* window, size_t pos, size_t fill) {
    const size_t stop = std::min(pos, fill + 1 - Bytes);
    for (size_t p = inserted; p < stop; ++p) Link(p, dcl::LoadLE32(window + p));
    inserted = std::max(inserted, stop);
  }

  // Moves every position down by `shift`; positions that fall out become kNoPosition.
  void Rebase(size_t shift) {
    auto rebase = [shift](uint16_t p) { return p != kNoPosition && p >= shift ? static_cast<uint16_t>(p - shift) : kNoPosition; };
    for (size_t i = 0; i < kHeads; ++i) head[i] = rebase(head[i]);
    for (size_t i = 0; i < Ring; ++i) link[i] = rebase(link[i]);
    inserted -= shift;
  }
};

class Encoder {
 public:
  Encoder(DclReadFn read, DclWriteFn write, void* param, uint8_t* area, unsigned literalMode,
          unsigned dictSize, unsigned dsizeBits)
      : read_(read), write_(write), param_(param), ascii_(literalMode == kDclAscii), dictSize_(dictSize),
        dsizeBits_(dsizeBits) {
    uint16_t* words = reinterpret_cast<uint16_t*>(area);
    auto take = [&words](size_t n) {
      uint16_t* p = words;
      words += n;
      return p;
    };
    chain4_.link = take(kRing);
    chain3_.link = take(kRing);
    chain2_.link = take(kRing2);
    chain4_.head = take(decltype(chain4_)::kHeads);
    chain3_.head = take(decltype(chain3_)::kHeads);
    chain2_.head = take(decltype(chain2_)::kHeads);
    window_ = reinterpret_cast<uint8_t*>(words);
    out_ = window_ + kWindowCapacity + kWindowSlack;
  }

  void Run(unsigned literalMode) {
    std::fill(chain4_.head, chain4_.head + chain4_.kHeads, kNoPosition);
    std::fill(chain3_.head, chain3_.head + chain3_.kHeads, kNoPosition);
    std::fill(chain2_.head, chain2_.head + chain2_.kHeads, kNoPosition);
    std::memset(window_ + kWindowCapacity, 0, kWindowSlack);
    out_[0] = static_cast<uint8_t>(literalMode);
    out_[1] = static_cast<uint8_t>(dsizeBits_);
    outLen_ = 2;

    // The data starts where the window will keep it after every move.
    fill_ = cur_ = Keep();
    chain4_.inserted = chain3_.inserted = chain2_.inserted = fill_;

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
  size_t Keep() const { return size_t{dictSize_} + kLookahead; }

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

  // After a whole block: drops the block's worth of oldest bytes, keeping the last
  // dictionary-size + 516 bytes and the chains over them. A shift of exactly the ring
  // size leaves every position in its ring slot.
  void Slide() {
    static_assert(kBlockSize % kRing == 0 && kBlockSize % kRing2 == 0);
    InsertUpTo(cur_);
    std::memmove(window_, window_ + kBlockSize, Keep());
    chain4_.Rebase(kBlockSize);
    chain3_.Rebase(kBlockSize);
    chain2_.Rebase(kBlockSize);
    fill_ -= kBlockSize;
    cur_ -= kBlockSize;
  }

  void InsertUpTo(size_t pos) {
    // Away from the end of the data all three chains advance together.
    size_t p = chain4_.inserted;
    if (chain3_.inserted == p && chain2_.inserted == p) {
      const size_t stop = std::min(pos, fill_ - 3);
      for (; p < stop; ++p) {
        const uint32_t word = dcl::LoadLE32(window_ + p);
        chain4_.Link(p, word);
        chain3_.Link(p, word);
        chain2_.Link(p, word);
      }
      if (p > chain4_.inserted) chain4_.inserted = chain3_.inserted = chain2_.inserted = p;
      if (p >= pos) return;
    }
    chain4_.InsertUpTo(window_, pos, fill_);
    chain3_.InsertUpTo(window_, pos, fill_);
    chain2_.InsertUpTo(window_, pos, fill_);
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
    InsertUpTo(pos);
    const uint8_t* const s = window_ + pos;
    // Unsigned: a candidate at kNoPosition lies "after" pos, and so ends a walk like one
    // beyond the reach.
    const size_t reach = dictSize_ - 1;

    if (maxLen >= 4) {
      unsigned best = 3;
      unsigned bestDistance = 0;
      // The walk follows the chain of the 4 bytes at s + offset: each entry q there is the
      // candidate q - offset. (An entry below offset gives a "candidate" before the
      // window, whose distance, computed modulo 2^64, exceeds the reach all the same.)
      size_t offset = 0;
      size_t switchBelow = 0;  // switch chains at the first candidate below this
      size_t q = chain4_.head[chain4_.Hash(s)];
      for (;;) {
        const size_t cand = q - offset;
        if (pos - cand - 1 >= reach) break;
        const uint8_t* c = window_ + cand;
        if (c[best] == s[best]) {
          const unsigned len = MatchLength(c, s, maxLen);
          if (len > best) {
            best = len;
            bestDistance = static_cast<unsigned>(pos - cand);
            if (len >= maxLen) break;
            // A candidate can only beat the new best if it also matches the 4 bytes that
            // end at s[best], so its position + best - 3 is in their chain, which is
            // usually far shorter. Switch to that chain once every candidate still to
            // come lies more than best - 3 bytes back (their entries are then all linked).
            switchBelow = best - 3 > offset ? pos - (best - 3) : 0;
          }
        }
        if (cand < switchBelow) {
          const size_t k = best - 3;
          size_t r = chain4_.head[chain4_.Hash(s + k)];
          while (r != kNoPosition && r >= cand + k) r = chain4_.link[r % kRing];
          offset = k;
          switchBelow = 0;
          q = r;
          continue;
        }
        q = chain4_.link[q % kRing];
      }
      if (bestDistance != 0) return {best, bestDistance};
    }
    if (maxLen >= 3) {
      // No match of 4 or more: the nearest one of exactly 3.
      const uint32_t key = dcl::LoadLE32(s) & 0xFFFFFF;
      for (size_t cand = chain3_.head[chain3_.Hash(s)]; pos - cand - 1 < reach; cand = chain3_.link[cand % kRing]) {
        if ((dcl::LoadLE32(window_ + cand) & 0xFFFFFF) == key) return {3, static_cast<unsigned>(pos - cand)};
      }
    }
    // No match of 3 or more: the nearest pair within 256 bytes.
    const uint32_t pair = dcl::LoadLE32(s) & 0xFFFF;
    for (size_t cand = chain2_.head[chain2_.Hash(s)]; pos - cand - 1 < kRing2; cand = chain2_.link[cand % kRing2]) {
      if ((dcl::LoadLE32(window_ + cand) & 0xFFFF) == pair) return {2, static_cast<unsigned>(pos - cand)};
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
  Chain<4, kHash4Bits, kRing> chain4_{};
  Chain<3, kHash3Bits, kRing> chain3_{};
  Chain<2, kHash2Bits, kRing2> chain2_{};
  uint8_t* window_;
  uint8_t* out_;
  size_t fill_ = 0;  // end of the data in the window
  size_t cur_ = 0;   // next position to encode
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
