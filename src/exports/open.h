// Opening and closing the session. These procedures sit above the services: the serial
// open exchanges the port-settings record with the instrument.
#pragma once

#include <cstdint>

// Opens the serial session: break and port-settings exchange at 9600, then the port at
// `baud`. Sets UseCount and selects the serial transport on success, *error on failure.
int16_t OpenSerialSession(const char* portName, const char* baud, uint32_t* error);

// Opens the USB session with the instrument whose serial number is `serial`, trying each
// instrument the enumerator finds. An empty serial number fails with *error 0; none
// matching gives KXERR_NO_SCANNER, or a code set on the way.
int16_t OpenUsbSessionBySerial(const char* serial, uint32_t* error);
