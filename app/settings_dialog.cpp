// The settings dialog (dialog 1): shows the settings, keeps the controls that
// do not apply disabled, and hands each command to its handler.
#include "app/settings_dialog.h"

#include <commctrl.h>

#include "app/settings_dialog_fields.h"
#include "app/settings_dialog_handlers.h"
#include "app/settings_dialog_rules.h"
#include "core/settings.h"
#include "link/late_binding.h"
#include "res/program_instance.h"
#include "res/resource.h"

SettingsDialogState settingsDialogState;

// The template holds up-down controls, whose window class exists only once
// the common controls are registered. Done here, not at start-up, so that a
// command-line run never loads the common controls at all.
bool RegisterSettingsDialogControls()
{
    auto* initCommonControls = LATE(InitCommonControlsEx);
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_UPDOWN_CLASS};
    return initCommonControls != nullptr && initCommonControls(&controls) != FALSE;
}

namespace {

constexpr int TEXT_FIELD_LIMIT = 255;
constexpr int NUMBER_FIELD_LIMIT = 3;

constexpr const char* SAVE_MODE_TEXTS[] = {
    "Overwrite", "Append", "Keyboard emulation", "Auto file name", "Auto append",
};
constexpr const char* INTERFACE_TEXTS[] = {"RS232 or IrDA", "Cradle-IR", "Modem - TAPI", "Modem - COM"};
constexpr const char* BAUD_TEXTS[] = {"115200 bps", "57600 bps", "38400 bps", "19200 bps", "9600 bps"};

template <size_t N>
void FillList(HWND dialog, int listId, const char* const (&texts)[N], int selection)
{
    SendDlgItemMessageA(dialog, listId, CB_RESETCONTENT, 0, 0);
    for (const char* text : texts)
        SendDlgItemMessageA(dialog, listId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageA(dialog, listId, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

void SetRange(HWND dialog, int upDownId, int lowest, int highest)
{
    SendDlgItemMessageA(dialog, upDownId, UDM_SETRANGE, 0, MAKELPARAM(highest, lowest));
}

void LimitText(HWND dialog, int fieldId, int characters)
{
    SendDlgItemMessageA(dialog, fieldId, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void SetCheck(HWND dialog, int boxId, bool checked)
{
    CheckDlgButton(dialog, boxId, checked ? BST_CHECKED : BST_UNCHECKED);
}

// The list's selection, or -1 when there is none or it lies outside count.
int ListSelection(HWND dialog, int listId, int count)
{
    const LRESULT selection = SendDlgItemMessageA(dialog, listId, CB_GETCURSEL, 0, 0);
    return (selection >= 0 && selection < count) ? static_cast<int>(selection) : -1;
}

void OnInterfaceChanged(HWND dialog)
{
    const int selection = ListSelection(dialog, IDC_INTERFACE, 4);
    if (selection < 0) return;
    settings.interfaceKind = static_cast<InterfaceKind>(selection);
    ApplyEnableRules(dialog);
}

// The texts of IDC_DIRECTORY and IDC_FILE_NAME stay: switching modes back and forth loses nothing.
void OnSaveModeChanged(HWND dialog)
{
    const int selection = ListSelection(dialog, IDC_SAVE_MODE, 5);
    if (selection < 0) return;
    settings.saveMode = static_cast<SaveMode>(selection);
    ApplyEnableRules(dialog);
}

// The boxes do not toggle themselves; each click flips the box here.
void OnCheckBoxClicked(HWND dialog, int boxId)
{
    const bool checked = IsDlgButtonChecked(dialog, boxId) != BST_CHECKED;
    SetCheck(dialog, boxId, checked);
    if (boxId == IDC_KEEP_ONLINE) {
        settings.keepOnline = checked ? 1 : 0;
        ApplyEnableRules(dialog);
    }
}

void OnCommand(HWND dialog, int controlId, int notification)
{
    switch (controlId) {
    case IDOK: OnSettingsOk(dialog); return;
    case IDCANCEL: EndSettingsDialog(dialog, SETTINGS_CANCEL); return;
    case IDC_BROWSE: OnSettingsBrowse(dialog); return;
    case IDC_MODEM_CONFIG: OnSettingsModemConfig(dialog); return;
    case IDC_ADD_RETURN:
    case IDC_ADD_LINE_FEED:
    case IDC_SHOW_ERRORS:
    case IDC_VIEW_DATA:
    case IDC_ALWAYS_SHOW:
    case IDC_KEEP_ONLINE: OnCheckBoxClicked(dialog, controlId); return;
    case IDC_INTERFACE:
        if (notification == CBN_SELCHANGE) OnInterfaceChanged(dialog);
        return;
    case IDC_SAVE_MODE:
        if (notification == CBN_SELCHANGE) OnSaveModeChanged(dialog);
        return;
    case IDC_DIRECTORY:
        if (notification == EN_KILLFOCUS) OnDirectoryKillFocus(dialog);
        return;
    case IDC_FILE_NAME:
        if (notification == EN_KILLFOCUS) OnFileNameKillFocus(dialog);
        return;
    case IDC_COM_PORT:
    case IDC_POLLING_TIME:
        if (notification == EN_KILLFOCUS) OnNumberKillFocus(dialog, controlId);
        // Before the dialog is shown the fields are being filled from Settings.
        if (notification == EN_CHANGE && IsWindowVisible(dialog))
            ClampCountFieldText(dialog, controlId,
                                controlId == IDC_COM_PORT ? COM_PORT_MAXIMUM : POLLING_TIME_MAXIMUM);
        return;
    case IDC_CHAR_DELAY:
        if (notification == EN_CHANGE) ClampDelayFieldText(dialog);
        return;
    default: return;
    }
}

}  // namespace

void InitSettingsDialog(HWND dialog)
{
    settingsDialogState = SettingsDialogState{};
    SetWindowTextA(dialog, PROGRAM_TITLE);
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(programIcon));
    LimitText(dialog, IDC_DIRECTORY, TEXT_FIELD_LIMIT);
    LimitText(dialog, IDC_FILE_NAME, TEXT_FIELD_LIMIT);
    FillList(dialog, IDC_SAVE_MODE, SAVE_MODE_TEXTS, settings.saveMode);
    FillList(dialog, IDC_INTERFACE, INTERFACE_TEXTS, settings.interfaceKind);
    SetRange(dialog, IDC_COM_PORT_SPIN, 1, static_cast<int>(COM_PORT_MAXIMUM));
    LimitText(dialog, IDC_COM_PORT, NUMBER_FIELD_LIMIT);
    SetDlgItemInt(dialog, IDC_COM_PORT, static_cast<UINT>(settings.comPort), FALSE);
    FillList(dialog, IDC_BAUD_RATE, BAUD_TEXTS, settings.baudIndex);
    SetCheck(dialog, IDC_ADD_RETURN, settings.addReturn == 1);
    SetCheck(dialog, IDC_ADD_LINE_FEED, settings.addLineFeed == 1);
    SetCheck(dialog, IDC_SHOW_ERRORS, settings.showErrorMessages == 1);
    SetCheck(dialog, IDC_VIEW_DATA, settings.viewReceivedData == 1 && settings.keepOnline == 0);
    SetCheck(dialog, IDC_ALWAYS_SHOW, settings.alwaysShowDialog == 1);
    SetCheck(dialog, IDC_KEEP_ONLINE, settings.keepOnline == 1);
    SetRange(dialog, IDC_POLLING_SPIN, 1, static_cast<int>(POLLING_TIME_MAXIMUM));
    LimitText(dialog, IDC_POLLING_TIME, NUMBER_FIELD_LIMIT);
    SetRange(dialog, IDC_DELAY_SPIN, 0, static_cast<int>(CHAR_DELAY_MAXIMUM));
    LimitText(dialog, IDC_CHAR_DELAY, NUMBER_FIELD_LIMIT);
    SetDlgItemInt(dialog, IDC_CHAR_DELAY, static_cast<UINT>(settings.interCharDelay), FALSE);
    const bool typed = settings.saveMode == KEYBOARD_EMULATION;
    const bool namedFile = !typed && settings.saveMode != AUTO_FILE_NAME;
    SetDlgItemTextA(dialog, IDC_DIRECTORY, typed ? "" : settings.outputDirectory);
    SetDlgItemTextA(dialog, IDC_FILE_NAME, namedFile ? settings.outputFileName : "");
    SetDlgItemInt(dialog, IDC_POLLING_TIME, static_cast<UINT>(settings.pollingTime), FALSE);
}

void ApplyEnableRules(HWND dialog)
{
    const bool keepOnline = settings.keepOnline != 0;
    for (const EnableRule& rule : ENABLE_RULES) {
        const bool enabled = RuleHolds(rule.when, settings.interfaceKind, settings.saveMode, keepOnline);
        EnableWindow(GetDlgItem(dialog, rule.controlId), enabled ? TRUE : FALSE);
    }
    UpdateWindow(dialog);
}

void EndSettingsDialog(HWND dialog, INT_PTR result)
{
    settingsDialogState.ending = true;
    EndDialog(dialog, result);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitSettingsDialog(dialog);
        ApplyEnableRules(dialog);
        return TRUE;    // the platform focuses the first enabled tab stop
    case WM_CLOSE:
        EndSettingsDialog(dialog, SETTINGS_CANCEL);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
