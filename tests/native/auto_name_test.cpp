// Automatic output-file names and their retry sequence.
#include "session/auto_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> AllCandidates(const AutoNameTime& time)
{
    std::vector<std::string> names;
    for (int attempt = 0; attempt < AUTO_NAME_ATTEMPTS; ++attempt) {
        char name[AUTO_NAME_BUFFER];
        AutoNameCandidate(time, attempt, name, sizeof name);
        names.emplace_back(name);
    }
    return names;
}

}  // namespace

TEST(AutoName, WorkedExampleOfEleven)
{
    const std::vector<std::string> expected = {
        "6C061437.TXT", "6C061438.TXT", "6C061439.TXT", "6C06143A.TXT", "6C06143B.TXT", "6C06143C.TXT",
        "6C06143D.TXT", "6C06143E.TXT", "6C06143F.TXT", "6C06143G.TXT", "6C06143H.TXT",
    };
    EXPECT_EQ(AllCandidates({2026, 12, 6, 14, 37}), expected);
}

TEST(AutoName, RetriesRunFromTheMinutesLastDigitIntoLetters)
{
    const auto atNine = AllCandidates({2026, 12, 6, 14, 9});
    EXPECT_EQ(atNine.front(), "6C061409.TXT");
    EXPECT_EQ(atNine[1], "6C06140A.TXT");
    EXPECT_EQ(atNine.back(), "6C06140J.TXT");

    const auto atThirty = AllCandidates({2026, 12, 6, 14, 30});
    EXPECT_EQ(atThirty[1], "6C061431.TXT");
    EXPECT_EQ(atThirty[9], "6C061439.TXT");
    EXPECT_EQ(atThirty[10], "6C06143A.TXT");
}

TEST(AutoName, MonthAndYearCharacters)
{
    const char months[] = "123456789ABC";
    for (int month = 1; month <= 12; ++month) {
        char name[AUTO_NAME_BUFFER];
        AutoNameCandidate({2030, month, 1, 0, 0}, 0, name, sizeof name);
        EXPECT_EQ(name[0], '0') << month;
        EXPECT_EQ(name[1], months[month - 1]) << month;
        EXPECT_STREQ(name + 2, "010000.TXT");
    }
}

TEST(AutoName, EveryCandidateIsTwelveCharactersAndDistinct)
{
    for (int minute = 0; minute < 60; ++minute) {
        const auto names = AllCandidates({2029, 1, 31, 23, minute});
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(names[i].size(), 12u) << names[i];
            for (size_t j = i + 1; j < names.size(); ++j) EXPECT_NE(names[i], names[j]);
        }
    }
}

TEST(AutoName, OutOfRangeClockValuesStillGiveABoundedName)
{
    char name[AUTO_NAME_BUFFER];
    AutoNameCandidate({-5, 99, 1000, -1, 12345}, 10, name, sizeof name);
    EXPECT_EQ(std::string(name).size(), 12u);
    char tiny[5];
    AutoNameCandidate({2026, 12, 6, 14, 37}, 0, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "6C06");
}
