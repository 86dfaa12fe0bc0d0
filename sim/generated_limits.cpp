#include "sim/generated_limits.h"

#include <cstring>

#include "sim/wire_format.h"

namespace kxsim {
namespace {

constexpr const char* kCat6 = "TIA Cat 6 Perm";
constexpr const char* kClassE = "ISO Class E Ch";
constexpr const char* kCat5e = "TIA Cat 5e Ch";

// The records, in the order the instrument numbers them; points -1: chosen at random.
struct LimitRow {
  uint16_t type;
  const char* name;
  int points;
};
constexpr LimitRow kLimitRows[] = {
    {3862, kCat6, -1},   {3862, kClassE, -1}, {3862, kCat5e, -1},         // NEXT
    {3868, kCat6, -1},   {3868, kClassE, 0},                              // PSNEXT
    {3866, kCat6, -1},   {3866, kClassE, -1}, {3866, kCat5e, -1},         // attenuation
    {3863, kCat6, -1},   {3863, kCat5e, -1},                              // ACR
    {3869, kCat6, -1},                                                    // PSACR
    {3865, kCat6, -1},   {3865, kClassE, -1}, {3865, kCat5e, -1},         // return loss
    {3864, kCat6, -1},   {3864, kClassE, -1}, {3864, "", -1},             // ELFEXT
    {3864, "Vendor Ch X", -1}, {3864, "Old Ch Z", -1},
    {3870, kClassE, 50},                                                  // PSELFEXT
    {kBlankLimitType, "Vendor Ch X", -1}, {kBlankLimitType, "Custom Lim 1", -1},  // BLANK
};

bool Named(const GeneratedLimit& limit, uint16_t type, const std::string& name) {
  return limit.type == type && limit.name == name;
}

// The first record of `type` named `name` before one with an empty name.
const GeneratedLimit* ScanFamily(const std::vector<GeneratedLimit>& limits, uint16_t type, const std::string& name) {
  for (const GeneratedLimit& limit : limits) {
    if (limit.type != type) continue;
    if (limit.name == name) return &limit;
    if (limit.name.empty()) return nullptr;
  }
  return nullptr;
}

}  // namespace

GeneratedLimit MakeLimit(SeededRandom& random, uint16_t type, const std::string& name, size_t points) {
  GeneratedLimit limit{type, name, Bytes(kLimitRecordBytes), {}};
  for (uint8_t& byte : limit.record) byte = random.Byte();
  std::memset(limit.record.data(), 0, kLimitNameBytes);
  std::memcpy(limit.record.data(), name.data(), name.size() < kLimitKeyBytes - 1 ? name.size() : kLimitKeyBytes - 1);
  int frequency = random.Range(1, 10);
  int value = random.Range(2000, 7500);
  for (size_t i = 0; i < points; ++i) {
    uint8_t* point = &limit.record[kLimitPointsAt + i * kLimitPointBytes];
    PutU16(point, static_cast<uint16_t>(frequency));
    PutU16(point + 2, 0);
    PutU16(point + 4, static_cast<uint16_t>(value));
    frequency += random.Range(5, 50);
    value -= random.Range(0, 120);
  }
  size_t written = points;
  if (points < kMaxLimitPoints) {
    uint8_t* end = &limit.record[kLimitPointsAt + points * kLimitPointBytes];
    PutU16(end, 0);
    PutU16(end + 2, 0);
    PutU16(end + 4, 0x8001);
    written = points + 1;
  }
  limit.curve.assign(limit.record.begin() + kLimitPointsAt,
                     limit.record.begin() + static_cast<std::ptrdiff_t>(kLimitPointsAt + written * kLimitPointBytes));
  return limit;
}

std::vector<GeneratedLimit> GenerateLimits(SeededRandom& random) {
  std::vector<GeneratedLimit> limits;
  for (const LimitRow& row : kLimitRows) {
    const size_t points = row.points >= 0 ? static_cast<size_t>(row.points) : random.Range(3, 40);
    limits.push_back(MakeLimit(random, row.type, row.name, points));
  }
  return limits;
}

const GeneratedLimit* FindGeneratedLimit(const std::vector<GeneratedLimit>& limits, uint16_t type,
                                         const std::string& name, LimitLookup lookup) {
  if (lookup != LimitLookup::kAskOnly) {
    if (const GeneratedLimit* found = ScanFamily(limits, type, name)) return found;
    if (const GeneratedLimit* found = ScanFamily(limits, kBlankLimitType, name)) return found;
    if (lookup == LimitLookup::kReadAllOnly) return nullptr;
  }
  for (const GeneratedLimit& limit : limits) {
    if (Named(limit, type, name)) return &limit;
  }
  return nullptr;
}

std::vector<std::string> LimitNamesOf(const std::vector<GeneratedLimit>& limits, uint16_t type) {
  std::vector<std::string> names;
  for (const GeneratedLimit& limit : limits) {
    if (limit.type == type && !limit.name.empty()) names.push_back(limit.name);
  }
  return names;
}

}  // namespace kxsim
