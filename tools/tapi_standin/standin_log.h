// The call log tests read: one line per telephony call or delivered event,
//   <microseconds> <name> key=value ... [-> result]
// appended to the file named by the configuration's `log` key. The time is
// QueryPerformanceCounter in microseconds (under Wine: CLOCK_MONOTONIC_RAW,
// so it compares with times taken on the Linux side).
#pragma once

#include <windows.h>

#include <string>

// Once, when the library is loaded.
void InitLog();
// Where the log goes from now on; empty: nowhere.
void SetLogPath(const std::string& windowsPath);
// Appends one line (printf format, no line end) with the time stamp before it.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A telephony result as the log writes it: 0 or a request id in decimal, an
// error code in hexadecimal.
std::string ResultText(LONG result);

// Milliseconds of the same clock, for scheduling.
ULONGLONG NowMs();
