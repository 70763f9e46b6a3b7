// The error-log file name, formed from the output directory and the local
// time. Portable, so the name rules can be checked without a clock.
#pragma once

#include <cstddef>

// The message box text of a code; a code outside the table gets a text
// naming it, formatted per thread.
const char* ErrorMessage(int code);

// Writes "<directory>\\ErrYYYYMMDDhhmmss.log" into out (outSize bytes).
// Returns 1, or 0 when the path does not fit (no log then): a buffer of
// MAX_PATH + 1 bytes keeps the path to 260 characters.
int FormatErrorLogPath(char* out, size_t outSize, const char* directory, int year, int month, int day, int hour,
                       int minute, int second);
