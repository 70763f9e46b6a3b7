// The telephony line ("Modem - TAPI"): finds the line devices that carry
// data-modem calls, opens the chosen one as owner of incoming data calls,
// answers the first call, and hands the connected call's comm handle to the
// link. Everything here runs on the user-interface thread: telephony is
// initialised with its hidden window, so its events arrive through that
// thread's message loop.
#pragma once

#include <windows.h>
#include <tapi.h>

#include "link/telephony_buffer.h"

constexpr int MAX_MODEM_DEVICES = 6;
constexpr int LINE_NAME_AREA = 201;   // a line name of up to 200 bytes and its NUL

// The telephony side of the program; one process-wide record.
struct TelephonyState {
    HLINEAPP lineApp;       // telephony usage handle; 0 when not initialised
    HLINE line;             // the opened line device; 0 when none
    HCALL call;             // the answered call; 0 when none
    DWORD addressId;        // the address of the line the answered call arrived at
    bool callEnded;         // the session window has been told that `call` ended
    DWORD deviceId;         // the line device being tested, named, configured or opened
    DWORD apiVersion;       // asked for at initialisation, then the one negotiated last
    int modemCount;         // entries of modemDevices in use, 0 to MAX_MODEM_DEVICES
    int modemIndex;         // the chosen entry (Modem config); not saved in the settings
    DWORD modemDevices[MAX_MODEM_DEVICES];   // data-modem line devices in device-id order
    TapiBuffer initParams;  // LINEINITIALIZEEXPARAMS given to lineInitializeExA
    TapiBuffer capsBuffer;  // LINEDEVCAPS of the last capability read
    TapiBuffer callParams;  // LINECALLPARAMS given to lineOpenA
    TapiBuffer idBuffer;    // VARSTRING of the last lineGetIDA
};

extern TelephonyState telephonyState;

// Empties the record (no handles, no devices, modemIndex 0, buffers
// released) without calling telephony.
void ClearTelephonyState();

// Initialises telephony and lists the first MAX_MODEM_DEVICES data-modem
// line devices; a device whose capabilities cannot be read is skipped. 1 when at
// least one is listed, else ERR_LINE_INIT. lineApp stays open whenever
// telephony itself was initialised.
int TapiInitialize();

// Whether deviceId carries data-modem calls: 1 or 0; ERR_LINE_INIT when its
// capabilities cannot be read. capsBuffer keeps the answer.
int TapiIsDataModem();

// Copies the line name of device into name (LINE_NAME_AREA bytes; a longer
// name is cut to fit). 1, or 0 when it cannot be read.
int TapiGetLineName(DWORD device, char* name);

// Opens deviceId as owner of incoming data-modem calls into line. 1 or 0.
int TapiOpenDevice();

// Initialises telephony and opens the chosen line to wait for a call; the
// first listed line when the chosen one is no longer listed or its name
// cannot be read. 1, or ERR_LINE_INIT.
int TapiOpenLine();

// Telephony's events: an offered call is answered at once (a refused answer
// is posted to the session window as MSG_SESSION_ERROR with ERR_ANSWER), one
// offered while a call is held is dropped; the answered call connected is
// announced to the session window with MSG_LINE_CONNECTED (sent, once); the
// answered call disconnected or idle is posted to it once as MSG_CALL_ENDED
// (wParam: the call).
void CALLBACK TapiLineCallback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                               DWORD_PTR param2, DWORD_PTR param3);

// Stores the connected call's comm handle in linkState.port. 1, or 0 when
// telephony gives none.
int TapiGetCommHandle();

// Stops the receive thread, drops the call, closes the comm handle, the line
// and telephony, and releases the buffers. Harmless when nothing is open,
// also twice.
void TapiShutdown();
