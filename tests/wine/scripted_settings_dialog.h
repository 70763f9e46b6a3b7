// Runs the real settings dialog with a script of user steps: the script
// runs once the dialog is up, inside its modal loop, as a user would act.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

#include "app/settings_dialog.h"
#include "app/settings_dialog_handlers.h"
#include "res/resource.h"

// The dialog's result when the script did not end it (it is then ended).
constexpr INT_PTR NOT_ENDED = 99;

namespace scripted_dialog {

constexpr UINT MSG_RUN_SCRIPT = WM_APP + 40;
inline std::function<void(HWND)> script;

inline INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MSG_RUN_SCRIPT) {
        // Shown as the user sees it (the modal loop would show it only once idle).
        ShowWindow(dialog, SW_SHOWNORMAL);
        std::function<void(HWND)> steps = std::move(script);
        steps(dialog);
        if (!settingsDialogState.ending) EndDialog(dialog, NOT_ENDED);
        return TRUE;
    }
    const INT_PTR result = SettingsDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) PostMessageA(dialog, MSG_RUN_SCRIPT, 0, 0);
    return result;
}

}  // namespace scripted_dialog

// The dialog's result: 1 OK, 2 Cancel, NOT_ENDED.
inline INT_PTR RunSettingsDialog(std::function<void(HWND)> steps)
{
    scripted_dialog::script = std::move(steps);
    RegisterSettingsDialogControls();
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, scripted_dialog::Proc,
                           0);
}
