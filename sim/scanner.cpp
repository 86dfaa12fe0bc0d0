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

// The record data a request carries: RecordLength bytes from message offset 70.
Bytes RequestData(const Bytes& request, size_t length) {
  return Bytes(request.begin() + kRecordDataOffset,
               request.begin() + static_cast<std::ptrdiff_t>(kRecordDataOffset + length));
}

uint16_t ChangeStatus(RecordDatabase::Change change) {
  switch (change) {
    case RecordDatabase::Change::kDone:
      return kStatusOk;
    case RecordDatabase::Change::kNotFound:
      return kStatusRecordNotFound;
    default:
      return kStatusDatabaseFull;
  }
}

}  // namespace

int BaudCode(uint32_t baud) {
  for (size_t i = 0; i < std::size(kBaudByCode); ++i) {
    if (kBaudByCode[i] == baud) return static_cast<int>(i);
  }
  return -1;
}

Scanner::Scanner(ScannerOptions options)
    : options_(std::move(options)), db_(options_.flashCapacity) {}

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
  if (const Record* r = db_.FindFrom(type, from, key)) {
    size_t length = r->data.size();
    if (wantedLength != 0 && wantedLength != 0xFFFF) length = std::min<size_t>(length, wantedLength);
    Bytes reply = EchoReply(request, kStatusOk, kRecordDataOffset + length);
    PutU16(reply, kRecordLengthOffset, static_cast<uint16_t>(length));
    PutU16(reply, kRecordNumberOffset, r->number);
    std::copy(r->data.begin(), r->data.begin() + static_cast<std::ptrdiff_t>(length),
              reply.begin() + kRecordDataOffset);
    return reply;
  }
  const size_t count = db_.Count(type, key);
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
  const uint64_t coalesces = db_.Coalesces();
  uint16_t number = 0;
  const RecordDatabase::Change change = db_.Write(GetU16(request, kRecordTypeOffset),
                                                  RequestData(request, length), std::move(key), &number);
  NoteCoalesce(coalesces);
  Bytes reply = StatusReply(request, ChangeStatus(change));
  if (change == RecordDatabase::Change::kDone) PutU16(reply, kRecordNumberOffset, number);
  return reply;
}

Bytes Scanner::UpdateRecord(const Bytes& request) {
  const size_t length = GetU16(request, kRecordLengthOffset);
  if (request.size() < kRecordDataOffset + length) return StatusReply(request, kStatusBadRequest);
  const uint64_t coalesces = db_.Coalesces();
  const RecordDatabase::Change change = db_.Update(
      GetU16(request, kRecordTypeOffset), GetU16(request, kRecordNumberOffset), RequestData(request, length));
  NoteCoalesce(coalesces);
  return StatusReply(request, ChangeStatus(change));
}

Bytes Scanner::DeleteRecord(const Bytes& request) {
  return StatusReply(request, ChangeStatus(db_.Delete(GetU16(request, kRecordTypeOffset),
                                                      GetU16(request, kRecordNumberOffset))));
}

void Scanner::NoteCoalesce(uint64_t coalescesBefore) {
  if (db_.Coalesces() != coalescesBefore) busyMs_ += options_.coalesceMs;
}

std::optional<Bytes> Scanner::HandleNotify(const Bytes& request) {
  notifies_.push_back(request);
  if (request.size() < kRecordDataOffset) return std::nullopt;
  const size_t length = GetU16(request, kRecordLengthOffset);
  if (request.size() < kRecordDataOffset + length) return std::nullopt;
  const uint16_t type = GetU16(request, kTypeOffset);
  const Record& r = db_.StoreNotified(type, RequestData(request, length));
  if (type == kRecPortSettings) ApplyPortSettingsLocked(r.data);
  return std::nullopt;
}

// Database-information reply, after the message header:
//   +0 u16 records stored (all types)   +2 u8 flags, bit 0: dead space awaits a coalesce
//   +3 u32 free space (message offset 13, the field hosts read)
//   +7 u32 dead space                   +11 u32 flash capacity
Bytes Scanner::DbInfo(const Bytes& request) {
  Bytes reply = EchoReply(request, kStatusOk, kMessageHeaderSize + 15);
  const size_t stored = db_.Total();
  uint8_t* p = reply.data() + kMessageHeaderSize;
  PutU16(p, static_cast<uint16_t>(std::min<size_t>(stored, 0xFFFF)));
  p[2] = db_.DeadSpace() > 0 ? 1 : 0;
  PutU32(p + 3, db_.FreeSpace());
  PutU32(p + 7, db_.DeadSpace());
  PutU32(p + 11, db_.Capacity());
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

// ---- Line --------------------------------------------------------------------------

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
  std::lock_guard<std::mutex> lock(mutex_);
  db_.Put(type, number, std::move(data), std::move(key));
}

uint16_t Scanner::AddRecord(uint16_t type, Bytes data, Bytes key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Add(type, std::move(data), std::move(key));
}

std::optional<Bytes> Scanner::GetRecord(uint16_t type, uint16_t number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Record* r = db_.Get(type, number);
  if (r == nullptr) return std::nullopt;
  return r->data;
}

std::optional<Scanner::Record> Scanner::FindRecord(uint16_t type, const Bytes& keyPrefix) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Record* r = db_.FindFrom(type, 0, keyPrefix);
  if (r == nullptr) return std::nullopt;
  return *r;
}

std::vector<Scanner::Record> Scanner::Records(uint16_t type) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.All(type);
}

size_t Scanner::RecordCount(uint16_t type) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Count(type, {});
}

bool Scanner::RemoveRecord(uint16_t type, uint16_t number) {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Remove(type, number);
}

void Scanner::ClearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  db_.Clear();
}

std::vector<Bytes> Scanner::Notifies() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notifies_;
}

uint32_t Scanner::FreeSpace() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.FreeSpace();
}

uint32_t Scanner::DeadSpace() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.DeadSpace();
}

void Scanner::SetFlashCapacity(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  db_.SetCapacity(bytes);
}

void Scanner::SetFreeSpace(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  db_.SetFreeSpace(bytes);
}

void Scanner::SetDeadSpace(uint32_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  db_.SetDeadSpace(bytes);
}

uint64_t Scanner::Coalesces() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return db_.Coalesces();
}

void Scanner::SetSerialNumber(const std::string& serial) {
  std::lock_guard<std::mutex> lock(mutex_);
  options_.serialNumber = serial;
}

}  // namespace kxsim
