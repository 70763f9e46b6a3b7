// The infrared cradle: for now the port only gets the plain serial frame at
// the configured speed. Finding the cradle's own speed and switching it
// (probe, speed change, RTS handling) comes with the cradle work.
// First: windows.h defines BAUD_ macros that clash with the BaudIndex names.
#include "app/settings.h"
#include "link/ir_cradle.h"

#include "link/link_state.h"
#include "link/serial_port.h"

int InitIrCradle(HANDLE port)
{
    DCB& dcb = linkState.dcb;
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    COMMTIMEOUTS timeouts = TimeoutsOf(RS232_IRDA);
    SetCommTimeouts(port, &timeouts);

    dcb.BaudRate = BaudRateOf(settings.baudIndex);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutX = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    SetCommState(port, &dcb);
    SetupComm(port, SERIAL_QUEUE_SIZE, SERIAL_QUEUE_SIZE);
    return 1;
}
