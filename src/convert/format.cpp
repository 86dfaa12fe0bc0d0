#include "convert/format.h"

#include <cstring>

#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "kxlib32.h"
#include "session/state.h"
#include "session/trace.h"

namespace {

// Longest decimal text InsertDecimalPoint works on; integers of the instrument have at
// most 11 characters.
constexpr size_t kMaxDecimalText = 64;

bool AllDigits(const char* s, size_t n) {
  if (n == 0) return false;
  for (size_t i = 0; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

// The number being rewritten: its digits without the sign, right-aligned after room for a
// carry, later with the point and the decimals. scale <= 255 and the digits <= 64, so
// 2 + 255 + 1 + 64 + 1 fits.
struct DecimalWork {
  char digits[kMaxDecimalText + 260];
  size_t count = 0;
  bool negative = false;
};

enum class DecimalText { kNumber, kLeaveAlone, kRefuse };

// What to do with the text: a decimal integer is worked on, anything else is left alone,
// a text not terminated inside the buffer or too long to be an instrument's integer is
// refused. *length is the text's length.
DecimalText CheckDecimalText(const char* text, size_t capacity, size_t* length) {
  *length = strnlen(text, capacity);
  if (*length == capacity) return DecimalText::kRefuse;
  const size_t sign = text[0] == '-' ? 1 : 0;
  if (!AllDigits(text + sign, *length - sign)) return DecimalText::kLeaveAlone;
  return *length > kMaxDecimalText ? DecimalText::kRefuse : DecimalText::kNumber;
}

// Takes the digits and the sign. Below version 4 a negative number with no digit left
// before the kept decimals becomes an unsigned "0".
void TakeDigits(const char* text, size_t length, uint32_t dropped, int major, DecimalWork* work) {
  if (text[0] != '-') {
    std::memcpy(work->digits, text, length);
    work->count = length;
  } else if (length - 1 <= dropped && major < 4) {
    work->digits[0] = '0';
    work->count = 1;
  } else {
    work->negative = true;
    std::memcpy(work->digits, text + 1, length - 1);
    work->count = length - 1;
  }
}

// Zeros in front until there are `width` digits.
void PadFront(DecimalWork* work, size_t width) {
  if (work->count >= width) return;
  const size_t pad = width - work->count;
  std::memmove(work->digits + pad, work->digits, work->count);
  std::memset(work->digits, '0', pad);
  work->count = width;
}

// Adds 10^dropped / 2, a 5 at the highest dropped decimal: rounds half away from zero.
void RoundAtDropped(DecimalWork* work, uint32_t dropped) {
  PadFront(work, dropped);  // so that the 5 has a digit to land on
  int carry = 5;
  for (size_t i = work->count - dropped + 1; i-- > 0 && carry;) {
    const int sum = (work->digits[i] - '0') + carry;
    work->digits[i] = static_cast<char>('0' + sum % 10);
    carry = sum / 10;
  }
  if (carry) {
    std::memmove(work->digits + 1, work->digits, work->count);
    work->digits[0] = '1';
    ++work->count;
  }
}

// The point before the last `scale` digits, with one digit at least before it, then
// `kept` decimals.
void PlacePoint(DecimalWork* work, uint8_t scale, uint32_t kept) {
  if (work->count <= scale) PadFront(work, scale + 1u);
  const size_t point = work->count - scale;
  std::memmove(work->digits + point + 1, work->digits + point, scale);
  work->digits[point] = '.';
  work->count = point + 1 + kept;
}

// The result into the caller's buffer, or an empty text when it does not fit: a number
// cut to fit would be another number.
bool StoreDecimal(const DecimalWork& work, char* text, size_t capacity) {
  if ((work.negative ? 1 : 0) + work.count + 1 > capacity) {
    text[0] = '\0';
    return false;
  }
  size_t out = 0;
  if (work.negative) text[out++] = '-';
  std::memcpy(text + out, work.digits, work.count);
  text[out + work.count] = '\0';
  return true;
}

}  // namespace

bool InsertDecimalPoint(char* text, uint8_t scale, uint16_t precision, size_t capacity) {
  if (!text || capacity == 0) return false;
  if (scale < precision) {
    Trace("Error: Scale Less than Precision in InsertDecimalPoint!\n");
    precision = scale;
  }
  const int major = InstrumentMajorVersion();
  if (scale == 0) return true;
  size_t length = 0;
  switch (CheckDecimalText(text, capacity, &length)) {
    case DecimalText::kLeaveAlone:
      return true;
    case DecimalText::kRefuse:
      text[0] = '\0';
      return false;
    case DecimalText::kNumber:
      break;
  }
  const uint32_t kept = precision == 0 ? scale : precision;
  const uint32_t dropped = scale - kept;
  DecimalWork work;
  TakeDigits(text, length, dropped, major, &work);
  if (major >= 4 && dropped > 0) RoundAtDropped(&work, dropped);
  PlacePoint(&work, scale, kept);
  return StoreDecimal(work, text, capacity);
}

const char* LocalString(int table, int language, int item) {
  if (table < 0 || table >= kStringTableCount || item < 0 || item >= kStringItemCount) return "";
  if (language >= 0 && language < kLanguageCount && StringTables[table][language][item]) {
    return StringTables[table][language][item];
  }
  const char* english = StringTables[table][0][item];
  return english ? english : "";
}

void GetLocalString(char* destination, int table, int language, int item, size_t capacity) {
  if (!destination || capacity == 0) return;
  const char* text = LocalString(table, language, item);
  const size_t n = strnlen(text, capacity - 1);
  std::memcpy(destination, text, n);
  destination[n] = '\0';
}

void BuildPrintFormatName(char* name, int language, char formatCharacter, size_t capacity) {
  if (!name || capacity == 0) return;
  // The name is composed in a work copy laid out as the caller's buffer would be: the
  // base at positions 0-5 (what lies past the caller's buffer reads as NUL), the letter
  // at 6, the format character at 7, the end after 7; ".PTF" then follows the text,
  // which ends at its first NUL.
  char work[8 + sizeof ".PTF"] = {};
  std::memcpy(work, name, capacity < 6 ? capacity : 6);
  work[6] = LocalString(1, 0, language)[0];
  work[7] = formatCharacter;
  const size_t end = strnlen(work, 8);
  std::memcpy(work + end, ".PTF", sizeof ".PTF");
  const size_t length = end + 4;
  const size_t copy = length < capacity - 1 ? length : capacity - 1;
  std::memcpy(name, work, copy);
  name[copy] = '\0';
}

// Wiremap data: group b (b = 0..8: pins 1-8, then the shield) is 3 bytes at 3b.
//   byte 0: mask of far-end connections; bit m (m = 7-b .. 0) set means position b
//           reaches near-end position b + 1 + m in the near-end string
//   byte 2: where position b arrives: bit 6 (0x40) = connected; the bits under 0x9F give
//           the far-end position (0-7 pins 1-8, 8 the shield)
void BuildWiremapText(const uint8_t pairPresence[kPairPresenceSize], const uint8_t wiremap[kWiremapSize],
                      WiremapText* out) {
  std::memset(out, 0, sizeof *out);
  // Expected: positions of each absent pair blanked.
  static constexpr uint8_t kPairPositions[kPairPresenceSize][2] = {{0, 1}, {2, 5}, {3, 4}, {6, 7}, {8, 8}};
  std::memcpy(out->expected, "12345678S", 9);
  for (uint32_t pair = 0; pair < kPairPresenceSize; ++pair) {
    if (pairPresence[pair] == 0) {
      out->expected[kPairPositions[pair][0]] = ' ';
      out->expected[kPairPositions[pair][1]] = ' ';
    }
  }
  // Near end: lower groups are handled last and win.
  std::memcpy(out->nearEnd, "12345678 ", 9);
  for (int b = 7; b >= 0; --b) {
    int position = 8;
    for (uint8_t mask = static_cast<uint8_t>(0x80 >> b); mask != 0; mask >>= 1, --position) {
      if (wiremap[3 * b] & mask) out->nearEnd[position] = static_cast<char>('1' + b);
    }
  }
  // Far end.
  for (int b = 8; b >= 0; --b) {
    const uint8_t arrival = wiremap[3 * b + 2];
    if (arrival & 0x40) {
      const uint8_t where = arrival & 0x9F;
      out->farEnd[b] = where == 8 ? 'S' : static_cast<char>('1' + where);
    } else {
      out->farEnd[b] = ' ';
    }
  }
  // A connected shield shows at the near end when nothing else took its place.
  if ((wiremap[3 * 8 + 2] & 0x40) && (out->nearEnd[8] == ' ' || out->nearEnd[8] == '\0')) {
    out->nearEnd[8] = 'S';
    out->nearEnd[9] = '\0';
  }
  // Every present position must match at both ends (the NULs after the texts included).
  out->wrong = false;
  for (size_t i = 0; i < sizeof out->expected; ++i) {
    if (out->expected[i] == ' ') continue;
    if (out->nearEnd[i] != out->expected[i] || out->farEnd[i] != out->expected[i]) out->wrong = true;
  }
}

uint32_t WriteWiremap(const uint8_t pairPresence[kPairPresenceSize], const uint8_t wiremap[kWiremapSize],
                      uint32_t* error) {
  WiremapText text;
  BuildWiremapText(pairPresence, wiremap, &text);
  struct Piece {
    uint16_t tag;
    const char* value;
  };
  const Piece pieces[] = {{227, text.expected},
                          {228, text.nearEnd},
                          {229, text.farEnd},
                          {119, LocalString(5, 0, text.wrong ? 0 : 1)}};
  // The result mark (tag 119) belongs to instruments below version "06".
  const size_t count = VersionDigitsBelow("06") ? 4 : 3;
  uint32_t total = 0;
  for (size_t i = 0; i < count; ++i) {
    // The first refusal ends the wiremap, keeping its error; a later item could succeed
    // and clear it.
    const uint32_t n = WriteDataItem(pieces[i].tag, static_cast<uint16_t>(std::strlen(pieces[i].value)),
                                     pieces[i].value, error);
    if (n == 0) return 0;
    total += n;
  }
  return total;
}

const SweepBlock SweepBlocks[kSweepBlockCount] = {
    // flag, tag, bytes/point, log line
    {0x01, 632, 8, "Writing Attenuation Data from      %06x\n"},
    {0x02, 633, 12, "Writing Near Next Data from        %06x\n"},
    {0x04, 634, 12, "Writing Far Next Data from         %06x\n"},
    {0x08, 637, 12, "Writing Near FEXT Data from        %06x\n"},
    {0x10, 638, 12, "Writing Far FEXT Data from         %06x\n"},
    {0x20, 647, 8, "Writing Near Return Loss Data from %06x\n"},
    {0x40, 648, 8, "Writing Far Return Loss Data from  %06x\n"},
};

uint32_t WriteSweepData(platform::FileHandle logFile, const uint8_t** cursor, const uint8_t* end, uint16_t flags,
                        uint16_t pointCount, uint32_t* error) {
  *error = 0;
  uint32_t total = 0;
  for (const SweepBlock& block : SweepBlocks) {
    if (!(flags & block.flag)) continue;
    if (DebugLevel & DBG_LOGFILE) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
      FilePrintf(logFile, block.logLine, ExplodedOffset(*cursor));
#pragma GCC diagnostic pop
    }
    const uint16_t length = static_cast<uint16_t>(static_cast<uint32_t>(pointCount) * block.bytesPerPoint);
    if (!*cursor || *cursor > end || static_cast<size_t>(end - *cursor) < length) {
      *cursor = end;
      *error = KXERR_AUTOTEST_LOAD;
      return 0;
    }
    const uint32_t n = WriteDataItem(block.tag, length, *cursor, error);
    *cursor += length;
    if (n == 0) return 0;
    total += n;
  }
  return total;
}

uint32_t MetresToFeet(uint32_t value) { return (value * 3937u + 600u) / 1200u; }
