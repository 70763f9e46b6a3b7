// termsim: plays a data terminal on a serial line for demonstrations and
// manual runs. Serves a device (--port) or makes a pseudo-terminal and links
// a path to it (--link, e.g. a Wine prefix's dosdevices/com5), sends the
// records, prints every host command with its time, and exits once the
// planned transfers are over (or at the time-out).
#include "record_encoding.h"
#include "terminal_simulator.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int LINGER_MS = 1500;   // how long the terminal stays on the line after its last transfer

void PrintUsage()
{
    std::fprintf(stderr,
                 "usage: termsim (--port DEVICE | --link PATH) (--records FILE | --count N [--size M])\n"
                 "               [--transfers K] [--nak-first] [--bad-checksum I] [--timeout SECONDS]\n"
                 "  --port DEVICE   serve this terminal device (e.g. /dev/pts/N)\n"
                 "  --link PATH     make a pseudo-terminal and link PATH to its slave\n"
                 "  --records FILE  one record per line (line ends are not sent)\n"
                 "  --count N       N generated records of M digits (default 13)\n"
                 "  --transfers K   serve K transfers in a row (keep-online), then exit\n"
                 "  --nak-first     answer the first \"READ\" with \"NAK\"\n"
                 "  --bad-checksum I  send record I once with a wrong checksum\n");
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

}  // namespace

int main(int argc, char** argv)
{
    std::string port, link, recordsFile;
    int count = 0, size = 13, transfers = 1, timeoutSeconds = 120, badChecksum = -1;
    bool nakFirst = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--port" && hasValue) port = argv[++i];
        else if (arg == "--link" && hasValue) link = argv[++i];
        else if (arg == "--records" && hasValue) recordsFile = argv[++i];
        else if (arg == "--count" && hasValue) count = std::atoi(argv[++i]);
        else if (arg == "--size" && hasValue) size = std::atoi(argv[++i]);
        else if (arg == "--transfers" && hasValue) transfers = std::atoi(argv[++i]);
        else if (arg == "--timeout" && hasValue) timeoutSeconds = std::atoi(argv[++i]);
        else if (arg == "--bad-checksum" && hasValue) badChecksum = std::atoi(argv[++i]);
        else if (arg == "--nak-first") nakFirst = true;
        else { PrintUsage(); return 2; }
    }
    if (port.empty() == link.empty() || (recordsFile.empty() && count <= 0) || transfers < 1) {
        PrintUsage();
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

    termsim::PtyPair pty;
    int fd = -1;
    if (!link.empty()) {
        if (termsim::OpenPtyPair(pty) != 0) {
            std::perror("termsim: pseudo-terminal");
            return 1;
        }
        unlink(link.c_str());
        if (symlink(pty.slavePath.c_str(), link.c_str()) != 0) {
            std::perror("termsim: link");
            return 1;
        }
        fd = pty.master;
        std::printf("termsim: %s -> %s\n", link.c_str(), pty.slavePath.c_str());
    } else {
        fd = open(port.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) {
            std::perror("termsim: open port");
            return 1;
        }
        termios attributes{};
        if (tcgetattr(fd, &attributes) == 0) {
            cfmakeraw(&attributes);
            tcsetattr(fd, TCSANOW, &attributes);
        }
    }

    termsim::TerminalSimulator sim;
    for (int t = 0; t < transfers; ++t) {
        termsim::TransferPlan plan = termsim::PlainTransfer(records);
        if (t == 0 && nakFirst)
            plan.nakReads = 1;
        if (t == 0 && badChecksum >= 0 && badChecksum < static_cast<int>(plan.records.size()))
            plan.records[static_cast<size_t>(badChecksum)].badChecksumAttempts = 1;
        sim.AddTransfer(plan);
    }
    std::printf("termsim: %zu records, %d transfer(s), waiting for \"READ\"\n", records.size(), transfers);
    std::fflush(stdout);
    const int64_t start = termsim::MonotonicRawNs();
    sim.Start(fd);

    // Report commands as they come, until the transfers are over.
    size_t shown = 0;
    const int64_t deadline = start + static_cast<int64_t>(timeoutSeconds) * 1000000000LL;
    bool done = false;
    while (!done && termsim::MonotonicRawNs() < deadline) {
        sim.WaitFor([shown](const termsim::TerminalSimulator& s) { return s.Commands().size() > shown; }, 200);
        const std::vector<termsim::HostCommand> commands = sim.Commands();
        for (; shown < commands.size(); ++shown)
            std::printf("termsim: %8.3f s  host \"%s\"\n", (commands[shown].timeNs - start) / 1e9,
                        Printable(commands[shown].text).c_str());
        std::fflush(stdout);
        done = sim.TransfersCompleted() >= transfers;
    }
    // A docked terminal stays on the line a moment after its last "OVER\r".
    // Closing the pseudo-terminal at once would hang the line up under the
    // host's last write, which a serial port never does.
    if (done) sim.WaitFor([](const termsim::TerminalSimulator&) { return false; }, LINGER_MS);
    sim.Stop();
    const int speed = termsim::LineSpeed(fd);
    std::printf("termsim: %d record(s) acknowledged, %d transfer(s) completed, line speed %d bit/s\n",
                sim.RecordsAcknowledged(), sim.TransfersCompleted(), speed);
    if (!link.empty()) {
        unlink(link.c_str());
        termsim::ClosePtyPair(pty);
    } else {
        close(fd);
    }
    return done ? 0 : 1;
}
