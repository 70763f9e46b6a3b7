// The one way a command reaches the device: start-up dialogues and the
// record protocol both write through here.
#include "link/command.h"

#include <cstring>

#include "link/link_state.h"
#include "link/overlapped_io.h"

int WriteCommand(HANDLE port, const char* command, int length, DWORD timeLimit)
{
    if (length < 1 || length > MAX_COMMAND_LENGTH) return 0;
    // Output not yet sent belongs to a command that has been given up.
    PurgeComm(port, PURGE_TXCLEAR);
    std::memmove(linkState.lastCommand, command, static_cast<size_t>(length));
    linkState.lastCommand[length] = '\0';
    // The write goes from the link's own buffer, never from caller memory
    // that may be gone before a cancelled write is finished.
    std::memcpy(linkState.writeBuffer, command, static_cast<size_t>(length));
    return WriteBounded(port, &linkState.writeOverlapped, linkState.writeBuffer, static_cast<DWORD>(length),
                        timeLimit) == IO_DONE
               ? 1
               : 0;
}
