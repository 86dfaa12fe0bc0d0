#include "sim/sample_database.h"

#include <cstring>
#include <string>

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
// their stored body. The bodies are filler until a generated data set provides real ones.
struct AutotestRow {
  uint8_t key;
  size_t length;
};
constexpr AutotestRow kAutotests[] = {{1, 420}, {1, 980}, {2, 1350}};

}  // namespace

void LoadSampleDatabase(Scanner& scanner) {
  // Port settings: enabled, 8 data bits, no parity, rate code 5 (9600), 1 stop bit.
  Bytes port(kPortSettingsLength, 0);
  port[0] = 1;
  port[1] = 8;
  port[2] = 0;
  port[kPortSettingsBaudByte] = static_cast<uint8_t>(BaudCode(9600));
  port[4] = 1;
  scanner.PutRecord(kRecPortSettings, 0, port);

  Bytes version(24, 0);
  PutText(version, 0, "V06.11 KXSIM");
  scanner.PutRecord(kRecVersionInfo, 0, version);

  Bytes format(74, 0);
  PutText(format, 0, "KX0600.PDF");
  PutText(format, 16, "KX0500");
  PutText(format, 32, "DFRV");
  PutU16(&format[40], 8);
  PutText(format, 42, "KY0600.PDF");
  PutText(format, 58, "KY0500");
  scanner.PutRecord(kRecDataFormat, 0, format);

  Bytes prefs(82, 0);
  PutText(prefs, 2, "KXSIM DEMO");
  prefs[45] = 0;  // language: English
  scanner.PutRecord(kRecUserPreferences, 0, prefs);

  for (const LimitRow& row : kLimits) {
    Bytes data(kLimitRecordLength, 0);
    PutText(data, 0, row.name);
    for (size_t i = kLimitKeyLength; i < data.size(); ++i) {
      data[i] = static_cast<uint8_t>(i * 7 + row.type);
    }
    scanner.AddRecord(row.type, data, Bytes(data.begin(), data.begin() + kLimitKeyLength));
  }

  uint32_t fill = 0x1234567u;
  for (const AutotestRow& row : kAutotests) {
    Bytes body(row.length);
    for (uint8_t& b : body) {
      fill = fill * 1103515245u + 12345u;
      b = static_cast<uint8_t>(fill >> 16);
    }
    scanner.AddRecord(kRecCopperAutotest, body, Bytes{row.key});
  }

  // Data ID 705, the identity: byte 8 of its value is the model code (12: VEXAScanner2).
  Bytes identity(10, 0);
  identity[8] = 12;
  scanner.SetDataId(705, identity);
}

}  // namespace kxsim
