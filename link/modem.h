// The modem on a COM port ("Modem - COM"): answer mode and the wait for
// "CONNECT". The session window calls these.
#pragma once

// Puts the modem into answer mode on the open port. 1, or ERR_DEVICE_CONFIG.
int PrepareModem();
// One look for the modem's "CONNECT". 1: keep polling; 0: the call is
// connected (the session has been started) or the poll read failed.
int PollModemConnect();
