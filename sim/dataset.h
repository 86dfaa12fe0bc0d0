// The data set a simulated Scanner holds: its stored records (format definitions, limits,
// autotests) and its data IDs, generated from a seed so that the simulator and the tests
// build the same set and a test can know what the instrument will answer without asking
// it.
//
// Today the generator produces the small, plausible set kxsim has always served, so a
// person can try a host against it by hand: port settings at 9600, version, data format,
// user preferences, five limit records (keyed by name) and three copper autotests (keyed
// by cable group; their bodies are seeded filler). Generated result formats, limits and
// autotests that a converter can decode belong here too.
#pragma once

#include <cstdint>
#include <vector>

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
};

// The seed of the set kxsim serves unless told otherwise.
inline constexpr uint64_t kSampleSeed = 0x1234567;

// The data set for `seed`: the same seed gives the same set, byte for byte.
Dataset GenerateDataset(uint64_t seed = kSampleSeed);

// Stores every record and data ID of `set` in `scanner` (replacing any under the same
// type and number).
void LoadDataset(const Dataset& set, Scanner& scanner);

}  // namespace kxsim
