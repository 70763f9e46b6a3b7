// The settings text: defaults, field rules, separators, cuts, trimming and the written form.
#include "core/settings.h"

#include <gtest/gtest.h>

#include "tests/common/restore_guard.h"

#include <cstring>
#include <string>

namespace {

std::string Format()
{
    char out[SETTINGS_TEXT_CAPACITY];
    const int length = FormatSettingsText(settings, out);
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    return out;
}

// The record as one line: interface port baud mode, six flags, polling delay.
std::string Fields()
{
    char out[256];
    std::snprintf(out, sizeof out, "%d %d %d %d %d%d%d%d%d%d %d %d", settings.interfaceKind, settings.comPort,
                  settings.baudIndex, settings.saveMode, settings.addReturn, settings.addLineFeed,
                  settings.showErrorMessages, settings.viewReceivedData, settings.alwaysShowDialog, settings.keepOnline,
                  settings.pollingTime, settings.interCharDelay);
    return out;
}

void ParseFile(const std::string& text)
{
    SetSettingsFileDefaults();
    ParseSettingsText(text.c_str());
}

}  // namespace

TEST(TrimBlanks, KeepsTabsLeavesOneBlankOfAllBlanksAndCutsBeforeTrimming)
{
    const std::string x261(261, 'x'), x250(250, 'x');
    const struct { const char* proves; std::string source, trimmed; } rows[] = {
        {"blanks go from both ends", "  7  ", "7"},
        {"a tab is no blank", "\t7 ", "\t7"},
        {"blanks only leave one blank", "     ", " "},
        {"261 characters are taken whole", x261, x261},
        {"262 characters are cut to 259", x261 + "x", x261.substr(2)},
        {"the cut comes before the trimming", x250 + std::string(20, ' '), x250},
    };
    for (const auto& row : rows) {
        char out[1024];
        TrimBlanks(row.source.c_str(), 261, out);
        EXPECT_EQ(out, row.trimmed) << row.proves;
    }
}

TEST(ParseSettingsText, FieldRulesSeparatorsAndDefaultsOfEachSource)
{
    const Restore keep(settings);
    const std::string P = "P\r\n1\r\n1\r\n1\r\n", F = "0 1 0 0 111110 2 2";   // F: the file defaults
    const struct { const char* proves; bool commandLine; std::string text, fields, path; } rows[] = {
        {"every field of a file", 0, "C:\\S.T\r\n2\r\n7\r\n3\r\n5\r\n0\r\n1\r\n0\r\n1\r\n0\r\n1\r\n999\r\n255\r\n",
         "1 7 2 4 010101 999 255", "C:\\S.T"},
        {"an empty file keeps the defaults", 0, "", F, ""},
        {"lines ended by LF alone change nothing", 0, "C:\\A.TXT\n2\n7\n", F, ""},
        {"a path of blanks is one blank; blank fields fail", 0, "   \r\n   \r\n   \r\n", F, " "},
        {"interface 5 and save mode 0 are refused, later fields still read", 0,
         "P\r\n5\r\n1\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n9\r\n", "0 1 0 0 111110 2 9", "P"},
        {"save mode 6 is refused", 0, P + "6\r\n", F, "P"},
        {"a letter is refused", 0, P + "x\r\n", F, "P"},
        {"a flag written 01 is 0", 0, P + "1\r\n01\r\n", "0 1 0 0 011110 2 2", "P"},
        {"only the first digit counts: 42 is MODEM_COM, 10 is 1", 0, "P\r\n42\r\n1\r\n1\r\n1\r\n10\r\n",
         "3 1 0 0 111110 2 2", "P"},
        {"polling 0 is refused, delay 0 taken", 0, P + "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n0\r\n",
         "0 1 0 0 111111 2 0", "P"},
        {"polling 1000 and delay 256 are refused", 0, P + "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1000\r\n256\r\n",
         "0 1 0 0 111111 2 2", "P"},
        {"a file path may hold commas; commas split the fields", 0, "C:\\a,b\\X.TXT\r\n3,9\r\n",
         "2 9 0 0 111110 2 2", "C:\\a,b\\X.TXT"},
        {"command line: given fields, the rest its defaults", 1, "D:\\A.TXT,2,3", "1 3 0 0 111000 2 2", "D:\\A.TXT"},
        {"command line: an empty field is skipped, not counted", 1, "D:\\A.TXT,,2", "1 1 0 0 111000 2 2", "D:\\A.TXT"},
        {"command line: quotes stay part of the path", 1, "\"C:\\a b\\X.TXT\",4", "3 1 0 0 111000 2 2",
         "\"C:\\a b\\X.TXT\""},
    };
    for (const auto& row : rows) {
        if (row.commandLine) LoadSettingsCommandLine(row.text.c_str());
        else ParseFile(row.text);
        EXPECT_EQ(Fields() + "|" + settings.storedPath, row.fields + "|" + row.path) << row.proves;
        EXPECT_EQ(settings.commandLineMode, row.commandLine) << row.proves;
    }
    const struct { const char* proves; const char* token; int port; } ports[] = {
        {"blanks around are trimmed", " 7 ", 7}, {"the number at the start counts", "7x", 7},
        {"no leading digit reads 0, refused", "x7", 1}, {"0 is refused", "0", 1}, {"256 is refused", "256", 1},
        {"255 is the highest", "255", 255}, {"a huge number does not wrap into range", "4294967303", 1},
    };
    for (const auto& row : ports) {
        LoadSettingsCommandLine((std::string("D:\\A.TXT,1,") + row.token).c_str());
        EXPECT_EQ(settings.comPort, row.port) << row.proves;
    }
}

TEST(ParseSettingsText, ReadsAtMost311CharactersCutTo309)
{
    const Restore keep(settings);
    const std::string values = "2\r\n7\r\n3\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n5\r\n9\r\n";   // 36 characters
    ParseFile(std::string(290, 'p') + "\r\n" + values);   // 17 characters of values left: six fields
    EXPECT_EQ(Fields(), "1 7 2 1 001110 2 2");
    EXPECT_GT(std::strlen(settings.storedPath), 260u) << "kept too long to be taken for a shorter name";
    const std::string path(311 - 2 - values.size(), 'q');
    ParseFile(path + "\r\n" + values);   // exactly 311: whole
    EXPECT_EQ(Fields(), "1 7 2 1 000001 5 9");
    ParseFile(path + "q\r\n" + values);   // 312: cut to 309
    EXPECT_EQ(Fields(), "1 7 2 1 000001 5 2");
}

TEST(FormatSettingsText, ADriveRootKeepsItsBackslashAndAWrittenFileReadsBackWhole)
{
    const Restore keep(settings);
    // (The form of each save mode is checked where the settings dialog writes it.)
    SetSettingsFileDefaults();
    std::strcpy(settings.outputFileName, "SCAN.TXT");
    settings.saveMode = AUTO_APPEND;
    std::strcpy(settings.outputDirectory, "C:\\");
    EXPECT_EQ(Format().substr(0, 15), "C:\\\\SCAN.TXT\r\n1");
    const std::string written = "D:\\Out\\x.txt\r\n2\r\n17\r\n3\r\n5\r\n0\r\n1\r\n1\r\n0\r\n1\r\n1\r\n30\r\n100\r\n";
    ParseFile(written);
    std::strcpy(settings.outputDirectory, "D:\\Out");
    std::strcpy(settings.outputFileName, "x.txt");
    EXPECT_EQ(Format(), written);
}
