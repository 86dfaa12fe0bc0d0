#include "sim/dataset.h"

#include <map>

#include "sim/literal_implode.h"
#include "sim/scanner.h"
#include "sim/wire_format.h"

namespace kxsim {
namespace {

// Offsets into the configuration records.
constexpr size_t kVersionInfoLength = 24;
constexpr size_t kDataFormatLength = 74;
constexpr size_t kUserPreferencesLength = 82;
constexpr size_t kOwnerNameAt = 2;
constexpr size_t kLanguageAt = 45;
constexpr size_t kLanguages = 9;

// Streams of chosen values, one per purpose, so that each draws the same values
// whatever the others are asked for.
enum Stream : uint64_t { kSettingsStream = 1, kLimitStream, kCopperStream, kFiberStream, kCoaxStream };

void PutText(Bytes& b, size_t offset, const std::string& text) {
  for (size_t i = 0; i < text.size() && offset + i < b.size(); ++i) b[offset + i] = static_cast<uint8_t>(text[i]);
}

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

// DATA_FORMAT: copper format file and print-format base, 10 bytes the conversion does
// not read, fiber format file and print-format base.
Bytes DataFormat(const InstrumentSettings& s) {
  Bytes format(kDataFormatLength, 0);
  PutText(format, 0, "KX0600.PDF");
  PutText(format, 16, s.copperPrintBase);
  PutText(format, 32, "DFRV");
  PutU16(&format[40], 8);
  PutText(format, 42, "KY0600.PDF");
  PutText(format, 58, s.fiberPrintBase);
  return format;
}

void AddSettings(SetBuilder& b, const InstrumentSettings& s) {
  b.Add(kRecPortSettings, PortSettings());
  Bytes version(kVersionInfoLength, 0);
  PutText(version, 0, s.version.substr(0, kVersionInfoLength - 1));
  b.Add(kRecVersionInfo, version);
  b.Add(kRecDataFormat, DataFormat(s));
  Bytes prefs(kUserPreferencesLength, 0);
  PutText(prefs, kOwnerNameAt, s.ownerName);
  prefs[kLanguageAt] = s.language;
  b.Add(kRecUserPreferences, prefs);
  for (const GeneratedFormat* format : {&kCopperFormat, &kFiberFormat, &kCoaxFormat}) {
    b.Add(format->formatRecordType, ImplodeLiterals(FormatEntryBytes(*format)));
  }
}

void AddLimits(SetBuilder& b, const std::vector<GeneratedLimit>& limits) {
  for (const GeneratedLimit& limit : limits) {
    b.Add(limit.type, limit.record, Bytes(limit.record.begin(), limit.record.begin() + kLimitKeyBytes));
  }
}

void AddAutotests(SetBuilder& b, const GeneratedFormat& format, unsigned count, uint64_t seed, Stream stream,
                  std::string startModel) {
  SeededRandom random(seed * 16 + stream);
  Dataset& set = b.set();
  for (GeneratedAutotest& autotest : GenerateAutotests(format, set.settings, count, random, startModel)) {
    b.Add(autotest.type, autotest.stored, autotest.key);
    set.autotests.push_back(std::move(autotest));
  }
}

}  // namespace

Dataset GenerateDataset(const DatasetOptions& options) {
  SetBuilder b;
  InstrumentSettings& s = b.set().settings;
  SeededRandom settingsRandom(options.seed * 16 + kSettingsStream);
  s.version = options.version;
  s.language = static_cast<uint8_t>(settingsRandom.Below(kLanguages));
  s.ownerName = "KXSIM DEMO";
  s.copperPrintBase = "KX0500";
  s.fiberPrintBase = "KY0500";
  SeededRandom limitRandom(options.seed * 16 + kLimitStream);
  s.limits = GenerateLimits(limitRandom);

  AddSettings(b, s);
  AddLimits(b, s.limits);
  // Data ID 705, the identity: byte 8 of its value is the model code (12: VEXAScanner2),
  // the model a copper or coax save starts from.
  Bytes identity(10, 0);
  identity[8] = 12;
  b.set().dataIds.push_back(DatasetDataId{705, identity});
  AddAutotests(b, kCopperFormat, options.copperAutotests, options.seed, kCopperStream, "VEXAScanner2");
  AddAutotests(b, kFiberFormat, options.fiberAutotests, options.seed, kFiberStream, "");
  AddAutotests(b, kCoaxFormat, options.coaxAutotests, options.seed, kCoaxStream, "VEXAScanner2");
  return std::move(b.set());
}

Dataset GenerateDataset(uint64_t seed) {
  DatasetOptions options;
  options.seed = seed;
  return GenerateDataset(options);
}

const GeneratedFormat& FormatOfAutotestType(uint16_t autotestType) {
  return autotestType == kRecFiberAutotest ? kFiberFormat
         : autotestType == kRecCoaxAutotest ? kCoaxFormat
                                            : kCopperFormat;
}

void LoadDataset(const Dataset& set, Scanner& scanner) {
  for (const DatasetRecord& r : set.records) scanner.PutRecord(r.type, r.number, r.data, r.key);
  for (const DatasetDataId& d : set.dataIds) scanner.SetDataId(d.id, d.value);
}

}  // namespace kxsim
