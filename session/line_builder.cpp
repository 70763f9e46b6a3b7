// Gathers received bytes into lines: a CR ends a line; bytes beyond the line
// capacity are dropped, but their CR still ends the line.
#include "session/line_builder.h"

#include "session/protocol.h"
#include "session/session_state.h"

namespace {
constexpr uint8_t CR = 0x0D;
}

int FeedReceivedBytes(const uint8_t* bytes, unsigned count)
{
    if (bytes == nullptr || count == 0) return 1;
    SessionState& s = sessionState;
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (s.lineLength < 0 || s.lineLength > LINE_CAPACITY) s.lineLength = 0;
        if (s.lineLength < LINE_CAPACITY) s.lineBuffer[s.lineLength++] = byte;
        if (byte == CR) {
            const int result = HandleLine(s.lineBuffer, s.lineLength);
            if (result <= 0) return result;
        } else {
            // Keep the stored part a zero-terminated text (the buffer has
            // one byte more than a line for this).
            s.lineBuffer[s.lineLength] = 0;
        }
    }
    return 1;
}
