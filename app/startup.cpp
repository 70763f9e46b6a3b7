// Start-up: the settings from the file or the command line, the output
// location derived from them, and the loop of dialogs that is the program.
#include "app/startup.h"

#include "app/output_location.h"
#include "app/settings_dialog.h"
#include "app/settings_file.h"
#include "core/settings.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"
#include "link/telephony.h"
#include "res/program_instance.h"
#include "res/resource.h"
#include "session/session_window.h"

#include <cstring>

namespace {

// The check before a session, on copies: the record only takes the
// completed directory and name when the whole location is usable.
bool CheckOutputLocation()
{
    char directory[PATH_BUFFER];
    char fileName[PATH_BUFFER];
    std::memcpy(directory, settings.outputDirectory, sizeof directory);
    std::memcpy(fileName, settings.outputFileName, sizeof fileName);
    if (!ValidateOutputPath(directory, fileName)) return false;
    std::memcpy(settings.outputDirectory, directory, sizeof directory);
    std::memcpy(settings.outputFileName, fileName, sizeof fileName);
    return true;
}

// A stored path that does not fit leaves the location empty, and the
// location check then refuses it.
void SplitStoredPath()
{
    switch (PathMode(settings.saveMode)) {
    case PATH_DIRECTORY: SplitOutputPath(settings.storedPath, settings.outputDirectory, nullptr); break;
    case PATH_DIRECTORY_AND_FILE:
        SplitOutputPath(settings.storedPath, settings.outputDirectory, settings.outputFileName);
        break;
    case PATH_NONE: break;
    }
}

}  // namespace

INT_PTR ShowProgramDialog(int templateId)
{
    if (templateId == IDD_SETTINGS) {
        RegisterSettingsDialogControls();
        return DialogBoxParamA(programInstance, MAKEINTRESOURCE(IDD_SETTINGS), nullptr, SettingsDialogProc, 0);
    }
    return DialogBoxParamA(programInstance, MAKEINTRESOURCE(IDD_SESSION), nullptr, SessionDialogProc, 0);
}

int RunLoop(ShowDialogFunction show)
{
    for (;;) {
        if (settings.commandLineMode == 0 && settings.alwaysShowDialog == 1) {
            const INT_PTR result = show(IDD_SETTINGS);
            if (result == SETTINGS_CANCEL) return LOOP_CANCELLED;
            // A dialog that cannot be created returns -1 (or 0): without it
            // the user cannot steer the run, so the program ends quietly
            // instead of running a session nobody confirmed.
            if (result != SETTINGS_OK) return LOOP_DIALOG_FAILED;
        }
        if (settings.saveMode != KEYBOARD_EMULATION && !CheckOutputLocation()) {
            ReportError(nullptr, ERR_FILE_NAME);
            return LOOP_INVALID_LOCATION;
        }
        // A session window that cannot be created would fail the same way
        // on every pass; end rather than loop.
        if (show(IDD_SESSION) != SESSION_END) return LOOP_DIALOG_FAILED;
        if (settings.alwaysShowDialog == 0 || settings.commandLineMode == 1) return LOOP_SESSION_DONE;
    }
}

int StartProgram(HINSTANCE instance, const char* processCommandLine, ShowDialogFunction show)
{
    programInstance = instance;
    programIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    UseErrorSettings(&settings.showErrorMessages, settings.outputDirectory);

    settingsFilePath[0] = '\0';
    settings.outputDirectory[0] = '\0';
    settings.outputFileName[0] = '\0';
    ClearTelephonyState();

    char programDirectory[PATH_BUFFER];
    ProgramDirectory(programDirectory);
    SetCurrentDirectoryA(programDirectory);

    int end = START_REFUSED;
    const char* commandLine = SettingsCommandLine(processCommandLine);
    const size_t length = strnlen(commandLine, COMMAND_LINE_LIMIT);
    if (length < static_cast<size_t>(COMMAND_LINE_LIMIT)) {
        if (length == 0) {
            LoadSettingsFile(programDirectory);
        } else {
            LoadSettingsCommandLine(commandLine);
        }
        if (settings.saveMode == APPEND) settings.keepOnline = 0;
        SplitStoredPath();
        end = RunLoop(show);
    }

    if (programIcon != nullptr) DestroyIcon(programIcon);
    programIcon = nullptr;
    return end;
}
