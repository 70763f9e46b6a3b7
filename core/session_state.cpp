// The one session of the record protocol.
#include "core/session_state.h"

#include <cstring>

SessionState sessionState;

void ClearLine(SessionState& session)
{
    std::memset(session.lineBuffer, 0, sizeof session.lineBuffer);
    session.lineLength = 0;
    // The marks describe the line in the buffer, so they go with it.
    session.lineOutranAnswer = false;
    session.lineHeadDropped = false;
}
