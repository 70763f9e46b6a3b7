// The one way failures reach the user: a message box, or for three codes
// with messages switched off, an error-log file.
#pragma once

#include <windows.h>

#include <cstdint>

// Where the two settings that reporting reads live: whether messages are
// shown (0: the errors of unattended work go to the log) and the folder the
// log goes to. Both are read at each report. Until this is called, messages
// are shown.
void UseErrorSettings(const uint8_t* showErrorMessages, const char* outputDirectory);

// For ASK_CREATE_DIRECTORY the button chosen (IDYES, IDNO, or 0), else 0.
int ReportError(HWND owner, int code);
void LogError(const char* message);

// LogError with a given local time instead of the clock's.
void LogErrorAt(const char* message, const SYSTEMTIME& time);
