// "Modem - COM": a modem on a COM port, set to answer the first ring. The
// call is up when the modem reports "CONNECT", looked for at each progress
// mark, and lost when it reports "NO CARRIER". A modem delivers in bursts
// after long silences, so it is read in longer windows.
#include "link/link_kind.h"

#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/modem.h"
#include "link/serial_port.h"

namespace {

constexpr DWORD HANG_UP_PAUSE_MS = 500;   // lets the modem hang up before the port is reused

int OpenModemPort(const LinkSettings& settings, const LinkEvents&)
{
    const int opened = OpenSerialPort(settings.comPort);
    if (opened != 1) return opened;
    return ConfigureSerialPort(linkState.port, MODEM_PORT, settings.baudIndex) == 1 ? 1 : ERR_PORT_OPEN;
}

int SetAnswerMode()
{
    return PrepareModem(linkState.port) == 1 ? 1 : ERR_DEVICE_CONFIG;
}

// A port that cannot be read (as while it is absent) stops the looking.
int LookForConnect()
{
    return PollModemConnect(linkState.port);
}

}  // namespace

constexpr LinkKind MODEM_COM_LINK = {
    .open = OpenModemPort,
    .prepare = SetAnswerMode,
    .connectedAtOpen = false,
    .pollConnection = LookForConnect,
    .takeConnection = NothingToTake,
    .findConnectionLoss = FindCarrierLoss,
    .isCurrentConnection = NoConnectionEnds,
    .close = NothingToClose,
    .readWindowMs = 250,
    .emptyReadPauseMs = 10,
    .closePauseMs = HANG_UP_PAUSE_MS,
    .waitingText = "Wait for call...",
    .choosesLineDevice = false,
};
