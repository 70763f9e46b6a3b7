// The checks and clamps of the settings dialog's text fields, as decisions on
// plain values. Portable: the dialog reads the field and applies the result.
#pragma once

#include <cstring>

constexpr char DIRECTORY_FORBIDDEN[] = "\"/*?<>|";       // a directory needs "\\" and ":"
constexpr char FILE_NAME_FORBIDDEN[] = "\\\"/*:?<>|";

constexpr unsigned COM_PORT_MAXIMUM = 255;
constexpr unsigned POLLING_TIME_MAXIMUM = 999;
constexpr unsigned CHAR_DELAY_MAXIMUM = 255;

constexpr int LEAVE_FIELD = -1;    // the field's text stays as typed

inline bool HoldsAnyOf(const char* text, const char* forbidden)
{
    return std::strpbrk(text, forbidden) != nullptr;
}

// COM port and polling time, on every change while the dialog is visible.
// text is the field's text, hasNumber/value its unsigned decimal reading.
// Returns the number to write into the field, or LEAVE_FIELD.
inline int ClampCountField(const char* text, bool hasNumber, unsigned value, unsigned maximum)
{
    if (!hasNumber) return LEAVE_FIELD;            // the focus-loss check reports it
    if (value < 1) return 1;
    if (value > maximum) return static_cast<int>(maximum);
    // Only the first three characters count, as the field holds no more.
    if (std::strlen(text) >= 2 && text[0] == '0') return static_cast<int>(value);
    return LEAVE_FIELD;
}

// Inter-character delay, on every change: an emptied field means no delay.
inline int ClampDelayField(bool hasNumber, unsigned value)
{
    if (!hasNumber) return 0;
    if (value > CHAR_DELAY_MAXIMUM) return static_cast<int>(CHAR_DELAY_MAXIMUM);
    return LEAVE_FIELD;
}
