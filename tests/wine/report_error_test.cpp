// Error message boxes and the error log. (The -106 question is answered in
// the output-location tests.)
#include "core/settings.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"

#include "box_watcher.h"
#include "test_dir.h"
#include "tests/common/restore_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> LogFiles(const std::string& directory)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((directory + "\\Err*.log").c_str(), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry)) names.push_back(entry.cFileName);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return names;
}

class ReportErrorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.showErrorMessages = 1;
        std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", dir_.Path().c_str());
    }
    const Restore<Settings> settings_{settings};
    TestDir dir_;
};

}  // namespace

TEST_F(ReportErrorTest, ShowsTheTextInABoxOwnedByTheGivenWindow)
{
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    BoxWatcher box("Error Message", IDOK);
    EXPECT_EQ(ReportError(owner, ERR_TIMEOUT), 0);
    box.Stop();
    DestroyWindow(owner);
    ASSERT_EQ(box.Count(), 1);
    EXPECT_EQ(box.Boxes()[0].text, "Time out!!");
    EXPECT_EQ(box.Boxes()[0].owner, owner);
    EXPECT_TRUE(LogFiles(dir_.Path()).empty());
}

TEST_F(ReportErrorTest, WithMessagesOffOnlyTheThreeUnattendedErrorsAreLogged)
{
    settings.showErrorMessages = 0;
    BoxWatcher box("Error Message", IDOK);
    EXPECT_EQ(ReportError(nullptr, ERR_TIMEOUT), 0);
    const std::vector<std::string> logs = LogFiles(dir_.Path());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(ReadWholeFile(dir_.File(logs[0])), "Time out!!");
    for (int logged : {ERR_PORT_WRITE, ERR_FILE_WRITE}) EXPECT_EQ(ReportError(nullptr, logged), 0);
    EXPECT_EQ(box.Count(), 0);
    for (int shown : {ERR_FILE_CREATE, ERR_FILE_OPEN, ERR_PORT_OPEN, ERR_LINE_INIT}) ReportError(nullptr, shown);
    box.Stop();
    EXPECT_EQ(box.Count(), 4);
}

TEST_F(ReportErrorTest, LogNameComesFromTheTimeAndTheSameSecondReplacesTheEntry)
{
    LogErrorAt("Time out!!", SYSTEMTIME{2026, 12, 0, 6, 14, 37, 5, 0});
    LogErrorAt("Failed to write the COM port!", SYSTEMTIME{2026, 12, 0, 6, 14, 37, 5, 0});
    EXPECT_EQ(LogFiles(dir_.Path()), std::vector<std::string>{"Err20261206143705.log"});
    EXPECT_EQ(ReadWholeFile(dir_.File("Err20261206143705.log")), "Failed to write the COM port!");
}

TEST_F(ReportErrorTest, ALogPathOver260CharactersWritesNothing)
{
    const std::string deep = dir_.Path() + "\\" + std::string(238 - dir_.Path().size(), 'd');   // log path 261
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", deep.c_str());
    LogErrorAt("Time out!!", SYSTEMTIME{2026, 12, 0, 6, 14, 37, 5, 0});
    EXPECT_TRUE(RemoveDirectoryA(deep.c_str())) << "something was written into it";
    EXPECT_TRUE(LogFiles(dir_.Path()).empty());
}
