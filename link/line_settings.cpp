#include "link/line_settings.h"

const LineIo PLATFORM_LINE_IO = {.getCommState = GetCommState,
                                 .setCommState = SetCommState,
                                 .getCommTimeouts = GetCommTimeouts,
                                 .setCommTimeouts = SetCommTimeouts,
                                 .setupComm = SetupComm};
LineIo lineIo = PLATFORM_LINE_IO;

DWORD BaudRateOf(uint8_t baudIndex)
{
    constexpr DWORD rates[] = {115200, 57600, 38400, 19200, 9600};
    return baudIndex < sizeof rates / sizeof rates[0] ? rates[baudIndex] : rates[0];
}

void SetFrame8N1(DCB& dcb)
{
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutX = 0;
}

COMMTIMEOUTS TimeoutsOf(DWORD firstByteWaitMs)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = firstByteWaitMs;
    timeouts.WriteTotalTimeoutMultiplier = 5;
    timeouts.WriteTotalTimeoutConstant = 50;
    return timeouts;
}
