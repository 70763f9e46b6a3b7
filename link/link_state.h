// The open link: port, the two overlapped records, line settings, the last
// command written and the receive thread. One process-wide record.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

constexpr int MAX_COMMAND_LENGTH = 1024;
constexpr int REPLY_CAPACITY = 101;

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

int OpenSerialPort();
int ConfigureSerialPort(HANDLE port, uint8_t kind);
int Transact(HANDLE port, const char* command, int length, DWORD timeLimit, char* reply);
int IsPortEnumerated(const char* portName);
unsigned SendCommand(const char* text, unsigned elapse, int length);
