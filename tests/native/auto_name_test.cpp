// Automatic output-file names: the first name from the clock, and the retries.
#include "core/auto_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Candidate(const AutoNameTime& time, int attempt)
{
    char name[AUTO_NAME_BUFFER];
    AutoNameCandidate(time, attempt, name, sizeof name);
    return name;
}

}  // namespace

TEST(AutoName, FirstNameTakesTheYearDigitAndOneMonthCharacter)
{
    const struct { const char* proves; AutoNameTime time; const char* name; } rows[] = {
        {"December is C (worked example)", {2026, 12, 6, 14, 37}, "6C061437.TXT"},
        {"November is B", {2026, 11, 6, 14, 37}, "6B061437.TXT"},
        {"October is A, not a character after 9", {2026, 10, 6, 14, 37}, "6A061437.TXT"},
        {"September is the digit 9", {2026, 9, 6, 14, 37}, "69061437.TXT"},
        {"2030 gives the year digit 0; day, hour and minute keep their zeros", {2030, 9, 1, 0, 0}, "09010000.TXT"},
    };
    for (const auto& row : rows) EXPECT_EQ(Candidate(row.time, 0), row.name) << row.proves;
}

TEST(AutoName, RetriesRunFromTheMinutesLastDigitIntoLetters)
{
    const struct {
        const char* proves;
        int minute;
        const char* running;   // the eighth character of attempts 1 to 10
    } rows[] = {
        {"minute 37: 8, 9, then letters (worked example)", 37, "89ABCDEFGH"},
        {"minute 09: letters at once, tens digit 0 kept", 9, "ABCDEFGHIJ"},
    };
    for (const auto& row : rows) {
        const std::string stem = "6C0614" + std::to_string(row.minute / 10);
        for (int attempt = 1; attempt <= 10; ++attempt)
            EXPECT_EQ(Candidate({2026, 12, 6, 14, row.minute}, attempt), stem + row.running[attempt - 1] + ".TXT")
                << row.proves << ", attempt " << attempt;
    }
}
