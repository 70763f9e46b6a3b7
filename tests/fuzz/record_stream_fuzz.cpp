// Feeds any byte stream, in any chunking, through line building and the
// record step, beside a small model of the host's side of the protocol.
//
// The first input byte picks the options (CR, LF) and the next four seed the
// chunk sizes; the rest is what the terminal sent. The stream is run twice:
// through FeedReceivedBytes in random chunks, and line by line through the
// model. Both must agree on every command sent and every byte delivered:
// a record is written once, only when it is new and whole, only a whole
// repetition of the last record is acknowledged without being written, and
// a line that began in the chunk of a line already answered (written before
// the terminal could read that answer) and does not begin with a sequence
// value is not refused, and nothing before the terminal's "ACK\r" is
// answered.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/line_builder.h"
#include "core/protocol.h"
#include "core/session_state.h"
#include "core/settings.h"

namespace {

struct Trace {
    std::string events;   // "A" ACK sent, "N" NAK sent, "O" output opened, "W<bytes>|" written
};
Trace trace;
std::string lastCommand;

const ProtocolIo RECORDING_IO = {
    .sendCommand = [](const char* text, unsigned, int length) -> unsigned {
        lastCommand.assign(text, static_cast<size_t>(length));
        trace.events += lastCommand == "ACK\r" ? "A" : lastCommand == "NAK\r" ? "N" : "?";
        return 1;
    },
    .lastCommand = []() { return lastCommand.c_str(); },
    .clearLastCommand = []() { lastCommand.clear(); },
    .openOutput = []() { return trace.events += "O", 1; },
    .writeOutput = [](const uint8_t* bytes, int count) {
        trace.events += "W" + std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count)) + "|";
        return true;
    },
    .startTyping = [](const uint8_t*, int) { return -1; },
    .stopReplyTimer = []() {},
    .armReplyTimer = [](unsigned) {},
    .showConnected = []() {},
    .showStatus = [](const char*) {},
    .showCount = [](int) {},
    .stopReceiving = []() {},
};

// The host as the model sees it: what it must do with each whole line.
struct Model {
    bool addReturn = false, addLineFeed = false;
    std::string previous;   // last accepted line without its CR
    int received = 0, retries = 0;
    int expected = 0;
    bool started = false;          // the terminal's "ACK\r" came
    int answersSent = 0, answersAhead = 0, linesThisStart = 0;
    int linesAnswered = 0;         // answered now, or by an answer sent before
    std::string events;
    size_t answeredInChunk = SIZE_MAX;   // the chunk of the last answered line's CR

    static bool Contains(const std::string& line, const char* answer)
    {
        const std::string text = line.substr(0, line.find('\0'));
        return text.find(answer) != std::string::npos;
    }
    static uint8_t Wire(unsigned byte)
    {
        byte &= 0xFF;
        return static_cast<uint8_t>(byte == 13 ? 14 : byte);
    }
    // 1 go on, 0 complete, -1 failed. The line's first byte came in chunk
    // startChunk, its CR in endChunk.
    int Line(const std::string& line, size_t startChunk, size_t endChunk)
    {
        const int answeredBefore = linesAnswered;
        const int result = Step(line, startChunk);
        if (linesAnswered != answeredBefore) answeredInChunk = endChunk;
        return result;
    }

    int Step(const std::string& line, size_t startChunk)
    {
        const auto first = static_cast<uint8_t>(line[0]);
        if (first > 9) {
            if (Contains(line, "ACK\r")) return Start(), 1;
            if (Contains(line, "NAK\r")) return 1;
            if (Contains(line, "OVER\r")) return 0;
        }
        if (!started) {
            if (retries > 5) return -1;
            return ++retries, 1;
        }
        const std::string body = line.substr(0, line.size() - 1);
        const bool repetition = received > 0 && body == previous;
        bool valid = line.size() >= 4 && first == expected;
        if (valid) {
            unsigned sum = 0;
            for (size_t i = 0; i + 3 < line.size(); ++i) sum += static_cast<uint8_t>(line[i]);
            valid = static_cast<uint8_t>(line[line.size() - 3]) == Wire(sum)
                    && static_cast<uint8_t>(line[line.size() - 2]) == Wire(sum >> 8);
        }
        if (!repetition && !valid && startChunk == answeredInChunk && first > 9) return 1;
        ++linesThisStart;
        if (answersAhead > 0) return --answersAhead, ++linesAnswered, 1;
        if (repetition) return Answer('A');
        if (!valid) {
            if (retries > 5) return -1;
            ++retries;
            return Answer('N');
        }
        previous = body;
        std::string output = line.substr(1, line.size() - 4);
        if (addReturn) output += '\r';
        if (addLineFeed) output += '\n';
        if (!output.empty()) events += "W" + output + "|";
        ++received;
        retries = 0;
        expected = (expected + 1) % 10;
        return Answer('A');
    }
    int Answer(char answer)
    {
        ++answersSent;
        ++linesAnswered;
        events += answer;
        return 1;
    }
    // An "ACK\r" before the terminal can have read our answers starts it
    // over, and it takes the answers already sent for its first lines.
    void Start()
    {
        events += "O";
        if (started && linesThisStart > 2) return;
        if (started) answersAhead = answersSent;
        started = true;
        linesThisStart = 0;
    }
};

struct SplitLine {
    std::string bytes;
    size_t startChunk = 0, endChunk = 0;
};

// Lines as the line builder makes them: up to a CR, at most 1025 bytes kept;
// chunkOf gives the chunk of each stream position.
std::vector<SplitLine> SplitLines(const uint8_t* bytes, size_t size, const std::vector<size_t>& chunkOf)
{
    std::vector<SplitLine> lines;
    SplitLine line;
    for (size_t i = 0; i < size; ++i) {
        if (line.bytes.empty()) line.startChunk = chunkOf[i];
        if (line.bytes.size() < static_cast<size_t>(LINE_CAPACITY)) line.bytes += static_cast<char>(bytes[i]);
        if (bytes[i] == '\r') {
            line.endChunk = chunkOf[i];
            lines.push_back(std::exchange(line, SplitLine{}));
        }
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    const bool addReturn = (data[0] & 1) != 0;
    const bool addLineFeed = (data[0] & 2) != 0;
    uint32_t chunkSeed = 0;
    std::memcpy(&chunkSeed, data + 1, sizeof chunkSeed);
    const uint8_t* stream = data + 5;
    const size_t streamSize = size - 5;

    settings.saveMode = OVERWRITE;
    settings.addReturn = addReturn ? 1 : 0;
    settings.addLineFeed = addLineFeed ? 1 : 0;
    protocolIo = &RECORDING_IO;
    trace = Trace{};
    ResetSession();

    // Exact-size heap copies of each chunk, so a read past it is caught.
    std::vector<size_t> chunkOf(streamSize);
    int result = 1;
    for (size_t at = 0, number = 0; at < streamSize; ++number) {
        chunkSeed = chunkSeed * 1103515245u + 12345u;
        const size_t chunk = std::min<size_t>(streamSize - at, 1 + (chunkSeed >> 16) % 1100);
        std::fill(chunkOf.begin() + static_cast<std::ptrdiff_t>(at), chunkOf.begin() + static_cast<std::ptrdiff_t>(at + chunk), number);
        const std::vector<uint8_t> piece(stream + at, stream + at + chunk);
        if (result == 1) result = FeedReceivedBytes(piece.data(), static_cast<unsigned>(piece.size()));
        at += chunk;
    }

    Model model;
    model.addReturn = addReturn;
    model.addLineFeed = addLineFeed;
    int expected = 1;
    for (const SplitLine& line : SplitLines(stream, streamSize, chunkOf)) {
        expected = model.Line(line.bytes, line.startChunk, line.endChunk);
        if (expected != 1) break;
    }
    if (trace.events != model.events) std::abort();
    if ((expected == 0) != (result == 0) || (expected < 0) != (result < 0)) std::abort();
    if (sessionState.receivedCount != model.received) std::abort();
    return 0;
}
