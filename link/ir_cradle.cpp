// The infrared cradle: for now the port only gets the plain serial frame,
// time-outs and speed of an RS232 link. Finding the cradle's own speed and
// switching it (probe, speed change, RTS handling) comes with the cradle work.
#include "app/settings.h"
#include "link/ir_cradle.h"

#include "link/serial_port.h"

int InitIrCradle(HANDLE port)
{
    return ConfigureSerialPort(port, RS232_IRDA) == 1 ? 1 : 0;
}
