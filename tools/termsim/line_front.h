// The device in front of the terminal on the host's line: none (a plain
// serial cable), an infrared cradle or a modem. The simulator hands every
// byte between host and terminal to the front, and asks it when it next
// wants to act on its own (a modem's ring).
#pragma once

#include "cradle_front.h"
#include "host_line.h"
#include "modem_front.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace termsim {

enum class FrontKind { NONE, CRADLE, MODEM };

struct LineFront {
    FrontKind kind = FrontKind::NONE;
    CradleState cradle;
    ModemState modem;
};

// The host's bytes, arrived at nowNs; appends what reaches the terminal.
void FrontFromHost(LineFront& front, const HostLine& line, std::string_view bytes, int64_t nowNs,
                   std::string& toTerminal);
// The terminal's bytes on their way to the host.
void FrontFromTerminal(LineFront& front, const HostLine& line, std::string_view bytes);
// When the front next acts by itself (CLOCK_MONOTONIC_RAW ns); -1 never.
int64_t FrontNextEventNs(const LineFront& front);
void FrontTick(LineFront& front, const HostLine& line, int64_t nowNs);

}  // namespace termsim
