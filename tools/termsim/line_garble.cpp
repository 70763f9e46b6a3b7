#include "line_garble.h"

#include <cstdint>

namespace termsim {

namespace {

constexpr int FRAME_BITS = 10;  // start, 8 data, stop

// Line level (1 high, 0 low) at time t of bytes sent back to back, with
// the line idle (high) before and after.
int LevelAt(std::string_view bytes, int64_t senderBit, int64_t t)
{
    if (t < 0)
        return 1;
    const int64_t bit = t / senderBit;
    const int64_t frame = bit / FRAME_BITS;
    if (frame >= static_cast<int64_t>(bytes.size()))
        return 1;
    const int position = static_cast<int>(bit % FRAME_BITS);
    if (position == 0)
        return 0;
    if (position == FRAME_BITS - 1)
        return 1;
    return (static_cast<unsigned char>(bytes[static_cast<size_t>(frame)]) >> (position - 1)) & 1;
}

}  // namespace

std::string ReceiveAtSpeed(std::string_view bytes, int senderSpeed, int receiverSpeed)
{
    if (senderSpeed == receiverSpeed)
        return std::string(bytes);
    // Time in units of 1 / (2 * senderSpeed * receiverSpeed) s, so that a
    // sender bit and half a receiver bit are both whole numbers of units.
    const int64_t senderBit = 2LL * receiverSpeed;
    const int64_t receiverHalfBit = senderSpeed;
    const int64_t end = static_cast<int64_t>(bytes.size()) * FRAME_BITS * senderBit;
    std::string received;
    // Edges fall only on the sender's bit boundaries.
    for (int64_t edge = 0; edge < end; edge += senderBit) {
        if (LevelAt(bytes, senderBit, edge - 1) != 1 || LevelAt(bytes, senderBit, edge) != 0)
            continue;
        if (LevelAt(bytes, senderBit, edge + receiverHalfBit) != 0)
            continue;  // too short for a start bit
        unsigned value = 0;
        for (int i = 0; i < 8; ++i)
            value |= static_cast<unsigned>(LevelAt(bytes, senderBit, edge + (3 + 2 * i) * receiverHalfBit)) << i;
        received.push_back(static_cast<char>(value));
        // The next start bit is looked for from this frame's stop-bit sample
        // on (the loop steps to the first boundary at or after it).
        const int64_t stopSample = edge + (3 + 2 * 8) * receiverHalfBit;
        edge = (stopSample + senderBit - 1) / senderBit * senderBit - senderBit;
    }
    return received;
}

}  // namespace termsim
