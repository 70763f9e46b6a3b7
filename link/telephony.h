// The telephony line ("Modem - TAPI"): finds the line devices that carry
// data-modem calls, opens the chosen one as owner of incoming data calls,
// answers the first call, and hands the connected call's comm handle to the
// link. Everything here runs on the user-interface thread: telephony is
// initialised with its hidden window, so its events arrive through that
// thread's message loop.
#pragma once

#include <windows.h>
#include <tapi.h>

#include "link/link_kind.h"
#include "link/telephony_buffer.h"

constexpr int MAX_MODEM_DEVICES = 6;
constexpr int LINE_NAME_AREA = 201;   // a line name of up to 200 bytes and its NUL
// The device class of a data-modem line: its configuration dialog and its
// call's comm handle are asked for under this name.
constexpr char DATAMODEM_CLASS[] = "comm/datamodem";

// The telephony side of the program; one process-wide record, written on
// the window's thread only (telephony's events arrive there too).
// ClearTelephonyState empties it; TapiShutdown puts every handle, buffer and
// events back to none; the writers of each field are named beside it.
struct TelephonyState {
    HLINEAPP lineApp;       // TapiInitialize; also ended by Modem config; 0 when not initialised
    HLINE line;             // TapiOpenDevice: the opened line device; 0 when none
    HCALL call;             // the line callback: the answered call; 0 when none
    DWORD addressId;        // the line callback: the address the answered call arrived at
    bool callEnded;         // the line callback: the session has been told that `call` ended
    DWORD deviceId;         // the device being tested, named, configured (Modem config) or opened
    DWORD apiVersion;       // TapiInitialize: asked for, then the one negotiated last
    int modemCount;         // TapiInitialize: entries of modemDevices in use, 0 to MAX_MODEM_DEVICES
    int modemIndex;         // Modem config: the chosen entry; not saved in the settings
    DWORD modemDevices[MAX_MODEM_DEVICES];   // TapiInitialize: data-modem line devices in device-id order
    LinkEvents events;      // TapiOpenLine: whom the line callback tells of the call
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
// cannot be read. What becomes of the call is told through events. 1, or
// ERR_LINE_INIT.
int TapiOpenLine(const LinkEvents& events);

// Telephony's events: an offered call is answered at once (a refused answer
// is posted as events.failed with ERR_ANSWER), one offered while a call is
// held is dropped; the answered call connected is announced with
// events.connected (sent, once); the answered call disconnected or idle is
// posted once as events.connectionEnded (wParam: the call). With no window to
// tell, telephony is ended instead.
void CALLBACK TapiLineCallback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                               DWORD_PTR param2, DWORD_PTR param3);

// Stores the connected call's comm handle in linkState.port. 1, or 0 when
// telephony gives none.
int TapiGetCommHandle();

// Drops the call, closes the comm handle, the line and telephony, and
// releases the buffers. The receive thread must have been joined (it reads
// the comm handle). Harmless when nothing is open, also twice.
void TapiShutdown();
