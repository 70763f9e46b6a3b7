// The port's line settings: the calls that make them (speed, frame, RTS and
// DTR, time-outs, queues), reached through one table, and the values every
// link kind on a COM port shares. A pseudo-terminal cannot show RTS, so a
// test records the cradle's RTS order and the settings here.
#pragma once

#include <windows.h>

#include <cstdint>

struct LineIo {
    BOOL (WINAPI* getCommState)(HANDLE port, LPDCB dcb);
    BOOL (WINAPI* setCommState)(HANDLE port, LPDCB dcb);
    BOOL (WINAPI* getCommTimeouts)(HANDLE port, LPCOMMTIMEOUTS timeouts);
    BOOL (WINAPI* setCommTimeouts)(HANDLE port, LPCOMMTIMEOUTS timeouts);
    BOOL (WINAPI* setupComm)(HANDLE port, DWORD inputQueue, DWORD outputQueue);
};
// Written only by tests, which swap it and put PLATFORM_LINE_IO back.
extern LineIo lineIo;
extern const LineIo PLATFORM_LINE_IO;   // the real calls, lineIo's default

constexpr DWORD SERIAL_QUEUE_SIZE = 1024;   // driver input and output queues

// Bits per second of a BaudIndex (0 = 115200 ... 4 = 9600); 115200 for an
// index out of range.
DWORD BaudRateOf(uint8_t baudIndex);

// 8 data bits, no parity, one stop bit, no flow control: the only frame the
// terminals and the cradle speak. The other members of dcb are kept.
void SetFrame8N1(DCB& dcb);

// The port time-outs: a read returns with what has arrived, after waiting up
// to firstByteWaitMs for a first byte (0: at once).
COMMTIMEOUTS TimeoutsOf(DWORD firstByteWaitMs);
