// kxtool dump FILE [--json|--csv]: prints an autotest data file, for people or for programs.
//
// Text form: the header, then each record with its items, one per line: tag, tag name
// ("-" when the translation table has none), and the value as quoted text or as hex.
// JSON form, one object:
//   {"creator": "KXLIB.DLL", "version": "V02.00", "build_date": "Jan 22 2003",
//    "records": [{"offset": 44, "length": 123, "items": [
//        {"tag": 24, "name": "XTG_STORED_AT_NAME", "text": "LINK-001"},
//        {"tag": 632, "name": null, "hex": "0a0b"}]}]}
// A value whose bytes are all printable ASCII is text, the one-NUL empty value is the
// text "", any other value is lower-case hex. A record that does not decode appears in
// its place as {"offset": .., "length": .., "error": ".."}; the others are still printed.
// CSV form (RFC 4180: CRLF line ends, a field holding a comma, a quote or a line break
// quoted, its quotes doubled): a header row of column names, then one row per record, in
// index order. There is one column per tag that occurs in the file, in the order of first
// occurrence (records in index order, items in record order); a column is named by the
// tag's name, or "tag N" when the translation table has none; a tag that occurs a second
// (third ...) time within one record gets a column of its own, named "NAME#2" ("NAME#3" ...).
// A record without the tag leaves the field empty. A value of printable ASCII bytes,
// with or without one closing NUL, is written as that text (so the one-NUL empty value
// is an empty field); any other value as "0x" and its bytes in lower-case hex. A record that does not decode has no row; it is named on stderr and
// the exit status is 1.
// A file that is not readable as a data file gives one line on stderr and exit status 1.
#include <cstdint>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "command.h"
#include "convert/datafile_reader.h"

namespace {

enum class ValueKind { Text, Empty, Hex };

ValueKind KindOf(const uint8_t* value, uint16_t length) {
  if (length == 1 && value[0] == 0) return ValueKind::Empty;
  for (uint16_t i = 0; i < length; ++i) {
    if (value[i] < 0x20 || value[i] > 0x7E) return ValueKind::Hex;
  }
  return ValueKind::Text;
}

std::string Hex(const uint8_t* value, uint16_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(2u * length);
  for (uint16_t i = 0; i < length; ++i) {
    out += kDigits[value[i] >> 4];
    out += kDigits[value[i] & 0x0F];
  }
  return out;
}

// A JSON string literal; bytes that are not UTF-8 are replaced rather than refused.
std::string Quote(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void PrintJson(const DatFileView& view) {
  std::string out = "{\"creator\": " + Quote(view.creator) + ", \"version\": " + Quote(view.version) +
                    ", \"build_date\": " + Quote(view.buildDate) + ", \"records\": [";
  std::fputs(out.c_str(), stdout);
  DatRecord record;
  for (uint32_t n = 0; n < view.index.size(); ++n) {
    const bool ok = ReadDatRecord(view, n, &record);
    out = n ? ", " : "";
    out += "{\"offset\": " + std::to_string(record.offset) + ", \"length\": " + std::to_string(record.length);
    if (!ok) {
      out += ", \"error\": " + Quote(record.error) + "}";
      std::fputs(out.c_str(), stdout);
      continue;
    }
    out += ", \"items\": [";
    for (size_t i = 0; i < record.items.size(); ++i) {
      const DatRecordItem& item = record.items[i];
      if (i) out += ", ";
      out += "{\"tag\": " + std::to_string(item.tag) + ", \"name\": " + (item.name ? Quote(item.name) : "null");
      switch (KindOf(record.Value(item), item.length)) {
        case ValueKind::Text: out += ", \"text\": " + Quote(record.Text(item)); break;
        case ValueKind::Empty: out += ", \"text\": \"\""; break;
        case ValueKind::Hex: out += ", \"hex\": \"" + Hex(record.Value(item), item.length) + "\""; break;
      }
      out += "}";
    }
    out += "]}";
    std::fputs(out.c_str(), stdout);
  }
  std::fputs("]}\n", stdout);
}

// One field of a CSV row.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string CsvValue(const DatRecord& record, const DatRecordItem& item) {
  const uint8_t* value = record.Value(item);
  // A text closed by its NUL, as the instrument stores names, is that text.
  const uint16_t closed = item.length > 0 && value[item.length - 1] == 0 ? item.length - 1 : item.length;
  if (KindOf(value, closed) == ValueKind::Text) return std::string(reinterpret_cast<const char*>(value), closed);
  return "0x" + Hex(value, item.length);
}

// A column: a tag and which of its occurrences within a record (1 for the first).
using CsvColumn = std::pair<uint16_t, unsigned>;

std::string CsvColumnName(const CsvColumn& column, const char* name) {
  std::string text = name ? name : "tag " + std::to_string(column.first);
  return column.second > 1 ? text + "#" + std::to_string(column.second) : text;
}

// The columns of one record's items, in item order.
std::vector<CsvColumn> ColumnsOf(const DatRecord& record) {
  std::map<uint16_t, unsigned> seen;
  std::vector<CsvColumn> columns;
  for (const DatRecordItem& item : record.items) columns.emplace_back(item.tag, ++seen[item.tag]);
  return columns;
}

// Two passes over the records, so that only one expanded record is held at a time: the
// first finds the columns, the second prints the rows.
bool PrintCsv(const DatFileView& view) {
  std::map<CsvColumn, size_t> position;  // column -> field number
  std::string header;
  bool whole = true;
  DatRecord record;
  for (uint32_t n = 0; n < view.index.size(); ++n) {
    if (!ReadDatRecord(view, n, &record)) {
      std::fprintf(stderr, "kxtool dump: record %u: %s\n", n, record.error.c_str());
      whole = false;
      continue;
    }
    const std::vector<CsvColumn> columns = ColumnsOf(record);
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!position.emplace(columns[i], position.size()).second) continue;
      if (position.size() > 1) header += ',';
      header += CsvField(CsvColumnName(columns[i], record.items[i].name));
    }
  }
  header += "\r\n";
  std::fputs(header.c_str(), stdout);
  for (uint32_t n = 0; n < view.index.size(); ++n) {
    if (!ReadDatRecord(view, n, &record)) continue;
    std::vector<std::string> fields(position.size());
    const std::vector<CsvColumn> columns = ColumnsOf(record);
    for (size_t i = 0; i < columns.size(); ++i) {
      fields[position[columns[i]]] = CsvField(CsvValue(record, record.items[i]));
    }
    std::string row;
    for (size_t f = 0; f < fields.size(); ++f) {
      if (f > 0) row += ',';
      row += fields[f];
    }
    row += "\r\n";
    std::fputs(row.c_str(), stdout);
  }
  return whole;
}

void PrintText(const DatFileView& view) {
  const DatFileHeader& h = view.header;
  std::printf("creator     %s\n", view.creator.c_str());
  std::printf("version     %s\n", view.version.c_str());
  std::printf("build date  %s\n", view.buildDate.c_str());
  std::printf("records     %zu\n", view.index.size());
  std::printf("index       offset %u, %u bytes\n", h.indexOffset, h.indexLength);
  std::printf("trailer     offset %u, %u bytes\n", h.trailerOffset, h.trailerLength);
  DatRecord record;
  for (uint32_t n = 0; n < view.index.size(); ++n) {
    const bool ok = ReadDatRecord(view, n, &record);
    std::printf("\nrecord %u  offset %u  length %u", n, record.offset, record.length);
    if (!ok) {
      std::printf("\n  error: %s\n", record.error.c_str());
      continue;
    }
    std::printf("  items %zu\n", record.items.size());
    for (const DatRecordItem& item : record.items) {
      const uint8_t* value = record.Value(item);
      std::printf("  %5u  %-34s ", item.tag, item.name ? item.name : "-");
      switch (KindOf(value, item.length)) {
        case ValueKind::Text: std::printf("\"%s\"\n", record.Text(item).c_str()); break;
        case ValueKind::Empty: std::printf("\"\"\n"); break;
        case ValueKind::Hex: std::printf("hex %s\n", Hex(value, item.length).c_str()); break;
      }
    }
  }
}

int RunDump(const std::string& path, bool json, bool csv) {
  std::vector<uint8_t> bytes;
  std::string error;
  DatFileView view;
  if (!LoadFileBytes(path.c_str(), &bytes, &error)) {
    std::fprintf(stderr, "kxtool dump: %s\n", error.c_str());
    return kExitFailure;
  }
  if (!OpenDatBytes(bytes.data(), bytes.size(), &view, &error)) {
    std::fprintf(stderr, "kxtool dump: %s: %s\n", path.c_str(), error.c_str());
    return kExitFailure;
  }
  bool whole = true;
  if (json) {
    PrintJson(view);
  } else if (csv) {
    whole = PrintCsv(view);
  } else {
    PrintText(view);
  }
  return std::fflush(stdout) == 0 && whole ? 0 : kExitFailure;
}

std::string DumpPath;
bool DumpJson = false;
bool DumpCsv = false;

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("dump", "Print an autotest data file (header, records and their items)");
  auto* json = cmd->add_flag("--json", DumpJson, "Print one JSON object for programs");
  cmd->add_flag("--csv", DumpCsv, "Print one CSV row per record, one column per tag (first occurrence order)")
      ->excludes(json);
  cmd->add_option("FILE", DumpPath, "The data file")->required();
  cmd->callback([&exitCode] { exitCode = RunDump(DumpPath, DumpJson, DumpCsv); });
});

}  // namespace
