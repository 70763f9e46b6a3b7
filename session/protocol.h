// The record protocol: one step per received line, and the reply time-out.
// Portable: everything it does to the world goes through protocolIo, so a
// test can hand it lines and watch what it sends and delivers.
#pragma once

#include <cstdint>

struct ProtocolIo {
    // Writes a command, records it as the last command and arms the reply
    // timer with elapse ms. Nonzero when the write was handed to the port.
    unsigned (*sendCommand)(const char* text, unsigned elapse, int length);
    const char* (*lastCommand)();              // NUL-terminated copy of the last command
    void (*clearLastCommand)();
    int (*openOutput)();                       // OpenOutputFile(outputDirectory, outputFileName)
    // Writes a whole record durably: true once every byte is on the disk;
    // false leaves nothing of the record in the file.
    bool (*writeOutput)(const uint8_t* bytes, int count);
    // Starts typing a record away from the protocol's thread; the end is
    // reported through FinishTypedRecord. 1, or a negative code.
    int (*startTyping)(const uint8_t* bytes, int count);
    void (*stopReplyTimer)();
    void (*armReplyTimer)(unsigned elapse);
    void (*showConnected)();                   // "Connected!!", count shown, marks hidden
    void (*showStatus)(const char* text);      // status line 201
    void (*showCount)(int count);              // count line 205, "Received: %d"
    void (*stopReceiving)();                   // clear the receive thread's run flag
};

extern ProtocolIo protocolIo;

constexpr unsigned ANSWER_REPLY_TIME = 1000;   // ms the terminal has to answer ACK or NAK

void ResetSession();

// 1: go on; 0: "OVER\r" received, transfer complete; negative: failed with that code.
int HandleLine(uint8_t* line, int length);

// The record handed to startTyping has been typed to its end: count it and
// answer "ACK\r". Nothing happens when no record is being typed.
// 1: go on; negative: the session failed with that code.
int FinishTypedRecord();

// The reply timer expired. Resends "READ\r" or sends "NAK\r" under the retry
// limit. pollInterval is the elapse for a repeated "READ\r".
// 1: go on; negative: the session failed with that code.
int HandleReplyTimeout(unsigned pollInterval, bool keepOnline);
