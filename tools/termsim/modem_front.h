// A modem between the host's serial port and the terminal, which calls in.
//
// In command mode the modem takes lines ended by CR. "ATH0\r" hangs up and
// "ATE0S0=1X3\r" turns the echo off and sets it to answer on the first ring;
// both are answered "OK" (CR LF around each result, as modems frame them),
// any other line starting with "AT" "ERROR", anything else nothing. Once it
// has been set to answer, the terminal calls: after a delay the modem
// reports "RING" (as many times as configured), answers and reports
// "CONNECT 9600", and from then on carries the data both ways. The host ends
// the call with "ATH0\r" (it stands for the drop of DTR with which closing a
// port hangs up, which a pseudo-terminal cannot show, so unlike the data of
// a call it does not reach the terminal). The modem is then back in command
// mode and rings again once it is set to answer again.
#pragma once

#include "host_line.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace termsim {

enum class ModemAnswer {
    OK,      // carries out both commands
    ERROR,   // refuses every command with "ERROR"
    SILENT,  // says nothing at all (and never rings)
};

struct ModemOptions {
    ModemAnswer answer = ModemAnswer::OK;
    bool echo = false;          // echo commands (as a modem does until "E0" turns it off)
    int ringDelayMs = 500;      // from the "OK" of the answer setting to the first "RING"
    int rings = 1;              // "RING" reports before the call is answered
    int ringIntervalMs = 1000;  // between two "RING" reports
    int answerDelayMs = 200;    // from the last "RING" to "CONNECT"
    bool connect = true;        // false: the caller gives up after the rings
    std::string connectText = "CONNECT 9600";
    // Reports written in the same write before the connect report, as a
    // modem with extended result codes does ("\r\nCARRIER 33600\r\n..."),
    // or rings that come together with the answer.
    std::string connectBurst;
    // > 0: the write of the connect report stops after its first two
    // characters ("CO"); the rest follows this much later, so that the
    // host's reads cut "CONNECT" whatever their size.
    int connectCutMs = 0;
    // >= 0: the carrier is lost once this many "ACK\r" of the host have
    // crossed to the terminal during a call: the modem reports "NO CARRIER"
    // and is back in command mode (nothing more crosses).
    int carrierLostAfterAcks = -1;
};

enum class ModemPhase {
    COMMAND,    // takes commands, no call
    RINGING,    // set to answer; the call's reports are due at nextEventNs
    CONNECTED,  // carries data
};

struct ModemState {
    ModemOptions options;
    ModemPhase phase = ModemPhase::COMMAND;
    bool echo = false;
    int ringsSent = 0;
    int acksCarried = 0;       // host "ACK\r" lines passed to the terminal in this call
    std::string connectRest;   // the rest of a cut connect report, due at nextEventNs
    int64_t nextEventNs = 0;
    std::string line;          // the host's line so far
    bool lineCarried = false;  // during a call: line is no hang-up and has crossed so far
    int64_t lineStartNs = 0;
};

void StartModem(ModemState& modem, const ModemOptions& options);

// The host's bytes, arrived at nowNs. Appends what reaches the terminal.
void ModemFromHost(ModemState& modem, const HostLine& line, std::string_view bytes, int64_t nowNs,
                   std::string& toTerminal);

// The terminal's bytes: passed on during a call, else dropped.
void ModemFromTerminal(ModemState& modem, const HostLine& line, std::string_view bytes);

// Time of the modem's next report of its own; -1 when none is due.
int64_t ModemNextEventNs(const ModemState& modem);
void ModemTick(ModemState& modem, const HostLine& line, int64_t nowNs);

}  // namespace termsim
