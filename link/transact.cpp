// A command and its immediate answer during link start-up.
#include "link/transact.h"

#include <cstring>

#include "link/command.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"

namespace {
constexpr DWORD REPLY_READ_SIZE = REPLY_CAPACITY - 1;
}

int Transact(HANDLE port, const char* command, int length, DWORD timeLimit, char* reply)
{
    // What the device already sent stays to be read.
    if (!WriteCommand(port, command, length, timeLimit)) return 0;
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
