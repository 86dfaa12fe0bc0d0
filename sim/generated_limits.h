// The limit records of the generated instrument and how a conversion that has read all
// of them finds a named limit.
//
// Limit record, 318 bytes: the name (18 bytes, NUL-terminated and padded with NULs, the
// first 17 of them the record's search key), then up to 50 points of 6 bytes: u16
// frequency in tenths of MHz, u16 0, i16 limit in hundredths of dB; the limit value
// -32767 (0x8001) marks the point that ends the curve. Bytes after it are left over from
// earlier contents of the instrument's flash (random).
//
// Every family holds a few standards' limits. The BLANK pool (3867) holds limits shared
// by all families. One ELFEXT record has an empty name: a search of that family stops
// there, so "Vendor Ch X" after it is found in the BLANK pool (whose points differ) and
// "Old Ch Z", in neither, is fetched from the instrument by name. The PSELFEXT limit has
// 50 points and no end point.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/instrument.h"
#include "sim/seeded_random.h"

namespace kxsim {

inline constexpr uint16_t kBlankLimitType = 3867;
inline constexpr size_t kLimitRecordBytes = 318;
inline constexpr size_t kLimitNameBytes = 18;
inline constexpr size_t kLimitKeyBytes = 17;
inline constexpr size_t kLimitPointsAt = 18;
inline constexpr size_t kLimitPointBytes = 6;
inline constexpr size_t kMaxLimitPoints = 50;

struct GeneratedLimit {
  uint16_t type = 0;
  std::string name;
  Bytes record;  // 318 bytes
  Bytes curve;   // the points a conversion writes: up to and with the end point, else all 50
};

// The limit records in the order the instrument numbers them, families in the order a
// save reads them (NEXT, PSNEXT, attenuation, ACR, PSACR, return loss, ELFEXT, PSELFEXT,
// BLANK).
std::vector<GeneratedLimit> GenerateLimits(SeededRandom& random);

// A limit record with `name` and `points` points (and an end point when there are fewer
// than 50): the curve items a conversion writes from it.
GeneratedLimit MakeLimit(SeededRandom& random, uint16_t type, const std::string& name, size_t points);

// How a conversion comes by the limits: every limit record read before the first
// autotest and a missing one asked of the instrument by name (a download over USB); read
// first and never asked (a streamed download, whose record requests are in flight); or
// none read and each asked by name (a save of one autotest, whose table starts empty).
enum class LimitLookup { kReadAllThenAsk, kReadAllOnly, kAskOnly };

// The limit a conversion finds for `name` in family `type`: from the records read first,
// the first of the family's records up to one with an empty name, else the same in the
// BLANK pool; asked by name, the first record of the family with that name; none when
// the lookup has no such record.
const GeneratedLimit* FindGeneratedLimit(const std::vector<GeneratedLimit>& limits, uint16_t type,
                                         const std::string& name, LimitLookup lookup);

// The names a family holds, empty ones left out.
std::vector<std::string> LimitNamesOf(const std::vector<GeneratedLimit>& limits, uint16_t type);

}  // namespace kxsim
