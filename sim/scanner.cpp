#include "sim/scanner.h"

#include <algorithm>
#include <cstring>

#include "sim/wire_format.h"

namespace kxsim {
namespace {

// A reply of `size` bytes that echoes the request's Class and Type and, for record
// messages, its record header; everything else 0.
Bytes EchoReply(const Bytes& request, uint16_t status, size_t size) {
  Bytes reply(size, 0);
  const size_t echoed = std::min({request.size(), size, kRecordDataOffset});
  std::copy(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(echoed),
            reply.begin());
  for (size_t i = kStatusOffset; i < kMessageHeaderSize && i < size; ++i) reply[i] = 0;
  PutU16(reply, kStatusOffset, status);
  return reply;
}

Bytes StatusReply(const Bytes& request, uint16_t status) {
  const bool record = request.size() >= kRecordDataOffset;
  return EchoReply(request, status, record ? kRecordDataOffset : kMessageHeaderSize);
}

// The key a record request carries (empty when KeyLength is 0); false when KeyLength
// is beyond what the key field holds.
bool RequestKey(const Bytes& request, Bytes* key) {
  const size_t length = GetU16(request, kKeyLengthOffset);
  if (length > kMaxKeyLength) return false;
  key->assign(request.begin() + kKeyOffset,
              request.begin() + static_cast<std::ptrdiff_t>(kKeyOffset + length));
  return true;
}

bool KeyMatches(const Bytes& stored, const Bytes& wanted) {
  return wanted.size() <= stored.size() &&
         std::equal(wanted.begin(), wanted.end(), stored.begin());
}

uint32_t Cost(const Scanner::Record& r) {
  return static_cast<uint32_t>(r.data.size()) + kRecordOverhead;
}

}  // namespace

int BaudCode(uint32_t baud) {
  for (size_t i = 0; i < std::size(kBaudByCode); ++i) {
    if (kBaudByCode[i] == baud) return static_cast<int>(i);
  }
  return -1;
}

Scanner::Scanner(ScannerOptions options) : options_(std::move(options)) {}

// ---- Messages --------------------------------------------------------------------------------

std::optional<Bytes> Scanner::HandleMessage(const Bytes& request) {
  if (request.size() < kMessageHeaderSize) return std::nullopt;  // not even a header
  std::lock_guard<std::mutex> lock(mutex_);
  switch (GetU16(request, kClassOffset)) {
    case kClassDatabase:
      return HandleDatabase(request);
    case kClassNotify:
      return HandleNotify(request);
    case kClassCommand:
      return HandleCommand(request);
    default:
      return StatusReply(request, kStatusUnsupported);
  }
}

std::optional<Bytes> Scanner::HandleDatabase(const Bytes& request) {
  const uint16_t type = GetU16(request, kTypeOffset);
  switch (type) {
    case kDbInfo:
      return DbInfo(request);
    case kDbSerialNumber:
      return SerialNumber(request);
    default:
      break;
  }
  if (type >= 11 && type <= 29) return HandleCard(request);
  if (type > kDbUpdateRecord) return StatusReply(request, kStatusUnsupported);
  if (request.size() < kRecordDataOffset) return StatusReply(request, kStatusBadRequest);
  switch (type) {
    case kDbReadRecord:
      return ReadRecord(request);
    case kDbWriteRecord:
      return WriteRecord(request);
    case kDbUpdateRecord:
      return UpdateRecord(request);
    default:
      return DeleteRecord(request);
  }
}

// Data IDs (get 34, set 35) and the other commands: scanner_commands.cpp.
// The card commands (directory, file information, read, delete, status): sim/card.h.
std::optional<Bytes> Scanner::HandleCard(const Bytes& request) {
  if (!Card::IsCardCommand(GetU16(request, kTypeOffset))) return StatusReply(request, kStatusUnsupported);
  return card_.HandleMessage(request);
}

Bytes Scanner::ReadRecord(const Bytes& request) {
  Bytes key;
  if (!RequestKey(request, &key)) return StatusReply(request, kStatusBadRequest);
  const uint16_t type = GetU16(request, kRecordTypeOffset);
  const uint16_t wantedLength = GetU16(request, kRecordLengthOffset);
  const uint16_t from = GetU16(request, kRecordNumberOffset);

  const RecordMap* map = nullptr;
  if (auto it = records_.find(type); it != records_.end()) map = &it->second;
  if (map != nullptr) {
    for (auto it = map->lower_bound(from); it != map->end(); ++it) {
      const Record& r = it->second;
      if (!KeyMatches(r.key, key)) continue;
      size_t length = r.data.size();
      if (wantedLength != 0 && wantedLength != 0xFFFF) length = std::min<size_t>(length, wantedLength);
      Bytes reply = EchoReply(request, kStatusOk, kRecordDataOffset + length);
      PutU16(reply, kRecordLengthOffset, static_cast<uint16_t>(length));
      PutU16(reply, kRecordNumberOffset, r.number);
      std::copy(r.data.begin(), r.data.begin() + static_cast<std::ptrdiff_t>(length),
                reply.begin() + kRecordDataOffset);
      return reply;
    }
  }
  size_t count = 0;
  if (map != nullptr) {
    for (const auto& [number, r] : *map) count += KeyMatches(r.key, key) ? 1 : 0;
  }
  Bytes reply = EchoReply(request, kStatusRecordNotFound, kRecordDataOffset);
  PutU16(reply, kRecordLengthOffset, 0);
  PutU16(reply, kRecordNumberOffset, static_cast<uint16_t>(std::min<size_t>(count, 0xFFFF)));
  return reply;
}

Bytes Scanner::WriteRecord(const Bytes& request) {
  Bytes key;
  const size_t length = GetU16(request, kRecordLengthOffset);
  if (!RequestKey(request, &key) || request.size() < kRecordDataOffset + length) {
    return StatusReply(request, kStatusBadRequest);
  }
  const uint16_t type = GetU16(request, kRecordTypeOffset);
  RecordMap& map = records_[type];
  Record* replaced = nullptr;
  if (!key.empty()) {
    for (auto& [number, r] : map) {
      if (r.key == key) {
        replaced = &r;
        break;
      }
    }
  }
  uint16_t number = 0;
  if (replaced != nullptr) {
    number = replaced->number;
  } else if (!map.empty()) {
    if (map.rbegin()->first == 0xFFFF) return StatusReply(request, kStatusDatabaseFull);
    number = static_cast<uint16_t>(map.rbegin()->first + 1);
  }
  if (!Reserve(static_cast<uint32_t>(length) + kRecordOverhead)) {
    return StatusReply(request, kStatusDatabaseFull);
  }
  if (replaced != nullptr) deadSpace_ += Cost(*replaced);
  Record& r = map[number];
  r.number = number;
  r.data.assign(request.begin() + kRecordDataOffset,
                request.begin() + static_cast<std::ptrdiff_t>(kRecordDataOffset + length));
  r.key = std::move(key);
  Bytes reply = StatusReply(request, kStatusOk);
  PutU16(reply, kRecordNumberOffset, number);
  return reply;
}

Bytes Scanner::UpdateRecord(const Bytes& request) {
  const size_t length = GetU16(request, kRecordLengthOffset);
  if (request.size() < kRecordDataOffset + length) return StatusReply(request, kStatusBadRequest);
  const uint16_t type = GetU16(request, kRecordTypeOffset);
  const uint16_t number = GetU16(request, kRecordNumberOffset);
  auto t = records_.find(type);
  if (t == records_.end() || t->second.count(number) == 0) {
    return StatusReply(request, kStatusRecordNotFound);
  }
  if (!Reserve(static_cast<uint32_t>(length) + kRecordOverhead)) {
    return StatusReply(request, kStatusDatabaseFull);
  }
  Record& r = t->second[number];
  deadSpace_ += Cost(r);
  r.data.assign(request.begin() + kRecordDataOffset,
                request.begin() + static_cast<std::ptrdiff_t>(kRecordDataOffset + length));
  return StatusReply(request, kStatusOk);
}

Bytes Scanner::DeleteRecord(const Bytes& request) {
  const uint16_t type = GetU16(request, kRecordTypeOffset);
  const uint16_t number = GetU16(request, kRecordNumberOffset);
  auto t = records_.find(type);
  if (t == records_.end()) return StatusReply(request, kStatusRecordNotFound);
  auto r = t->second.find(number);
  if (r == t->second.end()) return StatusReply(request, kStatusRecordNotFound);
  deadSpace_ += Cost(r->second);
  t->second.erase(r);
  return StatusReply(request, kStatusOk);
}

std::optional<Bytes> Scanner::HandleNotify(const Bytes& request) {
  notifies_.push_back(request);
  if (request.size() < kRecordDataOffset) return std::nullopt;
  const size_t length = GetU16(request, kRecordLengthOffset);
  if (request.size() < kRecordDataOffset + length) return std::nullopt;
  const uint16_t type = GetU16(request, kTypeOffset);
  Record& r = records_[type][0];
  if (!r.data.empty()) deadSpace_ += Cost(r);
  r.number = 0;
  r.data.assign(request.begin() + kRecordDataOffset,
                request.begin() + static_cast<std::ptrdiff_t>(kRecordDataOffset + length));
  if (type == kRecPortSettings) ApplyPortSettingsLocked(r.data);
  return std::nullopt;
}

// Database-information reply, after the message header:
//   +0 u16 records stored (all types)   +2 u8 flags, bit 0: dead space awaits a coalesce
//   +3 u32 free space (message offset 13, the field hosts read)
//   +7 u32 dead space                   +11 u32 flash capacity
Bytes Scanner::DbInfo(const Bytes& request) {
  Bytes reply = EchoReply(request, kStatusOk, kMessageHeaderSize + 15);
  size_t stored = 0;
  for (const auto& [type, map] : records_) stored += map.size();
  uint8_t* p = reply.data() + kMessageHeaderSize;
  PutU16(p, static_cast<uint16_t>(std::min<size_t>(stored, 0xFFFF)));
  p[2] = deadSpace_ > 0 ? 1 : 0;
  PutU32(p + 3, FreeSpaceLocked());
  PutU32(p + 7, deadSpace_);
  PutU32(p + 11, options_.flashCapacity);
  return reply;
}

// Serial-number reply: message header, 60 bytes of 0, the 11 characters, a 0.
Bytes Scanner::SerialNumber(const Bytes& request) {
  Bytes reply = EchoReply(request, kStatusOk, kRecordDataOffset + 12);
  for (size_t i = kMessageHeaderSize; i < kRecordDataOffset; ++i) reply[i] = 0;
  const std::string& s = options_.serialNumber;
  for (size_t i = 0; i < 11 && i < s.size(); ++i) reply[kRecordDataOffset + i] = static_cast<uint8_t>(s[i]);
  return reply;
}

// ---- Space and line --------------------------------------------------------------------------

uint32_t Scanner::LiveSpaceLocked() const {
  uint64_t live = 0;
  for (const auto& [type, map] : records_) {
    for (const auto& [number, r] : map) live += Cost(r);
  }
  return static_cast<uint32_t>(std::min<uint64_t>(live, UINT32_MAX));
}

uint32_t Scanner::FreeSpaceLocked() const {
  const uint64_t used = uint64_t{LiveSpaceLocked()} + deadSpace_;
  return used >= options_.flashCapacity ? 0 : static_cast<uint32_t>(options_.flashCapacity - used);
}

bool Scanner::Reserve(uint32_t cost) {
  const uint32_t free = FreeSpaceLocked();
  if (cost <= free) return true;
  if (uint64_t{cost} > uint64_t{free} + deadSpace_) return false;
  deadSpace_ = 0;
  ++coalesces_;
  busyMs_ += options_.coalesceMs;
  return true;
}

void Scanner::ApplyPortSettingsLocked(const Bytes& record) {
  if (record.size() <= kPortSettingsBaudByte) return;
  const uint8_t code = record[kPortSettingsBaudByte];
  if (code < std::size(kBaudByCode)) baud_ = kBaudByCode[code];
}

uint32_t Scanner::LineBaud() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return baud_;
}

void Scanner::LineBreak() {
  std::lock_guard<std::mutex> lock(mutex_);
  baud_ = 9600;
}

uint32_t Scanner::TakeBusyMs() {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint32_t ms = busyMs_;
  busyMs_ = 0;
  return ms;
}

void Scanner::SetLineBaud(uint32_t baud) {
  std::lock_guard<std::mutex> lock(mutex_);
  baud_ = baud;
}

// ---- Test access -------------------------------------------------------------------------------

void Scanner::PutRecord(uint16_t type, uint16_t number, Bytes data, Bytes key) {
  if (data.size() > kMaxRecordData) data.resize(kMaxRecordData);
  if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
  std::lock_guard<std::mutex> lock(mutex_);
  Record& r = records_[type][number];
  r.number = number;
  r.data = std::move(data);
  r.key = std::move(key);
}

uint16_t Scanner::AddRecord(uint16_t type, Bytes data, Bytes key) {
  uint16_t number = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const RecordMap& map = records_[type];
    if (!map.empty()) number = static_cast<uint16_t>(map.rbegin()->first + 1);
  }
  PutRecord(type, number, std::move(data), std::move(key));
  return number;
}

std::optional<Bytes> Scanner::GetRecord(uint16_t type, uint16_t number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto t = records_.find(type);
  if (t == records_.end()) return std::nullopt;
  auto r = t->second.find(number);
  if (r == t->second.end()) return std::nullopt;
  return r->second.data;
}

std::optional<Scanner::Record> Scanner::FindRecord(uint16_t type, const Bytes& keyPrefix) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto t = records_.find(type);
  if (t == records_.end()) return std::nullopt;
  for (const auto& [number, r] : t->second) {
    if (KeyMatches(r.key, keyPrefix)) return r;
  }
  return std::nullopt;
}

std::vector<Scanner::Record> Scanner::Records(uint16_t type) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Record> out;
  auto t = records_.find(type);
  if (t != records_.end()) {
    for (const auto& [number, r] : t->second) out.push_back(r);
  }
  return out;
}

size_t Scanner::RecordCount(uint16_t type) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto t = records_.find(type);
  return t == records_.end() ? 0 : t->second.size();
}

bool Scanner::RemoveRecord(uint16_t type, uint16_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto t = records_.find(type);
  return t != records_.end() && t->second.erase(number) > 0;
}

void Scanner::ClearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
  deadSpace_ = 0;
}

std::vector<Bytes> Scanner::Notifies() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notifies_;
}

uint32_t Scanner::FreeSpace() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return FreeSpaceLocked();
}

uint32_t Scanner::DeadSpace() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deadSpace_;
}

void Scanner::SetFlashCapacity(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  options_.flashCapacity = bytes;
}

void Scanner::SetFreeSpace(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t capacity = uint64_t{LiveSpaceLocked()} + deadSpace_ + bytes;
  options_.flashCapacity = static_cast<uint32_t>(std::min<uint64_t>(capacity, UINT32_MAX));
}

void Scanner::SetDeadSpace(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  deadSpace_ = bytes;
}

uint64_t Scanner::Coalesces() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return coalesces_;
}

void Scanner::SetSerialNumber(const std::string& serial) {
  std::lock_guard<std::mutex> lock(mutex_);
  options_.serialNumber = serial;
}

}  // namespace kxsim
