// Automatic output-file names.
#include "core/auto_name.h"

#include <cstdio>

namespace {

// One character for the month: '1'..'9', then 'A', 'B', 'C'.
char MonthCharacter(int month)
{
    return static_cast<char>(month < 10 ? month + 48 : month + 55);
}

// Keeps a field within what its one or two characters can show, so that no
// unexpected clock value can lengthen the name.
int Within(int value, int high)
{
    if (value < 0) return 0;
    return value > high ? high : value;
}

}  // namespace

void AutoNameCandidate(const AutoNameTime& time, int attempt, char* out, size_t outSize)
{
    const int yearDigit = Within(time.year, 1000000) % 10;
    const char month = MonthCharacter(Within(time.month, 12));
    const int day = Within(time.day, 99);
    const int hour = Within(time.hour, 99);
    const int minute = Within(time.minute, 99);
    if (attempt <= 0) {
        std::snprintf(out, outSize, "%d%c%02d%02d%02d.TXT", yearDigit, month, day, hour, minute);
        return;
    }
    const int running = minute % 10 + attempt;
    if (running < 10) {
        std::snprintf(out, outSize, "%d%c%02d%02d%0d%0d.TXT", yearDigit, month, day, hour, minute / 10, running);
    } else {
        const char letter = static_cast<char>('A' + (running - 10));
        // The zero flag of the digit form means nothing for a character.
        std::snprintf(out, outSize, "%d%c%02d%02d%0d%c.TXT", yearDigit, month, day, hour, minute / 10, letter);
    }
}
