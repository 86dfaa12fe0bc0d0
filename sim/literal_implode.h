// The simulator's own writer of the imploded stream format in which the instrument
// stores format definitions and autotest bodies. It writes literals only, which every
// reader of the format must accept; the simulator needs no compression, only streams
// the host can decode, and keeping its own small writer means it shares no code with
// the library's compressor.
//
// Stream: byte 0 literal mode (0, binary), byte 1 dictionary size code (6, 4096 bytes),
// then a bit stream filled from each byte's least significant bit up. A literal is a 0
// flag bit and the 8 bits of the byte (low bit first); the end is the repetition length
// 519: a 1 flag bit, length code 15 (seven 0 bits) and the extra bits 255.
#pragma once

#include "sim/instrument.h"

namespace kxsim {

// The imploded stream of `data`: 2 header bytes, 9 bits per byte of data, the 16-bit end
// marker, the last byte filled up with 0 bits.
Bytes ImplodeLiterals(const Bytes& data);

}  // namespace kxsim
