// The port's line-settings calls (speed, frame, RTS and DTR, time-outs,
// queues), reached through one table. A pseudo-terminal cannot show RTS,
// so a test records the cradle's RTS order and the settings here.
#pragma once

#include <windows.h>

struct LineIo {
    BOOL (WINAPI* getCommState)(HANDLE port, LPDCB dcb);
    BOOL (WINAPI* setCommState)(HANDLE port, LPDCB dcb);
    BOOL (WINAPI* getCommTimeouts)(HANDLE port, LPCOMMTIMEOUTS timeouts);
    BOOL (WINAPI* setCommTimeouts)(HANDLE port, LPCOMMTIMEOUTS timeouts);
    BOOL (WINAPI* setupComm)(HANDLE port, DWORD inputQueue, DWORD outputQueue);
};
extern LineIo lineIo;
extern const LineIo PLATFORM_LINE_IO;   // the real calls, lineIo's default
