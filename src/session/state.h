// The session's process-global state: one set per loaded library, no session object.
// Every layer reads and writes these directly; the link's port handle lives with the
// serial driver (link/serial_port.h) and the selected transport with the transport table
// (link/transport.h).
#pragma once

#include <atomic>
#include <cstdint>

// OpenDeviceType without a transport (the load value). The codes of the transports are
// those of their entries in the transport table (link/transport.h).
constexpr uint32_t DEVICE_NONE = 0;

// DebugLevel bits.
constexpr uint16_t DBG_TRACE = 0x0001;    // trace lines to the trace sink
constexpr uint16_t DBG_LOGFILE = 0x0002;  // the savers write "KXLIB.LOG"

extern uint32_t UseCount;                        // 1 while a session is open
extern uint32_t OpenDeviceType;                  // the device type of the selected transport
extern std::atomic<uint32_t> CancelRequested;    // set by KXCancel, from any thread
extern uint8_t SendOnlyMode;                     // packets are not acknowledged-waited
extern uint32_t ResendAllowed;
extern uint16_t DebugLevel;
extern uint32_t CommErrorCount;                  // serial NAKs and time-outs
extern uint32_t RefusedFrameCount;               // received frames answered with NAK
extern uint32_t UsbSendErrorCount;
extern uint32_t UsbReceiveErrorCount;
extern uint32_t LastError;                       // last internal failure; only traced
extern uint32_t LastUsbStatus;
extern uint32_t SyncDepth;                       // re-entry guard of KXSync
extern uint32_t FlushDepth;                      // re-entry guard of the USB flush (none yet)
extern char UsbDevicePath[256];
extern char ConnectedSerial[256];

// Returns this set of globals to its load values. Called at load; ResetLibraryForTests
// (exports/entry.h) calls it with the resets of the other layers' state.
void ResetLibraryState();
