// A protocol command and the reply timer it arms.
#include "session/send_command.h"

#include "link/command.h"
#include "link/link_state.h"
#include "session/session_handle.h"

namespace {
constexpr DWORD WRITE_LIMIT_MS = 1000;   // a write still running then counts as sent
constexpr DWORD AFTER_WRITE_PAUSE_MS = 10;
}

unsigned SendCommand(const char* text, unsigned elapse, int length)
{
    if (!WriteCommand(linkState.port, text, length, WRITE_LIMIT_MS)) return 0;
    Sleep(AFTER_WRITE_PAUSE_MS);
    if (sessionWindow) SetTimer(sessionWindow, TIMER_REPLY, elapse, nullptr);
    return 1;
}
