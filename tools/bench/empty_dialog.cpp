// The smallest dialog program of ours: one modal dialog from an in-memory
// template, closed by the user. The transfer benchmark compares Varnolt's
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
    // DLGTEMPLATE, then empty menu and class, the caption, as WORDs.
    alignas(4) WORD buffer[64] = {};
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
    dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME;
    dialog->cx = 123;
    dialog->cy = 61;
    WORD* tail = reinterpret_cast<WORD*>(dialog + 1);
    *tail++ = 0;   // no menu
    *tail++ = 0;   // the standard dialog class
    for (const char* c = "Empty dialog"; *c; ++c) *tail++ = static_cast<WORD>(*c);
    *tail++ = 0;
    return static_cast<int>(DialogBoxIndirectParamA(instance, dialog, nullptr, EmptyDialogProc, 0));
}
