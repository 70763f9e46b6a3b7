// Opening, setting up and closing the COM port of a link.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr DWORD OPEN_PAUSE_MS = 100;   // before every open of the port

// Who sets the line (speed, frame, RTS and DTR) of a port.
enum class LineSetBy {
    PLAIN_LINK,   // we do: DTR and RTS raised for the terminal or the cradle
    MODEM,        // we do, with abort-on-error off
    DRIVER,       // the telephony modem driver: only the time-outs are ours
};

// How a link kind sets up its port.
struct PortSetup {
    DWORD firstByteWaitMs;   // a read waits this long for a first byte
    LineSetBy line;
};

// A plain link's reads return at once with what has arrived; a modem's wait
// up to 100 ms for a first byte.
constexpr PortSetup PLAIN_PORT = {.firstByteWaitMs = 0, .line = LineSetBy::PLAIN_LINK};
constexpr PortSetup MODEM_PORT = {.firstByteWaitMs = 100, .line = LineSetBy::MODEM};
constexpr PortSetup TELEPHONY_PORT = {.firstByteWaitMs = 100, .line = LineSetBy::DRIVER};

// Opens "\\.\COM<comPort>" for overlapped I/O as linkState.port, with both
// events of linkState. 1; ERR_PORT_ABSENT for a port the system does not
// know (tried again later), ERR_PORT_OPEN for one it knows but refuses.
int OpenSerialPort(int32_t comPort);

// Gives the port the time-outs and line settings of setup, at the speed of
// baudIndex where the line is ours. 1; ERR_CONNECTION (port untouched) when
// a driver's handle is not a character device.
int ConfigureSerialPort(HANDLE port, const PortSetup& setup, uint8_t baudIndex);

// Closes linkState.port if it is open, then waits pauseMs (a modem hangs
// up meanwhile, before the port may be opened again); forgets the line
// settings. Harmless twice.
void ClosePort(DWORD pauseMs);
