// The one way failures reach the user: a message box, or for three codes
// with messages switched off, an error-log file.
#pragma once

#include <windows.h>

// For ASK_CREATE_DIRECTORY the button chosen (IDYES, IDNO, or 0), else 0.
int ReportError(HWND owner, int code);
void LogError(const char* message);

// LogError with a given local time instead of the clock's.
void LogErrorAt(const char* message, const SYSTEMTIME& time);
