// A stand-in for the port, the output and the window of the record protocol:
// it records every command, delivery, timer arm and text, in order.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "session/protocol.h"
#include "session/session_state.h"

struct FakeWorld {
    std::vector<std::string> events;       // everything, in order
    std::vector<std::string> commands;     // command bytes sent
    std::vector<unsigned> commandElapses;  // elapse given with each command
    std::string delivered;                 // bytes written or typed, concatenated
    std::vector<std::string> deliveries;   // one entry per write or typing
    std::string lastCommand;
    int openCalls = 0;
    int openResult = 1;
    bool sendFails = false;
    int writeShortBy = 0;                  // the write takes this many bytes fewer
    int stopReceivingCalls = 0;
    int shownCount = -1;
    std::string status;
};

inline FakeWorld fake;

inline std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

// A record line on the wire: sequence, data, checksum (13 sent as 14), CR.
inline std::string RecordLine(int sequence, const std::string& data)
{
    unsigned sum = static_cast<unsigned>(sequence);
    for (unsigned char c : data) sum += c;
    sum &= 0xFFFF;
    auto wire = [](unsigned b) { return static_cast<char>(b == 13 ? 14 : b); };
    std::string line;
    line.push_back(static_cast<char>(sequence));
    line += data;
    line.push_back(wire(sum & 0xFF));
    line.push_back(wire(sum >> 8));
    line.push_back('\r');
    return line;
}

inline void InstallFakeIo()
{
    fake = FakeWorld{};
    protocolIo.sendCommand = [](const char* text, unsigned elapse, int length) -> unsigned {
        std::string command(text, static_cast<size_t>(length));
        fake.events.push_back("send " + command);
        if (fake.sendFails) return 0;
        fake.commands.push_back(command);
        fake.commandElapses.push_back(elapse);
        fake.lastCommand = command;
        fake.events.push_back("arm " + std::to_string(elapse));
        return 1;
    };
    protocolIo.lastCommand = []() -> const char* { return fake.lastCommand.c_str(); };
    protocolIo.clearLastCommand = []() { fake.lastCommand.clear(); };
    protocolIo.openOutput = []() {
        ++fake.openCalls;
        fake.events.push_back("open");
        return fake.openResult;
    };
    protocolIo.writeOutput = [](const uint8_t* bytes, int count) {
        const int taken = count - fake.writeShortBy;
        fake.events.push_back("write");
        fake.deliveries.emplace_back(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        fake.delivered.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(taken));
        return taken;
    };
    protocolIo.typeRecord = [](const uint8_t* bytes, int count) {
        fake.events.push_back("type");
        fake.deliveries.emplace_back(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        fake.delivered.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    };
    protocolIo.stopReplyTimer = []() { fake.events.push_back("stop"); };
    protocolIo.armReplyTimer = [](unsigned elapse) { fake.events.push_back("arm " + std::to_string(elapse)); };
    protocolIo.showConnected = []() { fake.events.push_back("connected"); };
    protocolIo.showStatus = [](const char* text) {
        fake.status = text;
        fake.events.push_back(std::string("status ") + text);
    };
    protocolIo.showCount = [](int count) { fake.shownCount = count; };
    protocolIo.stopReceiving = []() { ++fake.stopReceivingCalls; };
}

// A fresh session in file mode, both line ends off, after "READ\r" went out.
inline void StartSession(SaveMode mode = OVERWRITE, bool addReturn = false, bool addLineFeed = false)
{
    InstallFakeIo();
    settings.saveMode = mode;
    settings.addReturn = addReturn ? 1 : 0;
    settings.addLineFeed = addLineFeed ? 1 : 0;
    ResetSession();
    fake.lastCommand = "READ\r";
}

// Hands one complete line to the protocol the way the line builder does:
// through the session's line buffer.
inline int Line(const std::string& text)
{
    ClearLine();
    std::memcpy(sessionState.lineBuffer, text.data(), text.size());
    sessionState.lineLength = static_cast<int32_t>(text.size());
    return HandleLine(sessionState.lineBuffer, sessionState.lineLength);
}
