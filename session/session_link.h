// Opening and closing the link of one session, for the session window.
#pragma once

#include <windows.h>

#include "link/link_kind.h"

// Clears the session, picks the link kind of the configured interface, opens
// its port or line (the cradle found, the modem set to answer) and creates
// the receive thread, resumed at once when the kind is connected at open.
// 1, or the code of what failed (ERR_PORT_ABSENT: the port is not there,
// try again later).
int OpenLink(HWND window);

// The kind the session opened last (kept until the next opening); the plain
// serial link before any.
const LinkKind& SessionLinkKind();

// Releases everything of the link: typing, receive thread (joined first),
// what the kind holds, events, output file, port. ERR_FILE_WRITE when the
// output file could not be closed cleanly, else 1. Harmless twice.
int CloseLink();

// pollingTime * 1000 ms with keep-online, else 1000 ms: the reply time of
// "READ\r" and the period of retrying an absent port.
unsigned PollInterval();
