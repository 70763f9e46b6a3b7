// Gathers received bytes into lines: a CR ends a line; bytes beyond the line
// capacity are dropped, but their CR still ends the line. A line that began
// in the same chunk after a line we answered is marked as written before
// that answer.
#include "core/line_builder.h"

#include "core/protocol.h"
#include "core/session_state.h"

namespace {
constexpr uint8_t CR = 0x0D;
}

int FeedReceivedBytes(const uint8_t* bytes, unsigned count)
{
    if (bytes == nullptr || count == 0) return 1;
    SessionState& s = sessionState;
    const uint32_t answeredBefore = s.linesAnswered;
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (s.lineLength < 0 || s.lineLength > LINE_CAPACITY) s.lineLength = 0;
        // Every byte of a chunk was here before we answered any line of it:
        // a line that begins after an answered one was written before the
        // terminal could read that answer (the record step decides whether
        // it is the rest of the answered line).
        if (s.lineLength == 0 && s.linesAnswered != answeredBefore) s.lineOutranAnswer = true;
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
