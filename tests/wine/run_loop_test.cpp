// The run loop with the dialogs replaced by a script of results: dialog order and exits.
#include "app/settings.h"
#include "app/startup.h"
#include "res/resource.h"

#include "box_watcher.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

std::deque<INT_PTR> scriptedResults;
std::vector<int> shownDialogs;

INT_PTR ScriptedDialog(int templateId)
{
    shownDialogs.push_back(templateId);
    if (scriptedResults.empty()) return -1;   // an unplanned dialog fails
    const INT_PTR result = scriptedResults.front();
    scriptedResults.pop_front();
    return result;
}

constexpr INT_PTR OK = 1, CANCEL = 2, SESSION_CLOSED = 3;

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSettingsFileDefaults();
        std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", dir_.Path().c_str());
        std::strcpy(settings.outputFileName, "out");
    }
    void TearDown() override { SetCurrentDirectoryA(before_.c_str()); }
    int Run(std::initializer_list<INT_PTR> results)
    {
        scriptedResults.assign(results);
        shownDialogs.clear();
        return RunLoop(ScriptedDialog);
    }
    std::string before_ = CurrentDirectoryText();
    TestDir dir_;
};

}  // namespace

TEST_F(RunLoopTest, EndsOnCancelAfterOnePassWithoutTheDialogOrWhenADialogFails)
{
    EXPECT_EQ(Run({OK, SESSION_CLOSED, OK, SESSION_CLOSED, CANCEL}), LOOP_CANCELLED);
    EXPECT_EQ(shownDialogs, std::vector<int>({IDD_SETTINGS, IDD_SESSION, IDD_SETTINGS, IDD_SESSION, IDD_SETTINGS}));
    EXPECT_STREQ(settings.outputFileName, "out.txt");   // completed by the check
    settings.commandLineMode = 1;
    EXPECT_EQ(Run({SESSION_CLOSED}), LOOP_SESSION_DONE);
    EXPECT_EQ(shownDialogs, std::vector<int>{IDD_SESSION});
    settings.commandLineMode = 0;
    settings.alwaysShowDialog = 0;
    EXPECT_EQ(Run({SESSION_CLOSED}), LOOP_SESSION_DONE);
    EXPECT_EQ(shownDialogs, std::vector<int>{IDD_SESSION});
    settings.alwaysShowDialog = 1;
    EXPECT_EQ(Run({-1}), LOOP_DIALOG_FAILED);
    EXPECT_EQ(Run({0}), LOOP_DIALOG_FAILED);
    EXPECT_EQ(Run({OK, -1}), LOOP_DIALOG_FAILED);   // a failing session window does not loop again
    EXPECT_EQ(shownDialogs, std::vector<int>({IDD_SETTINGS, IDD_SESSION}));
}

TEST_F(RunLoopTest, AnInvalidLocationShowsTheNameErrorWithoutOwnerAndEnds)
{
    settings.commandLineMode = 1;
    std::strcpy(settings.outputFileName, "a|b");
    BoxWatcher box("Error Message", IDOK);
    EXPECT_EQ(Run({SESSION_CLOSED}), LOOP_INVALID_LOCATION);
    box.Stop();
    EXPECT_TRUE(shownDialogs.empty());
    ASSERT_EQ(box.Count(), 1);
    EXPECT_EQ(box.Boxes()[0].text, "Invalid file name or path!!");
    EXPECT_EQ(box.Boxes()[0].owner, nullptr);
}
