// The device chooser. A device whose name cannot be read is left out of the
// list; each entry carries its device's position, so a choice below such a
// gap still names the device it shows.
#include "link/device_chooser.h"

#include "res/resource.h"

namespace {

constexpr INT_PTR NOTHING_CHOSEN = -1;

void OnChooserInit(HWND dialog)
{
    ChooserEntry entries[MAX_MODEM_DEVICES];
    const int count = ListChooserEntries(entries);
    SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        const LRESULT item =
            SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i].name));
        if (item < 0) continue;
        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_SETITEMDATA, static_cast<WPARAM>(item), entries[i].position);
        // The current choice is shown selected; nothing when it is not listed.
        if (entries[i].position == telephonyState.modemIndex)
            SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    }
}

INT_PTR ChosenPosition(HWND dialog)
{
    const LRESULT item = SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_GETCURSEL, 0, 0);
    if (item < 0) return NOTHING_CHOSEN;
    return SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, CB_GETITEMDATA, static_cast<WPARAM>(item), 0);
}

}  // namespace

int ListChooserEntries(ChooserEntry (&entries)[MAX_MODEM_DEVICES])
{
    int count = 0;
    for (int position = 0; position < telephonyState.modemCount && position < MAX_MODEM_DEVICES; ++position) {
        ChooserEntry& entry = entries[count];
        entry = ChooserEntry{};
        if (TapiGetLineName(telephonyState.modemDevices[position], entry.name) != 1) continue;
        entry.position = position;
        ++count;
    }
    return count;
}

INT_PTR CALLBACK TapiChooseDevice(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnChooserInit(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, ChosenPosition(dialog));
        // Esc, like the close box, chooses nothing.
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, NOTHING_CHOSEN);
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, NOTHING_CHOSEN);
        return FALSE;
    default:
        return FALSE;
    }
}
