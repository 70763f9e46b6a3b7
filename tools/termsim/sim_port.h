// The termsim command's port, per platform: which arguments name it, how it
// is opened and configured, and how it is given back. sim_port_posix.cpp
// serves a terminal device or a pseudo-terminal of its own; sim_port_win32.cpp
// a COM port.
#pragma once

#include <cstdint>
#include <string>

namespace termsim {

struct PortChoice {
    std::string device;  // POSIX: --port DEVICE; Windows: the COMn argument
    std::string link;    // POSIX: --link PATH (a pseudo-terminal of our own)
    int speed = 115200;  // Windows: --speed N, the speed the host will use
};

// The usage lines for the port's arguments: the synopsis, then the details.
extern const char* const PORT_SYNOPSIS;
extern const char* const PORT_DETAILS;

// Takes the port argument at argv[*i] (advancing *i past a value). Returns
// 1 when taken, 0 when it is no port argument, -1 when it lacks its value.
int TakePortArgument(int argc, char** argv, int* i, PortChoice& choice);
// Whether the choice names exactly one port and sane settings.
bool PortChoiceComplete(const PortChoice& choice);

struct SimPort;
// Opens and configures the port, saying on standard output or error what it
// did; null on failure.
SimPort* OpenSimPort(const PortChoice& choice);
intptr_t SimPortLine(const SimPort* port);  // what TerminalSimulator::Start takes
int SimPortSpeed(const SimPort* port);      // bit/s the line is set to, 0 unknown
void CloseSimPort(SimPort* port);

}  // namespace termsim
