// What the session's helpers (the protocol's I/O, command sending, the
// receive and typing threads) need of the session window: its handle and
// its timers. The window itself is session_window.h, which includes them.
#pragma once

#include <windows.h>

#include "link/window_messages.h"

constexpr UINT_PTR TIMER_ANIMATE = 951;
constexpr UINT_PTR TIMER_REPLY = 952;
constexpr UINT_PTR TIMER_RETRY = 953;

// The session window while it is open, else null: set when it opens, cleared
// when it is destroyed (by its own procedure only). The receive and typing
// threads read it.
extern HWND sessionWindow;
