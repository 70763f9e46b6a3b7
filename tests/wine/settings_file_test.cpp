// Reading and writing Varnolt.ini.
#include "app/settings.h"
#include "app/settings_file.h"

#include "test_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char BINARY[] = "D:\\A.TXT\r\n3\r\n\xff\xfe\r\n5\0\r\n1\r\n";
constexpr const char WRITTEN[] = "C:\\DATA\\SCAN.TXT\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n2\r\n";

}  // namespace

TEST(SettingsFile, SaveReplacesTheFileBesideTheProgramWithExactlyTheText)
{
    TestDir dir;
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(std::string(settingsFilePath), dir.File("Varnolt.ini"));
    WriteWholeFile(settingsFilePath, std::string(500, 'x'));   // longer: must not survive at the end
    SaveSettingsFile(WRITTEN);
    EXPECT_EQ(ReadWholeFile(settingsFilePath), WRITTEN);
}

TEST(SettingsFile, AnyContentIsReadWithoutHarmAndKeepsWhatItCannotRead)
{
    const std::string lines = "D:\\X\\Y.TXT\r\n4\r\n12\r\n2\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n9\r\n9";
    const std::pair<std::string, const char*> rows[] = {   // content ("<none>": no file), then
        {lines + "\r\n", "3 12 1 1 0 9"},                     // interface port baud mode always-show delay
        {lines + "\r\n" + std::string(100000, '7'), "3 12 1 1 0 9"},   // the junk is a fourteenth token
        {lines + std::string(100000, '7'), "3 12 1 1 0 2"},            // the last value far out of range
        {std::string(BINARY, sizeof BINARY - 1), "2 1 4 0 1 2"},      // the NUL ends the text
        {"", "0 1 0 0 1 2"}, {"<none>", "0 1 0 0 1 2"}, {"D:\\A.TXT\n4\n12\n", "0 1 0 0 1 2"}, {"  \r\n  \r\n", "0 1 0 0 1 2"},
    };
    for (const auto& [content, expected] : rows) {
        TestDir dir;
        if (content != "<none>") WriteWholeFile(dir.File("Varnolt.ini"), content);
        settings.comPort = 99;
        LoadSettingsFile(dir.Path().c_str());
        char fields[64];
        std::snprintf(fields, sizeof fields, "%d %d %d %d %d %d", settings.interfaceKind, settings.comPort,
                      settings.baudIndex, settings.saveMode, settings.alwaysShowDialog, settings.interCharDelay);
        EXPECT_STREQ(fields, expected) << content.substr(0, 40);
    }
}

TEST(SettingsFile, AProgramDirectoryTooDeepForThePathWritesNothing)
{
    TestDir dir;   // with "\\Varnolt.ini" the path would need 261 characters
    LoadSettingsFile((dir.Path() + "\\" + std::string(248 - dir.Path().size(), 'd')).c_str());
    EXPECT_STREQ(settingsFilePath, "");
    SaveSettingsFile(WRITTEN);   // must not write "\\Varnolt.ini" at the drive root
    EXPECT_FALSE(PathExists("\\Varnolt.ini"));
}
