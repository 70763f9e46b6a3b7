// Telephony is not built yet: its interface arrives with its own work. Until
// then the line cannot be opened, so a "Modem - TAPI" session reports
// "Failed to initialize line!" instead of waiting for a call that never comes.
#include "link/telephony.h"

#include "errors/error_codes.h"

int TapiOpenLine()
{
    return ERR_LINE_INIT;
}

int TapiGetCommHandle()
{
    return ERR_DEVICE_ID;
}

void TapiShutdown() {}
