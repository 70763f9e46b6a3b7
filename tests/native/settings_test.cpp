// The settings text: defaults, field rules, separators, cuts, trimming and
// the written form.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Trim(const std::string& source, int limit = 261)
{
    char out[1024];
    TrimBlanks(source.c_str(), limit, out);
    return out;
}

void ParseFile(const std::string& text)
{
    SetSettingsFileDefaults();
    ParseSettingsText(text.c_str());
}

void ParseCommandLine(const std::string& text)
{
    LoadSettingsCommandLine(text.c_str());
}

std::string Format()
{
    char out[SETTINGS_TEXT_CAPACITY];
    const int length = FormatSettingsText(settings, out);
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    return out;
}

// The file defaults as one comparable line.
std::string Fields()
{
    char out[256];
    std::snprintf(out, sizeof out, "%d %d %d %d %d%d%d%d%d%d %d %d", settings.interfaceKind, settings.comPort,
                  settings.baudIndex, settings.saveMode, settings.addReturn, settings.addLineFeed,
                  settings.showErrorMessages, settings.viewReceivedData, settings.alwaysShowDialog, settings.keepOnline,
                  settings.pollingTime, settings.interCharDelay);
    return out;
}

}  // namespace

TEST(TrimBlanks, RemovesLeadingAndTrailingBlanksButKeepsTabsAndOneBlankOfAllBlanks)
{
    EXPECT_EQ(Trim("  7  "), "7");
    EXPECT_EQ(Trim("\t7 "), "\t7");
    EXPECT_EQ(Trim("     "), " ");
    EXPECT_EQ(Trim(" "), " ");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("a b"), "a b");
}

TEST(TrimBlanks, CutsATextLongerThanTheLimitToLimitMinusTwo)
{
    EXPECT_EQ(Trim(std::string(261, 'x')).size(), 261u);
    EXPECT_EQ(Trim(std::string(262, 'x')).size(), 259u);
    EXPECT_EQ(Trim(std::string(262, 'x') + "   ").size(), 259u);
    // The cut happens before trimming: blanks at the cut end go as well.
    EXPECT_EQ(Trim(std::string(250, 'x') + std::string(20, ' ')), std::string(250, 'x'));
}

TEST(Settings, DefaultsDifferBySourceOnlyInViewAlwaysShowAndMode)
{
    SetSettingsFileDefaults();
    EXPECT_EQ(Fields(), "0 1 0 0 111110 2 2");
    EXPECT_EQ(settings.commandLineMode, 0);
    SetCommandLineDefaults();
    EXPECT_EQ(Fields(), "0 1 0 0 111000 2 2");
    EXPECT_EQ(settings.commandLineMode, 1);
    EXPECT_STREQ(settings.storedPath, "");
}

TEST(ParseSettingsText, ReadsAWrittenFileBackWhole)
{
    ParseFile("C:\\DATA\\SCAN.TXT\r\n2\r\n7\r\n3\r\n5\r\n0\r\n1\r\n0\r\n1\r\n0\r\n1\r\n999\r\n255\r\n");
    EXPECT_STREQ(settings.storedPath, "C:\\DATA\\SCAN.TXT");
    EXPECT_EQ(Fields(), "1 7 2 4 010101 999 255");
}

TEST(ParseSettingsText, EmptyOrLineFeedOnlyTextChangesNothing)
{
    ParseFile("");
    EXPECT_EQ(Fields(), "0 1 0 0 111110 2 2");
    EXPECT_STREQ(settings.storedPath, "");
    ParseFile("C:\\A.TXT\n2\n7\n");
    EXPECT_EQ(Fields(), "0 1 0 0 111110 2 2");
    EXPECT_STREQ(settings.storedPath, "");
}

TEST(ParseSettingsText, FieldFailingItsRuleKeepsItsValueAndLaterFieldsStillApply)
{
    ParseFile("P\r\n5\r\n1\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n9\r\n");
    EXPECT_EQ(settings.interfaceKind, RS232_IRDA);   // 5 is no interface
    EXPECT_EQ(settings.saveMode, OVERWRITE);          // 0 is no save mode
    EXPECT_EQ(settings.interCharDelay, 9);
    ParseFile("P\r\n1\r\n1\r\n1\r\n6\r\n");
    EXPECT_EQ(settings.saveMode, OVERWRITE);
    ParseFile("P\r\n1\r\n1\r\n1\r\nx\r\n");
    EXPECT_EQ(settings.saveMode, OVERWRITE);
}

TEST(ParseSettingsText, OnlyTheFirstCharacterOfADigitFieldCounts)
{
    ParseFile("P\r\n42\r\n1\r\n1\r\n1\r\n10\r\n");
    EXPECT_EQ(settings.interfaceKind, MODEM_COM);
    EXPECT_EQ(settings.addReturn, 1);
    ParseFile("P\r\n1\r\n1\r\n1\r\n1\r\n01\r\n");
    EXPECT_EQ(settings.addReturn, 0);
}

TEST(ParseSettingsText, NumbersReadAsAtoiWithTheirRanges)
{
    const struct {
        const char* token;
        int expected;
    } ports[] = {{" 7 ", 7}, {"7x", 7}, {"x7", 1}, {"+9", 9}, {"0", 1}, {"256", 1}, {"255", 255},
                 {"-3", 1},  {"\t12", 12}, {"99999999999999999999", 1}, {"-99999999999999999999", 1}};
    for (const auto& port : ports) {
        ParseCommandLine(std::string("D:\\A.TXT,1,") + port.token);
        EXPECT_EQ(settings.comPort, port.expected) << port.token;
    }
    ParseFile("P\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n0\r\n");
    EXPECT_EQ(settings.pollingTime, 2);   // 0 s is below the range
    EXPECT_EQ(settings.interCharDelay, 0);
    ParseFile("P\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1000\r\n256\r\n");
    EXPECT_EQ(settings.pollingTime, 2);
    EXPECT_EQ(settings.interCharDelay, 2);
}

TEST(ParseSettingsText, CommandLineSplitsAtCommasAndSkipsEmptyFields)
{
    ParseCommandLine("D:\\OUT\\A.TXT,2,3");
    EXPECT_STREQ(settings.storedPath, "D:\\OUT\\A.TXT");
    EXPECT_EQ(Fields(), "1 3 0 0 111000 2 2");
    ParseCommandLine("D:\\OUT\\A.TXT,,2");
    EXPECT_EQ(settings.interfaceKind, CRADLE_IR);
    EXPECT_EQ(settings.comPort, 1);
    ParseCommandLine("C:\\DATA\\SCAN.TXT,1,1,1,1,1,1,1,0,0,0,2,2");
    EXPECT_EQ(Fields(), "0 1 0 0 111000 2 2");
}

TEST(ParseSettingsText, PathSeparatorDependsOnTheSource)
{
    // A file path may hold commas; its value lines may even be split by them.
    ParseFile("C:\\a,b\\X.TXT\r\n3,9\r\n");
    EXPECT_STREQ(settings.storedPath, "C:\\a,b\\X.TXT");
    EXPECT_EQ(settings.interfaceKind, MODEM_TAPI);
    EXPECT_EQ(settings.comPort, 9);
    // On the command line the first comma ends the path, quotes included.
    ParseCommandLine("\"C:\\a b\\X.TXT\",4");
    EXPECT_STREQ(settings.storedPath, "\"C:\\a b\\X.TXT\"");
    EXPECT_EQ(settings.interfaceKind, MODEM_COM);
}

TEST(ParseSettingsText, BlankLinesTrimToOneBlankWhichFailsEveryRule)
{
    ParseFile("   \r\n   \r\n   \r\n");
    EXPECT_STREQ(settings.storedPath, " ");
    EXPECT_EQ(Fields(), "0 1 0 0 111110 2 2");
}

TEST(ParseSettingsText, OnlyTheFirst309CharactersOfALongTextAreRead)
{
    // Path line of 290 characters: 292 with CR LF; the values follow.
    const std::string path(290, 'p');
    const std::string values = "2\r\n7\r\n3\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n5\r\n9\r\n";
    const std::string text = path + "\r\n" + values;   // 292 + 36 = 328 characters
    ParseFile(text);
    // 309 - 292 = 17 characters of values, "2\r\n7\r\n3\r\n2\r\n0\r\n0\r": six fields.
    EXPECT_EQ(Fields(), "1 7 2 1 001110 2 2");
    // The path line was longer than 261 characters: cut to 259.
    EXPECT_EQ(std::strlen(settings.storedPath), 259u);

    // Exactly 311 characters are taken whole.
    const std::string shortPath(311 - 2 - values.size(), 'q');
    ParseFile(shortPath + "\r\n" + values);
    EXPECT_EQ(settings.interCharDelay, 9);
    // One more and the cut to 309 drops the last value.
    ParseFile(shortPath + "q\r\n" + values);
    EXPECT_EQ(settings.pollingTime, 5);
    EXPECT_EQ(settings.interCharDelay, 2);
}

TEST(ParseSettingsText, ValuesAfterThePathAreCutTo260Characters)
{
    // Commas and blanks pad the values out; the thirteenth token "9" lies
    // past the 260-character cut of the remainder and must not be read.
    std::string text = "P,1";
    text += std::string(250, ',');
    text += "2,3,4";
    LoadSettingsCommandLine(text.c_str());
    EXPECT_EQ(settings.interfaceKind, RS232_IRDA);
    EXPECT_EQ(settings.comPort, 2);
    // 1 + 250 + 1 + 1 + 1 + 1 = 255 characters: "4" is at 255, still read.
    EXPECT_EQ(settings.baudIndex, 2);
    std::string longer = "P,1" + std::string(259, ',') + "5";
    LoadSettingsCommandLine(longer.c_str());
    EXPECT_EQ(settings.comPort, 1);   // "5" starts at position 260: cut away
}

TEST(FormatSettingsText, WritesTheExactThirteenLines)
{
    SetSettingsFileDefaults();
    std::strcpy(settings.outputDirectory, "C:\\DATA");
    std::strcpy(settings.outputFileName, "SCAN.TXT");
    EXPECT_EQ(Format(), "C:\\DATA\\SCAN.TXT\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n2\r\n");

    settings.saveMode = AUTO_FILE_NAME;
    settings.interfaceKind = MODEM_COM;
    settings.baudIndex = BAUD_INDEX_9600;
    settings.comPort = 255;
    settings.pollingTime = 999;
    settings.interCharDelay = 0;
    EXPECT_EQ(Format(), "C:\\DATA\r\n4\r\n255\r\n5\r\n4\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n999\r\n0\r\n");

    settings.saveMode = KEYBOARD_EMULATION;
    settings.outputDirectory[0] = '\0';
    EXPECT_EQ(Format().substr(0, 10), "\r\n4\r\n255\r\n");
    EXPECT_NE(Format().find("\r\n3\r\n"), std::string::npos);

    settings.saveMode = AUTO_APPEND;
    std::strcpy(settings.outputDirectory, "C:\\");
    EXPECT_EQ(Format().substr(0, 15), "C:\\\\SCAN.TXT\r\n4");
}

TEST(FormatSettingsText, RoundTripsThroughTheParser)
{
    SetSettingsFileDefaults();
    settings.interfaceKind = CRADLE_IR;
    settings.comPort = 17;
    settings.baudIndex = BAUD_INDEX_38400;
    settings.saveMode = AUTO_APPEND;
    settings.addReturn = 0;
    settings.viewReceivedData = 0;
    settings.keepOnline = 1;
    settings.pollingTime = 30;
    settings.interCharDelay = 100;
    std::strcpy(settings.outputDirectory, "D:\\Out");
    std::strcpy(settings.outputFileName, "x.txt");
    const std::string before = Fields();
    const std::string text = Format();
    ParseFile(text);
    EXPECT_EQ(Fields(), before);
    EXPECT_STREQ(settings.storedPath, "D:\\Out\\x.txt");
}

TEST(FormatSettingsText, NeverWritesPastItsBufferEvenForAnUncheckedRecord)
{
    SetSettingsFileDefaults();
    std::memset(settings.outputDirectory, 'd', MAX_PATH_CHARS);
    settings.outputDirectory[MAX_PATH_CHARS] = '\0';
    std::memset(settings.outputFileName, 'f', MAX_PATH_CHARS);
    settings.outputFileName[MAX_PATH_CHARS] = '\0';
    char out[SETTINGS_TEXT_CAPACITY + 16];
    std::memset(out, '#', sizeof out);
    const int length = FormatSettingsText(settings, out);
    EXPECT_EQ(length, SETTINGS_TEXT_CAPACITY - 1);
    EXPECT_EQ(std::strlen(out), static_cast<size_t>(SETTINGS_TEXT_CAPACITY - 1));
    EXPECT_EQ(out[SETTINGS_TEXT_CAPACITY], '#');
}

TEST(PathMode, FollowsTheSaveMode)
{
    EXPECT_EQ(PathMode(OVERWRITE), PATH_DIRECTORY_AND_FILE);
    EXPECT_EQ(PathMode(APPEND), PATH_DIRECTORY_AND_FILE);
    EXPECT_EQ(PathMode(AUTO_APPEND), PATH_DIRECTORY_AND_FILE);
    EXPECT_EQ(PathMode(AUTO_FILE_NAME), PATH_DIRECTORY);
    EXPECT_EQ(PathMode(KEYBOARD_EMULATION), PATH_NONE);
}

TEST(SettingsCommandLine, SkipsTheProgramNameAndTheBlanksAfterIt)
{
    EXPECT_STREQ(SettingsCommandLine("Varnolt.exe C:\\A.TXT,1"), "C:\\A.TXT,1");
    EXPECT_STREQ(SettingsCommandLine("\"C:\\Program Files\\Varnolt.exe\"   \t C:\\A.TXT,1"), "C:\\A.TXT,1");
    EXPECT_STREQ(SettingsCommandLine("\"C:\\x y\\V.exe\"\"q\" ,1"), "\"q\" ,1");
    EXPECT_STREQ(SettingsCommandLine("Varnolt.exe"), "");
    EXPECT_STREQ(SettingsCommandLine("Varnolt.exe   "), "");
    EXPECT_STREQ(SettingsCommandLine("\"unterminated name"), "");
    EXPECT_STREQ(SettingsCommandLine(""), "");
}
