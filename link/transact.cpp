// A short command and the device's immediate answer, during link start-up
// (cradle probing, modem dialogue), before the receive thread reads.
#include <cstring>

#include "link/link_state.h"
#include "link/overlapped_io.h"

namespace {
constexpr DWORD REPLY_READ_SIZE = REPLY_CAPACITY - 1;
}

int Transact(HANDLE port, const char* command, int length, DWORD timeLimit, char* reply)
{
    if (length < 1 || length > MAX_COMMAND_LENGTH) return 0;
    // Bytes still queued for sending belong to an earlier command; what the
    // device already sent stays to be read.
    PurgeComm(port, PURGE_TXCLEAR);
    std::memcpy(linkState.lastCommand, command, length);
    linkState.lastCommand[length] = '\0';
    // The write goes from the link's own buffer, never from caller memory.
    std::memcpy(linkState.writeBuffer, command, length);

    // A write still running at the limit counts as done.
    if (WriteBounded(port, &linkState.writeOverlapped, linkState.writeBuffer, length, timeLimit) != IO_DONE)
        return 0;
    if (!reply) return 1;

    Sleep(timeLimit);
    char area[REPLY_CAPACITY] = {};
    DWORD received = 0;
    // ReadBounded leaves nothing pending on area, which ends with this call.
    if (ReadBounded(port, &linkState.readOverlapped, area, REPLY_READ_SIZE, timeLimit, &received) != IO_DONE)
        return 0;
    if (received == 0) return 0;

    // Some devices send NUL bytes ahead of their answer.
    DWORD first = 0;
    while (first < received && area[first] == '\0') ++first;
    std::memcpy(reply, area + first, received - first);
    reply[received - first] = '\0';
    return 1;
}
