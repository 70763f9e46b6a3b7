#include "link/overlapped_io.h"

std::atomic<int32_t> linkWriteDone{0};

void ForgetLinkWrites()
{
    linkWriteDone = 0;
}
const SerialIo PLATFORM_SERIAL_IO = {.readFile = ReadFile, .writeFile = WriteFile, .clearCommError = ClearCommError};
SerialIo serialIo = PLATFORM_SERIAL_IO;

namespace {

// A request that ended with one of these did not fail: the port's time-out
// expired (an empty read on Wine) or the request was cancelled, by us at its
// limit or by the receive thread's stop. Its byte count still stands.
bool IsBenignEnd(DWORD error)
{
    return error == ERROR_TIMEOUT || error == ERROR_OPERATION_ABORTED;
}

// A port set to abort on errors refuses every request after a framing,
// overrun or parity error until the error is cleared. True when there was
// one (now cleared), so the request may go on.
bool ClearedLineError(HANDLE port)
{
    DWORD errors = 0;
    return serialIo.clearCommError(port, &errors, nullptr) && errors != 0;
}

void PrepareRecord(OVERLAPPED* record)
{
    HANDLE event = record->hEvent;
    ZeroMemory(record, sizeof *record);
    record->hEvent = event;
}

// Waits for a pending request on record until limit ms after start (a
// GetTickCount value). Blocks on the record's event instead of polling, so a
// transfer costs no processor time while it waits.
int FinishPending(HANDLE port, OVERLAPPED* record, DWORD start, DWORD limit, DWORD* transferred)
{
    HANDLE signal = record->hEvent ? record->hEvent : port;
    for (;;) {
        DWORD count = 0;
        if (GetOverlappedResult(port, record, &count, FALSE)) {
            *transferred = count;
            return IO_DONE;
        }
        DWORD error = GetLastError();
        if (error != ERROR_IO_INCOMPLETE) {
            *transferred = count;
            return IsBenignEnd(error) ? IO_DONE : IO_FAILED;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed > limit) break;
        // The auto-reset event is consumed here; the result is taken from
        // the record above, which does not need it.
        if (WaitForSingleObject(signal, limit - elapsed + 1) == WAIT_FAILED) break;
    }
    // Past the limit: stop the request and wait until the system is done
    // with the record and buffer. What it moved before the stop is kept.
    CancelIoEx(port, record);
    DWORD count = 0;
    if (!GetOverlappedResult(port, record, &count, TRUE)) {
        DWORD error = GetLastError();
        if (!IsBenignEnd(error)) {
            *transferred = count;
            return IO_FAILED;
        }
    }
    *transferred = count;
    return IO_DONE;
}

}  // namespace

int ReadBounded(HANDLE port, OVERLAPPED* record, void* buffer, DWORD size, DWORD limit,
                DWORD* transferred)
{
    *transferred = 0;
    PrepareRecord(record);
    DWORD start = GetTickCount();
    if (!serialIo.readFile(port, buffer, size, nullptr, record)) {
        DWORD error = GetLastError();
        if (error == ERROR_TIMEOUT) return IO_DONE;
        if (error != ERROR_IO_PENDING) return ClearedLineError(port) ? IO_DONE : IO_START_FAILED;
    }
    // Completed at once or pending: either way the count comes from the record.
    const int status = FinishPending(port, record, start, limit, transferred);
    if (status == IO_FAILED && ClearedLineError(port)) return IO_DONE;
    return status;
}

int WriteBounded(HANDLE port, OVERLAPPED* record, const void* bytes, DWORD size, DWORD limit)
{
    DWORD start = GetTickCount();
    int status = IO_START_FAILED;
    for (int attempt = 0; attempt < 2 && status != IO_DONE; ++attempt) {
        PrepareRecord(record);
        if (!serialIo.writeFile(port, bytes, size, nullptr, record) && GetLastError() != ERROR_IO_PENDING) {
            status = IO_START_FAILED;
        } else {
            DWORD written = 0;
            status = FinishPending(port, record, start, limit, &written);
        }
        if (status != IO_DONE && !ClearedLineError(port)) break;
    }
    if (status == IO_DONE) linkWriteDone = 1;
    return status;
}
