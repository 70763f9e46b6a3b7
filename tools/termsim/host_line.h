// The host's end of the serial line, as a front (cradle or modem) sees it:
// bytes it can send to the host, the speed the host has set on its port, and
// a log of what the front saw. The fronts know nothing else of the line, so
// they serve a pseudo-terminal here and could serve a COM port elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace termsim {

enum class FrontEventKind {
    CRADLE_PROBE,         // the host sent 0x0F; `answered` says whether the cradle heard and answered it
    CRADLE_BYTE,          // any other host byte while the cradle takes commands
    CRADLE_SPEED_CHANGE,  // 0x07, digit, 'Q' taken; `cradleSpeed` is the new speed
    MODEM_COMMAND,        // a command line from the host, CR included
    MODEM_RESULT,         // a result the modem sent, without CR LF: "OK", "ERROR", "RING", "CONNECT 9600"
};

struct FrontEvent {
    int64_t timeNs = 0;   // CLOCK_MONOTONIC_RAW: arrival of the host's (first) byte, or the front's write
    FrontEventKind kind = FrontEventKind::CRADLE_BYTE;
    std::string text;     // the host's byte or command line, or the modem's result
    int hostSpeed = 0;    // bit/s the host's port was set to at the time (0 unknown)
    int cradleSpeed = 0;  // the cradle's own speed (cradle events only)
    bool answered = false;
};

struct HostLine {
    void* context = nullptr;
    // Writes bytes towards the host as they are; the front has garbled them already if needed.
    void (*sendToHost)(void* context, std::string_view bytes) = nullptr;
    // Bit rate the host has set on its port now; 0 when unknown.
    int (*hostSpeed)(void* context) = nullptr;
    void (*record)(void* context, const FrontEvent& event) = nullptr;
};

inline void SendToHost(const HostLine& line, std::string_view bytes)
{
    if (!bytes.empty())
        line.sendToHost(line.context, bytes);
}
inline int HostSpeed(const HostLine& line) { return line.hostSpeed(line.context); }
inline void Record(const HostLine& line, const FrontEvent& event) { line.record(line.context, event); }

}  // namespace termsim
