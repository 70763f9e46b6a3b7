// The simulator's end of the serial line: the only place where the terminal
// simulator touches the platform. Two implementations, chosen by linking:
// sim_line_posix.cpp (a descriptor, normally the master of a pseudo-terminal)
// and sim_line_win32.cpp (a COM port handle opened for overlapped I/O).
//
// One thread reads and writes; WakeLineEnd may be called from any thread and
// makes every wait of that thread give up until the end is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace termsim {

struct LineEnd;

// Takes over no ownership: the descriptor or handle stays the caller's and
// must outlive the end. Returns null on failure.
LineEnd* OpenLineEnd(intptr_t native);
void CloseLineEnd(LineEnd* end);

// Waits up to timeoutMs (-1: for ever) for bytes from the host and reads what
// is there. Returns the count read; 0 on time-out or while nobody holds the
// host's side open; -1 once woken.
int ReadFromHost(LineEnd* end, char* buffer, size_t size, int timeoutMs);
// Writes some of the bytes, waiting while the line cannot take them. Returns
// the count written (at least 1), or -1 once woken or on failure.
int WriteToHost(LineEnd* end, const char* bytes, size_t size);
// Bit rate the host has set on its port; 0 when unknown.
int HostLineSpeed(LineEnd* end);
// Makes the waits above return -1, now and later.
void WakeLineEnd(LineEnd* end);

// Nanoseconds of CLOCK_MONOTONIC_RAW (the clock behind Wine's performance
// counter, so the simulator's stamps compare with a Wine program's).
int64_t MonotonicRawNs();

// ---- The POSIX build only (sim_line_posix.cpp) ----

// A pseudo-terminal pair in raw mode. The slave stays open for the life of
// the pair so the master never sees a hang-up when Wine closes the port.
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string slavePath;  // /dev/pts/N
};
// Returns 0 on success, -1 (errno set) on failure.
int OpenPtyPair(PtyPair& pair);
void ClosePtyPair(PtyPair& pair);

// Bit rate set on a terminal device (cfgetispeed), e.g. 115200; 0 when unknown.
int LineSpeed(int fd);

}  // namespace termsim
