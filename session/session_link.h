// Opening and closing the link of one session, for the session window.
#pragma once

#include <windows.h>

// Clears the session, opens the link of the configured interface (port,
// cradle, modem preparation or telephony line) and creates the receive
// thread, resumed at once for a plain port or the cradle. 1, or the code of
// what failed (ERR_PORT_ABSENT: the port is not there, try again later).
int OpenLink(HWND window);

// Releases everything of the link: typing, receive thread (joined first),
// telephony, events, output file, port. ERR_FILE_WRITE when the output file
// could not be closed cleanly, else 1. Harmless twice.
int CloseLink();

// pollingTime * 1000 ms with keep-online, else 1000 ms: the reply time of
// "READ\r" and the period of retrying an absent port.
unsigned PollInterval();
