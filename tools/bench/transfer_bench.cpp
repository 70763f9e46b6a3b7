// Transfer benchmark: Varnolt.exe under Wine against the terminal simulator,
// which paces its bytes at the line rate the program set (10 bit times a
// byte; a pseudo-terminal alone would pass any amount at once).
//
// Rows: records of 10, 40 and 200 data bytes at 115200 and 9600 bit/s, into
// an output file written durably (each record on the disk before its ACK).
// Each row prints its wall time (first "READ" to the last "ACK") beside the
// floor that the design's pauses and the line time set, the program's
// processor time and its peak memory. The floor, per exchange of one host
// command and the terminal's reply, of line time L (the command and the reply
// together): the host pauses 10 ms after each command it writes, then reads
// in windows that each begin with a 30 ms pause, so the reply is taken at the
// first window end past L: 10 + 30 x max(1, ceil((L - 10) / 30)) ms.
//
// Then: the start-up time from the program's start to its first "READ"
// beside the start-up's own pauses (100 ms before the port is opened, 300 ms
// after); processor time while the program waits (keep-online with a silent
// terminal, and with the port absent); peak memory beside an empty dialog
// program under the same Wine; and keyboard emulation's pace against its
// configured delay between characters.
//
// Both programs run as they ship, stripped of their debug information (which
// Wine would otherwise load with them).
//
// Run from the native build directory after building varnolt_bench and win64:
//   ./tools/bench/varnolt_bench
// It starts its own Wine environment (tools/harness/wine-env.sh) unless the
// test fixture's environment file already exists.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "harness.h"
#include "process_stats.h"

namespace {

constexpr int COM = 11;
constexpr double AFTER_COMMAND_MS = 10.0;     // the pause after each command written
constexpr double READ_WINDOW_MS = 30.0;       // the pause that begins each read
constexpr double START_PAUSES_MS = 100.0 + 300.0;
constexpr double BITS_PER_BYTE = 10.0;
constexpr int WAIT_SECONDS = 10;              // how long the waiting program is watched
constexpr int TYPING_DELAY_MS = 20;
constexpr int TYPED_RECORDS = 4;
constexpr int TYPED_LENGTH = 30;

struct Row {
    int bitsPerSecond;
    int dataBytes;
    int records;
};

constexpr Row ROWS[] = {
    {115200, 10, 200}, {115200, 40, 200}, {115200, 200, 200},
    {9600, 10, 200},   {9600, 40, 150},   {9600, 200, 60},
};

struct RowResult {
    bool complete = false;
    double wallMs = 0, floorMs = 0, cpuSeconds = 0, startupMs = 0;
    double medianExchangeMs = 0, p90ExchangeMs = 0, slowestExchangeMs = 0;   // from one host command to the next
    long peakKiB = -1;
};

double LineMs(size_t bytes, int bitsPerSecond)
{
    return static_cast<double>(bytes) * BITS_PER_BYTE * 1000.0 / bitsPerSecond;
}

// One exchange: a host command and the terminal's reply, L ms on the line.
double ExchangeFloorMs(double lineMs)
{
    const double windows = std::max(1.0, std::ceil((lineMs - AFTER_COMMAND_MS) / READ_WINDOW_MS));
    return AFTER_COMMAND_MS + READ_WINDOW_MS * windows;
}

int BaudIndexOf(int bitsPerSecond)
{
    return bitsPerSecond == 115200 ? 0 : bitsPerSecond == 57600 ? 1 : bitsPerSecond == 38400 ? 2
         : bitsPerSecond == 19200 ? 3 : 4;
}

// The test run's environment when it is up; else one of our own, in a
// directory of this process (a start stops whatever its directory held).
std::string OwnEnvironmentDir()
{
    return std::string(VARNOLT_BENCH_ENV_DIR) + "-" + std::to_string(getpid());
}

bool EnsureWineEnvironment(bool* started)
{
    *started = false;
    if (std::filesystem::exists(VARNOLT_BENCH_ENV_FILE)) {
        setenv("VARNOLT_E2E_ENV", VARNOLT_BENCH_ENV_FILE, 1);
        return true;
    }
    const std::string command = std::string(VARNOLT_BENCH_ENV_SCRIPT) + " start " + OwnEnvironmentDir() +
                                " >/dev/null 2>&1";
    *started = std::system(command.c_str()) == 0;
    if (*started) setenv("VARNOLT_E2E_ENV", (OwnEnvironmentDir() + "/env").c_str(), 1);
    return *started;
}

void StopWineEnvironment()
{
    const std::string command = std::string(VARNOLT_BENCH_ENV_SCRIPT) + " stop " + OwnEnvironmentDir() +
                                " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "bench: the Wine environment did not stop cleanly\n");
    std::error_code ignored;
    std::filesystem::remove_all(OwnEnvironmentDir(), ignored);
}

// A copy of a program as it ships: without its debug information.
bool StrippedCopy(const std::string& from, const std::string& to)
{
    const std::string command = std::string(VARNOLT_BENCH_OBJCOPY) + " --strip-all '" + from + "' '" + to + "'";
    return std::system(command.c_str()) == 0;
}

long EmptyDialogPeakKiB(const std::string& dir)
{
    const std::string exe = dir + "/empty_dialog.exe";
    if (!StrippedCopy(VARNOLT_BENCH_EMPTY_DIALOG, exe)) return -1;
    e2e::Program empty;
    if (empty.Start(exe, {}, dir, dir + "/empty") != 0) return -1;
    long peak = -1;
    if (e2e::WaitWindow("Empty dialog", 20000)) peak = e2e::SampleProcess(empty.Pid()).peakKiB;
    empty.Kill();
    return peak;
}

e2e::CommandLine SessionLine(const std::string& path, int bitsPerSecond)
{
    // Keep-online keeps the program up after the transfer, so its figures can
    // be read before it is ended.
    e2e::CommandLine line;
    line.path = e2e::ToWindowsPath(path);
    line.comPort = COM;
    line.baudIndex = BaudIndexOf(bitsPerSecond);
    line.saveMode = 0;
    line.keepOnline = 1;
    line.pollingTime = 60;
    line.showErrorMessages = 0;
    return line;
}

RowResult RunRow(const std::string& dir, const std::string& exe, const Row& row)
{
    RowResult result;
    e2e::ComPort port(COM);
    if (!port.Ok()) return result;
    std::vector<std::string> records;
    for (int i = 0; i < row.records; ++i) {
        char head[16];
        std::snprintf(head, sizeof head, "%05d", i);
        records.push_back((std::string(head) + std::string(static_cast<size_t>(row.dataBytes), static_cast<char>('A' + i % 26)))
                              .substr(0, static_cast<size_t>(row.dataBytes)));
    }
    termsim::TerminalSimulator& sim = port.Simulator();
    sim.AddTransfer(termsim::PlainTransfer(records));
    sim.SetLinePacing(true);
    port.StartSimulator();

    const std::string output = dir + "/bench.txt";
    e2e::Program program;
    if (program.Start(exe, {SessionLine(output, row.bitsPerSecond).Text()}, dir, dir + "/program") != 0) return result;
    if (!sim.WaitForCommand("READ\r", 1, 30000)) {
        std::fprintf(stderr, "bench: the program never asked for data\n");
        return result;
    }
    const int64_t firstRead = sim.Commands().front().timeNs;
    result.startupMs = static_cast<double>(firstRead - program.StartNs()) / 1e6;
    const double cpuAtStart = e2e::SampleProcess(program.Pid()).cpuSeconds;
    const int timeoutMs = 30000 + static_cast<int>(row.records * ExchangeFloorMs(LineMs(static_cast<size_t>(row.dataBytes) + 8, row.bitsPerSecond)) * 2);
    if (!sim.WaitForTransfers(1, timeoutMs)) {
        std::fprintf(stderr, "bench: the transfer did not complete (%d records acknowledged)\n", sim.RecordsAcknowledged());
        return result;
    }
    const e2e::ProcessSample end = e2e::SampleProcess(program.Pid());
    result.cpuSeconds = end.cpuSeconds - cpuAtStart;
    result.peakKiB = end.peakKiB;
    // The wall: from the first "READ" to the last "ACK", when "OVER" goes out.
    int64_t overSent = 0;
    for (const auto& chunk : sim.Sent())
        if (chunk.bytes.find("OVER\r") != std::string::npos) overSent = chunk.timeNs;
    result.wallMs = static_cast<double>(overSent - firstRead) / 1e6;
    std::vector<double> exchanges;
    const auto commands = sim.Commands();
    for (size_t i = 1; i < commands.size(); ++i)
        exchanges.push_back(static_cast<double>(commands[i].timeNs - commands[i - 1].timeNs) / 1e6);
    std::sort(exchanges.begin(), exchanges.end());
    if (!exchanges.empty()) {
        result.medianExchangeMs = exchanges[exchanges.size() / 2];
        result.p90ExchangeMs = exchanges[exchanges.size() * 9 / 10];
        result.slowestExchangeMs = exchanges.back();
    }
    program.Kill();

    // READ with "ACK" and the first record, then each ACK with the next record.
    const size_t line = static_cast<size_t>(row.dataBytes) + 4;
    result.floorMs = ExchangeFloorMs(LineMs(5 + 4 + line, row.bitsPerSecond)) +
                     (row.records - 1) * ExchangeFloorMs(LineMs(4 + line, row.bitsPerSecond));
    const std::string written = e2e::ReadFile(output);
    result.complete = written.size() == static_cast<size_t>(row.records) * (static_cast<size_t>(row.dataBytes) + 2);
    std::filesystem::remove(output);
    return result;
}

// Processor share while the program waits: for the terminal (keep-online,
// "READ" every polling interval, no answer) or for its port to appear.
double WaitingCpuPercent(const std::string& dir, const std::string& exe, bool portAbsent)
{
    e2e::ComPort port(COM);
    if (!port.Ok()) return -1;
    port.StartSimulator();   // nothing planned: the terminal stays silent
    if (portAbsent) port.Unlink();
    e2e::CommandLine line = SessionLine(dir + "/wait.txt", 115200);
    line.pollingTime = 2;
    e2e::Program program;
    if (program.Start(exe, {line.Text()}, dir, dir + "/program") != 0) return -1;
    // Settled: the first "READ" went out, or the window says it waits for the port.
    const bool settled = portAbsent ? e2e::WaitControlText(e2e::SESSION_CAPTION, 201, "COM port is not available!", 20000)
                                    : port.Simulator().WaitForCommand("READ\r", 1, 20000);
    if (!settled) return -1;
    const double before = e2e::SampleProcess(program.Pid()).cpuSeconds;
    const int64_t from = e2e::NowNs();
    // The measurement is the waiting itself.
    port.Simulator().WaitFor([](const termsim::TerminalSimulator&) { return false; }, WAIT_SECONDS * 1000);
    const double cpu = e2e::SampleProcess(program.Pid()).cpuSeconds - before;
    const double seconds = static_cast<double>(e2e::NowNs() - from) / 1e9;
    program.Kill();
    return 100.0 * cpu / seconds;
}

// Keyboard emulation into a window that notes each character's arrival:
// the mean interval between the characters of a record.
double TypingIntervalMs(const std::string& dir, const std::string& exe, int* typed)
{
    *typed = 0;
    const std::string arrivals = dir + "/keys.txt";
    e2e::Program target;
    if (target.Start(VARNOLT_BENCH_KEY_CLOCK, {e2e::ToWindowsPath(arrivals)}, dir, dir + "/keyclock") != 0) return -1;
    if (!e2e::WaitWindow("Key clock 0", 20000)) return -1;
    // No window manager: the window gets the focus when the user clicks into it.
    const std::string click = "DISPLAY=" + e2e::Env().display +
                              " timeout 10 xdotool search --name '^Key clock 0$' mousemove --window %1 60 60 click 1"
                              " >/dev/null 2>&1";
    if (std::system(click.c_str()) != 0) return -1;

    e2e::ComPort port(COM);
    std::vector<std::string> records;
    for (int i = 0; i < TYPED_RECORDS; ++i) records.push_back(std::string(TYPED_LENGTH, static_cast<char>('a' + i)));
    port.Simulator().AddTransfer(termsim::PlainTransfer(records));
    port.StartSimulator();
    e2e::CommandLine line;
    line.path = e2e::ToWindowsPath(dir);
    line.comPort = COM;
    line.saveMode = 2;   // keyboard emulation
    line.addLineFeed = 0;
    line.interCharDelay = TYPING_DELAY_MS;
    e2e::Program program;
    if (program.Start(exe, {line.Text()}, dir, dir + "/program") != 0) return -1;
    const int expected = TYPED_RECORDS * (TYPED_LENGTH + 1);   // each record and its Return
    const bool all = e2e::WaitWindow("Key clock " + std::to_string(expected), 60000);
    program.WaitExit(20000);
    program.Kill();
    e2e::CloseWindow("Key clock " + std::to_string(expected));
    target.WaitExit(10000);
    if (!all) return -1;

    std::ifstream in(arrivals);
    std::vector<std::pair<long long, unsigned>> keys;
    long long ns;
    unsigned code;
    while (in >> ns >> code) keys.emplace_back(ns, code);
    *typed = static_cast<int>(keys.size());
    // Intervals inside a record: from a character to the next of the same record.
    double total = 0;
    int count = 0;
    for (size_t i = 1; i < keys.size(); ++i) {
        if (keys[i - 1].second == '\r') continue;   // the next record follows the answer, not the pace
        total += static_cast<double>(keys[i].first - keys[i - 1].first) / 1e6;
        ++count;
    }
    return count > 0 ? total / count : -1;
}

const char* Verdict(bool met) { return met ? "meets" : "MISSES"; }

int RunBenchmark(const std::string& dir)
{
    const std::string exe = dir + "/Varnolt.exe";
    if (!StrippedCopy(e2e::Env().varnoltExe, exe)) {
        std::fprintf(stderr, "bench: cannot strip a copy of %s\n", e2e::Env().varnoltExe.c_str());
        return 1;
    }
    bool allComplete = true;
    double worstRatio = 0, worstCpu = 0;
    long largestPeak = 0;
    std::vector<double> startups;
    std::printf("%8s %6s %7s %9s %9s %7s %10s %10s %8s %8s %8s %10s %11s\n", "bit/s", "bytes", "records", "wall s",
                "floor s", "ratio", "floor/rec", "median/rec", "p90", "slowest", "CPU %", "peak KiB", "start-up ms");
    for (const Row& row : ROWS) {
        const RowResult r = RunRow(dir, exe, row);
        allComplete = allComplete && r.complete;
        const double ratio = r.floorMs > 0 ? r.wallMs / r.floorMs : 0;
        const double cpu = r.wallMs > 0 ? 100.0 * r.cpuSeconds / (r.wallMs / 1000.0) : 0;
        worstRatio = std::max(worstRatio, ratio);
        worstCpu = std::max(worstCpu, cpu);
        largestPeak = std::max(largestPeak, r.peakKiB);
        startups.push_back(r.startupMs);
        const double recordFloorMs = ExchangeFloorMs(LineMs(4 + static_cast<size_t>(row.dataBytes) + 4, row.bitsPerSecond));
        std::printf("%8d %6d %7d %9.3f %9.3f %7.3f %7.1f ms %7.1f ms %5.1f ms %5.1f ms %8.2f %10ld %11.0f%s\n",
                    row.bitsPerSecond, row.dataBytes, row.records, r.wallMs / 1000, r.floorMs / 1000, ratio, recordFloorMs,
                    r.medianExchangeMs, r.p90ExchangeMs, r.slowestExchangeMs, cpu, r.peakKiB, r.startupMs,
                    r.complete ? "" : "  OUTPUT INCOMPLETE");
        std::fflush(stdout);
    }
    std::sort(startups.begin(), startups.end());
    const double waitingCpu = WaitingCpuPercent(dir, exe, false);
    const double absentCpu = WaitingCpuPercent(dir, exe, true);
    const long emptyPeak = EmptyDialogPeakKiB(dir);
    int typed = 0;
    const double interval = TypingIntervalMs(dir, exe, &typed);

    std::printf("\nwall / floor            worst %.3f (target <= 1.05): %s\n", worstRatio, Verdict(worstRatio <= 1.05));
    std::printf("CPU while transferring  worst %.2f %% of one core (target < 5 %%): %s\n", worstCpu,
                Verdict(worstCpu < 5.0));
    std::printf("CPU while waiting       %.2f %% for a silent terminal, %.2f %% for an absent port (target < 1 %%): %s\n",
                waitingCpu, absentCpu, Verdict(waitingCpu >= 0 && absentCpu >= 0 && waitingCpu < 1.0 && absentCpu < 1.0));
    std::printf("peak memory (VmHWM)     largest %ld KiB, empty dialog %ld KiB, difference %+ld KiB (target within 2048): %s\n",
                largestPeak, emptyPeak, largestPeak - emptyPeak, Verdict(emptyPeak > 0 && largestPeak - emptyPeak <= 2048));
    std::printf("start-up                %.0f ms median from the program's start to its first \"READ\" (%.0f to %.0f);\n"
                "                        of it %.0f ms the start-up's own pauses, the rest Wine starting the program\n",
                startups[startups.size() / 2], startups.front(), startups.back(), START_PAUSES_MS);
    std::printf("keyboard emulation      %d characters, %.2f ms between characters for %d ms configured (%+.1f %%, "
                "target within 10 %%): %s\n",
                typed, interval, TYPING_DELAY_MS, 100.0 * (interval - TYPING_DELAY_MS) / TYPING_DELAY_MS,
                Verdict(interval > 0 && std::fabs(interval - TYPING_DELAY_MS) <= 0.1 * TYPING_DELAY_MS));
    return allComplete ? 0 : 1;
}

}  // namespace

int main()
{
    bool startedHere = false;
    if (!EnsureWineEnvironment(&startedHere)) {
        std::fprintf(stderr, "bench: cannot start the Wine environment\n");
        return 1;
    }
    if (!e2e::Env().ok) {
        std::fprintf(stderr, "bench: %s\n", e2e::Env().problem.c_str());
        return 1;
    }
    char pattern[] = "/tmp/vn-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    const int result = RunBenchmark(pattern);
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    if (startedHere) StopWineEnvironment();
    return result;
}
