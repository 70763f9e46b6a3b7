// Placeholder until the session window is built: it ends with 3.
#include "session/session_window.h"

HWND sessionWindow = nullptr;

INT_PTR CALLBACK SessionDialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND || message == WM_CLOSE) { EndDialog(window, SESSION_END); return TRUE; }
    return FALSE;
}
