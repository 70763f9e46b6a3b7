// The receive thread: reads the port in short windows and hands what
// arrives to the session window, where the protocol runs.
#pragma once

#include <windows.h>

#include "link/link_kind.h"

// 1 when the thread exists (suspended), reading in the windows of kind;
// ERR_THREAD_CREATE otherwise.
int StartReceiveThread(const LinkKind& kind);
// Stops the thread (resuming it first if it never ran) and waits for it,
// letting the window's thread answer what the thread sends meanwhile.
void StopReceiveThread();
