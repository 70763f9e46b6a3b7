// The infrared cradle's start-up on an open COM port: find the speed the
// cradle answers at, then switch it to the configured speed.
#pragma once

#include <windows.h>

#include <cstdint>

// Probes the cradle at 9600, 115200, 38400, 57600 and 19200 bit/s, then
// sends it the speed change to baudIndex (a BaudIndex). 1 when it
// answered and the port now runs at the configured speed with RTS high,
// the plain serial time-outs and 1024-byte queues; 0 when no speed answered
// (the port is left at the last probe's settings). The port must be open
// with both records of linkState ready; its settings live in linkState.dcb.
int InitIrCradle(HANDLE port, uint8_t baudIndex);

// One probe at speed (bit/s), addressed with RTS low: 1 when the cradle
// answered 0x0F (after any NUL bytes). RTS is raised again after any
// answer, and stays low after silence.
int ProbeIrCradle(HANDLE port, DWORD speed);
