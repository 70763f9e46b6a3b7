// Opening and closing the link of one session.
#include "core/settings.h"
#include "session/session_link.h"

#include <cstring>
#include <initializer_list>

#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/modem.h"
#include "link/serial_port.h"
#include "link/telephony.h"
#include "res/resource.h"
#include "session/output_file.h"
#include "core/protocol.h"
#include "session/receive_thread.h"
#include "session/typing.h"

namespace {

constexpr DWORD SETTLE_PAUSE_MS = 300;         // after the link is up, before the first command
constexpr DWORD MODEM_CLOSE_PAUSE_MS = 500;    // lets the modem hang up before the port is reused

bool IsModem(uint8_t kind)
{
    return kind == MODEM_TAPI || kind == MODEM_COM;
}

void ShowWaitingDisplay(HWND window)
{
    ShowWindow(GetDlgItem(window, IDC_COUNT), SW_HIDE);
    for (int id : {IDC_MARKS_LEFT, IDC_MARKS_BAR, IDC_MARKS_RIGHT}) ShowWindow(GetDlgItem(window, id), SW_SHOW);
    SetDlgItemTextA(window, IDC_MARKS_LEFT, "<");
    SetDlgItemTextA(window, IDC_MARKS_RIGHT, ">");
    UpdateWindow(window);
}

void CloseEvent(OVERLAPPED& record)
{
    if (record.hEvent) CloseHandle(record.hEvent);
    std::memset(&record, 0, sizeof record);
}

}  // namespace

unsigned PollInterval()
{
    if (settings.keepOnline && settings.pollingTime > 0) return static_cast<unsigned>(settings.pollingTime) * 1000u;
    return 1000u;
}

int OpenLink(HWND window)
{
    ResetSession();
    ForgetOutputFile();
    ShowWaitingDisplay(window);

    const uint8_t kind = settings.interfaceKind;
    const int opened = kind == MODEM_TAPI ? TapiOpenLine() : OpenSerialPort(window);
    if (opened < 0) return opened;

    SetDlgItemTextA(window, IDC_STATUS, IsModem(kind) ? "Wait for call..." : "Wait for connecting...");
    if (kind == MODEM_COM && PrepareModem(linkState.port) != 1) return ERR_DEVICE_CONFIG;
    if (StartReceiveThread() != 1) return ERR_PORT_INIT;
    if (!IsModem(kind)) ResumeThread(linkState.receiveThread);
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
    if (settings.interfaceKind == MODEM_TAPI) TapiShutdown();
    CloseEvent(linkState.writeOverlapped);
    CloseEvent(linkState.readOverlapped);
    const bool fileClosed = CloseOutputFile();
    if (linkState.port) {
        CloseHandle(linkState.port);
        linkState.port = nullptr;
        if (settings.interfaceKind == MODEM_COM) Sleep(MODEM_CLOSE_PAUSE_MS);
    }
    std::memset(&linkState.dcb, 0, sizeof linkState.dcb);
    return fileClosed ? 1 : ERR_FILE_WRITE;
}
