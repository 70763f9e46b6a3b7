// The ten telephony functions the program calls, defined here under their
// own names: each finds the real one in tapi32.dll on its first call (see
// late_binding.h), so the program imports nothing from telephony and loads
// it only for "Modem - TAPI" and its Modem config button. Without the
// library every call fails as telephony itself fails an unavailable
// operation, and the callers report that as they report any refusal.
#include <windows.h>
#include <tapi.h>

#include "link/late_binding.h"

namespace {

constexpr LONG UNAVAILABLE = static_cast<LONG>(LINEERR_OPERATIONUNAVAIL);

// Calls the real function with args, or answers LINEERR_OPERATIONUNAVAIL.
template <typename Function, typename... Args>
LONG CallLate(Function* real, Args... args)
{
    return real != nullptr ? real(args...) : UNAVAILABLE;
}

}  // namespace

LONG WINAPI lineAnswer(HCALL call, LPCSTR userInfo, DWORD size)
{
    return CallLate(LATE(lineAnswer), call, userInfo, size);
}

LONG WINAPI lineClose(HLINE line)
{
    return CallLate(LATE(lineClose), line);
}

LONG WINAPI lineConfigDialogA(DWORD device, HWND owner, LPCSTR deviceClass)
{
    return CallLate(LATE(lineConfigDialogA), device, owner, deviceClass);
}

LONG WINAPI lineDrop(HCALL call, LPCSTR userInfo, DWORD size)
{
    return CallLate(LATE(lineDrop), call, userInfo, size);
}

LONG WINAPI lineGetDevCapsA(HLINEAPP lineApp, DWORD device, DWORD apiVersion, DWORD extVersion, LPLINEDEVCAPS caps)
{
    return CallLate(LATE(lineGetDevCapsA), lineApp, device, apiVersion, extVersion, caps);
}

LONG WINAPI lineGetIDA(HLINE line, DWORD address, HCALL call, DWORD select, LPVARSTRING id, LPCSTR deviceClass)
{
    return CallLate(LATE(lineGetIDA), line, address, call, select, id, deviceClass);
}

LONG WINAPI lineInitializeExA(LPHLINEAPP lineApp, HINSTANCE instance, LINECALLBACK callback, LPCSTR appName,
                              LPDWORD deviceCount, LPDWORD apiVersion, LPLINEINITIALIZEEXPARAMS params)
{
    return CallLate(LATE(lineInitializeExA), lineApp, instance, callback, appName, deviceCount, apiVersion, params);
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP lineApp, DWORD device, DWORD low, DWORD high, LPDWORD apiVersion,
                                    LPLINEEXTENSIONID extension)
{
    return CallLate(LATE(lineNegotiateAPIVersion), lineApp, device, low, high, apiVersion, extension);
}

LONG WINAPI lineOpenA(HLINEAPP lineApp, DWORD device, LPHLINE line, DWORD apiVersion, DWORD extVersion,
                      DWORD_PTR callbackInstance, DWORD privileges, DWORD mediaModes, LPLINECALLPARAMS const callParams)
{
    return CallLate(LATE(lineOpenA), lineApp, device, line, apiVersion, extVersion, callbackInstance, privileges,
                    mediaModes, callParams);
}

LONG WINAPI lineShutdown(HLINEAPP lineApp)
{
    return CallLate(LATE(lineShutdown), lineApp);
}
