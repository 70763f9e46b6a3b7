// Error texts and error-log names.
#include "errors/error_codes.h"
#include "errors/error_table.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(ErrorMessage, ExactTexts)
{
    EXPECT_STREQ(ErrorMessage(-1), "Invalid value!!");
    EXPECT_STREQ(ErrorMessage(-101), "Failed to create the specific file!!");
    EXPECT_STREQ(ErrorMessage(-102), "Failed to open the specific file!!");
    EXPECT_STREQ(ErrorMessage(-103), "Failed to write data to the specific file!!");
    EXPECT_STREQ(ErrorMessage(-104), "Invalid file name or path!!");
    EXPECT_STREQ(ErrorMessage(-105), "Invalid directory!!");
    EXPECT_STREQ(ErrorMessage(-106), "Path is inexistent !!\rDo you want to create a new directory?");
    EXPECT_STREQ(ErrorMessage(-202), "Unable to configure the IR device!!");
    EXPECT_STREQ(ErrorMessage(-203), "Failed to initialize the COM port!");
    EXPECT_STREQ(ErrorMessage(-204), "Failed to write the COM port!");
    EXPECT_STREQ(ErrorMessage(-207), "Time out!!");
    EXPECT_STREQ(ErrorMessage(-208), "There is no incoming call!!");
    EXPECT_STREQ(ErrorMessage(-301), "Failed to initialize line!");
    EXPECT_STREQ(ErrorMessage(-302), "Failed to configure device!");
    EXPECT_STREQ(ErrorMessage(-351), "Can't get the device ID!");
}

TEST(ErrorMessage, PairsShareTheirText)
{
    EXPECT_STREQ(ErrorMessage(-206), "Failed to create connection!!");
    EXPECT_STREQ(ErrorMessage(-352), "Failed to create connection!!");
    EXPECT_STREQ(ErrorMessage(-201), "Failed to open the COM port!!");
    EXPECT_STREQ(ErrorMessage(-205), "Failed to open the COM port!!");
}

TEST(ErrorMessage, CodesOutsideTheTableGetAGenericTextNamingTheCode)
{
    EXPECT_STREQ(ErrorMessage(-209), "Unexpected error (code -209)!!");
    EXPECT_STREQ(ErrorMessage(0), "Unexpected error (code 0)!!");
    EXPECT_STREQ(ErrorMessage(-2147483647 - 1), "Unexpected error (code -2147483648)!!");
    // Each thread formats into its own buffer.
    std::string other;
    std::thread worker([&other] { other = ErrorMessage(-999); });
    const std::string mine = ErrorMessage(-998);
    worker.join();
    EXPECT_EQ(other, "Unexpected error (code -999)!!");
    EXPECT_EQ(mine, "Unexpected error (code -998)!!");
}

TEST(ErrorLogPath, FormedFromDirectoryAndLocalTime)
{
    char path[261];
    ASSERT_EQ(FormatErrorLogPath(path, sizeof path, "C:\\Data", 2026, 12, 6, 14, 37, 5), 1);
    EXPECT_STREQ(path, "C:\\Data\\Err20261206143705.log");
    ASSERT_EQ(FormatErrorLogPath(path, sizeof path, "", 2026, 1, 2, 3, 4, 5), 1);
    EXPECT_STREQ(path, "\\Err20260102030405.log");
    ASSERT_EQ(FormatErrorLogPath(path, sizeof path, "C:\\", 999, 1, 2, 3, 4, 5), 1);
    EXPECT_STREQ(path, "C:\\\\Err 9990102030405.log");
}

TEST(ErrorLogPath, RefusedWhenLongerThan260Characters)
{
    char path[261];
    // "\\Err" + 14 digits + ".log" = 22 characters after the directory.
    EXPECT_EQ(FormatErrorLogPath(path, sizeof path, std::string(238, 'd').c_str(), 2026, 12, 6, 14, 37, 5), 1);
    EXPECT_EQ(std::string(path).size(), 260u);
    EXPECT_EQ(FormatErrorLogPath(path, sizeof path, std::string(239, 'd').c_str(), 2026, 12, 6, 14, 37, 5), 0);
    EXPECT_EQ(FormatErrorLogPath(path, sizeof path, std::string(5000, 'd').c_str(), 2026, 12, 6, 14, 37, 5), 0);
}
