// The open link: port, the two overlapped records, line settings, the last
// command written and the receive thread. One process-wide record.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

constexpr int MAX_COMMAND_LENGTH = 1024;

struct LinkState {
    HANDLE port;
    OVERLAPPED readOverlapped;     // hEvent: the read event
    OVERLAPPED writeOverlapped;    // hEvent: the write event
    DCB dcb;
    char lastCommand[MAX_COMMAND_LENGTH + 1];
    char writeBuffer[MAX_COMMAND_LENGTH];   // the bytes of the write in flight
    HANDLE receiveThread;
    std::atomic<int32_t> receiveRunning;
};

extern LinkState linkState;
