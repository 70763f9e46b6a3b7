// The link kinds, one entry each: how its link opens, learns that the
// terminal's side is connected, is read, is seen lost and closes. The
// session picks the entry of the configured interface once, when it opens
// the link, and asks it from then on; nothing outside link/ branches on
// the interface kind. Each entry lives in its own file (link/kind_*.cpp).
#pragma once

#include <windows.h>

#include <cstdint>

// What a link takes of the settings, copied when the session opens it.
struct LinkSettings {
    int32_t comPort;     // the COM port number
    uint8_t baudIndex;   // a BaudIndex: 0 = 115200 ... 4 = 9600 bit/s
};

// The session window and what to tell it. The cradle's wait panel goes over
// the window; telephony tells it of the call with these messages.
struct LinkEvents {
    HWND window;      // null: nobody to tell (telephony then ends itself)
    UINT connected;   // sent once the call is connected
    UINT failed;      // posted with the error code as wParam
    UINT connectionEnded;   // posted with the connection (the call) as wParam
};

// What one look at a link waiting for its connection found.
enum LinkWait : int {
    LINK_WAIT_FAILED = 0,   // the device cannot be read: stop looking
    LINK_NO_NEWS = 1,       // nothing new; look again at the next mark
    LINK_CONNECTED = 2,     // the connection is up
};

struct LinkKind {
    // Opens the port or line. 1, or the code of what failed
    // (ERR_PORT_ABSENT: not there, try again later).
    int (*open)(const LinkSettings& settings, const LinkEvents& events);
    // Once the waiting text is up, before the receive thread exists: the
    // modem's answer mode. 1, or the code of what failed.
    int (*prepare)();
    // Connected once open (the receive thread reads and "READ\r" goes at
    // once), or waiting for a call.
    bool connectedAtOpen;
    // One look for the connection, at each progress mark (the modem on a
    // COM port reads its "CONNECT" here). A LinkWait.
    int (*pollConnection)();
    // The connection is up (polled, or announced by telephony): take what it
    // brings before the receive thread reads. 1, or the code of what failed.
    int (*takeConnection)();
    // Where a report of the lost connection begins in bytes of the
    // connected link, with the framing before it; 0 when it began in an
    // earlier chunk, -1 when none.
    int (*findConnectionLoss)(const char* bytes, unsigned count);
    // Whether an ended connection's wParam names the connection held now
    // (not one already let go, or an earlier call than the one answered).
    bool (*isCurrentConnection)(WPARAM connection);
    // Releases what the kind holds besides the port and events, after the
    // receive thread has been joined. Harmless twice.
    void (*close)();
    DWORD readWindowMs;       // one read cycle of the receive thread
    DWORD emptyReadPauseMs;   // more after a read that brought nothing
    DWORD closePauseMs;       // after the port closes, before it may be opened again
    const char* waitingText;  // the status line while the link waits
    bool choosesLineDevice;   // a telephony line device (Modem config), no COM port or speed
};

// The entry of an InterfaceKind; the plain serial link for a value out of range.
const LinkKind& LinkKindOf(uint8_t interfaceKind);

extern const LinkKind SERIAL_LINK;      // RS232 or IrDA
extern const LinkKind CRADLE_LINK;      // the infrared cradle
extern const LinkKind TELEPHONY_LINK;   // "Modem - TAPI"
extern const LinkKind MODEM_COM_LINK;   // "Modem - COM"

// Steps shared by the kinds that have nothing to do there.
int NothingToPrepare();
int NoConnectionNews();
int NothingToTake();
int NoConnectionLoss(const char* bytes, unsigned count);
bool NoConnectionEnds(WPARAM connection);
void NothingToClose();
