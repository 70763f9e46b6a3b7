// The settings dialog's handlers, one per command, shared by the files that
// make up the dialog. SettingsDialogProc only dispatches to them.
#pragma once

#include <windows.h>
#include <shlobj.h>

// The dialog's own state; one settings dialog exists at a time.
struct SettingsDialogState {
    bool browseInProgress;    // a Browse dialog is open: OK is ignored
    bool reportingField;      // a field's error is being shown: other fields' focus loss is not checked
    bool ending;              // the dialog is closing: focus loss is no longer checked
};

extern SettingsDialogState settingsDialogState;

void OnSettingsOk(HWND dialog);
void OnSettingsBrowse(HWND dialog);
// (settings_dialog_modem.cpp) Initialises telephony, lets the user pick one
// of several data-modem lines (dialog 4), keeps the pick as modemIndex and
// opens its configuration dialog; reports ERR_LINE_INIT when there is no
// line and ERR_DEVICE_CONFIG when configuring fails; ends telephony again.
void OnSettingsModemConfig(HWND dialog);

void OnDirectoryKillFocus(HWND dialog);
void OnFileNameKillFocus(HWND dialog);
void OnNumberKillFocus(HWND dialog, int fieldId);
void ClampCountFieldText(HWND dialog, int fieldId, unsigned maximum);
void ClampDelayFieldText(HWND dialog);

// A field's unsigned decimal number; false when the text holds none (empty,
// or not a number as the platform reads it).
bool ReadFieldNumber(HWND dialog, int fieldId, unsigned* value);

// The directory of IDC_DIRECTORY as OK and Browse use it: the program's directory when
// empty, otherwise normalised. directory holds PATH_BUFFER bytes.
void ReadDirectoryField(HWND dialog, char* directory);

void EndSettingsDialog(HWND dialog, INT_PTR result);

// Reports code with the dialog as owner and leaves the focus on the field.
void RejectField(HWND dialog, int fieldId, int code);

// The folder browser's set-up: owned by the dialog, rooted at the top of the
// shell namespace, titled "Select Folder", with an edit box for typing.
void PrepareFolderBrowser(BROWSEINFOA* browse, HWND owner, char* displayName);
