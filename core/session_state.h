// The per-session state of the record protocol. One session at a time.
// Portable.
#pragma once

#include <cstdint>

constexpr int LINE_CAPACITY = 1025;   // bytes of one line, CR included

struct SessionState {
    uint8_t previousRecord[LINE_CAPACITY];    // last accepted line without its CR, NUL-ended
    int32_t previousLength;                   // bytes of previousRecord before its NUL
    uint8_t lineBuffer[LINE_CAPACITY + 1];    // line being assembled, and a terminating zero
    int32_t lineLength;                       // 0..1025
    int32_t receivedCount;                    // records accepted in this session
    int32_t retryCount;                       // repetitions since the last accepted record
    uint8_t expectedSequence;                 // 0..9
    bool typingRecord;                        // an accepted record is being typed, not yet answered
    uint32_t startsTaken;                     // the terminal's "ACK\r" starts taken in this session
    uint32_t answersSent;                     // "ACK\r" and "NAK\r" written in this session
    uint32_t answersAhead;                    // of those, the ones a terminal that started over
                                              // takes for lines it has yet to send
    uint32_t linesThisStart;                  // lines answered since the terminal's latest start
    uint32_t linesAnswered;                   // lines answered, now or by an answer sent before
    bool lineOutranAnswer;                    // the line began in the read of a line since answered
    bool lineHeadDropped;                     // the line was under way when we answered; its start is gone
};

extern SessionState sessionState;

// All 1026 bytes of lineBuffer zero, lineLength 0 and the line's marks cleared.
void ClearLine(SessionState& session);
