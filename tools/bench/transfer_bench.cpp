// Transfer benchmark: 500 records of 40 data bytes at 115200 bit/s from the
// terminal simulator into Varnolt.exe under Wine. Prints the wall time, the
// records per second, the floor that the design's pauses set (a 30 ms read
// window and 10 ms after each answer, per record), their ratio, the
// program's CPU time during the transfer and its peak memory beside that of
// an empty dialog program run under the same Wine.
//
// Run from the native build directory after building varnolt_bench, win64
// and the empty dialog (part of the win64 build):
//   ./tools/bench/varnolt_bench
// It starts its own Wine environment (tools/harness/wine-env.sh) unless the
// test fixture's environment file already exists.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "harness.h"

namespace {

constexpr int RECORDS = 500;
constexpr int DATA_BYTES = 40;
constexpr int COM = 11;
constexpr double READ_WINDOW_MS = 30.0;
constexpr double AFTER_ANSWER_MS = 10.0;

// utime + stime of a process, in seconds; -1 when it cannot be read.
double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) utime = std::atoll(field.c_str());
        if (index == 15) { stime = std::atoll(field.c_str()); break; }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// VmHWM of a process in KiB; -1 when it cannot be read.
long PeakKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

bool EnsureWineEnvironment(bool* started)
{
    *started = false;
    if (std::filesystem::exists(VARNOLT_BENCH_ENV_FILE)) return true;
    const std::string command = std::string(VARNOLT_BENCH_ENV_SCRIPT) + " start " + VARNOLT_BENCH_ENV_DIR +
                                " >/dev/null 2>&1";
    *started = std::system(command.c_str()) == 0;
    return *started;
}

void StopWineEnvironment()
{
    const std::string command = std::string(VARNOLT_BENCH_ENV_SCRIPT) + " stop " + VARNOLT_BENCH_ENV_DIR +
                                " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "bench: the Wine environment did not stop cleanly\n");
}

long EmptyDialogPeakKiB(const std::string& dir)
{
    e2e::Program empty;
    if (empty.Start(VARNOLT_BENCH_EMPTY_DIALOG, {}, dir, dir + "/empty") != 0) return -1;
    long peak = -1;
    if (e2e::WaitWindow("Empty dialog", 20000)) peak = PeakKiB(empty.Pid());
    empty.Kill();
    return peak;
}

int RunBenchmark(const std::string& dir)
{
    const std::string exe = dir + "/Varnolt.exe";
    std::filesystem::copy_file(e2e::Env().varnoltExe, exe);

    e2e::ComPort port(COM);
    if (!port.Ok()) {
        std::fprintf(stderr, "bench: no pseudo-terminal for COM%d\n", COM);
        return 1;
    }
    std::vector<std::string> records;
    for (int i = 0; i < RECORDS; ++i) {
        char head[16];
        std::snprintf(head, sizeof head, "%05d", i);
        records.push_back(std::string(head) + std::string(DATA_BYTES - 5, static_cast<char>('A' + i % 26)));
    }
    termsim::TerminalSimulator& sim = port.Simulator();
    sim.AddTransfer(termsim::PlainTransfer(records));
    port.StartSimulator();

    // Keep-online keeps the program up after the transfer, so its figures
    // can be read before it is ended.
    e2e::CommandLine line;
    line.path = e2e::ToWindowsPath(dir + "/bench.txt");
    line.comPort = COM;
    line.baudIndex = 0;
    line.saveMode = 0;
    line.keepOnline = 1;
    line.pollingTime = 60;
    e2e::Program program;
    if (program.Start(exe, {line.Text()}, dir, dir + "/program") != 0) return 1;

    if (!sim.WaitForCommand("READ\r", 1, 30000)) {
        std::fprintf(stderr, "bench: the program never asked for data\n");
        return 1;
    }
    const double cpuAtStart = CpuSeconds(program.Pid());
    const long peakAtStart = PeakKiB(program.Pid());
    if (!sim.WaitForTransfers(1, 120000)) {
        std::fprintf(stderr, "bench: the transfer did not complete (%d records acknowledged)\n",
                     sim.RecordsAcknowledged());
        return 1;
    }
    const double cpuAtEnd = CpuSeconds(program.Pid());
    const long peak = PeakKiB(program.Pid());

    int64_t firstRead = sim.Commands().front().timeNs;
    int64_t overSent = 0;
    for (const auto& chunk : sim.Sent())
        if (chunk.bytes.find("OVER\r") != std::string::npos) overSent = chunk.timeNs;
    program.Kill();

    const std::string written = e2e::ReadFile(dir + "/bench.txt");
    const size_t expectedSize = static_cast<size_t>(RECORDS) * (DATA_BYTES + 2);

    const double wall = static_cast<double>(overSent - firstRead) / 1e9;
    const double floor = RECORDS * (READ_WINDOW_MS + AFTER_ANSWER_MS) / 1000.0;
    const double cpu = cpuAtEnd - cpuAtStart;
    const long emptyPeak = EmptyDialogPeakKiB(dir);

    std::printf("records                 %d of %d data bytes, 115200 bit/s\n", sim.RecordsAcknowledged(), DATA_BYTES);
    std::printf("output file             %zu bytes (%s)\n", written.size(),
                written.size() == expectedSize ? "complete" : "INCOMPLETE");
    std::printf("wall time               %.3f s (first \"READ\" to \"OVER\")\n", wall);
    std::printf("records per second      %.1f\n", RECORDS / wall);
    std::printf("floor of the pauses     %.3f s (%.0f ms per record)\n", floor, READ_WINDOW_MS + AFTER_ANSWER_MS);
    std::printf("ratio wall / floor      %.3f (target <= 1.10)\n", wall / floor);
    std::printf("CPU during transfer     %.3f s = %.2f %% of one core (target < 5 %%)\n", cpu, 100.0 * cpu / wall);
    std::printf("peak memory (VmHWM)     %ld KiB\n", peak);
    std::printf("  of it before the data  %ld KiB (program and its libraries at the first \"READ\")\n", peakAtStart);
    std::printf("empty dialog (VmHWM)    %ld KiB\n", emptyPeak);
    std::printf("difference              %+ld KiB (target within 2048 KiB)\n", peak - emptyPeak);
    return written.size() == expectedSize ? 0 : 1;
}

}  // namespace

int main()
{
    bool startedHere = false;
    if (!EnsureWineEnvironment(&startedHere)) {
        std::fprintf(stderr, "bench: cannot start the Wine environment\n");
        return 1;
    }
    setenv("VARNOLT_E2E_ENV", VARNOLT_BENCH_ENV_FILE, 1);
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
