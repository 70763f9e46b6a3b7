// Reading and writing Varnolt.ini.
#include "app/settings.h"
#include "app/settings_file.h"

#include "test_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char WRITTEN_FORM[] =
    "C:\\DATA\\SCAN.TXT\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n2\r\n";

}  // namespace

TEST(SettingsFile, SaveWritesTheExactThirteenLinesBesideTheProgram)
{
    TestDir dir;
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(std::string(settingsFilePath), dir.File("Varnolt.ini"));
    std::strcpy(settings.outputDirectory, "C:\\DATA");
    std::strcpy(settings.outputFileName, "SCAN.TXT");
    char text[SETTINGS_TEXT_CAPACITY];
    FormatSettingsText(settings, text);
    // A longer earlier file is replaced, not overwritten in place.
    WriteWholeFile(settingsFilePath, std::string(500, 'x'));
    SaveSettingsFile(text);
    EXPECT_EQ(ReadWholeFile(settingsFilePath), WRITTEN_FORM);
}

TEST(SettingsFile, LoadReadsTheFileAndAMissingOrEmptyFileLeavesTheDefaults)
{
    TestDir dir;
    WriteWholeFile(dir.File("Varnolt.ini"), "D:\\X\\Y.TXT\r\n2\r\n5\r\n3\r\n4\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n60\r\n7\r\n");
    settings.comPort = 99;
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_STREQ(settings.storedPath, "D:\\X\\Y.TXT");
    EXPECT_EQ(settings.interfaceKind, CRADLE_IR);
    EXPECT_EQ(settings.comPort, 5);
    EXPECT_EQ(settings.saveMode, AUTO_FILE_NAME);
    EXPECT_EQ(settings.alwaysShowDialog, 0);
    EXPECT_EQ(settings.keepOnline, 1);
    EXPECT_EQ(settings.pollingTime, 60);
    EXPECT_EQ(settings.interCharDelay, 7);
    EXPECT_EQ(settings.commandLineMode, 0);

    WriteWholeFile(dir.File("Varnolt.ini"), "");
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(settings.comPort, 1);
    EXPECT_EQ(settings.alwaysShowDialog, 1);
    EXPECT_STREQ(settings.storedPath, "");

    DeleteFileA(dir.File("Varnolt.ini").c_str());
    settings.comPort = 99;
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(settings.comPort, 1);
}

TEST(SettingsFile, AHugeFileIsReadFromItsHeadOnly)
{
    TestDir dir;
    std::string text = "D:\\X\\Y.TXT\r\n4\r\n12\r\n2\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n9\r\n9\r\n";
    text += std::string(100000, '7');
    WriteWholeFile(dir.File("Varnolt.ini"), text);
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(settings.interfaceKind, MODEM_COM);
    EXPECT_EQ(settings.comPort, 12);
    EXPECT_EQ(settings.pollingTime, 9);
    EXPECT_EQ(settings.interCharDelay, 9);   // the junk is a fourteenth token
    // Without the last line end the junk joins the last value, which then
    // reads as a number far out of range and keeps its default.
    text = "D:\\X\\Y.TXT\r\n4\r\n12\r\n2\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n9\r\n9" + std::string(100000, '7');
    WriteWholeFile(dir.File("Varnolt.ini"), text);
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(settings.pollingTime, 9);
    EXPECT_EQ(settings.interCharDelay, 2);
}

TEST(SettingsFile, BinaryBytesAndNulsKeepWhatCannotBeRead)
{
    TestDir dir;
    constexpr char bytes[] = "D:\\A.TXT\r\n3\r\n\xff\xfe\r\n5\0\r\n1\r\n";
    const std::string text(bytes, sizeof bytes - 1);
    WriteWholeFile(dir.File("Varnolt.ini"), text);
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(settings.interfaceKind, MODEM_TAPI);
    EXPECT_EQ(settings.comPort, 1);          // bytes 0xFF 0xFE are no number
    EXPECT_EQ(settings.baudIndex, 4);        // "5", then the NUL ends the text
    EXPECT_EQ(settings.saveMode, OVERWRITE);
}

TEST(SettingsFile, AFileHeldOpenByAnotherProgramLeavesTheDefaults)
{
    TestDir dir;
    WriteWholeFile(dir.File("Varnolt.ini"), "D:\\A.TXT\r\n3\r\n8\r\n");
    HANDLE holder = CreateFileA(dir.File("Varnolt.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    LoadSettingsFile(dir.Path().c_str());
    CloseHandle(holder);
    EXPECT_EQ(settings.interfaceKind, RS232_IRDA);
    EXPECT_EQ(settings.comPort, 1);
}

TEST(SettingsFile, AProgramDirectoryTooDeepForThePathRunsOnDefaultsAndWritesNothing)
{
    TestDir dir;
    // 248 characters + "\\Varnolt.ini" = 260: still usable.
    std::string directory = dir.Path() + "\\" + std::string(247 - dir.Path().size(), 'd');
    ASSERT_EQ(directory.size(), 248u);
    LoadSettingsFile(directory.c_str());
    EXPECT_EQ(std::string(settingsFilePath), directory + "\\Varnolt.ini");

    directory += "e";
    LoadSettingsFile(directory.c_str());
    EXPECT_STREQ(settingsFilePath, "");
    EXPECT_EQ(settings.alwaysShowDialog, 1);
    SaveSettingsFile(WRITTEN_FORM);   // must not write "\\Varnolt.ini" anywhere
    EXPECT_FALSE(PathExists("\\Varnolt.ini"));
}
