// The settings text: defaults, field rules, separators, cuts, trimming and the written form.
#include "app/settings.h"

#include <gtest/gtest.h>

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
    const std::string x261(261, 'x'), x250(250, 'x');   // 262 characters are cut to 259, before trimming
    const std::pair<std::string, std::string> rows[] = {{"  7  ", "7"}, {"\t7 ", "\t7"}, {"     ", " "}, {"", ""},
        {"a b", "a b"}, {x261, x261}, {x261 + "x", x261.substr(2)}, {x250 + std::string(20, ' '), x250}};
    for (const auto& [source, expected] : rows) {
        char out[1024];
        TrimBlanks(source.c_str(), 261, out);
        EXPECT_EQ(out, expected) << '"' << source << '"';
    }
}

TEST(ParseSettingsText, FieldRulesSeparatorsAndDefaultsOfEachSource)
{
    const std::string P = "P\r\n1\r\n1\r\n1\r\n", F = "0 1 0 0 111110 2 2";   // F: the file defaults
    const struct {
        bool commandLine;
        std::string text, fields, path;
    } rows[] = {
        {0, "C:\\S.T\r\n2\r\n7\r\n3\r\n5\r\n0\r\n1\r\n0\r\n1\r\n0\r\n1\r\n999\r\n255\r\n", "1 7 2 4 010101 999 255", "C:\\S.T"},
        {0, "", F, ""}, {0, "C:\\A.TXT\n2\n7\n", F, ""}, {0, "   \r\n   \r\n   \r\n", F, " "},
        {0, "P\r\n5\r\n1\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n9\r\n", "0 1 0 0 111110 2 9", "P"},
        {0, P + "6\r\n", F, "P"}, {0, P + "x\r\n", F, "P"}, {0, P + "1\r\n01\r\n", "0 1 0 0 011110 2 2", "P"},
        {0, "P\r\n42\r\n1\r\n1\r\n1\r\n10\r\n", "3 1 0 0 111110 2 2", "P"},   // first character only
        {0, P + "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n0\r\n", "0 1 0 0 111111 2 0", "P"},
        {0, P + "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1000\r\n256\r\n", "0 1 0 0 111111 2 2", "P"},
        {0, "C:\\a,b\\X.TXT\r\n3,9\r\n", "2 9 0 0 111110 2 2", "C:\\a,b\\X.TXT"},
        {1, "D:\\A.TXT,2,3", "1 3 0 0 111000 2 2", "D:\\A.TXT"}, {1, "D:\\A.TXT,,2", "1 1 0 0 111000 2 2", "D:\\A.TXT"},
        {1, "C:\\S.T,1,1,1,1,1,1,1,0,0,0,2,2", "0 1 0 0 111000 2 2", "C:\\S.T"},
        {1, "\"C:\\a b\\X.TXT\",4", "3 1 0 0 111000 2 2", "\"C:\\a b\\X.TXT\""},
    };
    for (const auto& row : rows) {
        if (row.commandLine) LoadSettingsCommandLine(row.text.c_str());
        else ParseFile(row.text);
        EXPECT_EQ(Fields() + "|" + settings.storedPath, row.fields + "|" + row.path) << row.text;
        EXPECT_EQ(settings.commandLineMode, row.commandLine);
    }
    const std::pair<const char*, int> ports[] = {{" 7 ", 7}, {"7x", 7}, {"x7", 1}, {"+9", 9}, {"0", 1}, {"256", 1},
        {"255", 255}, {"-3", 1}, {"\t12", 12}, {"99999999999999999999", 1}, {"-99999999999999999999", 1}};
    for (const auto& [token, port] : ports) {
        LoadSettingsCommandLine((std::string("D:\\A.TXT,1,") + token).c_str());
        EXPECT_EQ(settings.comPort, port) << '"' << token << '"';
    }
}

TEST(ParseSettingsText, ReadsAtMost311CharactersCutTo309)
{
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

TEST(FormatSettingsText, WritesTheExactThirteenLinesAndReadsBackWhole)
{
    SetSettingsFileDefaults();
    std::strcpy(settings.outputDirectory, "C:\\DATA");
    std::strcpy(settings.outputFileName, "SCAN.TXT");
    EXPECT_EQ(Format(), "C:\\DATA\\SCAN.TXT\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n2\r\n");
    settings.saveMode = AUTO_FILE_NAME;   // the directory alone
    EXPECT_EQ(Format().substr(0, 19), "C:\\DATA\r\n1\r\n1\r\n1\r\n4");
    settings.saveMode = KEYBOARD_EMULATION;
    settings.outputDirectory[0] = '\0';
    EXPECT_EQ(Format().substr(0, 12), "\r\n1\r\n1\r\n1\r\n3");
    settings.saveMode = AUTO_APPEND;
    std::strcpy(settings.outputDirectory, "C:\\");
    EXPECT_EQ(Format().substr(0, 15), "C:\\\\SCAN.TXT\r\n1");
    const std::string written = "D:\\Out\\x.txt\r\n2\r\n17\r\n3\r\n5\r\n0\r\n1\r\n1\r\n0\r\n1\r\n1\r\n30\r\n100\r\n";
    ParseFile(written);
    std::strcpy(settings.outputDirectory, "D:\\Out");
    std::strcpy(settings.outputFileName, "x.txt");
    EXPECT_EQ(Format(), written);
}
