// The record layout shared by the database services.
//
// A record message is the 10-byte message header, then a 60-byte RecordHeader, then the
// record's data from message offset 70 (little-endian words):
//   offset 10  RecordType    u16
//   offset 12  RecordLength  u16  request: 0xFFFF for autotest types in a by-key read,
//                                  the wanted size in a by-size read, the data length in
//                                  a write; reply: the record bytes that follow
//   offset 14  RecordNumber  u16  request: the number wanted; reply: the number delivered
//   offset 16  KeyMode       u16  search-key mode (only written with a key)
//   offset 18  KeyLength     u16  0 = no key, at most 48
//   offset 20  Key           50 bytes
#pragma once

#include <cstdint>

// Record types.
constexpr uint16_t VERSION_INFO = 131;
constexpr uint16_t DATA_FORMAT = 772;
constexpr uint16_t PDF_FORMAT_REC = 773;
constexpr uint16_t PTF_FORMAT_REC = 774;
constexpr uint16_t PDF_FIBER_FORMAT_REC = 776;
constexpr uint16_t PDF_COAX_FORMAT_REC = 777;
constexpr uint16_t PORT_SETTINGS_REC = 0x0402;
constexpr uint16_t COPPER_AUTOTEST_REC = 3841;
constexpr uint16_t KEYED_RECORD_3847 = 3847;
constexpr uint16_t USER_UPREF_RECORD = 3848;
constexpr uint16_t FIRST_LIMIT_REC = 3862;  // NEXT
constexpr uint16_t LAST_LIMIT_REC = 3870;   // PSELFEXT
constexpr uint16_t KEYED_RECORD_3873 = 3873;
constexpr uint16_t FIBER_AUTOTEST_REC = 3874;
constexpr uint16_t COAX_AUTOTEST_REC = 3877;

// Database operations (message Class 14).
constexpr uint16_t DB_DELETE_RECORD = 0;
constexpr uint16_t DB_WRITE_RECORD = 1;
constexpr uint16_t DB_READ_RECORD = 2;
constexpr uint16_t DB_UPDATE_RECORD = 3;
constexpr uint16_t DB_INFO = 4;
constexpr uint16_t DB_SERIAL_NUMBER = 5;

// Offsets within a record message.
constexpr uint32_t kOffClass = 0;
constexpr uint32_t kOffType = 2;
constexpr uint32_t kOffStatus = 4;
constexpr uint32_t kOffRecordType = 10;
constexpr uint32_t kOffRecordLength = 12;
constexpr uint32_t kOffRecordNumber = 14;
constexpr uint32_t kOffKeyMode = 16;
constexpr uint32_t kOffKeyLength = 18;
constexpr uint32_t kOffKey = 20;
constexpr uint32_t kRecordMessageHeader = 70;  // record data starts here
constexpr uint32_t kMaxKeyLength = 48;
constexpr uint32_t kRecordMessageBuffer = 65605;  // headers + the largest record (65535)

inline bool IsAutotestType(uint16_t type) {
  return type == COPPER_AUTOTEST_REC || type == FIBER_AUTOTEST_REC || type == COAX_AUTOTEST_REC;
}

// True when a reply message of `size` bytes at `m` is exactly the headers and the
// RecordLength bytes they declare (a card reply, whose response length sits in the same
// place, too). Callers apply it to replies with Status msOK, before taking anything out.
//
// A departure from the plain algorithm: a reply that disagrees with its own lengths is
// corrupt, never delivered, and handled as a failed exchange. Packets carry no sequence
// numbers, so a packet the instrument sends again after losing the host's acknowledgement
// is appended a second time and leaves the message longer than its header says; an
// instrument on a clean line always sends exactly what it declares, so nothing changes
// there. The savers' own collection of pipelined replies must apply this same check (a
// corrupt reply is a missed reply: the same record is asked for again).
bool RecordReplyAgrees(const uint8_t* m, uint32_t size);
