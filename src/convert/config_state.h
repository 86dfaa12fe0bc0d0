// Conversion state taken from the instrument's configuration records, which the value
// formatting reads. Process-global, valid for the current conversion. Nothing in the
// library fills it yet: the configuration loader and the card-file conversion that will
// are still to be written (tests set it directly).
#pragma once

#include <cstdint>

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
