#include "sim/dataset.h"

#include <map>

#include "sim/scanner.h"
#include "sim/wire_format.h"

namespace kxsim {
namespace {

void PutText(Bytes& b, size_t offset, const char* text) {
  for (size_t i = 0; text[i] != '\0' && offset + i < b.size(); ++i) {
    b[offset + i] = static_cast<uint8_t>(text[i]);
  }
}

// Limit families and the names of the limits stored in each (first 17 bytes of a limit
// record: its name, zero-padded, which is also its key).
struct LimitRow {
  uint16_t type;
  const char* name;
};
constexpr LimitRow kLimits[] = {
    {3862, "TIA Cat 6 Perm"}, {3862, "ISO Class E Ch"},
    {3866, "TIA Cat 6 Perm"}, {3866, "ISO Class E Ch"},
    {3868, "TIA Cat 6 Perm"},
};
constexpr size_t kLimitKeyLength = 17;
constexpr size_t kLimitRecordLength = 96;

// Stored copper autotests: their 1-byte search key (the cable group) and the length of
// their stored body.
struct AutotestRow {
  uint8_t key;
  size_t length;
};
constexpr AutotestRow kAutotests[] = {{1, 420}, {1, 980}, {2, 1350}};

// Adds records under the next number of their type, as the instrument numbers them.
class SetBuilder {
 public:
  void Add(uint16_t type, Bytes data, Bytes key = {}) {
    set_.records.push_back(DatasetRecord{type, next_[type]++, std::move(data), std::move(key)});
  }
  Dataset& set() { return set_; }

 private:
  Dataset set_;
  std::map<uint16_t, uint16_t> next_;
};

// Port settings: enabled, 8 data bits, no parity, rate code 5 (9600), 1 stop bit.
Bytes PortSettings() {
  Bytes port(kPortSettingsLength, 0);
  port[0] = 1;
  port[1] = 8;
  port[2] = 0;
  port[kPortSettingsBaudByte] = static_cast<uint8_t>(BaudCode(9600));
  port[4] = 1;
  return port;
}

Bytes DataFormat() {
  Bytes format(74, 0);
  PutText(format, 0, "KX0600.PDF");
  PutText(format, 16, "KX0500");
  PutText(format, 32, "DFRV");
  PutU16(&format[40], 8);
  PutText(format, 42, "KY0600.PDF");
  PutText(format, 58, "KY0500");
  return format;
}

void AddSettings(SetBuilder& b) {
  b.Add(kRecPortSettings, PortSettings());
  Bytes version(24, 0);
  PutText(version, 0, "V06.11 KXSIM");
  b.Add(kRecVersionInfo, version);
  b.Add(kRecDataFormat, DataFormat());
  Bytes prefs(82, 0);
  PutText(prefs, 2, "KXSIM DEMO");
  prefs[45] = 0;  // language: English
  b.Add(kRecUserPreferences, prefs);
}

void AddLimits(SetBuilder& b) {
  for (const LimitRow& row : kLimits) {
    Bytes data(kLimitRecordLength, 0);
    PutText(data, 0, row.name);
    for (size_t i = kLimitKeyLength; i < data.size(); ++i) {
      data[i] = static_cast<uint8_t>(i * 7 + row.type);
    }
    b.Add(row.type, data, Bytes(data.begin(), data.begin() + kLimitKeyLength));
  }
}

void AddAutotests(SetBuilder& b, uint64_t seed) {
  auto fill = static_cast<uint32_t>(seed);
  for (const AutotestRow& row : kAutotests) {
    Bytes body(row.length);
    for (uint8_t& byte : body) {
      fill = fill * 1103515245u + 12345u;
      byte = static_cast<uint8_t>(fill >> 16);
    }
    b.Add(kRecCopperAutotest, body, Bytes{row.key});
  }
}

}  // namespace

Dataset GenerateDataset(uint64_t seed) {
  SetBuilder b;
  AddSettings(b);
  AddLimits(b);
  AddAutotests(b, seed);
  // Data ID 705, the identity: byte 8 of its value is the model code (12: VEXAScanner2).
  Bytes identity(10, 0);
  identity[8] = 12;
  b.set().dataIds.push_back(DatasetDataId{705, identity});
  return std::move(b.set());
}

void LoadDataset(const Dataset& set, Scanner& scanner) {
  for (const DatasetRecord& r : set.records) scanner.PutRecord(r.type, r.number, r.data, r.key);
  for (const DatasetDataId& d : set.dataIds) scanner.SetDataId(d.id, d.value);
}

}  // namespace kxsim
