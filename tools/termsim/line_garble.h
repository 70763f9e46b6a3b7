// What a serial receiver makes of bytes sent at another bit rate. A line has
// no idea of speed: the receiver takes the first falling edge for a start
// bit and samples eight data bits and a stop bit at its own rate, in the
// middle of each of its bit times. Frames are 8N1, bytes back to back.
#pragma once

#include <string>
#include <string_view>

namespace termsim {

// The bytes a receiver at receiverSpeed takes from `bytes` sent at
// senderSpeed (bit/s, both > 0). Equal speeds give the bytes unchanged. A
// frame whose stop bit samples low (a framing error) is kept, as a UART
// keeps it in its data register.
std::string ReceiveAtSpeed(std::string_view bytes, int senderSpeed, int receiverSpeed);

}  // namespace termsim
