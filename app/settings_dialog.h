// The settings dialog (dialog 1): ends with 1 (OK, settings saved) or 2.
#pragma once

#include <windows.h>

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
