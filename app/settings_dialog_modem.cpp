// The settings dialog's Modem config button: the telephony modem's own
// configuration dialog, for the data-modem line the user picks. The choice
// is kept for the sessions of this run.
#include <windows.h>
#include <tapi.h>

#include "app/settings_dialog_handlers.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"
#include "link/device_chooser.h"
#include "link/telephony.h"
#include "res/program_instance.h"
#include "res/resource.h"

namespace {

// The position in modemDevices to configure: the user's pick among several
// lines, the only line otherwise; -1 when nothing was picked.
int ChooseModemPosition(HWND dialog)
{
    if (telephonyState.modemCount < 2) return 0;
    const INT_PTR chosen =
        DialogBoxParamA(programInstance, MAKEINTRESOURCEA(IDD_DEVICE_CHOOSER), dialog, TapiChooseDevice, 0);
    return chosen >= 0 && chosen < telephonyState.modemCount ? static_cast<int>(chosen) : -1;
}

void ConfigureModemAt(HWND dialog, int position)
{
    telephonyState.modemIndex = position;
    telephonyState.deviceId = telephonyState.modemDevices[position];
    if (lineConfigDialogA(telephonyState.deviceId, nullptr, DATAMODEM_CLASS) != 0)
        ReportError(dialog, ERR_DEVICE_CONFIG);
}

}  // namespace

void OnSettingsModemConfig(HWND dialog)
{
    if (TapiInitialize() == 1) {
        const int position = ChooseModemPosition(dialog);
        if (position >= 0) ConfigureModemAt(dialog, position);
    } else {
        // No usable line: the user is told rather than left with a button
        // that does nothing.
        ReportError(dialog, ERR_LINE_INIT);
    }
    // Telephony was initialised only for this; also after a failed search.
    if (telephonyState.lineApp) {
        lineShutdown(telephonyState.lineApp);
        telephonyState.lineApp = 0;
    }
}
