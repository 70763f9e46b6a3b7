// The line settings and time-outs each interface gives the port.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr DWORD SERIAL_QUEUE_SIZE = 1024;   // driver input and output queues
constexpr DWORD OPEN_PAUSE_MS = 100;        // before every open of the port

// Bits per second of a BaudIndex (0 = 115200 ... 4 = 9600); 115200 for an
// index out of range.
DWORD BaudRateOf(uint8_t baudIndex);

// The port time-outs of an interface kind.
COMMTIMEOUTS TimeoutsOf(uint8_t kind);
