// Test support for tables of card and record calls: one call per row, named by an Op and
// its inputs, which writes what it returns through pointers into the host's area (an
// output left unwritten reads as 0xEE bytes there), and the check of what a call left.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "kxlib32.h"
#include "tests/support/bytes.h"
#include "wire/byte_order.h"

namespace testsupport {

enum class Op {
  kList, kCount, kDirInfo, kFileInfo, kSize, kDelete, kDeleteDir, kStatus, kFigures, kRead, kHeader,
  kFirst, kNext, kClose, kAccess, kReadRecord, kWrite, kUpdate, kDeleteRecord, kFreeSpace, kSerial
};
// Where the local file of a copy goes.
enum Where { kLocal, kUnmakeable, kNoLocal };

// A call: `path` and `name` are the card's Path and Name (the card path of kRead);
// `n` is the option, record type or KXAccessMMC's command; `size` the area's
// size to the call (a request block's length for kAccess, a Where for the copies);
// `capacity` KXAccessMMC's.
struct Call {
  Op op;
  const char* path = "";
  const char* name = "";
  uint32_t n = 0;
  int32_t size = 0;
  uint32_t capacity = 0;
};

inline int Do(const Call& c, uint8_t* a, const std::string& local, uint32_t* e) {
  char* const chars = reinterpret_cast<char*>(a);
  const std::string unmakeable = local + "/x";
  const char* const file = c.size == kLocal ? local.c_str() : c.size == kUnmakeable ? unmakeable.c_str() : nullptr;
  uint16_t w[3] = {0xEEEE, 0xEEEE, 0xEEEE}, length = static_cast<uint16_t>(c.size);
  uint32_t d[2] = {0xEEEEEEEE, 0xEEEEEEEE};
  int r = 0;
  switch (c.op) {
    case Op::kList: return mmcGetDirectoryList(c.path, c.name, static_cast<uint16_t>(c.n), chars, c.size, e);
    case Op::kCount: r = mmcGetDirectoryCount(c.path, c.name, static_cast<uint16_t>(c.n), w, e); break;
    case Op::kDirInfo: return mmcGetDirectoryInfo(c.path, c.name, a, static_cast<uint32_t>(c.size), e);
    case Op::kFileInfo: r = mmcGetFileInfo(c.path, c.name, d, &w[0], &w[1], &w[2], e); break;
    case Op::kSize: r = mmcGetFileSize(c.path, c.name, d, e); break;
    case Op::kDelete: return mmcDeleteFile(c.path, c.name, static_cast<uint16_t>(c.n), e);
    case Op::kDeleteDir: return mmcDeleteDirectory(c.path, c.name, static_cast<uint16_t>(c.n), e);
    case Op::kStatus: r = mmcGetMMCStatus(w, e); break;
    case Op::kFigures: r = mmcGetMMCInfo(&d[0], &d[1], e); break;
    case Op::kRead: return mmcReadFile(c.path, file, e);
    case Op::kHeader: return mmcReadFileHeader(c.name, c.path, a, e);
    case Op::kFirst: return mmcGetFirstFile(file, c.path, c.name, chars, e);
    case Op::kNext: return mmcGetNextFile(file, chars, e);
    case Op::kClose: return mmcCloseFile(e);
    case Op::kAccess: {
      static uint8_t block[65536];
      std::memset(block, 0, 256);
      std::strncpy(reinterpret_cast<char*>(block), c.path, 128);
      std::strncpy(reinterpret_cast<char*>(block) + 128, c.name != nullptr ? c.name : "", 128);
      uint32_t capacity = c.capacity;
      return static_cast<int>(KXAccessMMC(static_cast<uint16_t>(c.n), c.name != nullptr ? block : nullptr, c.size, a,
                                          &capacity, e));
    }
    case Op::kReadRecord:
      r = KXReadRecord(static_cast<uint16_t>(c.n), w, c.size != 0 ? a + 2 : nullptr, &length, e);
      break;
    case Op::kWrite: return KXWriteRecord(static_cast<uint16_t>(c.n), "12345678", 8, e);
    case Op::kUpdate: return KXUpdateRecord(static_cast<uint16_t>(c.n), 0, "12345678", 8, e);
    case Op::kDeleteRecord: return KXDeleteRecord(static_cast<uint16_t>(c.n), 0, e);
    case Op::kFreeSpace: r = KXGetVEXADBaseFreeSpace(d, e); break;
    case Op::kSerial: *e = 0; return KXGetSerialNumber(chars);
  }
  // The outputs the call had, in the order of its parameters.
  switch (c.op) {
    case Op::kCount: case Op::kStatus: case Op::kReadRecord: ::PutU16(a, w[0]); break;
    case Op::kSize: case Op::kFreeSpace: PutU32(a, d[0]); break;
    case Op::kFigures: PutU32(a, d[0]); PutU32(a + 4, d[1]); break;
    default: PutU32(a, d[0]); for (int i = 0; i < 3; ++i) ::PutU16(a + 4 + 2 * i, w[i]);  // kFileInfo
  }
  return r;
}

// Makes the call over a host's area of `area.size()` bytes of 0xEE and checks what it
// returns, its error code and the area afterwards.
inline void CheckCall(const Call& c, const std::string& local, int result, uint32_t error, const Bytes& area) {
  Bytes got(area.size(), 0xEE);
  uint32_t e = 0xDEAD;
  EXPECT_EQ(Do(c, got.empty() ? nullptr : got.data(), local, &e), result);
  EXPECT_EQ(e, error) << std::hex << e;
  EXPECT_TRUE(got == area) << "the host's area differs";
}

// The local file at `path` holds `want`; nullopt: there is none.
inline void CheckLocal(const std::string& path, const std::optional<Bytes>& want) {
  std::optional<Bytes> got;
  if (std::filesystem::exists(path)) {
    std::ifstream in(path, std::ios::binary);
    got = Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  EXPECT_EQ(got, want);
}

}  // namespace testsupport
