// The session window (dialog 2): runs one receive session from the opening
// of the link to its end; always ends with 3.
#pragma once

#include <windows.h>

#include "link/window_messages.h"

constexpr UINT_PTR TIMER_ANIMATE = 951;
constexpr UINT_PTR TIMER_REPLY = 952;
constexpr UINT_PTR TIMER_RETRY = 953;

constexpr INT_PTR SESSION_END = 3;

// The session window while it is open, else null: set when it opens, cleared
// when it is destroyed (by its own procedure only). The receive and typing
// threads read it.
extern HWND sessionWindow;

INT_PTR CALLBACK SessionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
