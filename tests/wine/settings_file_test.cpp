// Reading and writing Varnolt.ini.
#include "app/settings_file.h"
#include "core/settings.h"

#include "test_dir.h"
#include "tests/common/restore_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char BINARY[] = "D:\\A.TXT\r\n3\r\n\xff\xfe\r\n5\0\r\n1\r\n";
constexpr const char WRITTEN[] = "C:\\DATA\\SCAN.TXT\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n2\r\n2\r\n";

}  // namespace

TEST(SettingsFile, SaveReplacesTheFileBesideTheProgramWithExactlyTheText)
{
    const Restore keep(settings);
    const Restore keepPath(settingsFilePath);
    TestDir dir;
    LoadSettingsFile(dir.Path().c_str());
    EXPECT_EQ(std::string(settingsFilePath), dir.File("Varnolt.ini"));
    WriteWholeFile(settingsFilePath, std::string(500, 'x'));   // longer: must not survive at the end
    SaveSettingsFile(WRITTEN);
    EXPECT_EQ(ReadWholeFile(settingsFilePath), WRITTEN);
}

TEST(SettingsFile, AnyContentIsReadWithoutHarmAndKeepsWhatItCannotRead)
{
    const Restore keep(settings);
    const Restore keepPath(settingsFilePath);
    const std::string lines = "D:\\X\\Y.TXT\r\n4\r\n12\r\n2\r\n2\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n9\r\n9";
    const struct {
        const char* proves;
        std::string content;   // "<none>": no file
        const char* fields;    // interface port baud mode always-show delay
    } rows[] = {
        {"a file the program wrote", lines + "\r\n", "3 12 1 1 0 9"},
        {"junk after the thirteenth line is ignored", lines + "\r\n" + std::string(100000, '7'), "3 12 1 1 0 9"},
        {"a huge last line is read only in part, and refused", lines + std::string(100000, '7'), "3 12 1 1 0 2"},
        {"a NUL ends the text", std::string(BINARY, sizeof BINARY - 1), "2 1 4 0 1 2"},
        {"an empty file gives the defaults", "", "0 1 0 0 1 2"},
        {"no file gives the defaults", "<none>", "0 1 0 0 1 2"},
    };
    for (const auto& row : rows) {
        TestDir dir;
        if (row.content != "<none>") WriteWholeFile(dir.File("Varnolt.ini"), row.content);
        settings.comPort = 99;
        LoadSettingsFile(dir.Path().c_str());
        char fields[64];
        std::snprintf(fields, sizeof fields, "%d %d %d %d %d %d", settings.interfaceKind, settings.comPort,
                      settings.baudIndex, settings.saveMode, settings.alwaysShowDialog, settings.interCharDelay);
        EXPECT_STREQ(fields, row.fields) << row.proves;
    }
}

TEST(SettingsFile, AProgramDirectoryTooDeepForThePathWritesNothing)
{
    const Restore keep(settings);
    const Restore keepPath(settingsFilePath);
    TestDir dir;   // with "\\Varnolt.ini" the path would need 261 characters
    LoadSettingsFile((dir.Path() + "\\" + std::string(248 - dir.Path().size(), 'd')).c_str());
    EXPECT_STREQ(settingsFilePath, "");
    SaveSettingsFile(WRITTEN);   // must not write "\\Varnolt.ini" at the drive root
    EXPECT_FALSE(PathExists("\\Varnolt.ini"));
}
