// The Scanner's record database: records kept per record type, each with a number, its
// data and an optional search key, in a flash memory of fixed capacity.
//
// Numbers are stable: a write takes the number after the highest one of its type, and a
// delete leaves a gap. A write that carries a key replaces the record of that type with
// the same key, if there is one, keeping its number.
//
// Flash space. Each record costs its length plus kRecordOverhead bytes. Deleted and
// replaced records leave dead space that only a coalesce gives back: a write or update
// that does not fit the free space but would fit after reclaiming the dead space makes
// the flash coalesce first (Coalesces() counts them); one that does not fit even then is
// refused as full.
//
// The host's changes (Write, Update, Delete, StoreNotified) keep the flash accounts; the
// direct access that tests and kxsim use to set up a database (Put, Add, Remove, Clear)
// does not. Not thread-safe: the Scanner guards it with its own lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "sim/instrument.h"

namespace kxsim {

inline constexpr uint32_t kRecordOverhead = 128;

class RecordDatabase {
 public:
  struct Record {
    uint16_t number = 0;
    Bytes data;
    Bytes key;
  };
  enum class Change { kDone, kNotFound, kFull };

  explicit RecordDatabase(uint32_t flashCapacity) : capacity_(flashCapacity) {}

  // ---- Lookups ----
  // The first record of `type` numbered at least `from` whose key begins with
  // `keyPrefix`; null when there is none.
  const Record* FindFrom(uint16_t type, uint16_t from, const Bytes& keyPrefix) const;
  // How many records of `type` have a key beginning with `keyPrefix`.
  size_t Count(uint16_t type, const Bytes& keyPrefix) const;
  const Record* Get(uint16_t type, uint16_t number) const;
  std::vector<Record> All(uint16_t type) const;
  size_t Total() const;  // records of every type

  // ---- The host's changes ----
  // Stores a new record (or replaces the one with the same non-empty key); `*number`
  // receives its number.
  Change Write(uint16_t type, Bytes data, Bytes key, uint16_t* number);
  Change Update(uint16_t type, uint16_t number, Bytes data);
  Change Delete(uint16_t type, uint16_t number);
  // A notification's data becomes record 0 of its type; returns that record.
  const Record& StoreNotified(uint16_t type, Bytes data);

  // ---- Direct access ----
  // Stores a record under `number` (replacing one there); data beyond 65535 bytes and
  // keys beyond 48 bytes are cut.
  void Put(uint16_t type, uint16_t number, Bytes data, Bytes key = {});
  // Stores a record under the next free number of its type and returns that number.
  uint16_t Add(uint16_t type, Bytes data, Bytes key = {});
  bool Remove(uint16_t type, uint16_t number);
  void Clear();  // every record and the dead space

  // ---- Flash space: free = capacity - live records - dead space ----
  uint32_t FreeSpace() const;
  uint32_t DeadSpace() const { return deadSpace_; }
  uint32_t Capacity() const { return capacity_; }
  void SetCapacity(uint32_t bytes) { capacity_ = bytes; }
  void SetFreeSpace(uint32_t bytes);  // sets the capacity so that exactly `bytes` are free
  void SetDeadSpace(uint32_t bytes) { deadSpace_ = bytes; }
  uint64_t Coalesces() const { return coalesces_; }

 private:
  using RecordMap = std::map<uint16_t, Record>;  // by number

  Record* FindKey(uint16_t type, const Bytes& key);
  // Makes room for `cost` bytes, coalescing if that is what it takes.
  bool Reserve(uint32_t cost);
  uint32_t LiveSpace() const;

  std::map<uint16_t, RecordMap> records_;  // by type
  uint32_t capacity_;
  uint32_t deadSpace_ = 0;
  uint64_t coalesces_ = 0;
};

}  // namespace kxsim
