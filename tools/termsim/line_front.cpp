#include "line_front.h"

namespace termsim {

void FrontFromHost(LineFront& front, const HostLine& line, std::string_view bytes, int64_t nowNs,
                   std::string& toTerminal)
{
    switch (front.kind) {
    case FrontKind::NONE: toTerminal.append(bytes); break;
    case FrontKind::CRADLE: CradleFromHost(front.cradle, line, bytes, nowNs, toTerminal); break;
    case FrontKind::MODEM: ModemFromHost(front.modem, line, bytes, nowNs, toTerminal); break;
    }
}

void FrontFromTerminal(LineFront& front, const HostLine& line, std::string_view bytes)
{
    switch (front.kind) {
    case FrontKind::NONE: SendToHost(line, bytes); break;
    case FrontKind::CRADLE: CradleFromTerminal(front.cradle, line, bytes); break;
    case FrontKind::MODEM: ModemFromTerminal(front.modem, line, bytes); break;
    }
}

int64_t FrontNextEventNs(const LineFront& front)
{
    return front.kind == FrontKind::MODEM ? ModemNextEventNs(front.modem) : -1;
}

void FrontTick(LineFront& front, const HostLine& line, int64_t nowNs)
{
    if (front.kind == FrontKind::MODEM)
        ModemTick(front.modem, line, nowNs);
}

}  // namespace termsim
