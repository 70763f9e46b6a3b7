// Opening and closing the link of one session.
#include "core/settings.h"
#include "session/session_link.h"

#include <initializer_list>

#include "core/protocol.h"
#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "link/serial_port.h"
#include "link/window_messages.h"
#include "res/resource.h"
#include "session/output_file.h"
#include "session/receive_thread.h"
#include "session/typing.h"

namespace {

constexpr DWORD SETTLE_PAUSE_MS = 300;   // after the link is up, before the first command

// Written by OpenLink only, on the window's thread; read there and handed
// to the receive thread it starts.
const LinkKind* sessionLinkKind = &SERIAL_LINK;

void ShowWaitingDisplay(HWND window)
{
    ShowWindow(GetDlgItem(window, IDC_COUNT), SW_HIDE);
    for (int id : {IDC_MARKS_LEFT, IDC_MARKS_BAR, IDC_MARKS_RIGHT}) ShowWindow(GetDlgItem(window, id), SW_SHOW);
    SetDlgItemTextA(window, IDC_MARKS_LEFT, "<");
    SetDlgItemTextA(window, IDC_MARKS_RIGHT, ">");
    UpdateWindow(window);
}

}  // namespace

unsigned PollInterval()
{
    if (settings.keepOnline && settings.pollingTime > 0) return static_cast<unsigned>(settings.pollingTime) * 1000u;
    return 1000u;
}

const LinkKind& SessionLinkKind()
{
    return *sessionLinkKind;
}

int OpenLink(HWND window)
{
    // The one place the interface number is turned into a link kind.
    sessionLinkKind = &LinkKindOf(settings.interfaceKind);
    const LinkKind& link = *sessionLinkKind;
    ForgetLinkWrites();
    ResetSession();
    ForgetOutputFile();
    ShowWaitingDisplay(window);

    const LinkSettings linkSettings = {.comPort = settings.comPort, .baudIndex = settings.baudIndex};
    const LinkEvents events = {.window = window,
                               .connected = MSG_LINE_CONNECTED,
                               .failed = MSG_SESSION_ERROR,
                               .connectionEnded = MSG_CONNECTION_ENDED};
    const int opened = link.open(linkSettings, events);
    if (opened < 0) return opened;

    SetDlgItemTextA(window, IDC_STATUS, link.waitingText);
    const int prepared = link.prepare();
    if (prepared != 1) return prepared;
    if (StartReceiveThread(link) != 1) return ERR_PORT_INIT;
    if (link.connectedAtOpen) ResumeThread(linkState.receiveThread);
    Sleep(SETTLE_PAUSE_MS);
    return 1;
}

int CloseLink()
{
    // A record being typed is cut short and never answered.
    StopTyping();
    // The thread goes first (it is joined and its handle closed): once it
    // has ended, nothing else uses the port, the events or the session state.
    StopReceiveThread();
    sessionLinkKind->close();
    CloseLinkEvents();
    const bool fileClosed = CloseOutputFile();
    ClosePort(sessionLinkKind->closePauseMs);
    return fileClosed ? 1 : ERR_FILE_WRITE;
}
