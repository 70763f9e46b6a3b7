// The telephony functions the stand-in exports (see tapi32.def): a small
// telephony service of line devices that offer incoming data-modem calls
// and hand over a COM port as the comm handle of a connected call.
#include <windows.h>
#include <tapi.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "standin_events.h"
#include "standin_log.h"
#include "standin_records.h"
#include "standin_state.h"

namespace {

constexpr DWORD LOWEST_VERSION = 0x10003;
constexpr char DATAMODEM_CLASS[] = "comm/datamodem";

// Reads the world from the file named by VARNOLT_TAPI_STANDIN (lock held).
// Without the variable the service has no line devices.
void LoadConfig()
{
    char path[2 * MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VARNOLT_TAPI_STANDIN", path, sizeof path);
    StandinConfig config;
    if (length > 0 && length < sizeof path) {
        const std::string file = ToWindowsPath(path);
        std::string text;
        const HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            config.problem = "cannot read " + file;
        } else {
            char block[4096];
            DWORD got = 0;
            while (ReadFile(handle, block, sizeof block, &got, nullptr) && got > 0)
                text.append(block, got);
            CloseHandle(handle);
            config = ParseStandinConfig(text);
        }
    }
    standin.config = config;
    SetLogPath(config.logPath);
    if (!config.problem.empty()) {
        LogLine("configuration problem: %s", config.problem.c_str());
        std::fprintf(stderr, "tapi32: configuration problem: %s\n", config.problem.c_str());
    }
}

bool VersionSupported(DWORD version)
{
    return version >= LOWEST_VERSION && version <= standin.config.tapiVersion;
}

// Fills dwNeededSize of a record refused as too small, where it fits.
void NeedSize(void* record, DWORD total, DWORD needed)
{
    if (total >= 2 * sizeof(DWORD)) static_cast<DWORD*>(record)[1] = needed;
}

LONG Initialize(LPHLINEAPP lineApp, LINECALLBACK callback, LPDWORD deviceCount, LPDWORD apiVersion,
                LPLINEINITIALIZEEXPARAMS params)
{
    if (!standin.config.problem.empty()) return LINEERR_NODRIVER;
    if (lineApp == nullptr || deviceCount == nullptr || apiVersion == nullptr || params == nullptr)
        return LINEERR_INVALPOINTER;
    if (*apiVersion < 0x20000) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS)) {
        NeedSize(params, params->dwTotalSize, sizeof(LINEINITIALIZEEXPARAMS));
        return LINEERR_STRUCTURETOOSMALL;
    }
    // Only the hidden-window way of delivering events is offered.
    if ((params->dwOptions & 0xFF) != LINEINITIALIZEEXOPTION_USEHIDDENWINDOW) return LINEERR_INVALPARAM;
    if (callback == nullptr) return LINEERR_INVALPOINTER;
    if (standin.config.initResult != 0) return standin.config.initResult;

    AppRecord app;
    app.handle = standin.nextApp++;
    app.callback = callback;
    app.completeCapsReads.assign(standin.config.lines.size(), 0);
    if (!CreateEventWindow(app)) return LINEERR_OPERATIONFAILED;
    standin.apps.push_back(app);
    *lineApp = app.handle;
    *deviceCount = static_cast<DWORD>(standin.config.lines.size());
    *apiVersion = standin.config.tapiVersion;
    params->dwNeededSize = params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
    return 0;
}

// The checks every call naming an application and a device begins with.
LONG CheckAppDevice(HLINEAPP lineApp, DWORD deviceId, AppRecord** app, const LineConfig** device)
{
    *app = FindApp(lineApp);
    if (*app == nullptr) return LINEERR_INVALAPPHANDLE;
    *device = DeviceConfig(deviceId);
    if (*device == nullptr) return LINEERR_BADDEVICEID;
    return 0;
}

// Those of a call that also fills `answer` for a negotiated version.
LONG CheckDeviceUse(HLINEAPP lineApp, DWORD deviceId, const void* answer, DWORD apiVersion, DWORD extVersion,
                    AppRecord** app, const LineConfig** device)
{
    const LONG result = CheckAppDevice(lineApp, deviceId, app, device);
    if (result != 0) return result;
    if (answer == nullptr) return LINEERR_INVALPOINTER;
    if (!(*device)->negotiates || !VersionSupported(apiVersion)) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (extVersion != 0) return LINEERR_INCOMPATIBLEEXTVERSION;
    return 0;
}

// What lineGetIDA's comm handle is opened from.
struct CommSource {
    const LineConfig* device;
    bool connected;
};

HANDLE OpenCommHandle(void* context)
{
    const CommSource& source = *static_cast<const CommSource*>(context);
    // A line without a connected call has no port open.
    if (!source.connected || source.device->commHandle == CommHandle::NONE ||
        source.device->commHandle == CommHandle::INVALID)
        return nullptr;
    if (source.device->commHandle == CommHandle::FILE) {
        char directory[MAX_PATH], file[MAX_PATH];
        if (GetTempPathA(sizeof directory, directory) == 0 || GetTempFileNameA(directory, "tel", 0, file) == 0)
            return INVALID_HANDLE_VALUE;
        return CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    char port[32];
    std::snprintf(port, sizeof port, "\\\\.\\COM%d", source.device->comPort);
    const HANDLE handle = CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) LogLine("comm port %s cannot be opened: error %lu", port, GetLastError());
    return handle;
}

// Whether the program still holds the comm handle it was given.
const char* CommHandleState(HANDLE handed)
{
    DWORD flags = 0;
    if (handed == nullptr) return "none";
    return GetHandleInformation(handed, &flags) ? "open" : "closed";
}

LONG NextRequestId()
{
    const LONG id = standin.nextRequest;
    standin.nextRequest = standin.nextRequest == 0x7FFFFFFF ? 1 : standin.nextRequest + 1;
    return id;
}

void ScheduleReply(const AppRecord& app, const LineRecord& line, LONG requestId, LONG result)
{
    PendingEvent reply;
    reply.kind = EventKind::REPLY;
    reply.requestId = requestId;
    reply.result = result;
    reply.instance = line.callbackInstance;
    Schedule(app, reply, 0);
}

void ScheduleCall(const AppRecord& app, EventKind kind, DWORD handle, int delayMs)
{
    PendingEvent event;
    event.kind = kind;
    event.handle = handle;
    Schedule(app, event, delayMs);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&standin.lock);
        InitLog();
    }
    return TRUE;
}

LONG WINAPI lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback,
                              LPCSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                              LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams)
{
    StateLock lock;
    LoadConfig();
    const DWORD asked = lpdwAPIVersion != nullptr ? *lpdwAPIVersion : 0;
    const DWORD total = lpLineInitializeExParams != nullptr ? lpLineInitializeExParams->dwTotalSize : 0;
    const DWORD options =
        lpLineInitializeExParams != nullptr && total >= 4 * sizeof(DWORD) ? lpLineInitializeExParams->dwOptions : 0;
    const LONG result = Initialize(lphLineApp, lpfnCallback, lpdwNumDevs, lpdwAPIVersion, lpLineInitializeExParams);
    LogLine("lineInitializeExA name=%s version=0x%lX total=%lu options=0x%lX -> %s app=0x%lX devices=%lu "
            "version=0x%lX",
            lpszFriendlyAppName != nullptr ? lpszFriendlyAppName : "(null)", asked, total, options,
            ResultText(result).c_str(), result == 0 ? *lphLineApp : 0, result == 0 ? *lpdwNumDevs : 0,
            result == 0 ? *lpdwAPIVersion : 0);
    return result;
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                    DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                    LPLINEEXTENSIONID lpExtensionID)
{
    StateLock lock;
    AppRecord* app = nullptr;
    const LineConfig* device = nullptr;
    LONG result = CheckAppDevice(hLineApp, dwDeviceID, &app, &device);
    const DWORD version = dwAPIHighVersion < standin.config.tapiVersion ? dwAPIHighVersion : standin.config.tapiVersion;
    if (result == 0 && (lpdwAPIVersion == nullptr || lpExtensionID == nullptr)) result = LINEERR_INVALPOINTER;
    if (result == 0 && (!device->negotiates || dwAPILowVersion > dwAPIHighVersion || version < dwAPILowVersion ||
                        version < LOWEST_VERSION))
        result = LINEERR_INCOMPATIBLEAPIVERSION;
    if (result == 0) {
        *lpdwAPIVersion = version;
        ZeroMemory(lpExtensionID, sizeof *lpExtensionID);  // this service has no extensions
    }
    LogLine("lineNegotiateAPIVersion app=0x%lX device=%lu low=0x%lX high=0x%lX -> %s version=0x%lX", hLineApp,
            dwDeviceID, dwAPILowVersion, dwAPIHighVersion, ResultText(result).c_str(), result == 0 ? version : 0);
    return result;
}

LONG WINAPI lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                            LPLINEDEVCAPS lpLineDevCaps)
{
    StateLock lock;
    AppRecord* app = nullptr;
    const LineConfig* device = nullptr;
    LONG result = CheckDeviceUse(hLineApp, dwDeviceID, lpLineDevCaps, dwAPIVersion, dwExtVersion, &app, &device);
    // Another session may have read a world with more devices since.
    if (result == 0 && app->completeCapsReads.size() <= dwDeviceID) app->completeCapsReads.resize(dwDeviceID + 1, 0);
    if (result == 0 && (device->caps == CapsReads::FAIL ||
                        (device->caps == CapsReads::NAME_FAILS && app->completeCapsReads[dwDeviceID] > 0)))
        result = LINEERR_OPERATIONFAILED;
    const DWORD total = lpLineDevCaps != nullptr ? lpLineDevCaps->dwTotalSize : 0;
    if (result == 0) {
        bool complete = false;
        result = AnswerDevCaps(lpLineDevCaps, dwAPIVersion, 0x1000 + dwDeviceID, *device, &complete);
        if (complete) ++app->completeCapsReads[dwDeviceID];
    }
    const bool answered = result == 0 || result == static_cast<LONG>(LINEERR_STRUCTURETOOSMALL);
    LogLine("lineGetDevCapsA app=0x%lX device=%lu version=0x%lX total=%lu -> %s needed=%lu used=%lu", hLineApp,
            dwDeviceID, dwAPIVersion, total, ResultText(result).c_str(),
            answered && total >= 8 ? lpLineDevCaps->dwNeededSize : 0,
            answered && total >= 12 ? lpLineDevCaps->dwUsedSize : 0);
    return result;
}

LONG WINAPI lineOpenA(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion, DWORD dwExtVersion,
                      DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
                      LPLINECALLPARAMS const lpCallParams)
{
    StateLock lock;
    AppRecord* app = nullptr;
    const LineConfig* device = nullptr;
    LONG result = CheckDeviceUse(hLineApp, dwDeviceID, lphLine, dwAPIVersion, dwExtVersion, &app, &device);
    const DWORD privilege = dwPrivileges & ~(LINEOPENOPTION_SINGLEADDRESS | LINEOPENOPTION_PROXY);
    const bool owner = (privilege & LINECALLPRIVILEGE_OWNER) != 0;
    if (result == 0 && privilege != LINECALLPRIVILEGE_NONE && privilege != LINECALLPRIVILEGE_MONITOR &&
        privilege != LINECALLPRIVILEGE_OWNER && privilege != (LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR))
        result = LINEERR_INVALPRIVSELECT;
    if (result == 0 && owner && (dwMediaModes == 0 || (dwMediaModes & ~device->mediaModes) != 0))
        result = LINEERR_INVALMEDIAMODE;
    if (result == 0) result = device->openResult;
    if (result == 0) {
        LineRecord line;
        line.handle = standin.nextLine++;
        line.deviceId = dwDeviceID;
        line.callbackInstance = dwCallbackInstance;
        app->lines.push_back(line);
        *lphLine = line.handle;
        if (owner && (dwMediaModes & LINEMEDIAMODE_DATAMODEM) != 0 && device->offerAfterMs >= 0)
            ScheduleCall(*app, EventKind::OFFER, line.handle, device->offerAfterMs);
    }
    // The call parameters matter only to the line mapper; logged for the tests.
    const DWORD paramsTotal = lpCallParams != nullptr ? lpCallParams->dwTotalSize : 0;
    const bool addressFits = paramsTotal >= offsetof(LINECALLPARAMS, dwAddressID) + sizeof(DWORD);
    LogLine("lineOpenA app=0x%lX device=%lu version=0x%lX privileges=0x%lX media=0x%lX instance=0x%llX "
            "params_total=%lu params_address_mode=%lu params_address=%lu -> %s line=0x%lX",
            hLineApp, dwDeviceID, dwAPIVersion, dwPrivileges, dwMediaModes,
            static_cast<unsigned long long>(dwCallbackInstance), paramsTotal,
            addressFits ? lpCallParams->dwAddressMode : 0, addressFits ? lpCallParams->dwAddressID : 0,
            ResultText(result).c_str(), result == 0 ? *lphLine : 0);
    return result;
}

LONG WINAPI lineAnswer(HCALL hCall, LPCSTR, DWORD dwSize)
{
    StateLock lock;
    AppRecord* app = nullptr;
    LineRecord* line = FindCallLine(hCall, &app);
    LineRecord* otherLine = line == nullptr ? FindOtherCallLine(hCall, &app) : nullptr;
    const LineRecord* known = line != nullptr ? line : otherLine;
    const LineConfig* device = known != nullptr ? DeviceConfig(known->deviceId) : nullptr;
    LONG result = 0;
    if (known == nullptr || device == nullptr) result = LINEERR_INVALCALLHANDLE;
    else if ((line != nullptr ? line->callState : otherLine->otherState) != LINECALLSTATE_OFFERING)
        result = LINEERR_INVALCALLSTATE;
    else if (device->answerResult < 0 &&
             (device->answerRefusals < 0 || standin.answersRefused < device->answerRefusals)) {
        result = device->answerResult;
        ++standin.answersRefused;
    }
    // The line's modem is busy with the first call: the second one is taken
    // for answered and never connects.
    if (result == 0 && otherLine != nullptr) {
        otherLine->otherState = LINECALLSTATE_ACCEPTED;
        result = NextRequestId();
    } else if (result == 0) {
        line->callState = LINECALLSTATE_ACCEPTED;
        result = NextRequestId();
        ScheduleReply(*app, *line, result, device->answerReply);
        if (device->answerReply == 0 && device->connectAfterMs >= 0)
            ScheduleCall(*app, EventKind::CONNECT, hCall, device->connectAfterMs);
    }
    LogLine("lineAnswer call=0x%lX size=%lu -> %s", hCall, dwSize, ResultText(result).c_str());
    return result;
}

LONG WINAPI lineGetIDA(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, LPVARSTRING lpDeviceID,
                       LPCSTR lpszDeviceClass)
{
    StateLock lock;
    LineRecord* line = nullptr;
    LONG result = 0;
    if (lpDeviceID == nullptr || lpszDeviceClass == nullptr) result = LINEERR_INVALPOINTER;
    else if (lstrcmpiA(lpszDeviceClass, DATAMODEM_CLASS) != 0) result = LINEERR_INVALDEVICECLASS;
    else if (dwSelect == LINECALLSELECT_LINE || dwSelect == LINECALLSELECT_ADDRESS) {
        line = FindLine(hLine);
        if (line == nullptr) result = LINEERR_INVALLINEHANDLE;
        else if (dwSelect == LINECALLSELECT_ADDRESS && dwAddressID != 0) result = LINEERR_INVALADDRESSID;
    } else if (dwSelect == LINECALLSELECT_CALL) {
        line = FindCallLine(hCall);
        if (line == nullptr) result = LINEERR_INVALCALLHANDLE;
    } else {
        result = LINEERR_INVALCALLSELECT;
    }
    const LineConfig* device = line != nullptr ? DeviceConfig(line->deviceId) : nullptr;
    if (result == 0 && device == nullptr) result = LINEERR_OPERATIONFAILED;
    if (result == 0) result = device->getIdResult;
    const DWORD total = lpDeviceID != nullptr ? lpDeviceID->dwTotalSize : 0;
    HANDLE handed = nullptr;
    if (result == 0) {
        CommSource source{device, line->call != 0 && line->callState == LINECALLSTATE_CONNECTED};
        result = AnswerCommId(lpDeviceID, device->name, OpenCommHandle, &source, &handed, device->shortAnswer);
        if (handed != nullptr) line->commHanded = handed;
        // The null handle in the answer becomes INVALID_HANDLE_VALUE.
        if (result == 0 && device->commHandle == CommHandle::INVALID && lpDeviceID->dwStringOffset != 0) {
            handed = INVALID_HANDLE_VALUE;
            std::memcpy(reinterpret_cast<char*>(lpDeviceID) + lpDeviceID->dwStringOffset, &handed, sizeof handed);
        }
    }
    const bool answered = result == 0 || result == static_cast<LONG>(LINEERR_STRUCTURETOOSMALL);
    LogLine("lineGetIDA line=0x%lX address=%lu call=0x%lX select=%lu class=%s total=%lu -> %s needed=%lu "
            "handle=0x%llX",
            hLine, dwAddressID, hCall, dwSelect, lpszDeviceClass != nullptr ? lpszDeviceClass : "(null)", total,
            ResultText(result).c_str(), answered && total >= 8 ? lpDeviceID->dwNeededSize : 0,
            static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(handed)));
    return result;
}

LONG WINAPI lineDrop(HCALL hCall, LPCSTR, DWORD dwSize)
{
    StateLock lock;
    AppRecord* app = nullptr;
    LineRecord* line = FindCallLine(hCall, &app);
    LineRecord* otherLine = line == nullptr ? FindOtherCallLine(hCall, &app) : nullptr;
    LONG result = 0;
    if (line == nullptr && otherLine == nullptr) result = LINEERR_INVALCALLHANDLE;
    else if (line != nullptr && line->callState == LINECALLSTATE_IDLE) result = LINEERR_INVALCALLSTATE;
    if (result == 0 && otherLine != nullptr) {
        // The second call goes at once; its handle is no longer valid.
        otherLine->otherCall = 0;
        otherLine->otherState = 0;
        result = NextRequestId();
        ScheduleReply(*app, *otherLine, result, 0);
    } else if (result == 0) {
        line->callState = LINECALLSTATE_IDLE;
        result = NextRequestId();
        ScheduleReply(*app, *line, result, 0);
        ScheduleCall(*app, EventKind::IDLE, hCall, 0);
    }
    LogLine("lineDrop call=0x%lX size=%lu -> %s", hCall, dwSize, ResultText(result).c_str());
    return result;
}

LONG WINAPI lineClose(HLINE hLine)
{
    StateLock lock;
    AppRecord* app = nullptr;
    LineRecord* line = FindLine(hLine, &app);
    const char* comm = line != nullptr ? CommHandleState(line->commHanded) : "none";
    const LONG result = line != nullptr ? 0 : static_cast<LONG>(LINEERR_INVALLINEHANDLE);
    // The line's call goes with it; its pending events find nothing.
    if (line != nullptr) app->lines.erase(app->lines.begin() + (line - app->lines.data()));
    LogLine("lineClose line=0x%lX comm=%s -> %s", hLine, comm, ResultText(result).c_str());
    return result;
}

LONG WINAPI lineShutdown(HLINEAPP hLineApp)
{
    StateLock lock;
    AppRecord* app = FindApp(hLineApp);
    const LONG result = app != nullptr ? 0 : static_cast<LONG>(LINEERR_INVALAPPHANDLE);
    const size_t openLines = app != nullptr ? app->lines.size() : 0;
    if (app != nullptr) {
        DestroyEventWindow(app->window);
        for (size_t i = standin.events.size(); i-- > 0;)
            if (standin.events[i].app == hLineApp) standin.events.erase(standin.events.begin() + i);
        standin.apps.erase(standin.apps.begin() + (app - standin.apps.data()));
    }
    LogLine("lineShutdown app=0x%lX open_lines=%lu -> %s", hLineApp, static_cast<unsigned long>(openLines), ResultText(result).c_str());
    return result;
}

LONG WINAPI lineConfigDialogA(DWORD dwDeviceID, HWND hwndOwner, LPCSTR lpszDeviceClass)
{
    StateLock lock;
    // With no session open there is nothing to stay consistent with.
    if (standin.apps.empty()) LoadConfig();
    const std::string deviceClass = lpszDeviceClass != nullptr ? lpszDeviceClass : "";
    LONG result = 0;
    if (standin.apps.empty()) result = LINEERR_UNINITIALIZED;
    else if (DeviceConfig(dwDeviceID) == nullptr) result = LINEERR_BADDEVICEID;
    else if (!deviceClass.empty() && lstrcmpiA(deviceClass.c_str(), "tapi/line") != 0 &&
             lstrcmpiA(deviceClass.c_str(), "comm") != 0 && lstrcmpiA(deviceClass.c_str(), DATAMODEM_CLASS) != 0)
        result = LINEERR_INVALDEVICECLASS;
    else result = standin.config.configDialogResult;
    LogLine("lineConfigDialogA device=%lu owner=0x%llX class=%s -> %s", dwDeviceID,
            static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwndOwner)),
            lpszDeviceClass != nullptr ? lpszDeviceClass : "(null)", ResultText(result).c_str());
    return result;
}

}  // extern "C"
