// Fuzz target for the data-file reader: any bytes as a whole data file (header, index,
// every record and its items), and the same bytes as one stored record. The reader must
// answer with an error text or items that lie inside their record, never read outside
// the input or its own buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "convert/datafile_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DatFileView view;
  std::string error;
  DatRecord record;
  if (OpenDatBytes(data, size, &view, &error)) {
    for (uint32_t n = 0; n < view.index.size(); ++n) {
      if (!ReadDatRecord(view, n, &record)) continue;
      uint32_t sum = 0;
      for (const DatRecordItem& item : record.items) {
        if (static_cast<size_t>(item.valueOffset) + item.length > record.data.size()) std::abort();
        const uint8_t* value = record.Value(item);
        sum += value[0] + value[item.length - 1];
      }
      if (record.items.empty() && sum != 0) std::abort();
    }
  } else if (error.empty()) {
    std::abort();
  }
  if (!DecodeDatRecord(data, size, &record) && record.error.empty()) std::abort();
  return 0;
}
