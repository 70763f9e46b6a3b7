// A recording stand-in for the port, the output file and the session window,
// so the record step can be driven line by line on a session of the test's
// own, without touching the process-wide records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/protocol.h"
#include "core/session_state.h"
#include "core/settings.h"
#include "tests/common/restore_guard.h"
#include "tools/termsim/record_encoding.h"

using Texts = std::vector<std::string>;

struct FakeWorld {
    Texts events;            // everything, in order
    Texts commands;          // commands written to the port
    std::string delivered;   // bytes written, concatenated
    std::string typed;       // bytes handed to the typing, concatenated
    std::string lastCommand;
    int openCalls = 0, openResult = 1, typingResult = 1, shownCount = -1;
    bool sendFails = false, writeFails = false;
    SessionState session{};
    RecordOptions options{};
};
inline FakeWorld fake;

inline const ProtocolIo FAKE_IO = {
    .sendCommand = [](const char* text, unsigned elapse, int length) -> unsigned {
        const std::string command(text, static_cast<size_t>(length));
        fake.events.push_back("send " + command);
        if (fake.sendFails) return 0;
        fake.commands.push_back(fake.lastCommand = command);
        fake.events.push_back("arm " + std::to_string(elapse));
        return 1;
    },
    .lastCommand = []() { return fake.lastCommand.c_str(); },
    .clearLastCommand = []() { fake.lastCommand.clear(); },
    .openOutput = []() { return ++fake.openCalls, fake.events.push_back("open"), fake.openResult; },
    .writeOutput = [](const uint8_t* bytes, int count) {
        fake.events.push_back("write");
        if (fake.writeFails) return false;
        fake.delivered.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        return true;
    },
    .startTyping = [](const uint8_t* bytes, int count) {
        fake.events.push_back("type");
        fake.typed.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        return fake.typingResult;
    },
    .stopReplyTimer = []() { fake.events.push_back("stop"); },
    .armReplyTimer = [](unsigned elapse) { fake.events.push_back("arm " + std::to_string(elapse)); },
    .showConnected = []() { fake.events.push_back("connected"); },
    .showStatus = [](const char* text) { fake.events.push_back(std::string("status ") + text); },
    .showCount = [](int count) { fake.shownCount = count; },
    .stopReceiving = []() { fake.events.push_back("stop receiving"); },
};

// A record line on the wire, as the terminal simulator sends it.
inline std::string RecordLine(int sequence, const std::string& data)
{
    return termsim::EncodeRecordLine(static_cast<uint8_t>(sequence), data);
}

// A fresh session of the test's own, after "READ\r" went out.
inline void RequestSession(SaveMode mode = OVERWRITE, bool addReturn = false, bool addLineFeed = false)
{
    fake = FakeWorld{};
    fake.options = RecordOptions{.typeRecords = mode == KEYBOARD_EMULATION, .addReturn = addReturn,
                                 .addLineFeed = addLineFeed};
    ResetSessionState(fake.session, FAKE_IO);
    fake.lastCommand = "READ\r";
}

// One line in a buffer of exactly its length and the terminating zero.
inline int Line(const std::string& text)
{
    std::vector<uint8_t> exact(text.begin(), text.end());
    exact.push_back(0);
    return StepLine(fake.session, fake.options, FAKE_IO, exact.data(), static_cast<int>(text.size()));
}

// A fresh session whose terminal has answered "ACK\r": records come now.
// The record of events starts after that answer.
inline void StartSession(SaveMode mode = OVERWRITE, bool addReturn = false, bool addLineFeed = false)
{
    RequestSession(mode, addReturn, addLineFeed);
    Line("ACK\r");
    fake.events.clear();
    fake.openCalls = 0;
}

inline int Timeout(unsigned pollInterval, bool keepOnline)
{
    return StepReplyTimeout(fake.session, FAKE_IO, pollInterval, keepOnline);
}

inline int Typed()
{
    return StepTypedRecord(fake.session, FAKE_IO);
}

// The process-wide session run through the stand-in, for code that uses the
// session's own entry points (line building): for the guard's lifetime.
struct ProcessSessionOnFake {
    ProcessSessionOnFake()
    {
        settings.saveMode = OVERWRITE;
        settings.addReturn = settings.addLineFeed = 0;
        Restart();
    }
    // A fresh session, after "READ\r" went out.
    void Restart()
    {
        RequestSession();
        ResetSession();
        fake.lastCommand = "READ\r";
    }
    const Restore<const ProtocolIo*> io{protocolIo, &FAKE_IO};
    const Restore<Settings> savedSettings{settings};
};
