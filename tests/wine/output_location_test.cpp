// Output location rules against the real file system and the -106 question.
#include "app/output_location.h"
#include "app/settings.h"

#include "box_watcher.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char QUESTION_TEXT[] = "Path is inexistent !!\rDo you want to create a new directory?";

struct Location {
    char directory[PATH_BUFFER];
    char fileName[PATH_BUFFER];
    Location(const std::string& dir, const std::string& name)
    {
        std::snprintf(directory, sizeof directory, "%s", dir.c_str());
        std::snprintf(fileName, sizeof fileName, "%s", name.c_str());
    }
};

// Runs each test with a known current directory and puts the old one back.
class OutputLocation : public ::testing::Test {
protected:
    void SetUp() override
    {
        before_ = CurrentDirectoryText();
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.Path().c_str()));
        settings.saveMode = OVERWRITE;
    }
    void TearDown() override { SetCurrentDirectoryA(before_.c_str()); }
    TestDir dir_;
    std::string before_;
};

}  // namespace

TEST_F(OutputLocation, NormalizeResolvesSpecialFormsAgainstTheCurrentDirectory)
{
    ASSERT_TRUE(CreateDirectoryA(dir_.File("sub").c_str(), nullptr));
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.File("sub").c_str()));
    char text[PATH_BUFFER] = "\\\\";
    NormalizeDirectory(text);
    EXPECT_EQ(std::string(text), dir_.Path());
    std::strcpy(text, ".\\");
    NormalizeDirectory(text);
    EXPECT_EQ(std::string(text), dir_.File("sub"));
    std::strcpy(text, "\\");
    NormalizeDirectory(text);
    EXPECT_EQ(std::string(text), dir_.Path().substr(0, 3));
}

TEST_F(OutputLocation, ProgramDirectoryIsTheFolderOfTheRunningProgram)
{
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    char directory[PATH_BUFFER];
    ProgramDirectory(directory);
    const std::string full = module;
    EXPECT_EQ(std::string(directory), full.substr(0, full.rfind('\\')));
}

TEST_F(OutputLocation, SplitUsesTheCurrentDirectoryForABareName)
{
    char directory[PATH_BUFFER];
    char file[PATH_BUFFER];
    SplitOutputPath("OUT.TXT", directory, file);
    EXPECT_EQ(std::string(directory), dir_.Path());
    EXPECT_STREQ(file, "OUT.TXT");
}

TEST_F(OutputLocation, ExistingDirectoryCompletesTheNameAndRestoresTheCurrentDirectory)
{
    ASSERT_TRUE(CreateDirectoryA(dir_.File("out").c_str(), nullptr));
    BoxWatcher noQuestion("Warring", IDNO);
    Location location(dir_.File("out"), "scan");
    EXPECT_EQ(ValidateOutputPath(location.directory, location.fileName), 1);
    EXPECT_STREQ(location.fileName, "scan.txt");
    EXPECT_EQ(std::string(location.directory), dir_.File("out"));
    EXPECT_EQ(CurrentDirectoryText(), dir_.Path());
    noQuestion.Stop();
    EXPECT_EQ(noQuestion.Count(), 0);
}

TEST_F(OutputLocation, MissingDirectoryAnsweredNoCreatesNothing)
{
    BoxWatcher question("Warring", IDNO);
    Location location(dir_.File("missing"), "scan.txt");
    EXPECT_EQ(ValidateOutputPath(location.directory, location.fileName), 0);
    question.Stop();
    ASSERT_EQ(question.Count(), 1);
    EXPECT_EQ(question.Boxes()[0].text, QUESTION_TEXT);
    EXPECT_FALSE(PathExists(dir_.File("missing")));
    EXPECT_EQ(CurrentDirectoryText(), dir_.Path());
}

TEST_F(OutputLocation, MissingDirectoryAnsweredYesIsCreatedAndStoredAbsolute)
{
    BoxWatcher question("Warring", IDYES);
    Location location("made", "scan");   // relative to the current directory
    EXPECT_EQ(ValidateOutputPath(location.directory, location.fileName), 1);
    question.Stop();
    EXPECT_EQ(question.Count(), 1);
    EXPECT_TRUE(PathExists(dir_.File("made")));
    EXPECT_EQ(std::string(location.directory), dir_.File("made"));
    EXPECT_STREQ(location.fileName, "scan.txt");
    EXPECT_EQ(CurrentDirectoryText(), dir_.Path());
}

TEST_F(OutputLocation, OnlyOneLevelIsCreated)
{
    BoxWatcher question("Warring", IDYES);
    Location location(dir_.File("a\\b"), "scan.txt");
    EXPECT_EQ(ValidateOutputPath(location.directory, location.fileName), 0);
    question.Stop();
    EXPECT_EQ(question.Count(), 1);
    EXPECT_FALSE(PathExists(dir_.File("a")));
    EXPECT_EQ(CurrentDirectoryText(), dir_.Path());
}

TEST_F(OutputLocation, DirectoryIsCreatedEvenWhenTheNameIsThenRefused)
{
    BoxWatcher question("Warring", IDYES);
    Location location(dir_.File("new"), "a?b");
    EXPECT_EQ(ValidateOutputPath(location.directory, location.fileName), 0);
    question.Stop();
    EXPECT_TRUE(PathExists(dir_.File("new")));
}

TEST_F(OutputLocation, FileNameRulesWithoutAnyQuestion)
{
    BoxWatcher noQuestion("Warring", IDNO);
    Location empty(dir_.Path(), "");
    EXPECT_EQ(ValidateOutputPath(empty.directory, empty.fileName), 0);
    EXPECT_EQ(ValidateOutputPath(empty.directory, nullptr), 0);
    for (const char* bad : {"a:b", "a?b", "a|b"}) {
        Location location(dir_.Path(), bad);
        EXPECT_EQ(ValidateOutputPath(location.directory, location.fileName), 0) << bad;
    }
    // Directory, backslash and name: 261 characters refused, 260 accepted.
    Location tooLong(dir_.Path(), std::string(256 - dir_.Path().size(), 'n') + ".txt");
    EXPECT_EQ(ValidateOutputPath(tooLong.directory, tooLong.fileName), 0);
    Location fits(dir_.Path(), std::string(255 - dir_.Path().size(), 'n') + ".txt");
    EXPECT_EQ(ValidateOutputPath(fits.directory, fits.fileName), 1);
    noQuestion.Stop();
    EXPECT_EQ(noQuestion.Count(), 0);
}

TEST_F(OutputLocation, AutomaticNameModeNeedsNoFileName)
{
    settings.saveMode = AUTO_FILE_NAME;
    Location location(dir_.Path(), "");
    EXPECT_EQ(ValidateOutputPath(location.directory, nullptr), 1);
    EXPECT_EQ(ValidateOutputPath(location.directory, location.fileName), 1);
    EXPECT_STREQ(location.fileName, ".txt");
    settings.saveMode = OVERWRITE;
}

namespace {

constexpr int SAVE_AS_FILE_NAME_FIELD = 0x47C;   // the file-name combo box of the Save-As dialog

// What the Save-As dialog shows in its file-name field when opened with
// this location; the dialog is cancelled, which must change nothing.
std::string BrowsePreset(const std::string& directory, const std::string& name)
{
    BoxWatcher saveAs("Save As", IDCANCEL, SAVE_AS_FILE_NAME_FIELD);
    Location location(directory, name);
    EXPECT_EQ(BrowseOutputFile(nullptr, location.directory, location.fileName), 0);
    saveAs.Stop();
    EXPECT_EQ(saveAs.Count(), 1);
    EXPECT_EQ(std::string(location.directory), directory);
    EXPECT_EQ(std::string(location.fileName), name);
    return saveAs.Count() == 1 ? saveAs.Boxes()[0].text : "<no dialog>";
}

}  // namespace

TEST_F(OutputLocation, BrowsePresetsTheFileFieldAndCancelChangesNothing)
{
    // The dialog opens the folder of a preset full path and shows its name.
    EXPECT_EQ(BrowsePreset(dir_.Path(), "OUT.TXT"), "OUT.TXT");
    EXPECT_EQ(BrowsePreset(dir_.Path(), ""), "");
    // Too long for the dialog's 260-character buffer: the name alone is
    // preset, and the dialog still opens with it.
    const std::string longName = std::string(258 - dir_.Path().size(), 'n') + ".txt";
    EXPECT_EQ(BrowsePreset(dir_.Path(), longName), longName);
    EXPECT_EQ(CurrentDirectoryText(), dir_.Path());
}
