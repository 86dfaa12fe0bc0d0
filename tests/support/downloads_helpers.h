// Test support for the downloads (savers, kxtool, card autotests): the generated
// instrument's autotests of a type, and records listed exactly, so that a data file read
// back compares with what the generator expects in one line and a difference shows where
// it lies.
#pragma once

#include <string>
#include <vector>

#include "sim/dataset.h"
#include "tests/support/conversion_fixture.h"

namespace testsupport {

inline kxsim::Dataset Generated(unsigned copper, unsigned fiber = 2, unsigned coax = 2,
                                uint64_t seed = kxsim::kSampleSeed) {
  kxsim::DatasetOptions options;
  options.seed = seed;
  options.copperAutotests = copper;
  options.fiberAutotests = fiber;
  options.coaxAutotests = coax;
  return kxsim::GenerateDataset(options);
}

inline std::vector<kxsim::GeneratedAutotest> OfType(const kxsim::Dataset& set, uint16_t type) {
  std::vector<kxsim::GeneratedAutotest> out;
  for (const kxsim::GeneratedAutotest& a : set.autotests) {
    if (a.type == type) out.push_back(a);
  }
  return out;
}

// Which of the generator's expectations a file must meet: a streamed download's (serial),
// a download that may ask for limits by name (USB), or a save of one autotest.
using Expectation = std::vector<kxsim::ExpectedItem> kxsim::GeneratedAutotest::*;

inline std::vector<std::vector<kxsim::ExpectedItem>> Expected(
    const std::vector<kxsim::GeneratedAutotest>& autotests,
    Expectation expected = &kxsim::GeneratedAutotest::streamedItems) {
  std::vector<std::vector<kxsim::ExpectedItem>> out;
  for (const kxsim::GeneratedAutotest& a : autotests) out.push_back(a.*expected);
  return out;
}

// Records (lists of items with a tag and a value) as "tag=value" lines under a line per
// record, every byte kept (a failed comparison prints the bytes that are not text escaped).
template <typename Records>
std::string Listed(const Records& records) {
  std::string text;
  for (size_t r = 0; r < records.size(); ++r) {
    text += "record " + std::to_string(r) + "\n";
    for (const auto& item : records[r]) {
      text += std::to_string(item.tag) + "=" + std::string(item.value.begin(), item.value.end()) + "\n";
    }
  }
  return text;
}

// The conversion workspace, with a data file's records listed as the project's reader
// reads them.
class DownloadsTest : public ConversionTest {
 protected:
  static std::string Held(const Bytes& file) { return Listed(ReadBack(file)); }
};

}  // namespace testsupport
