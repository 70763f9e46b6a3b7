// The wait panel over the session window while the cradle is found. It has
// no procedure and takes no input; it exists only during the start-up.
#include "link/ir_wait_panel.h"

#include "link/ir_cradle.h"
#include "res/resource.h"

namespace {

// A child dialog marked DS_CENTER is placed at the middle of the screen in
// its parent's client coordinates, which may be outside the parent; the
// panel belongs in the middle of its owner.
void CentreInOwner(HWND panel, HWND owner)
{
    RECT client{};
    RECT own{};
    GetClientRect(owner, &client);
    GetWindowRect(panel, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    SetWindowPos(panel, HWND_TOP, (client.right - width) / 2, (client.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND ShowWaitPanel(HWND owner)
{
    if (!owner) return nullptr;
    HWND panel = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_IR_WAIT), owner, nullptr, 0);
    if (!panel) return nullptr;
    CentreInOwner(panel, owner);
    // The session window is first shown by its dialog loop, after the link
    // is open: until then a panel inside it would not be seen.
    if (!IsWindowVisible(owner)) ShowWindow(owner, SW_SHOWNORMAL);
    // Nothing on this thread paints until the probes are over, so paint
    // now: the owner first, then the panel over what the owner's controls
    // drew.
    UpdateWindow(owner);
    RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    return panel;
}

}  // namespace

int StartIrCradle(HANDLE port, HWND owner, uint8_t baudIndex)
{
    HWND panel = ShowWaitPanel(owner);
    const int found = InitIrCradle(port, baudIndex);
    if (panel) DestroyWindow(panel);
    return found;
}
