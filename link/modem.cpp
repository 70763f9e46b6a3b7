// The modem's AT dialogue is not built yet: its interface arrives with its
// own work. Until then preparation fails, so a "Modem - COM" session reports
// "Failed to configure device!" instead of waiting for a call.
#include "link/modem.h"

#include "errors/error_codes.h"

int PrepareModem()
{
    return ERR_DEVICE_CONFIG;
}

int PollModemConnect()
{
    return 0;
}
