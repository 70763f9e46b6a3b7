// Opening, preparing and closing the COM port of a link.
#include "link/serial_port.h"

#include <cstdio>
#include <cstring>

#include "errors/error_codes.h"
#include "link/line_settings.h"
#include "link/link_state.h"
#include "link/port_registry.h"

int ConfigureSerialPort(HANDLE port, const PortSetup& setup, uint8_t baudIndex)
{
    DCB& dcb = linkState.dcb;
    ZeroMemory(&dcb, sizeof dcb);
    // A telephony comm handle that is not a character device is no modem
    // line: leave it exactly as it is.
    if (setup.line == LineSetBy::DRIVER && GetFileType(port) != FILE_TYPE_CHAR) return ERR_CONNECTION;

    dcb.DCBlength = sizeof dcb;
    lineIo.getCommState(port, &dcb);
    COMMTIMEOUTS timeouts = TimeoutsOf(setup.firstByteWaitMs);
    lineIo.setCommTimeouts(port, &timeouts);
    dcb.DCBlength = sizeof dcb;
    lineIo.getCommState(port, &dcb);

    // The telephony modem driver owns the line settings of its call.
    if (setup.line != LineSetBy::DRIVER) {
        dcb.BaudRate = BaudRateOf(baudIndex);
        SetFrame8N1(dcb);
        if (setup.line == LineSetBy::MODEM) {
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

int OpenSerialPort(int32_t comPort)
{
    // "\\.\COM%d" reaches every port number, above 9 as well.
    char deviceName[32];
    std::snprintf(deviceName, sizeof deviceName, "\\\\.\\COM%d", static_cast<int>(comPort));

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
    return CreateLinkEvents() == 1 ? 1 : ERR_PORT_OPEN;
}

void ClosePort(DWORD pauseMs)
{
    if (linkState.port) {
        CloseHandle(linkState.port);
        linkState.port = nullptr;
        if (pauseMs > 0) Sleep(pauseMs);
    }
    std::memset(&linkState.dcb, 0, sizeof linkState.dcb);
}
