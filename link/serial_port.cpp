// Opening and preparing the COM port of the settings.
#include "core/settings.h"
#include "link/serial_port.h"

#include <cstdio>
#include <cstring>

#include "errors/error_codes.h"
#include "link/ir_wait_panel.h"
#include "link/line_settings.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "link/port_registry.h"

DWORD BaudRateOf(uint8_t baudIndex)
{
    constexpr DWORD rates[] = {115200, 57600, 38400, 19200, 9600};
    return baudIndex < sizeof rates / sizeof rates[0] ? rates[baudIndex] : rates[0];
}

COMMTIMEOUTS TimeoutsOf(uint8_t kind)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    // The plain link returns at once with what has arrived; the modems wait
    // up to 100 ms for a first byte.
    timeouts.ReadTotalTimeoutConstant = (kind == MODEM_COM || kind == MODEM_TAPI) ? 100 : 0;
    timeouts.WriteTotalTimeoutMultiplier = 5;
    timeouts.WriteTotalTimeoutConstant = 50;
    return timeouts;
}

int ConfigureSerialPort(HANDLE port, uint8_t kind)
{
    DCB& dcb = linkState.dcb;
    ZeroMemory(&dcb, sizeof dcb);
    // A telephony comm handle that is not a character device is no modem
    // line: leave it exactly as it is.
    if (kind == MODEM_TAPI && GetFileType(port) != FILE_TYPE_CHAR) return ERR_CONNECTION;

    dcb.DCBlength = sizeof dcb;
    lineIo.getCommState(port, &dcb);
    COMMTIMEOUTS timeouts = TimeoutsOf(kind);
    lineIo.setCommTimeouts(port, &timeouts);
    dcb.DCBlength = sizeof dcb;
    lineIo.getCommState(port, &dcb);

    // The telephony modem driver owns the line settings of its call.
    if (kind != MODEM_TAPI) {
        dcb.BaudRate = BaudRateOf(settings.baudIndex);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fOutxCtsFlow = 0;
        dcb.fOutX = 0;
        if (kind == MODEM_COM) {
            dcb.fAbortOnError = 0;
        } else {
            dcb.fDtrControl = DTR_CONTROL_ENABLE;
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
        }
        lineIo.setCommState(port, &dcb);
    }
    lineIo.setupComm(port, SERIAL_QUEUE_SIZE, SERIAL_QUEUE_SIZE);
    return 1;
}

int OpenSerialPort(HWND owner)
{
    // "\\.\COM%d" reaches every port number, above 9 as well.
    char deviceName[32];
    std::snprintf(deviceName, sizeof deviceName, "\\\\.\\COM%d", static_cast<int>(settings.comPort));

    Sleep(OPEN_PAUSE_MS);
    HANDLE port = CreateFileA(deviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        linkState.port = nullptr;
        // A port the system knows is held or refused; one it does not know
        // is absent and will be tried again later.
        return IsPortEnumerated(deviceName + 4) ? ERR_PORT_OPEN : ERR_PORT_ABSENT;
    }
    linkState.port = port;
    linkWriteDone = 0;

    ZeroMemory(&linkState.readOverlapped, sizeof linkState.readOverlapped);
    ZeroMemory(&linkState.writeOverlapped, sizeof linkState.writeOverlapped);
    linkState.writeOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!linkState.writeOverlapped.hEvent) return ERR_PORT_OPEN;
    linkState.readOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!linkState.readOverlapped.hEvent) return ERR_PORT_OPEN;

    if (settings.interfaceKind == CRADLE_IR) {
        return StartIrCradle(port, owner) ? 1 : ERR_IR_DEVICE;
    }
    return ConfigureSerialPort(port, settings.interfaceKind) == 1 ? 1 : ERR_PORT_OPEN;
}
