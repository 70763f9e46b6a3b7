// A short command and the device's immediate answer, during link start-up
// (cradle probing, modem dialogue), before the receive thread reads.
#pragma once

#include <windows.h>

constexpr int REPLY_CAPACITY = 101;   // bytes of a reply area, its NUL included

// Writes the command (WriteCommand, same limit), then with a reply area of
// REPLY_CAPACITY bytes waits timeLimit ms and reads what came within
// timeLimit ms more: NUL bytes ahead of the answer dropped, the rest
// NUL-terminated. 1, or 0 when the write failed or nothing came. With a
// null reply only the write is made.
int Transact(HANDLE port, const char* command, int length, DWORD timeLimit, char* reply);
