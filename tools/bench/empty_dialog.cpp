// The smallest dialog program of ours: one modal dialog with one button
// (empty_dialog.rc), closed by the user. The transfer benchmark compares Varnolt's
// memory with this program's under the same Wine.
#include <windows.h>

namespace {

INT_PTR CALLBACK EmptyDialogProc(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_CLOSE || message == WM_COMMAND) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return static_cast<int>(DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, EmptyDialogProc, 0));
}
