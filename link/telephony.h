// The telephony line ("Modem - TAPI"): answering a call on a data modem and
// handing its comm handle to the link. The session window calls these.
#pragma once

#include <windows.h>

// Opens the chosen line for incoming calls. 1, or ERR_LINE_INIT.
int TapiOpenLine();
// Stores the connected call's comm handle in linkState.port. 1, or a
// negative code when it cannot be obtained.
int TapiGetCommHandle();
// Drops the call and closes its comm handle, the line and the telephony
// session; harmless when nothing is open.
void TapiShutdown();
