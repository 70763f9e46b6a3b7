// The device chooser (dialog 4): which data-modem line the Modem config
// button configures and later sessions open.
#pragma once

#include <windows.h>

#include "link/telephony.h"

// One entry of the chooser: a line name that could be read, and the
// position of its device in telephonyState.modemDevices.
struct ChooserEntry {
    char name[LINE_NAME_AREA];
    int position;
};

// The entries for the listed devices whose names can be read, in list order.
// Returns how many were filled.
int ListChooserEntries(ChooserEntry (&entries)[MAX_MODEM_DEVICES]);

// Dialog procedure of dialog 4. The dialog's result is the chosen device's
// position in modemDevices, or -1 when it was closed or nothing was chosen.
INT_PTR CALLBACK TapiChooseDevice(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
