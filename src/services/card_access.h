// The card access command: one card command as one request/reply exchange (KXAccessMMC).
//
// Request: the 10-byte message header with Class 14 (CLASS_DATABASE) and Type = the card
// command code, then the command's request block at offset 10 (no record header).
// Reply: the message header with the same Class and Type and Status 1 when the card
// operation completed; a 60-byte header of which only the u16 at message offset 12 is
// read (the response length L); the response's L bytes from message offset 70.
//
// The response begins with the card's own reply header (card/card_blocks.h), which the
// card calls judge; KXAccessMMC does not.
#pragma once

#include <cstdint>

// Card command codes (message Type).
constexpr uint16_t MMC_DIR_INFO = 11;
constexpr uint16_t MMC_DIR_LIST = 12;
constexpr uint16_t MMC_READ_FILE = 15;
constexpr uint16_t MMC_DELETE_FILE = 17;
constexpr uint16_t MMC_DELETE_DIR = 18;
constexpr uint16_t MMC_CARD_STATUS = 19;
constexpr uint16_t MMC_FILE_INFO = 21;
constexpr uint16_t MMC_FIRST_FILE = 27;
constexpr uint16_t MMC_NEXT_FILE = 28;
constexpr uint16_t MMC_CLOSE_FILE = 29;

constexpr int32_t kCardRetries = 60;             // the card may take its time
constexpr uint32_t kCardMessageBuffer = 0x10009; // a 65535-byte message and 10 spare bytes
constexpr uint32_t kCardLengthOffset = 12;       // response length in the reply
constexpr uint32_t kCardResponseOffset = 70;     // response bytes in the reply
constexpr int32_t kMaxCardRequest = 65535;       // request block bytes that fit the buffer
