// "Modem - TAPI": a telephony line device answers the call; telephony
// announces the connected call, whose comm handle then becomes the port.
// Read like the modem on a COM port.
#include "link/link_kind.h"

#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/serial_port.h"
#include "link/telephony.h"

namespace {

int OpenTelephonyLine(const LinkSettings&, const LinkEvents& events)
{
    return TapiOpenLine(events);
}

// The connected call's comm handle as the port, with the events of its reads
// and writes.
int TakeCall()
{
    if (TapiGetCommHandle() != 1) return ERR_DEVICE_ID;
    // Its line settings are the driver's: the speed index is not used.
    const int configured = ConfigureSerialPort(linkState.port, TELEPHONY_PORT, 0);
    if (configured < 0) return configured;
    return CreateLinkEvents() == 1 ? 1 : ERR_LINE_INIT;
}

// A hang-up told after the call was let go, or of an earlier call than the
// one answered now, is no news.
bool IsAnsweredCall(WPARAM call)
{
    return telephonyState.call != 0 && static_cast<HCALL>(call) == telephonyState.call;
}

}  // namespace

constexpr LinkKind TELEPHONY_LINK = {
    .open = OpenTelephonyLine,
    .prepare = NothingToPrepare,
    .connectedAtOpen = false,
    .pollConnection = NoConnectionNews,
    .takeConnection = TakeCall,
    .findConnectionLoss = NoConnectionLoss,
    .isCurrentConnection = IsAnsweredCall,
    .close = TapiShutdown,
    .readWindowMs = 250,
    .emptyReadPauseMs = 10,
    .closePauseMs = 0,
    .waitingText = "Wait for call...",
    .choosesLineDevice = true,
};
