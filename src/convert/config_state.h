// Conversion state taken from the instrument's configuration records, which the value
// formatting and the record trailer read. Process-global, valid for the current save:
// LoadInstrumentConfiguration (instrument_config.h) fills it from the instrument.
#pragma once

#include <cstdint>

// DATA_FORMAT record, 74 bytes (numbers little-endian):
//   0  char[16] copper format-definition file name, NUL-terminated ("KX0600.PDF")
//   16 char[16] copper print-format base name ("KX0500")
//   32 10 bytes not read by the conversion
//   42 char[16] fiber format-definition file name ("KY0600.PDF")
//   58 char[16] fiber print-format base name ("KY0500")
constexpr uint32_t kDataFormatSize = 74;
constexpr uint32_t kCopperFormatFileName = 0;
constexpr uint32_t kCopperPrintFormatName = 16;
constexpr uint32_t kFiberFormatFileName = 42;
constexpr uint32_t kFiberPrintFormatName = 58;
constexpr uint32_t kDataFormatNameSize = 16;
extern uint8_t DataFormatRecord[kDataFormatSize];

// USER_UPREF_RECORD, 82 bytes: the owner name, NUL-terminated, from byte 2; the user's
// language in byte 45. The other bytes are not read.
constexpr uint32_t kUserPrefSize = 82;
constexpr uint32_t kUserPrefOwnerName = 2;
constexpr uint32_t kUserPrefLanguage = 45;
extern uint8_t UserPrefRecord[kUserPrefSize];

// VERSION_INFO record: 24 bytes beginning with the instrument's software version text,
// for example "V06.11". All zero until a save has read it.
constexpr uint32_t kVersionInfoSize = 24;
extern char VersionInfo[kVersionInfoSize];

// The user's display language, byte 45 of the user-preference record: 0 English,
// 1 French, 2 German, 3 Italian, 4 Spanish, 5 Portuguese, 6 Japanese, 7 Simplified
// Chinese, 8 Traditional Chinese.
extern uint8_t LanguageIndex;

// The instrument's major software version: the decimal value of the two characters after
// the first character of VersionInfo ("V06.11" gives 6, "V4.x" gives 4). Reading stops at
// the first character that is not a digit, so an empty VersionInfo gives 0.
int InstrumentMajorVersion();

// True when the two version digits of VersionInfo (the characters after the first)
// compare byte-wise below `digits` (two characters, e.g. "06").
bool VersionDigitsBelow(const char* digits);

// Returns every global of the conversion subsystem (this state, the workspace,
// the data-file bookkeeping and the log) to its load value. Frees the workspace and
// closes the log file if they are open.
void ResetConvertState();
