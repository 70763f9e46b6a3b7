// The infrared cradle on a COM port: found and switched to the configured
// speed at open, with its wait panel over the session window; from then on
// a plain link.
#include "link/link_kind.h"

#include "errors/error_codes.h"
#include "link/ir_wait_panel.h"
#include "link/link_state.h"
#include "link/serial_port.h"

namespace {

int OpenCradle(const LinkSettings& settings, const LinkEvents& events)
{
    const int opened = OpenSerialPort(settings.comPort);
    if (opened != 1) return opened;
    return StartIrCradle(linkState.port, events.window, settings.baudIndex) ? 1 : ERR_IR_DEVICE;
}

}  // namespace

constexpr LinkKind CRADLE_LINK = {
    .open = OpenCradle,
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
