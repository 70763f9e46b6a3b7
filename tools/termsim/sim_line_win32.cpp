// The line end on a COM port handle opened for overlapped I/O. Every request
// is finished (completed, or cancelled and waited for) before the call that
// made it returns, so the caller's buffer is never written late.
//
// The port has no time-outs (sim_port_win32.cpp): a read ends when all its
// bytes are there, the same on Windows and under Wine, whose reads with
// time-outs on a pseudo-terminal port stay pending past them. So a read asks
// for one byte, which ends it as soon as the host sends anything, and the
// wait is our own: at its end the read is cancelled and whatever it did
// transfer is still taken. What else has come is then read at once.
#include "sim_line.h"

#include <algorithm>
#include <windows.h>

namespace termsim {

struct LineEnd {
    HANDLE port = nullptr;
    HANDLE wake = nullptr;       // manual reset: set once, every wait gives up
    HANDLE readDone = nullptr;
    HANDLE writeDone = nullptr;
};

namespace {

// A read that came back at once with nothing (a port gone, or set to return
// at once) would make the caller's loop spin; this much of its wait is kept.
constexpr int64_t EMPTY_READ_PAUSE_MS = 10;
// Bytes already in the port's queue: their read ends at once, this is a bound.
constexpr int QUEUED_READ_MS = 100;

HANDLE NewEvent()
{
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void CloseEvent(HANDLE& event)
{
    if (event != nullptr)
        CloseHandle(event);
    event = nullptr;
}

bool Woken(const LineEnd* end)
{
    return WaitForSingleObject(end->wake, 0) == WAIT_OBJECT_0;
}

// Waits for the request on `done` or a wake-up, at most timeoutMs (-1: for
// ever); on a time-out or wake-up cancels it. Returns the bytes it moved.
DWORD Finish(LineEnd* end, OVERLAPPED& request, HANDLE done, int timeoutMs)
{
    const HANDLE waits[2] = {end->wake, done};
    const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (waited != WAIT_OBJECT_0 + 1)
        CancelIoEx(end->port, &request);
    DWORD moved = 0;
    GetOverlappedResult(end->port, &request, &moved, TRUE);  // cancelled: error 995, bytes kept
    return moved;
}

}  // namespace

LineEnd* OpenLineEnd(intptr_t native)
{
    auto* end = new LineEnd;
    end->port = reinterpret_cast<HANDLE>(native);
    end->wake = NewEvent();
    end->readDone = NewEvent();
    end->writeDone = NewEvent();
    if (end->wake == nullptr || end->readDone == nullptr || end->writeDone == nullptr) {
        CloseLineEnd(end);
        return nullptr;
    }
    return end;
}

void CloseLineEnd(LineEnd* end)
{
    if (end == nullptr)
        return;
    CloseEvent(end->wake);
    CloseEvent(end->readDone);
    CloseEvent(end->writeDone);
    delete end;
}

int ReadFromHost(LineEnd* end, char* buffer, size_t size, int timeoutMs)
{
    if (Woken(end))
        return -1;
    const int64_t started = MonotonicRawNs();
    OVERLAPPED request{};
    request.hEvent = end->readDone;
    ResetEvent(end->readDone);
    DWORD moved = 0;
    if (size > 0 && (ReadFile(end->port, buffer, 1, nullptr, &request) || GetLastError() == ERROR_IO_PENDING))
        moved = Finish(end, request, end->readDone, timeoutMs);
    if (moved > 0) {
        DWORD errors = 0;
        COMSTAT status{};
        const size_t room = size - 1;
        if (room > 0 && ClearCommError(end->port, &errors, &status) && status.cbInQue > 0) {
            const DWORD ask = static_cast<DWORD>(std::min<size_t>({status.cbInQue, room, 0x10000}));
            OVERLAPPED rest{};
            rest.hEvent = end->readDone;
            ResetEvent(end->readDone);
            if (ReadFile(end->port, buffer + 1, ask, nullptr, &rest) || GetLastError() == ERROR_IO_PENDING)
                moved += Finish(end, rest, end->readDone, QUEUED_READ_MS);
        }
        return static_cast<int>(moved);
    }
    // Nothing: a time-out (ERROR_TIMEOUT under Wine), a port that returned at
    // once, or a failed read (the port gone). One that came back at once
    // waits out a little of the time-out, so the caller's loop cannot spin.
    const int64_t spentMs = (MonotonicRawNs() - started) / 1000000;
    if (spentMs < EMPTY_READ_PAUSE_MS) {
        DWORD pause = static_cast<DWORD>(EMPTY_READ_PAUSE_MS - spentMs);
        if (timeoutMs >= 0 && static_cast<DWORD>(timeoutMs) < pause)
            pause = static_cast<DWORD>(timeoutMs);
        WaitForSingleObject(end->wake, pause);
    }
    return Woken(end) ? -1 : 0;
}

int WriteToHost(LineEnd* end, const char* bytes, size_t size)
{
    if (Woken(end))
        return -1;
    OVERLAPPED request{};
    request.hEvent = end->writeDone;
    ResetEvent(end->writeDone);
    const DWORD ask = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
    if (!WriteFile(end->port, bytes, ask, nullptr, &request) && GetLastError() != ERROR_IO_PENDING)
        return -1;
    const DWORD moved = Finish(end, request, end->writeDone, -1);
    return moved > 0 ? static_cast<int>(moved) : -1;
}

int HostLineSpeed(LineEnd* end)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(end->port, &dcb))
        return 0;
    return static_cast<int>(dcb.BaudRate);
}

void WakeLineEnd(LineEnd* end)
{
    SetEvent(end->wake);
}

int64_t MonotonicRawNs()
{
    // Wine runs the performance counter on CLOCK_MONOTONIC_RAW.
    static const int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const int64_t ticks = now.QuadPart;
    return ticks / frequency * 1000000000LL + ticks % frequency * 1000000000LL / frequency;
}

}  // namespace termsim
