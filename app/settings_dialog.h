// The settings dialog (dialog 1): ends with SETTINGS_OK (settings saved) or
// SETTINGS_CANCEL.
#pragma once

#include <windows.h>

constexpr INT_PTR SETTINGS_OK = 1;
constexpr INT_PTR SETTINGS_CANCEL = 2;

// Registers the window classes the dialog's template needs; call before
// creating the dialog.
bool RegisterSettingsDialogControls();

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills the controls from Settings (title, icon, lists, limits, ranges, texts).
void InitSettingsDialog(HWND dialog);
// Enables the controls that apply to interfaceKind, saveMode and keepOnline
// as they are now, then redraws the dialog.
void ApplyEnableRules(HWND dialog);
