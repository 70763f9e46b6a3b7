// Automatic output-file names and their retry sequence.
#include "session/auto_name.h"

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

TEST(AutoName, WorkedExampleRunsFromTheMinutesLastDigitIntoLetters)
{
    for (int attempt = 0; attempt < 11; ++attempt)
        EXPECT_EQ(Candidate({2026, 12, 6, 14, 37}, attempt), std::string("6C06143") + "789ABCDEFGH"[attempt] + ".TXT");
    EXPECT_EQ(Candidate({2030, 9, 1, 0, 0}, 0), "09010000.TXT");
}
