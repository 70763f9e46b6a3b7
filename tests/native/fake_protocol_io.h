// A recording stand-in for the port, the output file and the session window,
// so the record protocol can be driven line by line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "session/protocol.h"
#include "session/session_state.h"

using Texts = std::vector<std::string>;

struct FakeWorld {
    Texts events;            // everything, in order
    Texts commands;          // commands written to the port
    std::string delivered;   // bytes written, concatenated
    std::string lastCommand;
    std::string typed;       // bytes handed to the typing, concatenated
    int openCalls = 0, openResult = 1, typingResult = 1, shownCount = -1;
    bool sendFails = false, writeFails = false;
};
inline FakeWorld fake;

// A record line on the wire: sequence, data, checksum (13 sent as 14), CR.
inline std::string RecordLine(int sequence, const std::string& data)
{
    unsigned sum = static_cast<unsigned>(sequence);
    for (unsigned char c : data) sum += c;
    auto wire = [](unsigned b) { return static_cast<char>((b & 0xFF) == 13 ? 14 : b & 0xFF); };
    return std::string(1, static_cast<char>(sequence)) + data + wire(sum) + wire(sum >> 8) + '\r';
}

// A fresh file session with the stand-in installed, after "READ\r" went out.
inline void StartSession(SaveMode mode = OVERWRITE, bool addReturn = false, bool addLineFeed = false)
{
    fake = FakeWorld{};
    protocolIo.sendCommand = [](const char* text, unsigned elapse, int length) -> unsigned {
        const std::string command(text, static_cast<size_t>(length));
        fake.events.push_back("send " + command);
        if (fake.sendFails) return 0;
        fake.commands.push_back(fake.lastCommand = command);
        fake.events.push_back("arm " + std::to_string(elapse));
        return 1;
    };
    protocolIo.lastCommand = []() { return fake.lastCommand.c_str(); };
    protocolIo.clearLastCommand = []() { fake.lastCommand.clear(); };
    protocolIo.openOutput = []() { return ++fake.openCalls, fake.events.push_back("open"), fake.openResult; };
    protocolIo.writeOutput = [](const uint8_t* bytes, int count) {
        fake.events.push_back("write");
        if (fake.writeFails) return false;
        fake.delivered.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        return true;
    };
    protocolIo.startTyping = [](const uint8_t* bytes, int count) {
        fake.events.push_back("type");
        fake.typed.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        return fake.typingResult;
    };
    protocolIo.stopReplyTimer = []() { fake.events.push_back("stop"); };
    protocolIo.armReplyTimer = [](unsigned elapse) { fake.events.push_back("arm " + std::to_string(elapse)); };
    protocolIo.showConnected = []() { fake.events.push_back("connected"); };
    protocolIo.showStatus = [](const char* text) { fake.events.push_back(std::string("status ") + text); };
    protocolIo.showCount = [](int count) { fake.shownCount = count; };
    protocolIo.stopReceiving = []() { fake.events.push_back("stop receiving"); };
    settings.saveMode = mode;
    settings.addReturn = addReturn ? 1 : 0;
    settings.addLineFeed = addLineFeed ? 1 : 0;
    ResetSession();
    fake.lastCommand = "READ\r";
}

// One line in a buffer of exactly its length and the terminating zero.
inline int Line(const std::string& text)
{
    std::vector<uint8_t> exact(text.begin(), text.end());
    exact.push_back(0);
    return HandleLine(exact.data(), static_cast<int>(text.size()));
}
