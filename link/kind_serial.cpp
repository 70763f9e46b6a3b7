// RS232 or IrDA: the terminal is on the COM port itself, connected as soon
// as the port is open, and read often.
#include "link/link_kind.h"

#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/serial_port.h"

namespace {

int OpenSerial(const LinkSettings& settings, const LinkEvents&)
{
    const int opened = OpenSerialPort(settings.comPort);
    if (opened != 1) return opened;
    return ConfigureSerialPort(linkState.port, PLAIN_PORT, settings.baudIndex) == 1 ? 1 : ERR_PORT_OPEN;
}

}  // namespace

constexpr LinkKind SERIAL_LINK = {
    .open = OpenSerial,
    .prepare = NothingToPrepare,
    .connectedAtOpen = true,
    .pollConnection = NoConnectionNews,
    .takeConnection = NothingToTake,
    .findConnectionLoss = NoConnectionLoss,
    .isCurrentConnection = NoConnectionEnds,
    .close = NothingToClose,
    .readWindowMs = 30,
    .emptyReadPauseMs = 0,
    .closePauseMs = 0,
    .waitingText = "Wait for connecting...",
    .choosesLineDevice = false,
};
