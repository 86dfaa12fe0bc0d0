// Opening and closing the session. These procedures sit above the services: the serial
// open exchanges the port-settings record with the instrument.
#pragma once

#include <cstdint>

// Opens the serial session: break and port-settings exchange at 9600, then the port at
// `baud`. Sets UseCount and selects the serial transport on success, *error on failure.
int16_t OpenSerialSession(const char* portName, const char* baud, uint32_t* error);
