// The session window (dialog 2): runs one receive session from the opening
// of the link to its end; always ends with 3.
#pragma once

#include <windows.h>

#include "session/session_handle.h"

constexpr INT_PTR SESSION_END = 3;

INT_PTR CALLBACK SessionDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
