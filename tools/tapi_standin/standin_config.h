// The world the telephony stand-in serves: its line devices and how each of
// them behaves, read from the text file named by VARNOLT_TAPI_STANDIN (format
// in README.md). Plain C++ with no Windows calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How a record too small for its answer is answered.
enum class ShortAnswer {
    PARTIAL,        // the fixed part fits: result 0 with it and dwNeededSize; else STRUCTURETOOSMALL
    REFUSED,        // always LINEERR_STRUCTURETOOSMALL, dwNeededSize filled
    REFUSED_NO_SIZE,  // always LINEERR_STRUCTURETOOSMALL, dwNeededSize left 0
};

// What capability reads of a device give, per initialisation of telephony.
enum class CapsReads {
    OK,
    FAIL,        // every read fails
    NAME_FAILS,  // the first complete answer is given, later reads fail
};

// What lineGetIDA "comm/datamodem" hands over for a connected call.
enum class CommHandle {
    PORT,  // the COM port `com`, opened overlapped
    FILE,  // a temporary disk file: a handle that is no character device
    NONE,  // a null handle (a port that is not open)
    INVALID,  // INVALID_HANDLE_VALUE, what a failed CreateFileA gives
};

struct LineConfig {
    std::string name;
    uint32_t mediaModes = 0x10;  // LINEMEDIAMODE_DATAMODEM
    bool negotiates = true;
    CapsReads caps = CapsReads::OK;
    ShortAnswer shortAnswer = ShortAnswer::PARTIAL;
    int32_t openResult = 0;
    int offerAfterMs = 200;      // after lineOpenA as owner of data calls; -1 never
    int32_t answerResult = 0;    // what lineAnswer returns when negative
    int answerRefusals = -1;     // how many answers of the process it refuses; -1 all
    int32_t answerReply = 0;     // the result its LINE_REPLY carries
    int connectAfterMs = 100;    // after lineAnswer
    int hangupAfterMs = -1;      // after the connection; -1 never
    std::string hangupFile;      // the caller hangs up once this file exists (it is then removed)
    int secondCallAfterMs = -1;  // after the connection, another call is offered; -1 never
    bool connectedTwice = false; // the connected state is reported a second time
    int comPort = 0;
    CommHandle commHandle = CommHandle::PORT;
    int32_t getIdResult = 0;
};

struct StandinConfig {
    std::string logPath;              // Windows path, empty: no log
    uint32_t tapiVersion = 0x20002;   // the highest version the service offers
    int32_t initResult = 0;
    int32_t configDialogResult = 0;
    std::vector<LineConfig> lines;    // device id = position
    std::string problem;              // the first error found, empty when none
};

// Parses the file text; unknown keys and bad values set `problem` (with the
// line number) and stop the parse.
StandinConfig ParseStandinConfig(std::string_view text);

// "/tmp/x" becomes "Z:\tmp\x" (Wine's drive for the Unix root); Windows paths
// are kept.
std::string ToWindowsPath(std::string_view path);
