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
    const char* expected[AUTO_NAME_ATTEMPTS] = {"6C061437.TXT", "6C061438.TXT", "6C061439.TXT", "6C06143A.TXT",
                                                "6C06143B.TXT", "6C06143C.TXT", "6C06143D.TXT", "6C06143E.TXT",
                                                "6C06143F.TXT", "6C06143G.TXT", "6C06143H.TXT"};
    for (int attempt = 0; attempt < AUTO_NAME_ATTEMPTS; ++attempt)
        EXPECT_EQ(Candidate({2026, 12, 6, 14, 37}, attempt), expected[attempt]) << attempt;
    EXPECT_EQ(Candidate({2030, 10, 1, 0, 0}, 0), "0A010000.TXT");
    EXPECT_EQ(Candidate({2030, 11, 1, 0, 0}, 0), "0B010000.TXT");
    EXPECT_EQ(Candidate({2030, 9, 1, 0, 0}, 0), "09010000.TXT");
}

TEST(AutoName, OutOfRangeClockValuesAndSmallBuffersStayBounded)
{
    EXPECT_EQ(Candidate({-5, 99, 1000, -1, 12345}, 10).size(), 12u);
    char tiny[5];
    AutoNameCandidate({2026, 12, 6, 14, 37}, 0, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "6C06");
}
