// The infrared cradle listens at a speed of its own, which nothing tells us:
// it is found by probing, then told the speed the settings want. The cradle
// takes commands while RTS is low and carries the terminal while it is high.
#include "link/ir_cradle.h"

#include <cstdint>

#include "link/line_settings.h"
#include "link/link_state.h"
#include "link/transact.h"

namespace {

constexpr char PROBE = 0x0F;          // answered with the same byte
constexpr char SPEED_CHANGE = 0x07;   // then the speed digit, then SPEED_END
constexpr char SPEED_END = 'Q';
constexpr DWORD START_SPEED = 38400;  // the port's speed before the first probe

// The cradle is most often found at its factory speed, 9600 bit/s.
constexpr DWORD PROBE_SPEEDS[] = {9600, 115200, 38400, 57600, 19200};

// The speed digit of each BaudIndex (0 = 115200 ... 4 = 9600).
constexpr char SPEED_DIGITS[] = {'6', '5', '4', '3', '2'};

// Both the time limit of a cradle command and the pause between steps.
DWORD PauseOf(DWORD speed)
{
    return speed == 9600 ? 200 : 100;
}

char SpeedDigitOf(uint8_t baudIndex)
{
    // An index out of range means 115200 bit/s, as BaudRateOf has it.
    return baudIndex < sizeof SPEED_DIGITS ? SPEED_DIGITS[baudIndex] : SPEED_DIGITS[0];
}

enum Rts { RTS_LOW, RTS_HIGH };

// Writes linkState.dcb to the port with RTS low (addressing the cradle) or high.
void SetRts(HANDLE port, Rts rts)
{
    if (rts == RTS_HIGH)
        linkState.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    else
        linkState.dcb.fRtsControl = RTS_CONTROL_DISABLE;
    lineIo.setCommState(port, &linkState.dcb);
}

// One byte of the speed change, then the pause. Its fate is not asked: once
// the cradle has answered a probe, the start-up counts as done.
void SendCradleByte(HANDLE port, char byte, DWORD pause)
{
    Transact(port, &byte, 1, pause, nullptr);
    Sleep(pause);
}

}  // namespace

int ProbeIrCradle(HANDLE port, DWORD speed)
{
    linkState.dcb.BaudRate = speed;
    SetRts(port, RTS_LOW);
    const DWORD pause = PauseOf(speed);
    Sleep(pause);

    char reply[REPLY_CAPACITY] = {};
    const char probe = PROBE;
    // Silence: RTS stays low for the next probe.
    if (!Transact(port, &probe, 1, pause, reply)) return 0;
    const int answered = reply[0] == PROBE ? 1 : 0;
    SetRts(port, RTS_HIGH);
    Sleep(pause);
    return answered;
}

int InitIrCradle(HANDLE port, uint8_t baudIndex)
{
    DCB& dcb = linkState.dcb;
    dcb.DCBlength = sizeof dcb;
    lineIo.getCommState(port, &dcb);
    COMMTIMEOUTS timeouts{};
    lineIo.getCommTimeouts(port, &timeouts);
    // A read returns at once with what has arrived, as on a plain link.
    timeouts = TimeoutsOf(0);
    lineIo.setCommTimeouts(port, &timeouts);

    dcb.BaudRate = START_SPEED;
    SetFrame8N1(dcb);
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    SetRts(port, RTS_HIGH);

    DWORD found = 0;
    for (DWORD speed : PROBE_SPEEDS) {
        if (ProbeIrCradle(port, speed)) {
            found = speed;
            break;
        }
    }
    if (!found) return 0;

    // The whole change goes out at the speed found, with its pause, even
    // when the cradle already runs at the configured speed.
    SetRts(port, RTS_LOW);
    const DWORD pause = PauseOf(found);
    SendCradleByte(port, SPEED_CHANGE, pause);
    dcb.BaudRate = BaudRateOf(baudIndex);
    SendCradleByte(port, SpeedDigitOf(baudIndex), pause);
    SendCradleByte(port, SPEED_END, pause);
    // From here the port runs at the new speed and the cradle carries data.
    SetRts(port, RTS_HIGH);
    lineIo.setupComm(port, SERIAL_QUEUE_SIZE, SERIAL_QUEUE_SIZE);
    return 1;
}
