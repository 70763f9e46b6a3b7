// The telephony line: initialisation and the data-modem device list, the
// line opened for incoming calls, the call answered, its comm handle, and
// the release of all of it.
#include "link/telephony.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

#include "errors/error_codes.h"
#include "link/link_state.h"
#include "res/program_instance.h"

TelephonyState telephonyState;

namespace {

constexpr char APP_NAME[] = "Varnolt";
constexpr DWORD VERSION_LOW = 0x10004;    // 1.4
constexpr DWORD VERSION_HIGH = 0x20002;   // 2.2
// The fixed part of a version-2.2 LINEDEVCAPS: enough for the media modes
// of most devices at the first read.
constexpr DWORD CAPS_TEST_FIRST_SIZE = offsetof(LINEDEVCAPS, dwAddressTypes);
// The line name follows the fixed part: the first read only learns its size.
constexpr DWORD CAPS_NAME_FIRST_SIZE = 24;
constexpr DWORD COMM_ID_FIRST_SIZE = sizeof(VARSTRING);

template <typename Record>
Record* RecordIn(TapiBuffer& buffer)
{
    return reinterpret_cast<Record*>(buffer.bytes.get());
}

// Reads the capabilities of device into capsBuffer. 1, or 0 (released).
int ReadDevCaps(DWORD device, DWORD firstSize)
{
    TelephonyState& t = telephonyState;
    return ReadGrowingRecord(t.capsBuffer, firstSize, [&](void* record) {
        return lineGetDevCapsA(t.lineApp, device, t.apiVersion, 0, static_cast<LINEDEVCAPS*>(record));
    });
}

// The name telephony gave (up to its NUL) into name, cut to fit the area.
void CopyLineName(const unsigned char* given, DWORD size, char* name)
{
    DWORD length = 0;
    while (length < size && length < LINE_NAME_AREA - 1 && given[length] != 0) ++length;
    std::memcpy(name, given, length);
    name[length] = '\0';
}

// The comm handle at dwStringOffset of idBuffer; nullptr when the answer
// holds none.
HANDLE CommHandleOf(const TapiBuffer& buffer)
{
    const DWORD offset = RecordDword(buffer, offsetof(VARSTRING, dwStringOffset));
    const DWORD size = RecordDword(buffer, offsetof(VARSTRING, dwStringSize));
    const unsigned char* stored = RecordBytes(buffer, offset, sizeof(HANDLE));
    if (size < sizeof(HANDLE) || stored == nullptr) return nullptr;
    HANDLE handle = nullptr;
    std::memcpy(&handle, stored, sizeof handle);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// Told to the session outside the callback: its handling ends telephony and
// may open it again.
void TellSession(UINT message, WPARAM wParam)
{
    const LinkEvents& events = telephonyState.events;
    if (events.window) PostMessageA(events.window, message, wParam, 0);
    else TapiShutdown();
}

void AnswerNewCall(DWORD addressId, HCALL call)
{
    // One call at a time: the modem is busy with the one held, which keeps
    // its handles.
    if (telephonyState.call) {
        lineDrop(call, nullptr, 0);
        return;
    }
    if (lineAnswer(call, nullptr, 0) < 0) {
        TellSession(telephonyState.events.failed, static_cast<WPARAM>(static_cast<INT_PTR>(ERR_ANSWER)));
        return;
    }
    // The answer's completion is not awaited: the connected state says the
    // call is usable.
    telephonyState.call = call;
    telephonyState.addressId = addressId;
}

void OnCallState(HCALL call, DWORD state)
{
    TelephonyState& t = telephonyState;
    // States of a call let go, or of one never taken, are no news.
    if (call == 0 || call != t.call || t.callEnded) return;
    if (state == LINECALLSTATE_CONNECTED) {
        // A connection reported again would take a second comm handle.
        if (t.events.window && !linkState.port) SendMessageA(t.events.window, t.events.connected, 0, 0);
    } else if (state == LINECALLSTATE_DISCONNECTED || state == LINECALLSTATE_IDLE) {
        t.callEnded = true;
        TellSession(t.events.connectionEnded, call);
    }
}

}  // namespace

void ClearTelephonyState()
{
    telephonyState = TelephonyState{};
}

int TapiInitialize()
{
    TelephonyState& t = telephonyState;
    t.apiVersion = VERSION_HIGH;
    t.modemCount = 0;
    if (!TakeTapiBuffer(t.initParams, sizeof(LINEINITIALIZEEXPARAMS))) return ERR_LINE_INIT;
    LINEINITIALIZEEXPARAMS* params = RecordIn<LINEINITIALIZEEXPARAMS>(t.initParams);
    params->dwTotalSize = t.initParams.size;
    params->dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;

    DWORD deviceCount = 0;
    if (lineInitializeExA(&t.lineApp, programInstance, TapiLineCallback, APP_NAME, &deviceCount, &t.apiVersion,
                          params) != 0) {
        t.lineApp = 0;
        return ERR_LINE_INIT;
    }
    LINEEXTENSIONID extension{};
    for (DWORD device = 0; device < deviceCount; ++device) {
        if (lineNegotiateAPIVersion(t.lineApp, device, VERSION_LOW, VERSION_HIGH, &t.apiVersion, &extension) != 0)
            continue;
        t.deviceId = device;
        // A device that cannot tell what it carries hides none after it.
        const int dataModem = TapiIsDataModem();
        if (dataModem < 0) continue;
        if (dataModem == 1 && t.modemCount < MAX_MODEM_DEVICES) t.modemDevices[t.modemCount++] = device;
    }
    return t.modemCount > 0 ? 1 : ERR_LINE_INIT;
}

int TapiIsDataModem()
{
    if (!ReadDevCaps(telephonyState.deviceId, CAPS_TEST_FIRST_SIZE)) return ERR_LINE_INIT;
    const DWORD media = RecordDword(telephonyState.capsBuffer, offsetof(LINEDEVCAPS, dwMediaModes));
    return (media & LINEMEDIAMODE_DATAMODEM) != 0 ? 1 : 0;
}

int TapiGetLineName(DWORD device, char* name)
{
    TapiBuffer& caps = telephonyState.capsBuffer;
    if (!ReadDevCaps(device, CAPS_NAME_FIRST_SIZE)) return 0;
    const DWORD size = RecordDword(caps, offsetof(LINEDEVCAPS, dwLineNameSize));
    const DWORD offset = RecordDword(caps, offsetof(LINEDEVCAPS, dwLineNameOffset));
    const unsigned char* given = RecordBytes(caps, offset, size);
    // A name said to lie outside the answer is no name.
    if (given == nullptr) {
        ReleaseTapiBuffer(caps);
        return 0;
    }
    CopyLineName(given, size, name);
    return 1;
}

int TapiOpenDevice()
{
    TelephonyState& t = telephonyState;
    if (!TakeTapiBuffer(t.callParams, sizeof(LINECALLPARAMS))) return 0;
    LINECALLPARAMS* params = RecordIn<LINECALLPARAMS>(t.callParams);
    params->dwTotalSize = t.callParams.size;
    params->dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    params->dwAddressID = t.deviceId;
    if (lineOpenA(t.lineApp, t.deviceId, &t.line, t.apiVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                  LINEMEDIAMODE_DATAMODEM, params) != 0) {
        t.line = 0;
        return 0;
    }
    return 1;
}

int TapiOpenLine(const LinkEvents& events)
{
    TelephonyState& t = telephonyState;
    t.events = events;
    const int initialized = TapiInitialize();
    if (initialized <= 0) return initialized;
    // The list may have shrunk since the choice was made.
    const bool listed = t.modemIndex >= 0 && t.modemIndex < t.modemCount;
    t.deviceId = t.modemDevices[listed ? t.modemIndex : 0];
    char name[LINE_NAME_AREA] = {};
    if (TapiGetLineName(t.deviceId, name) != 1) t.deviceId = t.modemDevices[0];
    return TapiOpenDevice() == 1 ? 1 : ERR_LINE_INIT;
}

void CALLBACK TapiLineCallback(DWORD device, DWORD message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR)
{
    switch (message) {
    case LINE_APPNEWCALL: AnswerNewCall(static_cast<DWORD>(param1), static_cast<HCALL>(param2)); return;
    case LINE_CALLSTATE: OnCallState(static_cast<HCALL>(device), static_cast<DWORD>(param1)); return;
    default: return;
    }
}

int TapiGetCommHandle()
{
    TelephonyState& t = telephonyState;
    const int read = ReadGrowingRecord(t.idBuffer, COMM_ID_FIRST_SIZE, [&](void* record) {
        return lineGetIDA(t.line, t.addressId, t.call, LINECALLSELECT_LINE, static_cast<VARSTRING*>(record),
                          DATAMODEM_CLASS);
    });
    const HANDLE handle = read == 1 ? CommHandleOf(t.idBuffer) : nullptr;
    if (handle == nullptr) {
        ReleaseTapiBuffer(t.idBuffer);
        return 0;
    }
    linkState.port = handle;
    return 1;
}

void TapiShutdown()
{
    TelephonyState& t = telephonyState;
    t.events = LinkEvents{};
    if (t.call) {
        lineDrop(t.call, nullptr, 0);
        t.call = 0;
    }
    t.callEnded = false;
    if (linkState.port) {
        CloseHandle(linkState.port);
        linkState.port = nullptr;
    }
    if (t.line) {
        lineClose(t.line);
        t.line = 0;
    }
    if (t.lineApp) {
        lineShutdown(t.lineApp);
        t.lineApp = 0;
    }
    for (TapiBuffer* buffer : {&t.initParams, &t.idBuffer, &t.capsBuffer, &t.callParams}) ReleaseTapiBuffer(*buffer);
}
