#include "sim/record_database.h"

#include <algorithm>

#include "sim/wire_format.h"

namespace kxsim {
namespace {

bool KeyMatches(const Bytes& stored, const Bytes& wanted) {
  return wanted.size() <= stored.size() &&
         std::equal(wanted.begin(), wanted.end(), stored.begin());
}

uint32_t Cost(const RecordDatabase::Record& r) {
  return static_cast<uint32_t>(r.data.size()) + kRecordOverhead;
}

}  // namespace

// ---- Lookups ---------------------------------------------------------------------------------

const RecordDatabase::Record* RecordDatabase::FindFrom(uint16_t type, uint16_t from,
                                                       const Bytes& keyPrefix) const {
  auto t = records_.find(type);
  if (t == records_.end()) return nullptr;
  for (auto it = t->second.lower_bound(from); it != t->second.end(); ++it) {
    if (KeyMatches(it->second.key, keyPrefix)) return &it->second;
  }
  return nullptr;
}

size_t RecordDatabase::Count(uint16_t type, const Bytes& keyPrefix) const {
  auto t = records_.find(type);
  if (t == records_.end()) return 0;
  size_t count = 0;
  for (const auto& [number, r] : t->second) count += KeyMatches(r.key, keyPrefix) ? 1 : 0;
  return count;
}

const RecordDatabase::Record* RecordDatabase::Get(uint16_t type, uint16_t number) const {
  auto t = records_.find(type);
  if (t == records_.end()) return nullptr;
  auto r = t->second.find(number);
  return r == t->second.end() ? nullptr : &r->second;
}

std::vector<RecordDatabase::Record> RecordDatabase::All(uint16_t type) const {
  std::vector<Record> out;
  auto t = records_.find(type);
  if (t != records_.end()) {
    for (const auto& [number, r] : t->second) out.push_back(r);
  }
  return out;
}

size_t RecordDatabase::Total() const {
  size_t stored = 0;
  for (const auto& [type, map] : records_) stored += map.size();
  return stored;
}

// ---- The host's changes -----------------------------------------------------------------------

RecordDatabase::Record* RecordDatabase::FindKey(uint16_t type, const Bytes& key) {
  if (key.empty()) return nullptr;
  for (auto& [number, r] : records_[type]) {
    if (r.key == key) return &r;
  }
  return nullptr;
}

RecordDatabase::Change RecordDatabase::Write(uint16_t type, Bytes data, Bytes key,
                                             uint16_t* number) {
  RecordMap& map = records_[type];
  const Record* replaced = FindKey(type, key);
  *number = 0;
  if (replaced != nullptr) {
    *number = replaced->number;
  } else if (!map.empty()) {
    if (map.rbegin()->first == 0xFFFF) return Change::kFull;
    *number = static_cast<uint16_t>(map.rbegin()->first + 1);
  }
  if (!Reserve(static_cast<uint32_t>(data.size()) + kRecordOverhead)) return Change::kFull;
  if (replaced != nullptr) deadSpace_ += Cost(*replaced);
  Record& r = map[*number];
  r.number = *number;
  r.data = std::move(data);
  r.key = std::move(key);
  return Change::kDone;
}

RecordDatabase::Change RecordDatabase::Update(uint16_t type, uint16_t number, Bytes data) {
  auto t = records_.find(type);
  if (t == records_.end() || t->second.count(number) == 0) return Change::kNotFound;
  if (!Reserve(static_cast<uint32_t>(data.size()) + kRecordOverhead)) return Change::kFull;
  Record& r = t->second[number];
  deadSpace_ += Cost(r);
  r.data = std::move(data);
  return Change::kDone;
}

RecordDatabase::Change RecordDatabase::Delete(uint16_t type, uint16_t number) {
  auto t = records_.find(type);
  if (t == records_.end()) return Change::kNotFound;
  auto r = t->second.find(number);
  if (r == t->second.end()) return Change::kNotFound;
  deadSpace_ += Cost(r->second);
  t->second.erase(r);
  return Change::kDone;
}

const RecordDatabase::Record& RecordDatabase::StoreNotified(uint16_t type, Bytes data) {
  Record& r = records_[type][0];
  if (!r.data.empty()) deadSpace_ += Cost(r);
  r.number = 0;
  r.data = std::move(data);
  return r;
}

// ---- Direct access ------------------------------------------------------------------------------

void RecordDatabase::Put(uint16_t type, uint16_t number, Bytes data, Bytes key) {
  if (data.size() > kMaxRecordData) data.resize(kMaxRecordData);
  if (key.size() > kMaxKeyLength) key.resize(kMaxKeyLength);
  Record& r = records_[type][number];
  r.number = number;
  r.data = std::move(data);
  r.key = std::move(key);
}

uint16_t RecordDatabase::Add(uint16_t type, Bytes data, Bytes key) {
  const RecordMap& map = records_[type];
  const uint16_t number = map.empty() ? 0 : static_cast<uint16_t>(map.rbegin()->first + 1);
  Put(type, number, std::move(data), std::move(key));
  return number;
}

bool RecordDatabase::Remove(uint16_t type, uint16_t number) {
  auto t = records_.find(type);
  return t != records_.end() && t->second.erase(number) > 0;
}

void RecordDatabase::Clear() {
  records_.clear();
  deadSpace_ = 0;
}

// ---- Flash space ----------------------------------------------------------------------------------

uint32_t RecordDatabase::LiveSpace() const {
  uint64_t live = 0;
  for (const auto& [type, map] : records_) {
    for (const auto& [number, r] : map) live += Cost(r);
  }
  return static_cast<uint32_t>(std::min<uint64_t>(live, UINT32_MAX));
}

uint32_t RecordDatabase::FreeSpace() const {
  const uint64_t used = uint64_t{LiveSpace()} + deadSpace_;
  return used >= capacity_ ? 0 : static_cast<uint32_t>(capacity_ - used);
}

void RecordDatabase::SetFreeSpace(uint32_t bytes) {
  const uint64_t capacity = uint64_t{LiveSpace()} + deadSpace_ + bytes;
  capacity_ = static_cast<uint32_t>(std::min<uint64_t>(capacity, UINT32_MAX));
}

bool RecordDatabase::Reserve(uint32_t cost) {
  const uint32_t free = FreeSpace();
  if (cost <= free) return true;
  if (uint64_t{cost} > uint64_t{free} + deadSpace_) return false;
  deadSpace_ = 0;
  ++coalesces_;
  return true;
}

}  // namespace kxsim
