// Start-up and the run loop, with the dialogs replaced by a script of
// results so that the order of dialogs and the loop's exits can be checked.
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

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        before_ = CurrentDirectoryText();
        scriptedResults.clear();
        shownDialogs.clear();
        SetSettingsFileDefaults();
        std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", dir_.Path().c_str());
        std::strcpy(settings.outputFileName, "out");
    }
    void TearDown() override { SetCurrentDirectoryA(before_.c_str()); }

    int Run(std::initializer_list<INT_PTR> results)
    {
        scriptedResults.assign(results);
        return RunLoop(ScriptedDialog);
    }
    TestDir dir_;
    std::string before_;
};

constexpr INT_PTR OK = 1;
constexpr INT_PTR CANCEL = 2;
constexpr INT_PTR SESSION_CLOSED = 3;

}  // namespace

TEST_F(RunLoopTest, FileModeWithTheDialogRepeatsUntilCancel)
{
    EXPECT_EQ(Run({OK, SESSION_CLOSED, OK, SESSION_CLOSED, CANCEL}), LOOP_CANCELLED);
    const std::vector<int> expected = {IDD_SETTINGS, IDD_SESSION, IDD_SETTINGS, IDD_SESSION, IDD_SETTINGS};
    EXPECT_EQ(shownDialogs, expected);
    EXPECT_STREQ(settings.outputFileName, "out.txt");   // completed by the check
}

TEST_F(RunLoopTest, CommandLineModeRunsOneSessionWithoutTheDialog)
{
    settings.commandLineMode = 1;
    EXPECT_EQ(Run({SESSION_CLOSED}), LOOP_SESSION_DONE);
    EXPECT_EQ(shownDialogs, std::vector<int>{IDD_SESSION});
}

TEST_F(RunLoopTest, ClearingAlwaysShowEndsAfterTheNextSession)
{
    settings.alwaysShowDialog = 0;
    EXPECT_EQ(Run({SESSION_CLOSED}), LOOP_SESSION_DONE);
    EXPECT_EQ(shownDialogs, std::vector<int>{IDD_SESSION});
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
    EXPECT_STREQ(settings.outputFileName, "a|b");   // the record keeps its text
}

TEST_F(RunLoopTest, KeyboardEmulationSkipsTheLocationCheck)
{
    settings.commandLineMode = 1;
    settings.saveMode = KEYBOARD_EMULATION;
    settings.outputDirectory[0] = '\0';
    settings.outputFileName[0] = '\0';
    BoxWatcher box("Error Message", IDOK);
    EXPECT_EQ(Run({SESSION_CLOSED}), LOOP_SESSION_DONE);
    box.Stop();
    EXPECT_EQ(box.Count(), 0);
    EXPECT_STREQ(settings.outputFileName, "");
}

TEST_F(RunLoopTest, ADialogThatCannotBeCreatedEndsTheLoop)
{
    EXPECT_EQ(Run({-1}), LOOP_DIALOG_FAILED);
    EXPECT_EQ(shownDialogs, std::vector<int>{IDD_SETTINGS});
    shownDialogs.clear();
    EXPECT_EQ(Run({0}), LOOP_DIALOG_FAILED);
    shownDialogs.clear();
    // A failing session window does not send the user round the loop again.
    EXPECT_EQ(Run({OK, -1}), LOOP_DIALOG_FAILED);
    const std::vector<int> expected = {IDD_SETTINGS, IDD_SESSION};
    EXPECT_EQ(shownDialogs, expected);
}

TEST_F(RunLoopTest, StartProgramRefusesA360CharacterCommandLineAndParses359)
{
    // The quoted program name and the blank after it are not part of the
    // settings text (16 characters).
    std::string line = "\"C:\\x\\prog.exe\" " + dir_.Path() + "\\out.txt,1,9";
    line += std::string(359 - (line.size() - 16), ' ');
    ASSERT_EQ(line.size() - 16, 359u);
    settings.comPort = 77;
    scriptedResults.assign({SESSION_CLOSED});
    EXPECT_EQ(StartProgram(GetModuleHandleA(nullptr), line.c_str(), ScriptedDialog), LOOP_SESSION_DONE);
    EXPECT_EQ(settings.comPort, 9);
    EXPECT_EQ(settings.commandLineMode, 1);
    EXPECT_EQ(std::string(settings.outputDirectory), dir_.Path());
    EXPECT_STREQ(settings.outputFileName, "out.txt");
    EXPECT_EQ(shownDialogs, std::vector<int>{IDD_SESSION});

    shownDialogs.clear();
    settings.comPort = 77;
    line += " ";
    EXPECT_EQ(StartProgram(GetModuleHandleA(nullptr), line.c_str(), ScriptedDialog), START_REFUSED);
    EXPECT_EQ(settings.comPort, 77);
    EXPECT_TRUE(shownDialogs.empty());
}

TEST_F(RunLoopTest, StartProgramClearsKeepOnlineForAppendAndSplitsByPathMode)
{
    const std::string program = "prog.exe ";
    scriptedResults.assign({SESSION_CLOSED});
    StartProgram(GetModuleHandleA(nullptr), (program + dir_.Path() + "\\a.txt,1,2,1,2,1,1,1,0,0,1,5,2").c_str(),
                 ScriptedDialog);
    EXPECT_EQ(settings.saveMode, APPEND);
    EXPECT_EQ(settings.keepOnline, 0);

    ASSERT_TRUE(CreateDirectoryA(dir_.File("sub").c_str(), nullptr));
    scriptedResults.assign({SESSION_CLOSED});
    StartProgram(GetModuleHandleA(nullptr), (program + dir_.Path() + "\\sub\\,1,2,1,4").c_str(), ScriptedDialog);
    EXPECT_EQ(settings.saveMode, AUTO_FILE_NAME);
    EXPECT_EQ(std::string(settings.outputDirectory), dir_.File("sub"));
    EXPECT_STREQ(settings.outputFileName, ".txt");   // the check completes the empty name

    BoxWatcher no("Warring", IDNO);
    BoxWatcher error("Error Message", IDOK);
    scriptedResults.assign({SESSION_CLOSED});
    StartProgram(GetModuleHandleA(nullptr), (program + "Q:\\typed\\here.txt,1,2,1,3").c_str(), ScriptedDialog);
    EXPECT_EQ(settings.saveMode, KEYBOARD_EMULATION);
    EXPECT_STREQ(settings.outputDirectory, "");
    EXPECT_STREQ(settings.outputFileName, "");
    EXPECT_STREQ(settings.storedPath, "Q:\\typed\\here.txt");
    no.Stop();
    error.Stop();
    EXPECT_EQ(no.Count() + error.Count(), 0);
}
