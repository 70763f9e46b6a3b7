// The typing thread of keyboard emulation.
#include "session/typing.h"

#include <atomic>
#include <cstring>

#include "core/session_state.h"
#include "errors/error_codes.h"
#include "session/keyboard.h"
#include "session/session_handle.h"

namespace {

// One record at a time: the terminal waits for its answer before it sends
// the next one. Written by the window's thread only while no thread runs.
struct TypingJob {
    uint8_t bytes[LINE_CAPACITY + 1];
    int count;
    HWND window;
    WPARAM serial;
    std::atomic<bool> stop;
    HANDLE thread;
};

TypingJob job{};
WPARAM lastSerial = 0;

DWORD WINAPI TypingThread(LPVOID)
{
    if (TypeRecord(job.bytes, job.count, &job.stop)) PostMessageA(job.window, MSG_RECORD_TYPED, job.serial, 0);
    return 0;
}

void ReleaseThread()
{
    if (!job.thread) return;
    WaitForSingleObject(job.thread, INFINITE);
    CloseHandle(job.thread);
    job.thread = nullptr;
}

}  // namespace

int StartTyping(const uint8_t* bytes, int count)
{
    StopTyping();
    if (count < 0 || count > static_cast<int>(sizeof job.bytes)) return ERR_THREAD_CREATE;
    std::memcpy(job.bytes, bytes, static_cast<size_t>(count));
    job.count = count;
    job.window = sessionWindow;
    job.serial = ++lastSerial;
    job.stop = false;
    job.thread = CreateThread(nullptr, 0, TypingThread, nullptr, 0, nullptr);
    return job.thread ? 1 : ERR_THREAD_CREATE;
}

bool TakeTypedRecord(WPARAM serial)
{
    if (!job.thread || serial != job.serial) return false;
    ReleaseThread();
    return true;
}

void StopTyping()
{
    job.stop = true;
    ReleaseThread();
}
