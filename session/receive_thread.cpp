// The receive thread only does I/O: it reads the port in short windows and
// hands every chunk to the session window, whose thread runs the protocol.
#include "session/receive_thread.h"

#include <cstring>

#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "session/session_handle.h"

namespace {

constexpr DWORD READ_SIZE = 1024;
constexpr DWORD EXIT_ENDED = 2255;        // the thread stopped as intended
constexpr DWORD EXIT_READ_REFUSED = 0;    // a read could not be started
constexpr DWORD START_WAIT_MS = 5;
constexpr DWORD START_PAUSE_MS = 10;
constexpr DWORD STOP_POLL_MS = 50;

// Reading begins only after the first command of this opening has gone out
// (or an earlier start-up write did), so nothing the terminal sends before
// it is asked is taken for an answer.
bool WaitForFirstWrite()
{
    while (linkState.receiveRunning) {
        if (linkWriteDone) return true;
        SleepEx(START_WAIT_MS, TRUE);
        if (linkWriteDone) return true;
        Sleep(START_PAUSE_MS);
    }
    return false;
}

// Hands a chunk to the protocol on the window's thread and waits for its
// verdict: 1 go on, 0 complete, negative the failure.
LRESULT HandOver(char* bytes, DWORD count)
{
    if (!IsWindow(sessionWindow)) return 1;
    return SendMessageA(sessionWindow, MSG_BYTES_RECEIVED, count, reinterpret_cast<LPARAM>(bytes));
}

void ReportEnd(LRESULT verdict)
{
    linkState.receiveRunning = 0;
    if (verdict == 0)
        PostMessageA(sessionWindow, WM_COMMAND, IDOK, 0);
    else
        PostMessageA(sessionWindow, MSG_SESSION_ERROR, static_cast<WPARAM>(verdict), 0);
}

// The kind's read window is also the pause between reads: a modem
// delivers in bursts after long silences, a plain link is read often.
DWORD WINAPI ReceiveThread(LPVOID kindEntry)
{
    const LinkKind& kind = *static_cast<const LinkKind*>(kindEntry);
    HANDLE port = linkState.port;
    char buffer[READ_SIZE + 1] = {};
    // Whatever came before the thread ran is no answer to this session.
    PurgeComm(port, PURGE_RXCLEAR);

    if (WaitForFirstWrite()) {
        while (linkState.receiveRunning) {
            const DWORD window = kind.readWindowMs;
            std::memset(buffer, 0, sizeof buffer);
            Sleep(window);
            if (!linkState.receiveRunning) break;

            DWORD count = 0;
            int status = ReadBounded(port, &linkState.readOverlapped, buffer, READ_SIZE, window, &count);
            if (status == IO_START_FAILED) return EXIT_READ_REFUSED;
            if (status == IO_FAILED) {
                linkState.receiveRunning = 0;
                break;
            }
            // Bytes read while stopping are handed over too: after a
            // hang-up they may hold the end of the transfer.
            const bool stopping = !linkState.receiveRunning;
            if (count > 0) {
                LRESULT verdict = HandOver(buffer, count);
                if (verdict <= 0 && !stopping) ReportEnd(verdict);
            } else if (kind.emptyReadPauseMs > 0) {
                Sleep(kind.emptyReadPauseMs);
            }
        }
    }
    // No read is left pending (ReadBounded sees to it), and what is waiting
    // stays: after a hang-up it may be the end of the transfer (Wine
    // empties the input on PURGE_RXABORT).
    PurgeComm(port, PURGE_TXABORT);
    return EXIT_ENDED;
}

}  // namespace

int StartReceiveThread(const LinkKind& kind)
{
    // One thread per opening; a leftover one is ended first.
    if (linkState.receiveThread) StopReceiveThread();
    linkState.receiveRunning = 1;
    // The entry is a constant of static storage: the thread may keep it.
    linkState.receiveThread =
        CreateThread(nullptr, 0, ReceiveThread, const_cast<LinkKind*>(&kind), CREATE_SUSPENDED, nullptr);
    if (!linkState.receiveThread) {
        linkState.receiveRunning = 0;
        return ERR_THREAD_CREATE;
    }
    SetThreadPriority(linkState.receiveThread, THREAD_PRIORITY_NORMAL);
    return 1;
}

void StopReceiveThread()
{
    linkState.receiveRunning = 0;
    HANDLE thread = linkState.receiveThread;
    if (thread) {
        if (linkState.port) CancelIoEx(linkState.port, &linkState.readOverlapped);
        // A thread created suspended and never resumed still has to run to
        // its end; once running, it finds the flag cleared.
        DWORD previous;
        do {
            previous = ResumeThread(thread);
        } while (previous != static_cast<DWORD>(-1) && previous > 1);

        // The thread may be handing bytes over by SendMessage meanwhile:
        // answer those while waiting, or both threads would wait forever.
        for (;;) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, STOP_POLL_MS, QS_SENDMESSAGE);
            if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) break;
            // A read started just after the cancel above ends at its own
            // window anyway; cancelling again only ends it sooner.
            if (woken == WAIT_TIMEOUT && linkState.port) CancelIoEx(linkState.port, &linkState.readOverlapped);
        }
        CloseHandle(thread);
        linkState.receiveThread = nullptr;
    }
}
