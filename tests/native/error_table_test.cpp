// Error texts for codes without one of their own, and error-log names.
// (Each shown text is checked where it is raised: Win32 and end-to-end tests.)
#include "errors/error_codes.h"
#include "errors/error_table.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(ErrorMessage, TwoPairsShareATextAndACodeWithoutOneNamesItselfPerThread)
{
    EXPECT_STREQ(ErrorMessage(ERR_ANSWER), ErrorMessage(ERR_CONNECTION));
    EXPECT_STREQ(ErrorMessage(ERR_THREAD_CREATE), ErrorMessage(ERR_PORT_OPEN));
    EXPECT_STREQ(ErrorMessage(ERR_PORT_ABSENT), "Unexpected error (code -209)!!");
    std::string other;
    std::thread worker([&other] { other = ErrorMessage(-999); });
    const std::string mine = ErrorMessage(-998);
    worker.join();
    EXPECT_EQ(other + mine, "Unexpected error (code -999)!!Unexpected error (code -998)!!");
}

TEST(ErrorLogPath, FormedFromDirectoryAndTimeAndRefusedPast260Characters)
{
    char path[261];
    const struct {
        const char* proves;
        std::string directory;
        int result;
        const char* path;   // null: not looked at
    } rows[] = {
        {"an empty directory puts the log at the drive root", "", 1, "\\Err20261206143705.log"},
        {"22 characters after a 238-character directory: 260 fit", std::string(238, 'd'), 1, nullptr},
        {"261 characters are refused", std::string(239, 'd'), 0, nullptr},
        {"a directory far over the limit is refused, not cut", std::string(5000, 'd'), 0, nullptr},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FormatErrorLogPath(path, sizeof path, row.directory.c_str(), 2026, 12, 6, 14, 37, 5), row.result)
            << row.proves;
        if (row.path) { EXPECT_STREQ(path, row.path) << row.proves; }
    }
}
