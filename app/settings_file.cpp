// The settings file beside the program: read once at start-up, written on
// every OK of the settings dialog.
#include "app/settings_file.h"

#include "core/settings.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr const char SETTINGS_FILE_NAME[] = "Varnolt.ini";

// Builds settingsFilePath; leaves it empty when the path would not fit, so a
// program in a too deep directory runs on defaults and never writes a
// settings file somewhere else by accident.
void BuildSettingsFilePath(const char* programDirectory)
{
    char path[PATH_BUFFER + 32];
    const int length = std::snprintf(path, sizeof path, "%s\\%s", programDirectory, SETTINGS_FILE_NAME);
    if (length < 0 || length > MAX_PATH_CHARS) {
        settingsFilePath[0] = '\0';
        return;
    }
    std::snprintf(settingsFilePath, sizeof settingsFilePath, "%s", path);
}

}  // namespace

void LoadSettingsFile(const char* programDirectory)
{
    SetSettingsFileDefaults();
    BuildSettingsFilePath(programDirectory);
    if (settingsFilePath[0] == '\0') return;

    HANDLE file = CreateFileA(settingsFilePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;

    // A file written by the program is far shorter than the buffer; of a
    // longer hand-made file only the head is read, which holds every
    // character the parser would look at anyway.
    char text[SETTINGS_TEXT_CAPACITY];
    const DWORD size = GetFileSize(file, nullptr);
    const DWORD wanted = (size == INVALID_FILE_SIZE || size > SETTINGS_TEXT_CAPACITY - 1) ? SETTINGS_TEXT_CAPACITY - 1 : size;
    DWORD got = 0;
    if (!ReadFile(file, text, wanted, &got, nullptr)) got = 0;
    CloseHandle(file);
    text[got < wanted ? got : wanted] = '\0';
    ParseSettingsText(text);
}

void SaveSettingsFile(const char* text)
{
    if (settingsFilePath[0] == '\0') return;
    HANDLE file = CreateFileA(settingsFilePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
    CloseHandle(file);
}
