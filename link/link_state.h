// The open link: port, the two overlapped records, line settings, the last
// command written and the receive thread. One process-wide record.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

constexpr int MAX_COMMAND_LENGTH = 1024;

// Who writes what. Everything but receiveRunning and the read record's
// request is written on the window's thread only.
struct LinkState {
    // OpenSerialPort, or TapiGetCommHandle for a telephony call; closed and
    // cleared by ClosePort or TapiShutdown.
    HANDLE port;
    // hEvent: CreateLinkEvents and CloseLinkEvents. The other members belong
    // to the request running on the record (ReadBounded, WriteBounded): the
    // read record to the receive thread while it runs, to the window's thread
    // (start-up dialogues, modem polls) before it runs and after it is joined.
    OVERLAPPED readOverlapped;
    OVERLAPPED writeOverlapped;
    DCB dcb;                                  // ConfigureSerialPort, the cradle start-up; cleared by ClosePort
    char lastCommand[MAX_COMMAND_LENGTH + 1]; // WriteCommand; emptied by the protocol's reset
    char writeBuffer[MAX_COMMAND_LENGTH];     // WriteCommand: the bytes of the write in flight
    HANDLE receiveThread;                     // StartReceiveThread, StopReceiveThread
    // Set by StartReceiveThread. Cleared by StopReceiveThread, by the protocol
    // at "OVER\r" and by the receive thread itself when it ends; a clear is
    // final for that thread, so any of them may clear it.
    std::atomic<int32_t> receiveRunning;
};

extern LinkState linkState;

// Gives both overlapped records a fresh auto-reset event (the rest of each
// record zero). 1, or 0 when an event cannot be had.
int CreateLinkEvents();

// Closes both records' events and zeroes the records. Harmless twice.
void CloseLinkEvents();
