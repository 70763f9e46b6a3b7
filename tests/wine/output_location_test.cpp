// Output location rules against the real file system and the -106 question.
#include "app/output_location.h"
#include "core/settings.h"

#include "box_watcher.h"
#include "test_dir.h"
#include "tests/common/restore_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Location {
    char directory[PATH_BUFFER], fileName[PATH_BUFFER];
    Location(const std::string& dir, const std::string& name)
    {
        std::snprintf(directory, sizeof directory, "%s", dir.c_str());
        std::snprintf(fileName, sizeof fileName, "%s", name.c_str());
    }
    int Validate() { return ValidateOutputPath(directory, fileName); }
    std::string Text() const { return std::string(directory) + "|" + fileName; }
};

// Each test runs in a known current directory, which every call must leave as it was.
class OutputLocation : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SetCurrentDirectoryA(dir_.Path().c_str())); }
    void TearDown() override
    {
        EXPECT_EQ(CurrentDirectoryText(), dir_.Path());
        SetCurrentDirectoryA(before_.c_str());
    }
    std::string before_ = CurrentDirectoryText();
    const Restore<Settings> settings_{settings};
    TestDir dir_;
};

}  // namespace

TEST_F(OutputLocation, NameRulesAskNothingAndBareNamesUseTheCurrentDirectory)
{
    BoxWatcher noQuestion("Warring", IDNO);
    settings.saveMode = OVERWRITE;
    Location scan(dir_.Path(), "scan");
    EXPECT_EQ(scan.Validate(), 1);
    EXPECT_EQ(scan.Text(), dir_.Path() + "|scan.txt");
    EXPECT_EQ(ValidateOutputPath(scan.directory, nullptr), 0);
    for (const char* bad : {"", "a?b"}) EXPECT_EQ(Location(dir_.Path(), bad).Validate(), 0) << bad;
    // Directory, backslash and name: 261 characters refused, 260 accepted.
    EXPECT_EQ(Location(dir_.Path(), std::string(256 - dir_.Path().size(), 'n') + ".txt").Validate(), 0);
    EXPECT_EQ(Location(dir_.Path(), std::string(255 - dir_.Path().size(), 'n') + ".txt").Validate(), 1);
    settings.saveMode = AUTO_FILE_NAME;   // needs no file name
    Location automatic(dir_.Path(), "");
    EXPECT_EQ(ValidateOutputPath(automatic.directory, nullptr) + automatic.Validate(), 2);
    EXPECT_EQ(automatic.Text(), dir_.Path() + "|.txt");
    noQuestion.Stop();
    EXPECT_EQ(noQuestion.Count(), 0);
    char directory[PATH_BUFFER], file[PATH_BUFFER];
    SplitOutputPath("OUT.TXT", directory, file);
    EXPECT_EQ(std::string(directory) + "|" + file, dir_.Path() + "|OUT.TXT");
}

TEST_F(OutputLocation, MissingDirectoryIsCreatedOneLevelDeepOnlyAfterYes)
{
    const struct {
        int answer;
        const char *directory, *name;
        int result;
        bool created;
    } rows[] = {{IDNO, "missing", "scan.txt", 0, false}, {IDYES, "made", "scan", 1, true},
        {IDYES, "a\\b", "scan.txt", 0, false}, {IDYES, "new", "a?b", 0, true}};   // the name is checked after
    for (const auto& row : rows) {
        BoxWatcher question("Warring", row.answer);
        Location location(row.directory, row.name);   // relative: stored as its absolute path
        EXPECT_EQ(location.Validate(), row.result) << row.directory;
        question.Stop();
        EXPECT_EQ(question.Count(), 1);
        EXPECT_EQ(PathExists(dir_.File(row.directory)), row.created) << row.directory;
        EXPECT_FALSE(PathExists(dir_.File("a")));
        if (row.result == 1) { EXPECT_EQ(location.Text(), dir_.File("made") + "|scan.txt"); }
    }
}
