// The line settings and time-outs each interface gives the port.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr DWORD SERIAL_QUEUE_SIZE = 1024;   // driver input and output queues
constexpr DWORD OPEN_PAUSE_MS = 100;        // before every open of the port

// Opens "\\.\COM<n>" of the settings for overlapped I/O with both events of
// linkState, and prepares it for the interface (the cradle is found first).
// The cradle's wait panel belongs to owner. 1; ERR_PORT_ABSENT for a port
// the system does not know (tried again later), ERR_PORT_OPEN for one it
// knows but refuses, ERR_IR_DEVICE.
int OpenSerialPort(HWND owner);

// Gives the port the line settings and time-outs of the interface kind.
// 1; ERR_CONNECTION (port untouched) when a telephony handle is not a
// character device.
int ConfigureSerialPort(HANDLE port, uint8_t kind);

// Bits per second of a BaudIndex (0 = 115200 ... 4 = 9600); 115200 for an
// index out of range.
DWORD BaudRateOf(uint8_t baudIndex);

// The port time-outs of an interface kind.
COMMTIMEOUTS TimeoutsOf(uint8_t kind);
