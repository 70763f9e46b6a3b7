// The receive thread: reads the port in short windows and hands what
// arrives to the session window, where the protocol runs.
#pragma once

#include <windows.h>

#include <cstdint>

// 1 when the thread exists (suspended), ERR_THREAD_CREATE otherwise.
int StartReceiveThread();
DWORD WINAPI ReceiveThread(LPVOID unused);
// Stops the thread (resuming it first if it never ran) and waits for it,
// letting the window's thread answer what the thread sends meanwhile.
void StopReceiveThread();
// Milliseconds of one read cycle for an InterfaceKind: 250 on the modems, 30 otherwise.
DWORD ReadWindowOf(uint8_t kind);
