// The conversion log "KXLIB.LOG": a text file in the current directory, created when the
// debug level has DBG_LOGFILE, with a dump of each converted autotest and one line per
// converted item. Lines end in "\n". A read position in the exploded record is logged as
// its offset in the record ("%06x"). Written through the platform's files.
#pragma once

#include <cstdint>

#include "platform/files.h"

// The open log, or platform::kNoFile. Written only while DebugLevel has DBG_LOGFILE.
extern platform::FileHandle LogFile;

// The number of the record a save asks for next (the savers keep it; the record dump
// shows it minus one).
extern uint16_t SaveRecordNumber;

// True when the log is on and open.
bool LogOn();
// printf-style write to the log when it is on; otherwise nothing.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// printf-style write to `file` (nothing for platform::kNoFile). A failed write is not
// reported: the log is a debugging aid and never fails a save.
void FilePrintf(platform::FileHandle file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Creates (truncating) "KXLIB.LOG" in the current directory. Returns 1, or 0 when it
// cannot be created (the savers then report KXERR_READ_ONLY_FILE).
int16_t OpenConversionLog();
// Closes the log if it is open.
void CloseConversionLog();

// Offset of `position` in the exploded-autotest buffer of the workspace (0 when the
// position lies outside it): how the log shows a read position.
uint32_t ExplodedOffset(const uint8_t* position);

// Hexadecimal dump to `file`, 16 bytes a line:
//   "%6.6lx | " offset, the bytes as "%2.2x" separated by blanks, "| ", the same bytes as
//   characters (a blank for anything not printable), "\n"
// and "\n \n \n" after the last line. A last line with fewer than 16 bytes shows only
// those bytes, its hex column padded with blanks so the character column stays aligned.
void HexDump(platform::FileHandle file, const uint8_t* data, uint32_t length);

// The record dump at the start of each converted autotest (only with the log on):
// "Record Number: %d  \n" (SaveRecordNumber - 1 as a signed 16-bit value), the hex dump of
// the first `explodedLength` bytes of the exploded-autotest buffer (the length explode
// produced; at most the buffer), then "\n \n \n" and the column header of the
// conversion-log lines.
void DumpRecordStart(uint32_t explodedLength);
