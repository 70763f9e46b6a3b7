// Output location string rules, with the current directory handed in.
#include "app/output_path.h"

#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char BIN[] = "C:\\Prog\\Bin";

std::string Normalize(const std::string& text, const char* current = BIN)
{
    char buffer[PATH_BUFFER];
    std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
    NormalizeDirectoryText(buffer, current);
    return buffer;
}

struct Split {
    std::string directory;
    std::string file;
};

Split SplitWithFile(const std::string& path, const char* current = BIN)
{
    char directory[PATH_BUFFER] = "untouched";
    char file[PATH_BUFFER] = "unchanged";
    SplitOutputPathText(path.c_str(), current, directory, file);
    return {directory, file};
}

std::string SplitDirectoryOnly(const std::string& path, const char* current = BIN)
{
    char directory[PATH_BUFFER] = "untouched";
    SplitOutputPathText(path.c_str(), current, directory, nullptr);
    return directory;
}

std::string Completed(const std::string& name, int expectedResult = 1)
{
    char buffer[PATH_BUFFER];
    std::snprintf(buffer, sizeof buffer, "%s", name.c_str());
    EXPECT_EQ(CompleteFileNameExtension(buffer), expectedResult) << name;
    return buffer;
}

std::string Preset(const std::string& directory, const std::string& name, size_t bufferSize = 260)
{
    char out[512];
    std::memset(out, '#', sizeof out);
    BrowsePresetText(directory.c_str(), name.c_str(), out, bufferSize);
    EXPECT_EQ(out[bufferSize], '#') << "wrote past the dialog's buffer";
    return out;
}

}  // namespace

TEST(NormalizeDirectory, RemovesOneTrailingBackslashExceptAtADriveRoot)
{
    EXPECT_EQ(Normalize("C:\\Data\\"), "C:\\Data");
    EXPECT_EQ(Normalize("C:\\"), "C:\\");
    EXPECT_EQ(Normalize("C:\\Data\\\\"), "C:\\Data\\");
    EXPECT_EQ(Normalize("Data"), "Data");
    EXPECT_EQ(Normalize("C:\\Data"), "C:\\Data");
}

TEST(NormalizeDirectory, TwoBackslashesGiveTheParentButStopAtTheDriveRoot)
{
    EXPECT_EQ(Normalize("\\\\"), "C:\\Prog");
    EXPECT_EQ(Normalize("\\\\", "C:\\Prog"), "C:\\Prog");
    EXPECT_EQ(Normalize("\\\\", "C:\\"), "C:\\");
}

TEST(NormalizeDirectory, OneBackslashIsTheDriveRootAndDotBackslashTheCurrentDirectory)
{
    EXPECT_EQ(Normalize("\\"), "C:\\");
    EXPECT_EQ(Normalize("\\", "D:\\"), "D:\\");
    EXPECT_EQ(Normalize(".\\"), BIN);
    // Only the whole text is a special form.
    EXPECT_EQ(Normalize(".\\x\\"), ".\\x");
}

TEST(SplitOutputPath, ExampleTable)
{
    const struct {
        const char* path;
        const char* directory;
        const char* file;
    } rows[] = {
        {"C:\\Data\\OUT.TXT", "C:\\Data", "OUT.TXT"},
        {"C:\\OUT.TXT", "C:\\", "OUT.TXT"},
        {"OUT.TXT", BIN, "OUT.TXT"},
        {"C:\\Data\\", "C:\\Data", ""},
        {"", BIN, "unchanged"},
    };
    for (const auto& row : rows) {
        const Split split = SplitWithFile(row.path);
        EXPECT_EQ(split.directory, row.directory) << row.path;
        EXPECT_EQ(split.file, row.file) << row.path;
    }
    EXPECT_EQ(SplitDirectoryOnly("C:\\Data\\"), "C:\\Data");
    EXPECT_EQ(SplitDirectoryOnly("C:\\Data\\Sub"), "C:\\Data\\Sub");
    EXPECT_EQ(SplitDirectoryOnly("\\\\"), "C:\\Prog");
    EXPECT_EQ(SplitDirectoryOnly("\\"), "C:\\");
    EXPECT_EQ(SplitDirectoryOnly("C:\\"), "C:\\");
    EXPECT_EQ(SplitDirectoryOnly(""), BIN);
}

TEST(SplitOutputPath, SpecialFormsWithAFileNameAreResolvedThenSplit)
{
    const Split parent = SplitWithFile("\\\\");
    EXPECT_EQ(parent.directory, "C:\\");
    EXPECT_EQ(parent.file, "Prog");
    const Split current = SplitWithFile(".\\");
    EXPECT_EQ(current.directory, "C:\\Prog");
    EXPECT_EQ(current.file, "Bin");
}

TEST(SplitOutputPath, OverlongPathsAreCutWithinTheBuffersAndFailTheLengthCheck)
{
    const std::string name(261, 'n');   // a stored path may hold 261 characters
    const Split bare = SplitWithFile(name);
    EXPECT_EQ(bare.file.size(), 260u);
    char file[PATH_BUFFER];
    std::snprintf(file, sizeof file, "%s", bare.file.c_str());
    EXPECT_EQ(CheckOutputFileName(bare.directory.c_str(), file), 0);

    const std::string directory = "C:\\" + std::string(258, 'd');   // 261 characters
    const std::string cut = SplitDirectoryOnly(directory);
    EXPECT_EQ(cut.size(), 260u);
    char empty[PATH_BUFFER] = "";
    EXPECT_EQ(CheckOutputFileName(cut.c_str(), empty), 0);
}

TEST(FileName, ExtensionIsCompletedOrCutToTxt)
{
    EXPECT_EQ(Completed("scan"), "scan.txt");
    EXPECT_EQ(Completed("scan.TXT"), "scan.TXT");
    EXPECT_EQ(Completed("scan.csv"), "scan.csv");
    EXPECT_EQ(Completed("scan.txt2"), "scan.txt");
    EXPECT_EQ(Completed("scan.txtold"), "scan.txt");
    EXPECT_EQ(Completed("scan.TxTold"), "scan.TxT");
    EXPECT_EQ(Completed("scan.tx"), "scan.tx");
    EXPECT_EQ(Completed("a.b.txt.x"), "a.b.txt.x");
    EXPECT_EQ(Completed(""), ".txt");
    EXPECT_EQ(Completed(std::string(256, 'n')), std::string(256, 'n') + ".txt");
    EXPECT_EQ(Completed(std::string(257, 'n'), 0), std::string(257, 'n'));
}

TEST(FileName, ForbiddenCharactersAreRefused)
{
    for (const char* bad : {"a:b", "a?b", "a|b", "a\\b", "a\"b", "a/b", "a*b", "a<b", "a>b"}) {
        EXPECT_TRUE(HasForbiddenFileNameChar(bad)) << bad;
        char name[PATH_BUFFER];
        std::snprintf(name, sizeof name, "%s", bad);
        EXPECT_EQ(CheckOutputFileName("C:\\Data", name), 0) << bad;
    }
    EXPECT_FALSE(HasForbiddenFileNameChar("scan 1,2;[x].txt"));
}

TEST(FileName, LocationMayHoldAtMost260Characters)
{
    char name[PATH_BUFFER] = "abcdef.txt";   // 10 characters
    EXPECT_EQ(CheckOutputFileName(std::string(250, 'd').c_str(), name), 0);
    EXPECT_EQ(CheckOutputFileName(std::string(249, 'd').c_str(), name), 1);
    // The name is completed even when the length then fails.
    char bare[PATH_BUFFER] = "abcdef";
    EXPECT_EQ(CheckOutputFileName(std::string(250, 'd').c_str(), bare), 0);
    EXPECT_STREQ(bare, "abcdef.txt");
}

TEST(BrowsePreset, JoinsDirectoryAndNameWithOneBackslash)
{
    EXPECT_EQ(Preset("C:\\Data", "OUT.TXT"), "C:\\Data\\OUT.TXT");
    EXPECT_EQ(Preset("C:\\", "OUT.TXT"), "C:\\OUT.TXT");
    EXPECT_EQ(Preset("C:\\Data", ""), "");
    EXPECT_EQ(Preset("Data", "OUT.TXT"), "");   // no backslash in the directory
}

TEST(BrowsePreset, PresetsTheNameAloneWhenTheJoinedPathDoesNotFit)
{
    const std::string directory = "C:\\" + std::string(250, 'd');   // 253 characters
    EXPECT_EQ(Preset(directory, "abcde.txt"), "abcde.txt");          // 263 would not fit
    EXPECT_EQ(Preset(directory, "ab.txt"), "ab.txt");                // 260 characters need 261 bytes
    EXPECT_EQ(Preset(directory, "ab.tx"), directory + "\\ab.tx");    // 259 characters fit
}

TEST(SplitChosenPath, KeepsTheBackslashOfADriveRoot)
{
    char directory[PATH_BUFFER] = "old";
    char file[PATH_BUFFER] = "old";
    EXPECT_EQ(SplitChosenPath("C:\\OUT.TXT", directory, file), 1);
    EXPECT_STREQ(directory, "C:\\");
    EXPECT_STREQ(file, "OUT.TXT");
    EXPECT_EQ(SplitChosenPath("C:\\Data\\Sub\\A.TXT", directory, file), 1);
    EXPECT_STREQ(directory, "C:\\Data\\Sub");
    EXPECT_STREQ(file, "A.TXT");
    EXPECT_EQ(SplitChosenPath("NoBackslash", directory, file), 0);
    EXPECT_STREQ(directory, "C:\\Data\\Sub");
}

TEST(CutToDirectory, ProgramDirectoryRule)
{
    char path[PATH_BUFFER] = "C:\\Prog\\Bin\\Varnolt.exe";
    CutToDirectory(path);
    EXPECT_STREQ(path, "C:\\Prog\\Bin");
    char root[PATH_BUFFER] = "C:\\Varnolt.exe";
    CutToDirectory(root);
    EXPECT_STREQ(root, "C:\\");
}
