// The library's error codes and their fixed English texts.
#include "session/errors.h"

#include "platform/platform.h"

// The system codes the platform layer reports are the ones the public header names.
static_assert(platform::kErrorFileNotFound == KXERR_SYS_FILE_NOT_FOUND);
static_assert(platform::kErrorAccessDenied == KXERR_SYS_ACCESS_DENIED);
static_assert(platform::kErrorNotEnoughMemory == KXERR_SYS_NOT_ENOUGH_MEMORY);
static_assert(platform::kErrorGenFailure == KXERR_SYS_GEN_FAILURE);
static_assert(platform::kErrorDiskFull == KXERR_SYS_DISK_FULL);

namespace {

struct ErrorRow {
  uint32_t code;
  const char* text;
};

// Searched from the start; the row with code 0 ends the table and is the answer for
// every code that has no row of its own.
constexpr ErrorRow ErrorTable[] = {
    {0x20000000, "Unable to allocate memory"},
    {0x20000001, "Invalid port or file handle"},
    {0x20000002, "There is no current autotest data"},
    {0x20000003, "Transmit timeout"},
    {0x20000004, "Characters outside of data packet"},
    {0x20000005, "Invalid Autotest index"},
    {0x20000006, "Invalid/unknown response type"},
    {0x20000007, "Unable to open TrivoScanner configuration file"},
    {0x20000008, "Unable to allocate configuration storage"},
    {0x20000009, "Unable to allocate decompression buffer"},
    {0x2000000A, "Unable to allocate input buffer"},
    {0x2000000B, "Invalid function"},
    {0x2000000C, "Invalid configuration file revision"},
    {0x2000000D, "Report template File Missing"},
    {0x2000000E, "TrivoScanner software Version 4.20 or later is required for this function"},
    {0x2000000F, "File not found"},
    {0x20000010, "Invalid data file"},
    {0x20000011, "Attempted to write to a read-only file"},
    {0x20000012, "No Scanner found"},
    {0x20000013, "Error loading Autotest"},
    {0x20000014, "Error writing to file"},
    {0x20000015, "Insufficient space on specified Disk to complete operation."},
    {0x20000016, "Maximum number of files open"},
    {0x20000017, "Unable to connect to Scanner"},
    {0x20000018, "Operation canceled by user"},
    {0x20000019, "CSV file may be corrupt - line too long"},
    {0x2000001A, "Output file record too large"},
    {0x2000001B, "Unknown source file type - Cannot convert"},
    {0x2000001C, "Scanner Version may not be compatible"},
    {0x2000001D, "Record not found in Scanner"},
    {0x2000001E, "Unknown error communicating with Scanner"},
    {0x2000001F, "Excessive Comm errors communicating with Scanner.Try Reducing Baud Rate."},
    {0x20000020, "Invalid Data File Version."},
    {0x20000021, "Cannot export Graph Data from this Autotest."},
    {0x20000022, "Unable to allocate index buffer"},
    {0x20000023, "Selected Com Port is unavailable"},
    {0x20000024, "Selected Com Port is in use by another application"},
    {0x20000025, "Maximum records exceeded. Cannot append to current file."},
    {0x20000026, "Invalid Memory Handle."},
    {0x20000027, "Internal DLL Memory error."},
    {0x20000028, "Unable to Open CSV File."},
    {0x20000029, "No Graph Data saved in current Autotest."},
    {0x2000002A, "USB communication has stalled on current scanner. Unplug and re-connect to reset."},
    {0x2000002B, "Timed out waiting for response from scanner."},
    {0x200003E9, "The hardware detected a break condition."},
    {0x200003EA, "CTS (clear-to-send) timeout."},
    {0x200003EB, "DSR (data-set-ready) timeout."},
    {0x200003EC, "Hardware detected a framing error."},
    {0x200003ED, "Requested mode is not supported"},
    {0x200003EF, "Character was not read from the hardware before the next character arrived."},
    {0x200003F0, "RLSD (receive-line-signal-detect) timeout."},
    {0x200003F1, "Receiving queue overflowed."},
    {0x200003F2, "The hardware detected a parity error."},
    {0x200003F3, "Transmission queue was full."},
    {0x200003F4, "The device identifier is invalid or unsupported."},
    {0x200003F5, "The device's baud rate is unsupported."},
    {0x200003F6, "The specified byte size is invalid."},
    {0x200003F7, "The default parameters are in error."},
    {0x200003F8, "The hardware is not available"},
    {0x200003F9, "The function cannot allocate the queues."},
    {0x200003FA, "The device is not open."},
    {0x200003FB, "The device is already open."},
    {0x200003E8, "Unknown communication error"},
    {0x200107D1, "Unable to open communication port:"},
    {0x200107D2, "Unable to allocate memory."},
    {0x200107D3, "Message Failure."},
    {0x200107D4, "Wrong Data ID returned."},
    {0x200107D5, "Operation aborted by user!"},
    {0x200107D6, "Error while attempting to retrieve main unit serial number. "},
    {0x200107D7, "Unknown Autotest failure has occured while attempting remote control."},
    {0x20010001, "Can not run this test on Coax."},
    {0x20010002, "NVP calculation failure."},
    {0x20010003, "SET REFERENCE is required."},
    {0x20010004, "Unable to locate VEXARemote unit."},
    {0x20010005, "Invalid cable for SET REFERENCE"},
    {0x20010006, "Invalid Wiremap for SET REFERENCE"},
    {0x20010007, "Unknown VEXARemote Error"},
    {0x20010008, "VEXARemote battery is low."},
    {0x20010009, "Scanner adapter is invalid for requested test or cable."},
    {0x2001000A, "Lost communication with VEXARemote"},
    {0x2001000B, "Invalid wiremap test aborted!"},
    {0x2001000D, "Incompatible VEXARemote Software version."},
    {0x2001000E, "Unexpected option error."},
    {0x2001000F, "Shielded cable selected. Currently attached patch cable is unshielded!"},
    {0x20010010, "Invalid single ended test configuration."},
    {0x2001001E, "Autotest name is not unique"},
    {0x20010019, "Missing Scanner configuration record."},
    {0x2001001F, "Out of memory space to store Autotests."},
    {0, "Unknown Internal Error"},
};

struct WinErrorRow {
  uint32_t windowsError;
  uint32_t libraryCode;
};

// Windows-style system error → library code; the end row's code is never returned.
constexpr WinErrorRow WinErrorMap[] = {
    {2, 0x20000023},  // ERROR_FILE_NOT_FOUND: Selected Com Port is unavailable
    {5, 0x20000024},  // ERROR_ACCESS_DENIED: Selected Com Port is in use by another application
    {0, 0x200003E8},
};

}  // namespace

extern "C" KXAPI const char* KXAPI_CALL pxErrorMsg(uint32_t code) {
  const ErrorRow* row = ErrorTable;
  while (row->code != 0 && row->code != code) ++row;
  return row->text;
}

uint32_t MapWinError(uint32_t windowsError) {
  for (const WinErrorRow* row = WinErrorMap; row->windowsError != 0; ++row) {
    if (row->windowsError == windowsError) return row->libraryCode;
  }
  return windowsError;
}
