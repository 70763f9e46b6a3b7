// Writes a protocol command to the terminal and arms the reply timer.
// Runs on the session window's thread only, so one write at a time.
#include <cstring>

#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "session/session_window.h"

namespace {
constexpr DWORD WRITE_LIMIT_MS = 1000;   // a write still running then counts as sent
constexpr DWORD AFTER_WRITE_PAUSE_MS = 10;
}

unsigned SendCommand(const char* text, unsigned elapse, int length)
{
    if (length < 1 || length > MAX_COMMAND_LENGTH) return 0;
    HANDLE port = linkState.port;
    // Output not yet sent belongs to a command that has been given up.
    PurgeComm(port, PURGE_TXCLEAR);
    std::memmove(linkState.lastCommand, text, length);   // text may be lastCommand itself
    linkState.lastCommand[length] = '\0';
    std::memcpy(linkState.writeBuffer, text, length);

    if (WriteBounded(port, &linkState.writeOverlapped, linkState.writeBuffer, length, WRITE_LIMIT_MS) != IO_DONE)
        return 0;
    Sleep(AFTER_WRITE_PAUSE_MS);
    // Replaces a reply timer that is still armed.
    if (sessionWindow) SetTimer(sessionWindow, TIMER_REPLY, elapse, nullptr);
    return 1;
}
