// The one session of the record protocol.
#include "session/session_state.h"

#include <cstring>

SessionState sessionState;

void ClearLine()
{
    std::memset(sessionState.lineBuffer, 0, sizeof sessionState.lineBuffer);
    sessionState.lineLength = 0;
}
