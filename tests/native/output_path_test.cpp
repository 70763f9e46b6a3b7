// Output location string rules, with the current directory handed in.
#include "core/output_path.h"

#include "core/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char BIN[] = "C:\\Prog\\Bin";

// "directory|file" of a split, or the directory alone when no file buffer is handed in.
std::string Split(const std::string& path, bool withFile = true)
{
    char directory[PATH_BUFFER] = "untouched", file[PATH_BUFFER] = "unchanged";
    SplitOutputPathText(path.c_str(), BIN, directory, withFile ? file : nullptr);
    return withFile ? std::string(directory) + "|" + file : directory;
}

}  // namespace

TEST(NormalizeDirectory, TrailingBackslashAndSpecialForms)
{
    const struct {
        const char *text, *current, *expected;
    } rows[] = {{"C:\\Data\\", BIN, "C:\\Data"}, {"C:\\", BIN, "C:\\"}, {"C:\\Data\\\\", BIN, "C:\\Data\\"},
        {"Data", BIN, "Data"}, {"\\\\", BIN, "C:\\Prog"}, {"\\\\", "C:\\Prog", "C:\\Prog"}, {"\\\\", "C:\\", "C:\\"},
        {"\\", BIN, "C:\\"}, {"\\", "D:\\", "D:\\"}, {".\\", BIN, BIN}, {".\\x\\", BIN, ".\\x"}};
    for (const auto& row : rows) {
        char text[PATH_BUFFER];
        std::strcpy(text, row.text);
        NormalizeDirectoryText(text, row.current);
        EXPECT_STREQ(text, row.expected) << row.text << " in " << row.current;
    }
}

TEST(SplitOutputPath, ExampleTable)
{
    const std::pair<const char*, const char*> rows[] = {{"C:\\Data\\OUT.TXT", "C:\\Data|OUT.TXT"},
        {"C:\\OUT.TXT", "C:\\|OUT.TXT"}, {"OUT.TXT", "C:\\Prog\\Bin|OUT.TXT"}, {"C:\\Data\\", "C:\\Data|"},
        {"", "C:\\Prog\\Bin|unchanged"}, {"\\\\", "C:\\|Prog"}, {".\\", "C:\\Prog|Bin"}};
    for (const auto& [path, expected] : rows) EXPECT_EQ(Split(path), expected) << path;
    // Without a file buffer the whole text is the directory, in the forms NormalizeDirectory gives.
    for (const auto& [path, expected] : {std::pair{"C:\\D\\Sub\\", "C:\\D\\Sub"}, {"\\\\", "C:\\Prog"}, {"", BIN}})
        EXPECT_EQ(Split(path, false), expected) << path;
    // A path that does not fit is never shortened into another name: nothing
    // is left of it, and no location check accepts an empty directory.
    const std::string overlong = "C:\\" + std::string(245, 'd') + "\\scan.1234567890123456.csv";
    EXPECT_EQ(Split(overlong.substr(0, 261)), "|");
    EXPECT_EQ(Split(std::string(261, 'n')), "|");
    EXPECT_EQ(Split("C:\\" + std::string(258, 'd'), false), "") << "a 261-character directory";
    EXPECT_EQ(Split("C:\\" + std::string(257, 'd'), false).size(), 260u);
}

TEST(FileName, ExtensionForbiddenCharactersAndLength)
{
    const std::string n256(256, 'n');
    const std::pair<std::string, std::string> rows[] = {{"scan", "scan.txt"}, {"scan.TXT", "scan.TXT"},
        {"scan.csv", "scan.csv"}, {"scan.txt2", "scan.txt"}, {"scan.TxTold", "scan.TxT"}, {"scan.tx", "scan.tx"},
        {"a.b.txt.x", "a.b.txt.x"}, {"", ".txt"}, {n256, n256 + ".txt"}, {n256 + "n", n256 + "n"}};
    for (const auto& [given, expected] : rows) {
        char name[PATH_BUFFER];
        std::strcpy(name, given.c_str());
        EXPECT_EQ(CompleteFileNameExtension(name), given.size() < 257 ? 1 : 0) << given;
        EXPECT_EQ(name, expected);
    }
    for (const char* bad : {"a:b", "a?b", "a|b", "a\\b", "a\"b", "a/b", "a*b", "a<b", "a>b"}) {
        char name[PATH_BUFFER];
        std::strcpy(name, bad);
        EXPECT_EQ(CheckOutputFileName("C:\\Data", name), 0) << bad;
    }
    EXPECT_FALSE(HasForbiddenFileNameChar("scan 1,2;[x].txt"));
    char name[PATH_BUFFER] = "abcdef";   // completed to 10 characters even when the length then fails
    EXPECT_EQ(CheckOutputFileName(std::string(250, 'd').c_str(), name), 0);
    EXPECT_STREQ(name, "abcdef.txt");
    EXPECT_EQ(CheckOutputFileName(std::string(249, 'd').c_str(), name), 1);
    std::strcpy(name, std::string(260, 'n').c_str());
    EXPECT_EQ(CheckOutputFileName(BIN, name), 0);
}

TEST(BrowsePreset, JoinsWithOneBackslashOrFallsBackToTheNameAloneAndSplitsTheChoice)
{
    const std::string deep = "C:\\" + std::string(250, 'd');   // 253 characters
    const struct {
        std::string directory, name, expected;
    } rows[] = {{"C:\\Data", "OUT.TXT", "C:\\Data\\OUT.TXT"}, {"C:\\", "OUT.TXT", "C:\\OUT.TXT"}, {"C:\\Data", "", ""},
        {"Data", "OUT.TXT", ""}, {deep, "abcde.txt", "abcde.txt"}, {deep, "ab.txt", "ab.txt"},   // 261 bytes needed
        {deep, "ab.tx", deep + "\\ab.tx"}};
    for (const auto& row : rows) {
        char out[512];
        std::memset(out, '#', sizeof out);
        BrowsePresetText(row.directory.c_str(), row.name.c_str(), out, 260);
        EXPECT_EQ(out, row.expected) << row.name;
        EXPECT_EQ(out[260], '#') << "wrote past the dialog's buffer";
    }
    char directory[PATH_BUFFER] = "old", file[PATH_BUFFER] = "old";
    EXPECT_EQ(SplitChosenPath("C:\\OUT.TXT", directory, file), 1);
    EXPECT_EQ(std::string(directory) + "|" + file, "C:\\|OUT.TXT");
    EXPECT_EQ(SplitChosenPath("C:\\Data\\A.TXT", directory, file), 1);
    EXPECT_EQ(SplitChosenPath("NoBackslash", directory, file), 0);
    EXPECT_EQ(std::string(directory) + "|" + file, "C:\\Data|A.TXT");
    char program[PATH_BUFFER] = "C:\\Varnolt.exe";   // a program at a drive root
    CutToDirectory(program);
    EXPECT_STREQ(program, "C:\\");
}
