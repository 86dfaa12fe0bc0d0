// The simulated Scanner: the instrument model behind kxsim and the integration tests.
// It takes each request message apart, answers it, and keeps the records in a
// RecordDatabase (sim/record_database.h: numbering, keys, flash space and coalescing).
//
// Record commands (Class 14):
// - Read (Type 2): delivers the first record of the type whose number is at least the
//   one asked for and whose key begins with the request's key (when a key is given);
//   the reply carries that record's number. A request's RecordLength of 0 or 0xFFFF
//   asks for the whole record; another value (a by-size read) for at most that many
//   bytes. When there is no such record the reply has Status 251 and carries in
//   RecordNumber the number of records of the type (matching the key), which is how a
//   host counts stored autotests: it asks for record 0xFFFF.
// - Write (Type 1): stores a new record, or replaces the one with the same key.
// - Update (Type 3), Delete (Type 0): the record of exactly that number; Status 251
//   when there is none.
// - Notify (Class 5, Type = record type): stores the data as record 0 of the type;
//   never answered. The port-settings record (type 0x402) also moves the line: byte 3
//   is the new rate's code (0 = 300 ... 5 = 9600 ... 8 = 57600).
// - Database information (Type 4): the free space and the coalesce state (layout at
//   DbInfo in scanner.cpp).
// - Serial number (Type 5): 11 characters at message offset 70.
// A write or update that makes the flash coalesce delays its reply by `coalesceMs`;
// one that does not fit even then fails with kStatusDatabaseFull.
//
// Replies echo the request's Class and Type. Requests the model cannot take (too short,
// a key longer than 48 bytes, a RecordLength beyond the data sent) are answered with
// kStatusBadRequest; requests it does not know with kStatusUnsupported. Data IDs and
// other commands (Class 7) have their place in HandleCommand; the card commands (Class
// 14, Types 11 to 29) go to the memory card (sim/card.h), which card() gives tests.
//
// Thread-safe: a server thread handles messages while a test reads and writes records.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/card.h"
#include "sim/instrument.h"
#include "sim/record_database.h"

namespace kxsim {

// Record types the instrument keeps.
inline constexpr uint16_t kRecVersionInfo = 131;          // 0x0083
inline constexpr uint16_t kRecDataFormat = 772;           // 0x0304
inline constexpr uint16_t kRecPdfFormat = 773;            // 0x0305, copper result format
inline constexpr uint16_t kRecPtfFormat = 774;            // 0x0306, print format
inline constexpr uint16_t kRecPdfFiberFormat = 776;       // 0x0308
inline constexpr uint16_t kRecPdfCoaxFormat = 777;        // 0x0309
inline constexpr uint16_t kRecPortSettings = 1026;        // 0x0402
inline constexpr uint16_t kRecCopperAutotest = 3841;      // 0x0F01
inline constexpr uint16_t kRecKeyedA = 3847;              // 0x0F07, 21-byte key
inline constexpr uint16_t kRecUserPreferences = 3848;     // 0x0F08
inline constexpr uint16_t kRecFirstLimit = 3862;          // 0x0F16 NEXT ...
inline constexpr uint16_t kRecLastLimit = 3870;           // ... 0x0F1E PSELFEXT, 17-byte key
inline constexpr uint16_t kRecKeyedB = 3873;              // 0x0F21, 21-byte key
inline constexpr uint16_t kRecFiberAutotest = 3874;       // 0x0F22
inline constexpr uint16_t kRecCoaxAutotest = 3877;        // 0x0F25

inline constexpr size_t kPortSettingsLength = 10;
inline constexpr size_t kPortSettingsBaudByte = 3;

// Status codes of this instrument besides OK (1) and record not found (251).
inline constexpr uint16_t kStatusBadRequest = 2;
inline constexpr uint16_t kStatusDatabaseFull = 3;
inline constexpr uint16_t kStatusUnsupported = 4;

// The rate codes the port-settings record stores (its byte 3), index = code.
inline constexpr uint32_t kBaudByCode[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
// The code for a rate, or -1.
int BaudCode(uint32_t baud);

struct ScannerOptions {
  uint32_t flashCapacity = 256 * 1024;  // bytes of record space, overhead included
  uint32_t coalesceMs = 1500;           // how long a coalesce holds up the reply
  std::string serialNumber = "KX000000001";
};

class Scanner : public Instrument {
 public:
  using Record = RecordDatabase::Record;

  explicit Scanner(ScannerOptions options = {});

  std::optional<Bytes> HandleMessage(const Bytes& request) override;
  uint32_t LineBaud() const override;
  void LineBreak() override;
  uint32_t TakeBusyMs() override;

  // ---- For tests and the kxsim program ----
  // Stores a record under `number` (replacing one there). Data beyond 65535 bytes and
  // keys beyond 48 bytes are cut.
  void PutRecord(uint16_t type, uint16_t number, Bytes data, Bytes key = {});
  // Stores a record under the next free number of its type and returns that number.
  uint16_t AddRecord(uint16_t type, Bytes data, Bytes key = {});
  std::optional<Bytes> GetRecord(uint16_t type, uint16_t number) const;
  std::optional<Record> FindRecord(uint16_t type, const Bytes& keyPrefix) const;
  std::vector<Record> Records(uint16_t type) const;
  size_t RecordCount(uint16_t type) const;
  bool RemoveRecord(uint16_t type, uint16_t number);
  void ClearRecords();

  // Notifications received, whole messages, oldest first.
  std::vector<Bytes> Notifies() const;

  // Flash space: free = capacity - live records - dead space.
  uint32_t FreeSpace() const;
  uint32_t DeadSpace() const;
  void SetFlashCapacity(uint32_t bytes);
  // Makes the free space exactly `bytes` (by setting the capacity to fit).
  void SetFreeSpace(uint32_t bytes);
  void SetDeadSpace(uint32_t bytes);
  uint64_t Coalesces() const;

  void SetSerialNumber(const std::string& serial);
  void SetLineBaud(uint32_t baud);

  // The memory card (thread-safe on its own).
  Card& card() { return card_; }

  // ---- Data IDs and commands (Class 7) ----
  // Get (Type 34): payload = data ID (u16); reply payload = the data ID, the value, and
  // 13 bytes of 0 after it. An unknown data ID is answered kStatusBadRequest.
  // Set (Type 35): payload = data ID and value; the value is stored; the reply is a bare
  // header with Status OK.
  // Other types: the test's or kxsim's scripted reply for that Type, else kStatusUnsupported.
  using CommandScript = std::function<std::optional<Bytes>(const Bytes& request)>;
  void SetDataId(uint16_t id, Bytes value);
  std::optional<Bytes> GetDataId(uint16_t id) const;
  void SetCommand(uint16_t type, CommandScript script);

 private:
  std::optional<Bytes> HandleDatabase(const Bytes& request);
  std::optional<Bytes> HandleNotify(const Bytes& request);
  std::optional<Bytes> HandleCommand(const Bytes& request);
  std::optional<Bytes> HandleCard(const Bytes& request);
  Bytes ReadRecord(const Bytes& request);
  Bytes WriteRecord(const Bytes& request);
  Bytes UpdateRecord(const Bytes& request);
  Bytes DeleteRecord(const Bytes& request);
  Bytes DbInfo(const Bytes& request);
  Bytes SerialNumber(const Bytes& request);

  // Adds the coalesce time to the reply's delay when the flash coalesced since
  // `coalescesBefore`.
  void NoteCoalesce(uint64_t coalescesBefore);
  void ApplyPortSettingsLocked(const Bytes& record);

  ScannerOptions options_;
  mutable std::mutex mutex_;
  RecordDatabase db_;
  uint32_t busyMs_ = 0;
  uint32_t baud_ = 9600;
  std::vector<Bytes> notifies_;
  Card card_;
  std::map<uint16_t, Bytes> dataIds_;
  std::map<uint16_t, CommandScript> commands_;
};

}  // namespace kxsim
