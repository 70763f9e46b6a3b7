// Output location rules that need the file system or the user: the current
// directory, the creation of a missing directory and the Save-As dialog.
// The string rules themselves are in output_path.cpp.
#include "app/output_location.h"

#include "core/output_path.h"
#include "core/settings.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"
#include "link/late_binding.h"
#include "res/program_instance.h"

#include <commdlg.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD SAVE_AS_FILE_BUFFER = 260;
constexpr const char SAVE_AS_FILTER[] = "Data Files (*.TXT)\0*.TXT\0All Files (*.*)\0*.*\0";

// The current directory, or empty when it does not fit 260 characters.
void CurrentDirectory(char* buffer)
{
    const DWORD length = GetCurrentDirectoryA(PATH_BUFFER, buffer);
    if (length == 0 || length >= PATH_BUFFER) buffer[0] = '\0';
}

// Puts the remembered current directory back when the check is done, on
// every way out.
struct CurrentDirectoryKeeper {
    char saved[PATH_BUFFER];
    CurrentDirectoryKeeper() { CurrentDirectory(saved); }
    ~CurrentDirectoryKeeper()
    {
        if (saved[0] != '\0') SetCurrentDirectoryA(saved);
    }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;
};

// Enters the directory, or with the user's consent creates it (one level)
// and stores it as the absolute path the system reports.
int EnterOrCreateDirectory(char* directory)
{
    if (SetCurrentDirectoryA(directory)) return 1;
    if (ReportError(GetActiveWindow(), ASK_CREATE_DIRECTORY) != IDYES) return 0;
    if (!CreateDirectoryA(directory, nullptr)) return 0;
    if (!SetCurrentDirectoryA(directory)) return 0;
    char created[PATH_BUFFER];
    CurrentDirectory(created);
    if (created[0] == '\0') return 0;
    std::memcpy(directory, created, std::strlen(created) + 1);
    return 1;
}

}  // namespace

void NormalizeDirectory(char* text)
{
    char current[PATH_BUFFER];
    CurrentDirectory(current);
    NormalizeDirectoryText(text, current);
}

void ProgramDirectory(char* buffer)
{
    const DWORD length = GetModuleFileNameA(nullptr, buffer, PATH_BUFFER);
    // A cut-off program name (length == buffer size) would give a wrong
    // directory; fall back to the current one.
    if (length == 0 || length >= PATH_BUFFER) {
        CurrentDirectory(buffer);
        return;
    }
    CutToDirectory(buffer);
}

int SplitOutputPath(const char* path, char* directoryOut, char* fileOut)
{
    char current[PATH_BUFFER];
    CurrentDirectory(current);
    return SplitOutputPathText(path, current, directoryOut, fileOut);
}

int ValidateOutputPath(char* directory, char* fileName)
{
    if (settings.saveMode != AUTO_FILE_NAME && (fileName == nullptr || fileName[0] == '\0')) return 0;
    // An empty directory is what is left of a path that did not fit.
    if (directory[0] == '\0') return 0;
    {
        CurrentDirectoryKeeper keeper;
        if (!EnterOrCreateDirectory(directory)) return 0;
    }
    if (fileName == nullptr) return 1;
    return CheckOutputFileName(directory, fileName);
}

int BrowseOutputFile(HWND owner, char* directory, char* fileName)
{
    char workDirectory[PATH_BUFFER];
    std::snprintf(workDirectory, sizeof workDirectory, "%s", directory);
    {
        CurrentDirectoryKeeper keeper;
        if (!SetCurrentDirectoryA(workDirectory)) std::memcpy(workDirectory, keeper.saved, sizeof workDirectory);
    }

    char file[SAVE_AS_FILE_BUFFER];
    BrowsePresetText(workDirectory, fileName, file, sizeof file);

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.hInstance = programInstance;
    dialog.lpstrFilter = SAVE_AS_FILTER;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = SAVE_AS_FILE_BUFFER;
    dialog.lpstrInitialDir = workDirectory;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = "TXT";
    auto* saveAs = LATE(GetSaveFileNameA);
    if (saveAs == nullptr || !saveAs(&dialog)) return 0;
    return SplitChosenPath(file, directory, fileName);
}
