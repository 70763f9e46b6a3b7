// Bounded overlapped reads and writes on the link's port.
//
// Every request started here is finished here: one still running at its
// time limit is cancelled and waited for, so the record and the buffer can
// be reused or released as soon as the call returns. Bytes a cancelled read
// did move are still reported (Wine gives them with ERROR_OPERATION_ABORTED).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

enum IoStatus : int {
    IO_START_FAILED = -1,   // ReadFile/WriteFile refused the request
    IO_FAILED = 0,          // the request ran and ended in an error
    IO_DONE = 1,            // completed, or stopped at the time limit; see *transferred
};

// Reads up to size bytes within limit ms. An empty read (nothing arrived,
// or the port's own read time-out) is IO_DONE with 0 bytes. A line error the
// port reports (framing, overrun, parity, break) is cleared and also gives
// an empty read: the record it hit fails its checksum and is sent again.
int ReadBounded(HANDLE port, OVERLAPPED* record, void* buffer, DWORD size, DWORD limit,
                DWORD* transferred);

// Writes size bytes within limit ms. A write still running at the limit is
// cancelled and counts as done, as a write the port timed out does. A write
// refused for a pending line error is tried once more after clearing it.
int WriteBounded(HANDLE port, OVERLAPPED* record, const void* bytes, DWORD size, DWORD limit);

// The port calls of the bounded reads and writes, reached through one table
// so a test can make the port report line errors.
struct SerialIo {
    BOOL (WINAPI* readFile)(HANDLE port, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED record);
    BOOL (WINAPI* writeFile)(HANDLE port, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED record);
    BOOL (WINAPI* clearCommError)(HANDLE port, LPDWORD errors, LPCOMSTAT status);
};
// Written only by tests, which swap it and put PLATFORM_SERIAL_IO back.
extern SerialIo serialIo;
extern const SerialIo PLATFORM_SERIAL_IO;   // the real calls, serialIo's default

// Whether a write of this link opening has gone out (or counted as done):
// the receive thread starts reading only once it is set. The write event
// itself cannot tell it, since the writer's own wait consumes that
// auto-reset signal. One writer per transition, both on the window's thread:
// WriteBounded sets it (start-up dialogues count, as does "READ\r"), and
// ForgetLinkWrites clears it when the session opens a link, before any
// write of that opening. The receive thread only reads it.
extern std::atomic<int32_t> linkWriteDone;

// A new link opening: no write of it has gone out yet.
void ForgetLinkWrites();
