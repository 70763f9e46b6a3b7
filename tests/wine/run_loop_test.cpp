// Start-up and the run loop with the dialogs replaced by a script of
// results: what start-up makes of the settings, dialog order and exits.
#include "app/output_location.h"
#include "app/startup.h"
#include "core/settings.h"
#include "res/program_instance.h"
#include "res/resource.h"

#include "box_watcher.h"
#include "test_dir.h"
#include "tests/common/restore_guard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

std::deque<INT_PTR> scriptedResults;
std::vector<int> shownDialogs;
std::vector<int> keepOnlineShown;   // settings.keepOnline as each dialog came up

INT_PTR ScriptedDialog(int templateId)
{
    shownDialogs.push_back(templateId);
    keepOnlineShown.push_back(settings.keepOnline);
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
        keepOnlineShown.clear();
        return RunLoop(ScriptedDialog);
    }
    std::string before_ = CurrentDirectoryText();
    const Restore<Settings> settings_{settings};
    const Restore<char[PATH_BUFFER]> settingsFile_{settingsFilePath};
    const Restore<HINSTANCE> instance_{programInstance};
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

// Start-up reads Varnolt.ini beside the program: here, beside this test program.
TEST_F(RunLoopTest, StartUpClearsKeepOnlineForAppendFromEitherSource)
{
    char programDirectory[PATH_BUFFER];
    ProgramDirectory(programDirectory);
    const std::string ini = std::string(programDirectory) + "\\Varnolt.ini";
    ASSERT_FALSE(PathExists(ini)) << "left over from another run";
    const std::string out = dir_.File("out.txt");
    const struct {
        const char* proves;
        std::string iniText, commandLine;   // the settings of each source: mode 2 APPEND, keep-online 1
        int dialog;                         // the first dialog, where keep-online is looked at
    } rows[] = {
        {"settings file", out + "\r\n1\r\n1\r\n1\r\n2\r\n1\r\n1\r\n1\r\n0\r\n1\r\n1\r\n2\r\n2\r\n", "", IDD_SETTINGS},
        {"command line", "", out + ",1,1,1,2,1,1,1,0,0,1,2,2", IDD_SESSION},
    };
    for (const auto& row : rows) {
        if (!row.iniText.empty()) WriteWholeFile(ini, row.iniText);
        scriptedResults.assign({row.dialog == IDD_SETTINGS ? CANCEL : SESSION_CLOSED});
        shownDialogs.clear();
        keepOnlineShown.clear();
        StartProgram(GetModuleHandleA(nullptr), ("varnolt.exe " + row.commandLine).c_str(), ScriptedDialog);
        DeleteFileA(ini.c_str());
        EXPECT_EQ(shownDialogs, std::vector<int>{row.dialog}) << row.proves;
        EXPECT_EQ(keepOnlineShown, std::vector<int>{0}) << row.proves;
    }
}
