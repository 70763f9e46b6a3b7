// Automatic output-file names from the local time: the first name
// Y M DD hh mm ".TXT" and the ten retry names that follow it.
#pragma once

#include <cstddef>

constexpr int AUTO_NAME_ATTEMPTS = 11;      // the first name and ten retries
constexpr size_t AUTO_NAME_BUFFER = 16;     // 12 characters and the NUL, with room

struct AutoNameTime {
    int year;
    int month;    // 1..12
    int day;
    int hour;
    int minute;
};

// The name of one attempt: 0 the first name, 1..10 the retries. The retries
// keep the first six characters, then the tens digit of the minute, then a
// running character counting up from the minute's last digit into letters.
void AutoNameCandidate(const AutoNameTime& time, int attempt, char* out, size_t outSize);
