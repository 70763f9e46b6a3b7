// The session window: opens the link, asks the terminal for its records,
// shows progress, repeats what the terminal did not answer, waits for an
// absent port, and completes, aborts or (keep-online) restarts the session.
#include "core/settings.h"
#include "session/session_window.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "core/line_builder.h"
#include "core/protocol.h"
#include "core/session_state.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "res/program_instance.h"
#include "res/resource.h"
#include "session/output_file.h"
#include "session/receive_thread.h"
#include "session/send_command.h"
#include "session/session_io.h"
#include "session/session_link.h"
#include "session/typing.h"

HWND sessionWindow = nullptr;

namespace {

constexpr UINT ANIMATE_FIRST_MS = 10;
constexpr UINT ANIMATE_STEP_MS = 1000;
constexpr DWORD RESTART_PAUSE_MS = 1000;
constexpr DWORD CONNECTED_PAUSE_MS = 1000;
constexpr int MARKS_LIMIT = 5;
constexpr int READ_LENGTH = sizeof READ_COMMAND - 1;
constexpr DWORD LEFTOVER_READ_MS = 30;
constexpr int LEFTOVER_READS = 8;

enum BeginKind { BEGIN_OPENING, BEGIN_AFTER_COMPLETION, BEGIN_AFTER_TIMEOUT };

// What one session window keeps between its messages; cleared when the
// window opens.
struct SessionWindowState {
    // Whether the protocol saw the end of a transfer. Only then is an IDOK a
    // completion: the dialog manager also sends IDOK for the Enter key.
    bool transferComplete;
    // A minimise asked for before the window was on screen.
    bool minimisePending;
    // The window the user worked in before the session window came up: in
    // keyboard emulation the records are meant for it.
    HWND windowBeforeSession;
    // While an ended call's receive thread stops, what it read last is kept
    // here instead of going to the protocol.
    bool keepingLastBytes;
    std::string lastBytes;
};

SessionWindowState windowState{};

WPARAM CodeParam(int code)
{
    return static_cast<WPARAM>(static_cast<INT_PTR>(code));
}

void FailSession(HWND window, int code)
{
    SendMessageA(window, MSG_SESSION_ERROR, CodeParam(code), 0);
}

void StopAllTimers(HWND window)
{
    KillTimer(window, TIMER_ANIMATE);
    KillTimer(window, TIMER_REPLY);
    KillTimer(window, TIMER_RETRY);
}

void ShowPortAbsentIcon(HWND window, bool visible)
{
    ShowWindow(GetDlgItem(window, IDC_PORT_ABSENT_ICON), visible ? SW_SHOW : SW_HIDE);
}

void WaitForPort(HWND window)
{
    ShowPortAbsentIcon(window, true);
    SetDlgItemTextA(window, IDC_STATUS, "COM port is not available!");
    SetTimer(window, TIMER_ANIMATE, PollInterval() / 4, nullptr);
    SetTimer(window, TIMER_RETRY, PollInterval(), nullptr);
}

void RequestMinimise(HWND window)
{
    windowState.minimisePending = true;
    if (IsWindowVisible(window)) PostMessageA(window, MSG_MINIMISE, 0, 0);
}

// Minimises the window out of the way of the typed records. Windows hands
// the activation to the next window by itself; where the minimised window
// stays active (Wine without a window manager), the keystrokes would reach
// our own Abort button, so the activation goes back to where it was.
void MinimiseOutOfTheWay(HWND window)
{
    windowState.minimisePending = false;
    ShowWindow(window, SW_MINIMIZE);
    if (GetForegroundWindow() != window) return;
    HWND previous = windowState.windowBeforeSession;
    if (!previous || previous == window || !IsWindow(previous) || !IsWindowVisible(previous)) return;
    SetForegroundWindow(previous);
}

// The common start of a session. Returns the dialog procedure's result.
INT_PTR BeginSession(HWND window, BeginKind kind)
{
    if (kind == BEGIN_AFTER_COMPLETION) Sleep(RESTART_PAUSE_MS);
    windowState.transferComplete = false;

    const int opened = OpenLink(window);
    if (opened != 1) {
        CloseLink();
        if (opened == ERR_PORT_ABSENT) {
            WaitForPort(window);
            return FALSE;
        }
        KillTimer(window, TIMER_RETRY);
        ReportError(window, opened);
        EndDialog(window, SESSION_END);
        return FALSE;
    }

    ShowPortAbsentIcon(window, false);
    KillTimer(window, TIMER_RETRY);
    if (SessionLinkKind().connectedAtOpen) {
        if (!SendCommand(READ_COMMAND, PollInterval(), READ_LENGTH)) {
            FailSession(window, ERR_PORT_WRITE);
            return FALSE;
        }
    }

    SetTimer(window, TIMER_ANIMATE, kind == BEGIN_AFTER_TIMEOUT ? ANIMATE_STEP_MS : ANIMATE_FIRST_MS, nullptr);
    if (settings.saveMode == KEYBOARD_EMULATION) {
        if (kind == BEGIN_OPENING) RequestMinimise(window);
        if (kind == BEGIN_AFTER_COMPLETION) SetActiveWindow(GetWindow(window, GW_HWNDNEXT));
    }
    return kind == BEGIN_OPENING ? TRUE : FALSE;
}

// WM_INITDIALOG and MSG_REOPEN.
INT_PTR OnOpen(HWND window)
{
    const HWND foreground = GetForegroundWindow();
    if (foreground != window) windowState.windowBeforeSession = foreground;
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(programIcon));
    SetWindowTextA(window, PROGRAM_TITLE);
    sessionWindow = window;
    UseSessionIo();
    return BeginSession(window, BEGIN_OPENING);
}

// One more "<" and ">" per tick up to five, then an empty tick.
void AdvanceMarks(HWND window)
{
    char marks[9] = {};
    GetDlgItemTextA(window, IDC_MARKS_LEFT, marks, sizeof marks);
    const int shown = static_cast<int>(std::strlen(marks));
    char left[MARKS_LIMIT + 1] = {};
    char right[MARKS_LIMIT + 1] = {};
    if (shown < MARKS_LIMIT) {
        std::memset(left, '<', static_cast<size_t>(shown) + 1);
        std::memset(right, '>', static_cast<size_t>(shown) + 1);
    }
    SetDlgItemTextA(window, IDC_MARKS_LEFT, left);
    SetDlgItemTextA(window, IDC_MARKS_RIGHT, right);
}

// The call is up (the modem's "CONNECT" seen by the marks' poll, or
// telephony's announcement): once the link has taken it, the transfer starts
// as on a plain link, after a pause.
void OnConnected(HWND window)
{
    KillTimer(window, TIMER_ANIMATE);
    KillTimer(window, TIMER_RETRY);
    const int taken = SessionLinkKind().takeConnection();
    if (taken != 1) {
        FailSession(window, taken);
        return;
    }
    ResumeThread(linkState.receiveThread);
    Sleep(CONNECTED_PAUSE_MS);
    if (!SendCommand(READ_COMMAND, PollInterval(), READ_LENGTH)) FailSession(window, ERR_PORT_WRITE);
}

void OnAnimateTimer(HWND window)
{
    AdvanceMarks(window);
    if (windowState.minimisePending && IsWindowVisible(window)) PostMessageA(window, MSG_MINIMISE, 0, 0);
    // The marks stop once the call is up, or when the link cannot be looked
    // at (as while the port is absent).
    const int news = SessionLinkKind().pollConnection();
    if (news == LINK_CONNECTED) OnConnected(window);
    if (news != LINK_NO_NEWS) return;
    SetTimer(window, TIMER_ANIMATE, ANIMATE_STEP_MS, nullptr);
}

void OnReplyTimer(HWND window)
{
    const int result = HandleReplyTimeout(PollInterval(), settings.keepOnline != 0);
    if (result < 0) FailSession(window, result);
}

void OnRetryTimer(HWND window)
{
    PostMessageA(window, MSG_REOPEN, 0, 0);
    SetTimer(window, TIMER_RETRY, PollInterval(), nullptr);
}

void OnTimer(HWND window, UINT_PTR timer)
{
    KillTimer(window, timer);
    switch (timer) {
    case TIMER_ANIMATE: OnAnimateTimer(window); break;
    case TIMER_REPLY: OnReplyTimer(window); break;
    case TIMER_RETRY: OnRetryTimer(window); break;
    default: break;
    }
}

INT_PTR OnSessionError(HWND window, int code)
{
    StopAllTimers(window);
    CloseLink();
    // Kept online, a call that failed or was lost does not hold the station:
    // it waits for the next call while the user reads why this one ended
    // (the box's loop serves the session window's timers and telephony).
    if (settings.keepOnline && (code == ERR_CONNECTION_LOST || code == ERR_ANSWER)) {
        const INT_PTR begun = BeginSession(window, BEGIN_AFTER_TIMEOUT);
        ReportError(window, code);
        return begun;
    }
    ReportError(window, code);
    if (settings.keepOnline && code == ERR_TIMEOUT) return BeginSession(window, BEGIN_AFTER_TIMEOUT);
    EndDialog(window, SESSION_END);
    return FALSE;
}

// "%s\\%s" of the output location; empty in keyboard emulation or when the
// two would not fit a path.
void FormOutputPath(char* path, size_t size)
{
    path[0] = '\0';
    if (settings.saveMode == KEYBOARD_EMULATION) return;
    const int length = std::snprintf(path, size, "%s\\%s", settings.outputDirectory, settings.outputFileName);
    if (length < 0 || length > MAX_PATH_CHARS) path[0] = '\0';
}

void OfferReceivedData(HWND window, const char* path)
{
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    const int count = sessionState.receivedCount;
    if (count == 0) {
        MessageBoxA(window, "No data received !!", caption, MB_TOPMOST | MB_ICONINFORMATION);
        return;
    }
    char question[100];
    std::snprintf(question, sizeof question, "Done : %d records received.\nView the received data ?", count);
    if (MessageBoxA(window, question, caption, MB_TOPMOST | MB_ICONQUESTION | MB_YESNO) != IDYES) return;
    // Quoted, so that a directory with blanks reaches the viewer whole.
    char viewer[PATH_BUFFER + 32];
    std::snprintf(viewer, sizeof viewer, "notepad.exe \"%s\"", path);
    WinExec(viewer, SW_SHOWNORMAL);
}

INT_PTR OnCompleted(HWND window)
{
    char path[2 * PATH_BUFFER + 2];
    FormOutputPath(path, sizeof path);
    if (settings.viewReceivedData && !settings.keepOnline && path[0]) OfferReceivedData(window, path);
    if (sessionState.receivedCount == 0 && path[0]) DeleteOutputFileIfLeftEmpty(path);
    if (settings.keepOnline) return BeginSession(window, BEGIN_AFTER_COMPLETION);
    EndDialog(window, SESSION_END);
    return FALSE;
}

INT_PTR OnCommand(HWND window, WORD command)
{
    if (command != IDOK && command != IDCANCEL && command != IDC_ABORT) return FALSE;
    if (command == IDOK && !windowState.transferComplete) return FALSE;
    StopAllTimers(window);
    const int closed = CloseLink();
    // A file that did not close cleanly is no success to announce.
    if (command == IDOK && closed < 0) return OnSessionError(window, closed);
    if (command == IDOK) return OnCompleted(window);
    EndDialog(window, SESSION_END);
    return FALSE;
}

// Bytes from the receive thread. While the link is closing they belong to
// no session and are dropped. A report of the lost connection (the modem's
// "NO CARRIER") ends the call: what came before it is still taken.
LRESULT OnBytesReceived(WPARAM count, LPARAM bytes)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    if (windowState.keepingLastBytes) windowState.lastBytes.append(text, count);
    if (!linkState.receiveRunning) return 1;
    unsigned length = static_cast<unsigned>(count);
    const int lost = SessionLinkKind().findConnectionLoss(text, length);
    if (lost >= 0) length = static_cast<unsigned>(lost);
    const int result = FeedReceivedBytes(reinterpret_cast<const uint8_t*>(text), length);
    if (result == 0) windowState.transferComplete = true;
    if (result <= 0 || lost < 0) return result;
    return ERR_CONNECTION_LOST;
}

// The connection ended (the caller hung up): the receive thread is
// stopped, and what it had read last and what is still waiting in the port
// is looked at. The transfer is complete when its "OVER\r" is there (also
// cut from the part of its line the protocol holds); then those bytes go to
// the protocol.
bool EndedConnectionBroughtOver()
{
    if (!linkState.port || !linkState.receiveThread) return false;
    windowState.keepingLastBytes = true;
    windowState.lastBytes.clear();
    StopReceiveThread();
    windowState.keepingLastBytes = false;
    std::string& bytes = windowState.lastBytes;
    for (int i = 0; i < LEFTOVER_READS; ++i) {
        char area[256];
        DWORD count = 0;
        if (ReadBounded(linkState.port, &linkState.readOverlapped, area, sizeof area, LEFTOVER_READ_MS, &count) !=
                IO_DONE ||
            count == 0)
            break;
        bytes.append(area, count);
    }
    const size_t held = static_cast<size_t>(sessionState.lineLength > 0 ? sessionState.lineLength : 0);
    std::string seen(reinterpret_cast<const char*>(sessionState.lineBuffer), held);
    seen += bytes;
    const std::string_view overLine = OVER_TEXT;
    const size_t over = seen.find(overLine);
    if (over == std::string::npos || over + overLine.size() <= held) return false;
    const size_t take = over + overLine.size() - held;
    return FeedReceivedBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<unsigned>(take)) == 0;
}

INT_PTR OnConnectionEnded(HWND window, WPARAM connection)
{
    // Already let go, or the transfer's end is already on its way.
    if (!SessionLinkKind().isCurrentConnection(connection) || windowState.transferComplete) return FALSE;
    if (EndedConnectionBroughtOver()) {
        windowState.transferComplete = true;
        return OnCommand(window, IDOK);
    }
    return OnSessionError(window, ERR_CONNECTION_LOST);
}

// The typing thread finished the record: now it is counted and answered.
void OnRecordTyped(HWND window, WPARAM serial)
{
    if (!TakeTypedRecord(serial)) return;
    const int result = FinishTypedRecord();
    if (result < 0) FailSession(window, result);
}

// A dialog procedure hands a message's result back through DWLP_MSGRESULT.
INT_PTR SetMessageResult(HWND window, LRESULT result)
{
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK SessionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        windowState = SessionWindowState{};
        return OnOpen(window);
    case MSG_REOPEN:
        // A late retry for a link that is open again has nothing to do.
        if (linkState.port || linkState.receiveThread) return FALSE;
        return OnOpen(window);
    case WM_TIMER: OnTimer(window, wParam); return FALSE;
    case WM_COMMAND: return OnCommand(window, LOWORD(wParam));
    case MSG_SESSION_ERROR: return OnSessionError(window, static_cast<int>(static_cast<INT_PTR>(wParam)));
    case MSG_LINE_CONNECTED: OnConnected(window); return FALSE;
    case MSG_CONNECTION_ENDED: return OnConnectionEnded(window, wParam);
    case MSG_BYTES_RECEIVED: return SetMessageResult(window, OnBytesReceived(wParam, lParam));
    case MSG_RECORD_TYPED: OnRecordTyped(window, wParam); return FALSE;
    case MSG_MINIMISE:
        if (windowState.minimisePending && IsWindowVisible(window)) MinimiseOutOfTheWay(window);
        return FALSE;
    case WM_SHOWWINDOW:
        if (wParam && windowState.minimisePending) PostMessageA(window, MSG_MINIMISE, 0, 0);
        return FALSE;
    case WM_DESTROY:
        if (sessionWindow == window) sessionWindow = nullptr;
        return FALSE;
    default: return FALSE;
    }
}
