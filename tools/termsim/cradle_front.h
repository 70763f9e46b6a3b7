// An infrared cradle between the host's serial port and the terminal.
//
// The cradle has a speed of its own (9600 bit/s out of the box) and hears
// the host cleanly only when the host's port runs at that speed; at any
// other speed it hears what its receiver makes of the bits (line_garble.h).
// It answers a probe 0x0F that it hears with 0x0F, and takes 0x07, a speed
// digit and 'Q' as a change of its speed. It starts up taking commands; a
// completed speed change makes it carry the terminal's data both ways, until
// the next probe it hears makes it take commands again.
#pragma once

#include "host_line.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace termsim {

constexpr uint8_t CRADLE_PROBE = 0x0F;
constexpr uint8_t CRADLE_SPEED_CHANGE = 0x07;
constexpr uint8_t CRADLE_SPEED_END = 'Q';

// Speed of a speed-change digit ('2' 9600 ... '6' 115200); 0 for any other byte.
int CradleDigitSpeed(uint8_t digit);

struct CradleOptions {
    bool present = true;          // false: no cradle on the port; nothing answers, nothing passes
    int startSpeed = 9600;
    int nulsBeforeAnswer = 0;     // NUL bytes written ahead of the answer, in the same write
    uint8_t answerByte = CRADLE_PROBE;  // another value: a cradle that answers wrongly
};

struct CradleState {
    CradleOptions options;
    int speed = 9600;
    bool carrying = false;   // passes the terminal's data (after a speed change)
    int changeStep = 0;      // bytes of a speed change taken so far: 0, 1 (0x07) or 2 (digit)
    int pendingSpeed = 0;    // the digit's speed, waiting for 'Q'
};

void StartCradle(CradleState& cradle, const CradleOptions& options);

// The host's bytes, which arrived at nowNs. Appends to toTerminal what the
// cradle passes on to the terminal.
void CradleFromHost(CradleState& cradle, const HostLine& line, std::string_view bytes, int64_t nowNs,
                    std::string& toTerminal);

// The terminal's bytes, sent on to the host at the cradle's speed while it
// carries data, else dropped.
void CradleFromTerminal(CradleState& cradle, const HostLine& line, std::string_view bytes);

}  // namespace termsim
