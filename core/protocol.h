// The record protocol: one step per received line, and the reply time-out.
// Portable and I/O-free: the step is handed the session it works on, the
// options it reads and the table of everything it does to the world, so a
// test can hand it lines and watch what it sends and delivers.
#pragma once

#include <cstdint>

#include "core/session_state.h"

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
    void (*showConnected)();                   // "Connected!!", count shown, progress marks hidden
    void (*showStatus)(const char* text);      // the status line
    void (*showCount)(int count);              // the count line, "Received: %d"
    void (*stopReceiving)();                   // clear the receive thread's run flag
};

// A table is built whole, with every slot named (a slot left out is a
// compile error: missing field initializers are errors here), and is const.
// The session runs with the one protocolIo points at: the session window
// points it at the real one, once per process; until then it is
// NO_PROTOCOL_IO, where commands and writes fail, so nothing is mistaken for
// delivered.
extern const ProtocolIo NO_PROTOCOL_IO;
extern const ProtocolIo* protocolIo;

// What the step reads of the settings.
struct RecordOptions {
    bool typeRecords;   // keyboard emulation: records are typed, no file is opened
    bool addReturn;     // a CR after each delivered record
    bool addLineFeed;   // then an LF
};

// The options of the process-wide settings.
RecordOptions CurrentRecordOptions();

inline constexpr char READ_COMMAND[] = "READ\r";   // asks the terminal for its records
inline constexpr char OVER_TEXT[] = "OVER\r";      // the terminal's end of a transfer
constexpr unsigned ANSWER_REPLY_TIME = 1000;   // ms the terminal has to answer ACK or NAK

// ---- The steps, on the state, options and I/O handed to them -------------

// All of the session cleared, and the last command.
void ResetSessionState(SessionState& session, const ProtocolIo& io);
// 1: go on; 0: "OVER\r" received, transfer complete; negative: failed with that code.
int StepLine(SessionState& session, const RecordOptions& options, const ProtocolIo& io, uint8_t* line, int length);
// The record handed to startTyping has been typed: count it, answer "ACK\r".
// Nothing happens when no record is being typed. 1, or negative.
int StepTypedRecord(SessionState& session, const ProtocolIo& io);
// The reply timer expired. Resends "READ\r" (elapse pollInterval) or sends
// "NAK\r" under the retry limit. 1: go on; negative: the session failed.
int StepReplyTimeout(SessionState& session, const ProtocolIo& io, unsigned pollInterval, bool keepOnline);

// ---- The session's entry points: the steps on sessionState, protocolIo and
// the current settings ------------------------------------------------------

void ResetSession();
int HandleLine(uint8_t* line, int length);
int FinishTypedRecord();
int HandleReplyTimeout(unsigned pollInterval, bool keepOnline);
