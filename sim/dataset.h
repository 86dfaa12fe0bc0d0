// The data set a simulated Scanner holds: its stored records (configuration, format
// definitions, limits, autotests) and its data IDs, generated from a seed so that the
// simulator and the tests build the same set and a test knows what the instrument will
// answer without asking it.
//
// The generated instrument:
// - port settings at 9600 baud, the VERSION_INFO record (the software version decides
//   the layout of copper and coax autotests: packed from "V04" on), DATA_FORMAT, the
//   user preferences (owner "KXSIM DEMO", a language chosen by the seed), data ID 705
//   (model code 12, VEXAScanner2);
// - the format definitions of copper, fiber and coax autotests (sim/generated_formats.h),
//   imploded;
// - limit records of every family and the BLANK pool (sim/generated_limits.h);
// - any number of copper, fiber and coax autotests, each keyed by its 1-byte cable group
//   and carrying the items a correct conversion writes for it
//   (sim/generated_autotests.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/generated_autotests.h"
#include "sim/instrument.h"

namespace kxsim {

class Scanner;

// One stored record: its type, its number within the type, its data and search key.
struct DatasetRecord {
  uint16_t type = 0;
  uint16_t number = 0;
  Bytes data;
  Bytes key;
};

// One data ID and the value a get returns for it.
struct DatasetDataId {
  uint16_t id = 0;
  Bytes value;
};

struct Dataset {
  std::vector<DatasetRecord> records;  // in the order they are stored
  std::vector<DatasetDataId> dataIds;
  InstrumentSettings settings;
  // Every autotest stored (also among the records), copper first, then fiber, then coax;
  // each type's in its record order.
  std::vector<GeneratedAutotest> autotests;
};

// The seed of the set kxsim serves unless told otherwise.
inline constexpr uint64_t kSampleSeed = 0x1234567;

struct DatasetOptions {
  uint64_t seed = kSampleSeed;
  std::string version = "V06.11 KXSIM";  // the VERSION_INFO text (up to 23 characters)
  unsigned copperAutotests = 3;
  unsigned fiberAutotests = 2;
  unsigned coaxAutotests = 2;
};

// The data set the options describe: the same options give the same set, byte for byte.
// Each type's autotests are drawn on their own, so the first N copper autotests of a seed
// do not change with the number of fiber or coax autotests, nor with N.
Dataset GenerateDataset(const DatasetOptions& options);
// The set of `seed` with the other options at their defaults.
Dataset GenerateDataset(uint64_t seed = kSampleSeed);

// The format-definition records: where the instrument keeps each format.
const GeneratedFormat& FormatOfAutotestType(uint16_t autotestType);

// Stores every record and data ID of `set` in `scanner` (replacing any under the same
// type and number).
void LoadDataset(const Dataset& set, Scanner& scanner);

}  // namespace kxsim
