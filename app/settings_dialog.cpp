// Placeholder until the settings dialog is built: OK ends with 1, Cancel with 2.
#include "app/settings_dialog.h"

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 2);
        return TRUE;
    }
    if (message == WM_CLOSE) { EndDialog(dialog, 2); return TRUE; }
    return FALSE;
}
