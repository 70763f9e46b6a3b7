#include "modem_front.h"

namespace termsim {

namespace {

constexpr std::string_view HANG_UP = "ATH0\r";
constexpr std::string_view SET_ANSWER = "ATE0S0=1X3\r";

constexpr int64_t Ms(int ms) { return static_cast<int64_t>(ms) * 1000000; }

void Report(const HostLine& line, const std::string& prefix, const std::string& result, int64_t nowNs)
{
    SendToHost(line, prefix + "\r\n" + result + "\r\n");
    FrontEvent event;
    event.timeNs = nowNs;
    event.kind = FrontEventKind::MODEM_RESULT;
    event.text = result;
    event.hostSpeed = HostSpeed(line);
    Record(line, event);
}

void RunCommand(ModemState& modem, const HostLine& line, const std::string& command, int64_t nowNs)
{
    FrontEvent event;
    event.timeNs = modem.lineStartNs;
    event.kind = FrontEventKind::MODEM_COMMAND;
    event.text = command;
    event.hostSpeed = HostSpeed(line);
    Record(line, event);
    if (modem.options.answer == ModemAnswer::SILENT)
        return;
    const std::string echo = modem.echo ? command : std::string();
    if (command.compare(0, 2, "AT") != 0) {
        SendToHost(line, echo);  // not a command: echoed as typed, otherwise ignored
        return;
    }
    if ((command != HANG_UP && command != SET_ANSWER) || modem.options.answer == ModemAnswer::ERROR) {
        Report(line, echo, "ERROR", nowNs);
        return;
    }
    modem.phase = ModemPhase::COMMAND;
    if (command == SET_ANSWER) {
        modem.echo = false;
        modem.phase = ModemPhase::RINGING;
        modem.ringsSent = 0;
        modem.nextEventNs = nowNs + Ms(modem.options.ringDelayMs);
    }
    Report(line, echo, "OK", nowNs);
}

}  // namespace

void StartModem(ModemState& modem, const ModemOptions& options)
{
    modem = ModemState{};
    modem.options = options;
    modem.echo = options.echo;
}

void ModemFromHost(ModemState& modem, const HostLine& line, std::string_view bytes, int64_t nowNs,
                   std::string& toTerminal)
{
    for (char c : bytes) {
        if (modem.line.empty())
            modem.lineStartNs = nowNs;
        modem.line.push_back(c);
        // During a call the host's line crosses as it comes, but the hang-up
        // stands for the drop of DTR and never reaches the terminal: a line is
        // held back only while it may still be the hang-up.
        if (modem.phase == ModemPhase::CONNECTED) {
            if (modem.lineCarried)
                toTerminal.push_back(c);
            else if (!HANG_UP.starts_with(modem.line)) {
                toTerminal += modem.line;
                modem.lineCarried = true;
            }
        }
        if (c != '\r')
            continue;
        const std::string command = modem.line;
        modem.line.clear();
        modem.lineCarried = false;
        // During a call only the hang-up is a command; the rest is data.
        if (modem.phase != ModemPhase::CONNECTED || command == HANG_UP) {
            RunCommand(modem, line, command, nowNs);
        } else if (command == "ACK\r" && ++modem.acksCarried == modem.options.carrierLostAfterAcks) {
            Report(line, "", "NO CARRIER", nowNs);
            modem.phase = ModemPhase::COMMAND;
        }
    }
}

void ModemFromTerminal(ModemState& modem, const HostLine& line, std::string_view bytes)
{
    if (modem.phase == ModemPhase::CONNECTED)
        SendToHost(line, bytes);
}

int64_t ModemNextEventNs(const ModemState& modem)
{
    return modem.phase == ModemPhase::RINGING ? modem.nextEventNs : -1;
}

void ModemTick(ModemState& modem, const HostLine& line, int64_t nowNs)
{
    if (modem.phase != ModemPhase::RINGING || nowNs < modem.nextEventNs)
        return;
    if (modem.ringsSent < modem.options.rings) {
        Report(line, "", "RING", nowNs);
        ++modem.ringsSent;
        const bool last = modem.ringsSent == modem.options.rings;
        modem.nextEventNs = nowNs + Ms(last ? modem.options.answerDelayMs : modem.options.ringIntervalMs);
        return;
    }
    if (!modem.options.connect) {
        modem.phase = ModemPhase::COMMAND;
        return;
    }
    if (!modem.connectRest.empty()) {
        SendToHost(line, modem.connectRest);
        modem.connectRest.clear();
        modem.phase = ModemPhase::CONNECTED;
        return;
    }
    const std::string& text = modem.options.connectText;
    if (modem.options.connectCutMs > 0 && text.size() > 2) {
        // Logged as one report, at its start.
        FrontEvent event;
        event.timeNs = nowNs;
        event.kind = FrontEventKind::MODEM_RESULT;
        event.text = text;
        event.hostSpeed = HostSpeed(line);
        Record(line, event);
        SendToHost(line, modem.options.connectBurst + "\r\n" + text.substr(0, 2));
        modem.connectRest = text.substr(2) + "\r\n";
        modem.nextEventNs = nowNs + Ms(modem.options.connectCutMs);
        modem.acksCarried = 0;
        return;
    }
    Report(line, modem.options.connectBurst, text, nowNs);
    modem.phase = ModemPhase::CONNECTED;
    modem.acksCarried = 0;
}

}  // namespace termsim
