// termsim: plays a data terminal on a serial line for demonstrations and
// manual runs. Serves a port (sim_port.h: on Linux a device, --port, or a
// pseudo-terminal with a path linked to it, --link, e.g. a Wine prefix's
// dosdevices/com5; on Windows a COM port), sends the records, prints every
// host command with its time, and exits once the planned transfers are over
// (or at the time-out). An infrared cradle or a modem may stand in front of
// the terminal; what it sees is printed too.
#include "record_encoding.h"
#include "sim_port.h"
#include "terminal_simulator.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int LINGER_MS = 1500;   // how long the terminal stays on the line after its last transfer

void PrintUsage(std::FILE* to)
{
    std::fprintf(to, "usage: termsim %s (--records FILE | --count N [--size M])\n", termsim::PORT_SYNOPSIS);
    std::fprintf(to,
                 "               [--transfers K] [--nak-first] [--bad-checksum I] [--timeout SECONDS]\n"
                 "               [cradle options | modem options]\n");
    std::fputs(termsim::PORT_DETAILS, to);
    std::fprintf(to,
                 "  --records FILE  one record per line (line ends are not sent)\n"
                 "  --count N       N generated records of M digits (default 13)\n"
                 "  --transfers K   serve K transfers in a row (keep-online), then exit\n"
                 "  --nak-first     answer the first \"READ\" with \"NAK\"\n"
                 "  --bad-checksum I  send record I once with a wrong checksum\n"
                 "An infrared cradle in front of the terminal (answers the probe 0x0F at its own\n"
                 "speed only, takes 0x07, a speed digit and 'Q', then carries the terminal):\n"
                 "  --cradle               a cradle at 9600 bit/s\n"
                 "  --cradle-speed N       its speed at start: 9600, 19200, 38400, 57600 or 115200\n"
                 "  --cradle-nuls N        N NUL bytes ahead of each answer\n"
                 "  --cradle-wrong-answer  answer 0xF0 instead of 0x0F\n"
                 "  --no-cradle            the port has no cradle: nothing ever answers\n"
                 "A modem in front of the terminal (\"OK\" to \"ATH0\" and \"ATE0S0=1X3\", then\n"
                 "\"RING\" and \"CONNECT 9600\", then carries the terminal; \"ATH0\" ends the call):\n"
                 "  --modem                a modem that answers \"OK\"\n"
                 "  --modem-echo           echo commands until \"E0\" turns the echo off\n"
                 "  --modem-error          answer every command \"ERROR\" (no call follows)\n"
                 "  --modem-silent         answer nothing (no call follows)\n"
                 "  --ring-delay-ms N      from the second \"OK\" to the first \"RING\" (default 500)\n"
                 "  --rings N              \"RING\" reports before the call is answered (default 1)\n"
                 "  --ring-interval-ms N   between two \"RING\" reports (default 1000)\n"
                 "  --answer-delay-ms N    from the last \"RING\" to \"CONNECT\" (default 200)\n"
                 "  --no-connect           ring only, never connect\n"
                 "  --help                 this text\n");
}

std::string Printable(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// One line of the front's log, as shown to the person running the command.
std::string DescribeFrontEvent(const termsim::FrontEvent& event)
{
    char text[200];
    switch (event.kind) {
    case termsim::FrontEventKind::CRADLE_PROBE:
        std::snprintf(text, sizeof text, "cradle probe at %d bit/s (cradle at %d): %s", event.hostSpeed,
                      event.cradleSpeed, event.answered ? "answered" : "not heard");
        break;
    case termsim::FrontEventKind::CRADLE_BYTE:
        std::snprintf(text, sizeof text, "cradle byte \"%s\" at %d bit/s (cradle at %d)",
                      Printable(event.text).c_str(), event.hostSpeed, event.cradleSpeed);
        break;
    case termsim::FrontEventKind::CRADLE_SPEED_CHANGE:
        std::snprintf(text, sizeof text, "cradle now at %d bit/s, carrying the terminal", event.cradleSpeed);
        break;
    case termsim::FrontEventKind::MODEM_COMMAND:
        std::snprintf(text, sizeof text, "modem command \"%s\"", Printable(event.text).c_str());
        break;
    case termsim::FrontEventKind::MODEM_RESULT:
        std::snprintf(text, sizeof text, "modem says \"%s\"", event.text.c_str());
        break;
    }
    return text;
}

constexpr int CRADLE_SPEEDS[] = {9600, 19200, 38400, 57600, 115200};

bool IsCradleSpeed(int speed)
{
    for (int allowed : CRADLE_SPEEDS)
        if (speed == allowed)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    termsim::PortChoice portChoice;
    std::string recordsFile;
    int count = 0, size = 13, transfers = 1, timeoutSeconds = 120, badChecksum = -1;
    bool nakFirst = false, cradle = false, modem = false;
    termsim::CradleOptions cradleOptions;
    termsim::ModemOptions modemOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const bool cradleArg = arg.rfind("--cradle", 0) == 0 || arg == "--no-cradle";
        const bool modemArg = arg.rfind("--modem", 0) == 0 || arg.rfind("--ring", 0) == 0 ||
                              arg == "--answer-delay-ms" || arg == "--no-connect";
        cradle = cradle || cradleArg;
        modem = modem || modemArg;
        const int portArgument = termsim::TakePortArgument(argc, argv, &i, portChoice);
        if (portArgument < 0) { PrintUsage(stderr); return 2; }
        if (portArgument > 0) continue;
        if (arg == "--help") { PrintUsage(stdout); return 0; }
        if (arg == "--records" && hasValue) recordsFile = argv[++i];
        else if (arg == "--count" && hasValue) count = std::atoi(argv[++i]);
        else if (arg == "--size" && hasValue) size = std::atoi(argv[++i]);
        else if (arg == "--transfers" && hasValue) transfers = std::atoi(argv[++i]);
        else if (arg == "--timeout" && hasValue) timeoutSeconds = std::atoi(argv[++i]);
        else if (arg == "--bad-checksum" && hasValue) badChecksum = std::atoi(argv[++i]);
        else if (arg == "--nak-first") nakFirst = true;
        else if (arg == "--cradle") {}
        else if (arg == "--cradle-speed" && hasValue) cradleOptions.startSpeed = std::atoi(argv[++i]);
        else if (arg == "--cradle-nuls" && hasValue) cradleOptions.nulsBeforeAnswer = std::atoi(argv[++i]);
        else if (arg == "--cradle-wrong-answer") cradleOptions.answerByte = 0xF0;
        else if (arg == "--no-cradle") cradleOptions.present = false;
        else if (arg == "--modem") {}
        else if (arg == "--modem-echo") modemOptions.echo = true;
        else if (arg == "--modem-error") modemOptions.answer = termsim::ModemAnswer::ERROR;
        else if (arg == "--modem-silent") modemOptions.answer = termsim::ModemAnswer::SILENT;
        else if (arg == "--ring-delay-ms" && hasValue) modemOptions.ringDelayMs = std::atoi(argv[++i]);
        else if (arg == "--rings" && hasValue) modemOptions.rings = std::atoi(argv[++i]);
        else if (arg == "--ring-interval-ms" && hasValue) modemOptions.ringIntervalMs = std::atoi(argv[++i]);
        else if (arg == "--answer-delay-ms" && hasValue) modemOptions.answerDelayMs = std::atoi(argv[++i]);
        else if (arg == "--no-connect") modemOptions.connect = false;
        else { PrintUsage(stderr); return 2; }
    }
    if (!termsim::PortChoiceComplete(portChoice) || (recordsFile.empty() && count <= 0) || transfers < 1 ||
        (cradle && modem) || !IsCradleSpeed(cradleOptions.startSpeed) || cradleOptions.nulsBeforeAnswer < 0 ||
        modemOptions.ringDelayMs < 0 || modemOptions.rings < 0 || modemOptions.ringIntervalMs < 0 ||
        modemOptions.answerDelayMs < 0) {
        PrintUsage(stderr);
        return 2;
    }

    std::vector<std::string> records;
    if (!recordsFile.empty()) {
        std::ifstream in(recordsFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "termsim: cannot read %s\n", recordsFile.c_str());
            return 1;
        }
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            records.push_back(line);
        }
    } else {
        for (int i = 0; i < count; ++i) {
            std::string record;
            for (int k = 0; k < size; ++k)
                record.push_back(static_cast<char>('0' + (i * 7 + k * 3) % 10));
            records.push_back(record);
        }
    }

    termsim::SimPort* port = termsim::OpenSimPort(portChoice);
    if (port == nullptr)
        return 1;

    termsim::TerminalSimulator sim;
    for (int t = 0; t < transfers; ++t) {
        termsim::TransferPlan plan = termsim::PlainTransfer(records);
        if (t == 0 && nakFirst)
            plan.nakReads = 1;
        if (t == 0 && badChecksum >= 0 && badChecksum < static_cast<int>(plan.records.size()))
            plan.records[static_cast<size_t>(badChecksum)].badChecksumAttempts = 1;
        sim.AddTransfer(plan);
    }
    if (cradle)
        sim.SetCradle(cradleOptions);
    if (modem)
        sim.SetModem(modemOptions);
    std::printf("termsim: %zu records, %d transfer(s)%s, waiting for \"READ\"\n", records.size(), transfers,
                cradle ? " behind a cradle" : modem ? " behind a modem" : "");
    std::fflush(stdout);
    const int64_t start = termsim::MonotonicRawNs();
    if (sim.Start(termsim::SimPortLine(port)) != 0) {
        std::fprintf(stderr, "termsim: cannot serve the port\n");
        termsim::CloseSimPort(port);
        return 1;
    }

    // Report what the terminal and its front see as it comes, until the
    // transfers are over.
    size_t shownCommands = 0, shownEvents = 0;
    const int64_t deadline = start + static_cast<int64_t>(timeoutSeconds) * 1000000000LL;
    bool done = false;
    while (!done && termsim::MonotonicRawNs() < deadline) {
        sim.WaitFor([&](const termsim::TerminalSimulator& s) {
            return s.Commands().size() > shownCommands || s.FrontEvents().size() > shownEvents;
        }, 200);
        std::vector<std::pair<int64_t, std::string>> lines;
        const std::vector<termsim::HostCommand> commands = sim.Commands();
        for (; shownCommands < commands.size(); ++shownCommands)
            lines.emplace_back(commands[shownCommands].timeNs,
                               "host \"" + Printable(commands[shownCommands].text) + "\"");
        const std::vector<termsim::FrontEvent> events = sim.FrontEvents();
        for (; shownEvents < events.size(); ++shownEvents)
            lines.emplace_back(events[shownEvents].timeNs, DescribeFrontEvent(events[shownEvents]));
        std::stable_sort(lines.begin(), lines.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& line : lines)
            std::printf("termsim: %8.3f s  %s\n", (line.first - start) / 1e9, line.second.c_str());
        std::fflush(stdout);
        done = sim.TransfersCompleted() >= transfers;
    }
    // A docked terminal stays on the line a moment after its last "OVER\r".
    // Closing a pseudo-terminal at once would hang the line up under the
    // host's last write, which a serial port never does.
    if (done) sim.WaitFor([](const termsim::TerminalSimulator&) { return false; }, LINGER_MS);
    sim.Stop();
    const int speed = termsim::SimPortSpeed(port);
    std::printf("termsim: %d record(s) acknowledged, %d transfer(s) completed, line speed %d bit/s\n",
                sim.RecordsAcknowledged(), sim.TransfersCompleted(), speed);
    termsim::CloseSimPort(port);
    return done ? 0 : 1;
}
