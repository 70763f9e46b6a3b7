// The settings dialog's OK and Browse buttons.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <initializer_list>

#include "app/output_location.h"
#include "app/settings_dialog.h"
#include "app/settings_dialog_handlers.h"
#include "app/settings_file.h"
#include "core/settings.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"
#include "link/late_binding.h"
#include "res/resource.h"

namespace {

constexpr int FIELD_TEXT_READ = 260;    // up to 259 characters and the NUL

uint8_t Checked(HWND dialog, int boxId)
{
    // A disabled box still counts as it shows.
    return IsDlgButtonChecked(dialog, boxId) == BST_CHECKED ? 1 : 0;
}

int Selection(HWND dialog, int listId)
{
    const LRESULT selection = SendDlgItemMessageA(dialog, listId, CB_GETCURSEL, 0, 0);
    return selection < 0 ? 0 : static_cast<int>(selection);
}

int32_t FieldNumber(HWND dialog, int fieldId)
{
    unsigned value = 0;
    return ReadFieldNumber(dialog, fieldId, &value) ? static_cast<int32_t>(value) : 0;
}

// A COM port or polling time with no number would be stored as 0: the
// session would wait on a port that cannot exist, and a keep-online session
// would poll without pause. The user corrects it first, as on focus loss.
bool CountFieldsHoldNumbers(HWND dialog)
{
    for (int fieldId : {IDC_COM_PORT, IDC_POLLING_TIME}) {
        unsigned value = 0;
        if (!ReadFieldNumber(dialog, fieldId, &value)) {
            RejectField(dialog, fieldId, ERR_INVALID_VALUE);
            return false;
        }
    }
    return true;
}

// Every field but the output location, in the order that lets the later
// rules see the earlier values.
void ReadControlsIntoSettings(HWND dialog)
{
    settings.saveMode = static_cast<SaveMode>(Selection(dialog, IDC_SAVE_MODE));
    settings.interfaceKind = static_cast<InterfaceKind>(Selection(dialog, IDC_INTERFACE));
    settings.comPort = FieldNumber(dialog, IDC_COM_PORT);
    settings.baudIndex = static_cast<BaudIndex>(Selection(dialog, IDC_BAUD_RATE));
    settings.addReturn = Checked(dialog, IDC_ADD_RETURN);
    // Typing never sends a line feed, so the stored flag says so too.
    settings.addLineFeed = settings.saveMode == KEYBOARD_EMULATION ? 0 : Checked(dialog, IDC_ADD_LINE_FEED);
    settings.showErrorMessages = Checked(dialog, IDC_SHOW_ERRORS);
    settings.alwaysShowDialog = Checked(dialog, IDC_ALWAYS_SHOW);
    // Keep-online does not apply to Append (its box is disabled there).
    settings.keepOnline = settings.saveMode == APPEND ? 0 : Checked(dialog, IDC_KEEP_ONLINE);
    settings.pollingTime = FieldNumber(dialog, IDC_POLLING_TIME);
    settings.interCharDelay = FieldNumber(dialog, IDC_CHAR_DELAY);
    // A polling session is never offered the file to view.
    settings.viewReceivedData = settings.keepOnline == 1 ? 0 : Checked(dialog, IDC_VIEW_DATA);
}

// Validates and stores the output location. false: reported, dialog stays.
bool StoreOutputLocation(HWND dialog)
{
    char directory[PATH_BUFFER] = {};
    ReadDirectoryField(dialog, directory);
    if (settings.saveMode == AUTO_FILE_NAME) {
        if (!ValidateOutputPath(directory, nullptr)) {
            ReportError(dialog, ERR_FILE_NAME);
            return false;
        }
        std::strcpy(settings.outputDirectory, directory);
        return true;
    }
    char fileName[PATH_BUFFER] = {};
    GetDlgItemTextA(dialog, IDC_FILE_NAME, fileName, FIELD_TEXT_READ);
    if (fileName[0] == '\0' || !ValidateOutputPath(directory, fileName)) {
        ReportError(dialog, ERR_FILE_NAME);
        return false;
    }
    std::strcpy(settings.outputDirectory, directory);
    std::strcpy(settings.outputFileName, fileName);
    return true;
}

// The folder browser: IDC_DIRECTORY takes the chosen folder; Settings change at OK.
void BrowseForFolder(HWND dialog)
{
    char displayName[MAX_PATH] = {};
    BROWSEINFOA browse;
    PrepareFolderBrowser(&browse, dialog, displayName);
    auto* browseForFolder = LATE(SHBrowseForFolderA);
    auto* pathFromList = LATE(SHGetPathFromIDListA);
    if (browseForFolder == nullptr || pathFromList == nullptr) return;
    PIDLIST_ABSOLUTE chosen = browseForFolder(&browse);
    if (chosen == nullptr) return;
    char folder[MAX_PATH] = {};
    // A shell place with no file-system path (such as the computer itself)
    // leaves the field as it was.
    if (pathFromList(chosen, folder)) SetDlgItemTextA(dialog, IDC_DIRECTORY, folder);
    CoTaskMemFree(chosen);
}

// The Save-As dialog: a choice takes effect at once, in Settings and fields.
void BrowseForFile(HWND dialog, char* directory)
{
    char fileName[PATH_BUFFER] = {};
    GetDlgItemTextA(dialog, IDC_FILE_NAME, fileName, FIELD_TEXT_READ);
    if (BrowseOutputFile(dialog, directory, fileName) != 1) return;
    std::strcpy(settings.outputDirectory, directory);
    std::strcpy(settings.outputFileName, fileName);
    SetDlgItemTextA(dialog, IDC_DIRECTORY, settings.outputDirectory);
    SetDlgItemTextA(dialog, IDC_FILE_NAME, settings.outputFileName);
}

}  // namespace

void PrepareFolderBrowser(BROWSEINFOA* browse, HWND owner, char* displayName)
{
    *browse = BROWSEINFOA{};
    browse->hwndOwner = owner;
    browse->pidlRoot = nullptr;             // the top of the shell namespace
    browse->pszDisplayName = displayName;   // MAX_PATH bytes
    browse->lpszTitle = "Select Folder";
    browse->ulFlags = BIF_EDITBOX;          // no preselected folder
}

void OnSettingsOk(HWND dialog)
{
    // A posted OK must not end the dialog under an open Browse dialog.
    if (settingsDialogState.browseInProgress) return;
    if (!CountFieldsHoldNumbers(dialog)) return;
    ReadControlsIntoSettings(dialog);
    // Typed records need no location; the stored one is kept for later.
    if (settings.saveMode != KEYBOARD_EMULATION && !StoreOutputLocation(dialog)) return;
    char text[SETTINGS_TEXT_CAPACITY] = {};
    FormatSettingsText(settings, text);
    SaveSettingsFile(text);
    EndSettingsDialog(dialog, SETTINGS_OK);
}

void OnSettingsBrowse(HWND dialog)
{
    if (settingsDialogState.browseInProgress) return;
    settingsDialogState.browseInProgress = true;
    char directory[PATH_BUFFER] = {};
    ReadDirectoryField(dialog, directory);
    if (settings.saveMode == AUTO_FILE_NAME)
        BrowseForFolder(dialog);
    else
        BrowseForFile(dialog, directory);
    settingsDialogState.browseInProgress = false;
}
