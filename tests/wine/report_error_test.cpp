// Error message boxes, the -106 question and the error log.
#include "app/settings.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"

#include "box_watcher.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> LogFiles(const std::string& directory)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((directory + "\\Err*.log").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.emplace_back(entry.cFileName);
    while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

SYSTEMTIME Time(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    return time;
}

class ReportErrorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.showErrorMessages = 1;
        std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", dir_.Path().c_str());
    }
    void TearDown() override { settings.showErrorMessages = 1; }
    TestDir dir_;
};

}  // namespace

TEST_F(ReportErrorTest, ShowsTheCodesTextInAnErrorBox)
{
    BoxWatcher box("Error Message", IDOK);
    EXPECT_EQ(ReportError(nullptr, ERR_TIMEOUT), 0);
    EXPECT_EQ(ReportError(nullptr, ERR_ANSWER), 0);
    EXPECT_EQ(ReportError(nullptr, -999), 0);
    box.Stop();
    ASSERT_EQ(box.Count(), 3);
    EXPECT_EQ(box.Boxes()[0].text, "Time out!!");
    EXPECT_EQ(box.Boxes()[1].text, "Failed to create connection!!");
    EXPECT_EQ(box.Boxes()[2].text, "Unexpected error (code -999)!!");
    EXPECT_TRUE(LogFiles(dir_.Path()).empty());
}

TEST_F(ReportErrorTest, TheBoxBelongsToTheGivenOwner)
{
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    BoxWatcher box("Error Message", IDOK);
    ReportError(owner, ERR_FILE_CREATE);
    box.Stop();
    DestroyWindow(owner);
    ASSERT_EQ(box.Count(), 1);
    EXPECT_EQ(box.Boxes()[0].owner, owner);
}

TEST_F(ReportErrorTest, QuestionReturnsTheButtonChosen)
{
    {
        BoxWatcher yes("Warring", IDYES);
        EXPECT_EQ(ReportError(nullptr, ASK_CREATE_DIRECTORY), IDYES);
        yes.Stop();
        ASSERT_EQ(yes.Count(), 1);
        EXPECT_EQ(yes.Boxes()[0].text, "Path is inexistent !!\rDo you want to create a new directory?");
    }
    BoxWatcher no("Warring", IDNO);
    EXPECT_EQ(ReportError(nullptr, ASK_CREATE_DIRECTORY), IDNO);
}

TEST_F(ReportErrorTest, WithMessagesOffOnlyTheThreeUnattendedErrorsAreLogged)
{
    settings.showErrorMessages = 0;
    BoxWatcher box("Error Message", IDOK);
    EXPECT_EQ(ReportError(nullptr, ERR_TIMEOUT), 0);
    const std::vector<std::string> logs = LogFiles(dir_.Path());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].size(), std::string("Err20261206143705.log").size());
    EXPECT_EQ(ReadWholeFile(dir_.File(logs[0])), "Time out!!");
    ReportError(nullptr, ERR_PORT_WRITE);
    ReportError(nullptr, ERR_FILE_WRITE);
    EXPECT_EQ(box.Count(), 0);
    for (int shown : {ERR_FILE_CREATE, ERR_FILE_OPEN, ERR_PORT_OPEN, ERR_LINE_INIT}) ReportError(nullptr, shown);
    box.Stop();
    EXPECT_EQ(box.Count(), 4);
}

TEST_F(ReportErrorTest, LogFileNameComesFromTheTimeAndHoldsExactlyTheText)
{
    LogErrorAt("Time out!!", Time(2026, 12, 6, 14, 37, 5));
    EXPECT_EQ(ReadWholeFile(dir_.File("Err20261206143705.log")), "Time out!!");
    // Within the same second the second entry replaces the first.
    LogErrorAt("Failed to write the COM port!", Time(2026, 12, 6, 14, 37, 5));
    EXPECT_EQ(ReadWholeFile(dir_.File("Err20261206143705.log")), "Failed to write the COM port!");
    EXPECT_EQ(LogFiles(dir_.Path()).size(), 1u);
}

TEST_F(ReportErrorTest, TooLongALogPathWritesNothing)
{
    // Directory of 239 characters: the log path would be 261.
    const std::string deep = dir_.Path() + "\\" + std::string(238 - dir_.Path().size(), 'd');
    ASSERT_EQ(deep.size(), 239u);
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", deep.c_str());
    LogErrorAt("Time out!!", Time(2026, 12, 6, 14, 37, 5));
    EXPECT_TRUE(LogFiles(deep).empty());
    // One character less and it is written.
    const std::string fits = deep.substr(0, 238);
    ASSERT_TRUE(CreateDirectoryA(fits.c_str(), nullptr));
    std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", fits.c_str());
    LogErrorAt("Time out!!", Time(2026, 12, 6, 14, 37, 5));
    EXPECT_EQ(LogFiles(fits).size(), 1u);
    RemoveDirectoryA(deep.c_str());
    DeleteFileA((fits + "\\Err20261206143705.log").c_str());
    RemoveDirectoryA(fits.c_str());
}

TEST_F(ReportErrorTest, AMissingLogDirectoryLosesTheEntrySilently)
{
    settings.showErrorMessages = 0;
    std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", dir_.File("gone").c_str());
    BoxWatcher box("Error Message", IDOK);
    EXPECT_EQ(ReportError(nullptr, ERR_TIMEOUT), 0);
    box.Stop();
    EXPECT_EQ(box.Count(), 0);
    EXPECT_FALSE(PathExists(dir_.File("gone")));
}
