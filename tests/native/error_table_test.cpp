// Error texts and error-log names.
#include "errors/error_codes.h"
#include "errors/error_table.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(ErrorMessage, ExactAndSharedTexts)
{
    const std::pair<int, const char*> rows[] = {
        {-1, "Invalid value!!"}, {-101, "Failed to create the specific file!!"},
        {-102, "Failed to open the specific file!!"}, {-103, "Failed to write data to the specific file!!"},
        {-104, "Invalid file name or path!!"}, {-105, "Invalid directory!!"},
        {-106, "Path is inexistent !!\rDo you want to create a new directory?"},
        {-201, "Failed to open the COM port!!"}, {-205, "Failed to open the COM port!!"},
        {-202, "Unable to configure the IR device!!"}, {-203, "Failed to initialize the COM port!"},
        {-204, "Failed to write the COM port!"}, {-206, "Failed to create connection!!"},
        {-352, "Failed to create connection!!"}, {-207, "Time out!!"}, {-208, "There is no incoming call!!"},
        {-301, "Failed to initialize line!"}, {-302, "Failed to configure device!"}, {-351, "Can't get the device ID!"},
        {-209, "Unexpected error (code -209)!!"}, {-2147483647 - 1, "Unexpected error (code -2147483648)!!"},
    };
    for (const auto& [code, text] : rows) EXPECT_STREQ(ErrorMessage(code), text) << code;
    // Each thread formats an unknown code into its own buffer.
    std::string other;
    std::thread worker([&other] { other = ErrorMessage(-999); });
    const std::string mine = ErrorMessage(-998);
    worker.join();
    EXPECT_EQ(other + mine, "Unexpected error (code -999)!!Unexpected error (code -998)!!");
}

TEST(ErrorLogPath, FormedFromDirectoryAndTimeAndRefusedPast260Characters)
{
    char path[261];
    ASSERT_EQ(FormatErrorLogPath(path, sizeof path, "C:\\Data", 2026, 12, 6, 14, 37, 5), 1);
    EXPECT_STREQ(path, "C:\\Data\\Err20261206143705.log");
    ASSERT_EQ(FormatErrorLogPath(path, sizeof path, "", 2026, 1, 2, 3, 4, 5), 1);
    EXPECT_STREQ(path, "\\Err20260102030405.log");
    ASSERT_EQ(FormatErrorLogPath(path, sizeof path, "C:\\", 999, 1, 2, 3, 4, 5), 1);
    EXPECT_STREQ(path, "C:\\\\Err 9990102030405.log");
    // 22 characters follow the directory.
    EXPECT_EQ(FormatErrorLogPath(path, sizeof path, std::string(238, 'd').c_str(), 2026, 12, 6, 14, 37, 5), 1);
    EXPECT_EQ(std::string(path).size(), 260u);
    EXPECT_EQ(FormatErrorLogPath(path, sizeof path, std::string(239, 'd').c_str(), 2026, 12, 6, 14, 37, 5), 0);
    EXPECT_EQ(FormatErrorLogPath(path, sizeof path, std::string(5000, 'd').c_str(), 2026, 12, 6, 14, 37, 5), 0);
}
