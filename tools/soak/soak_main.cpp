// varnolt_soak: exactly-once under faults and load. Runs the real program
// under Wine against the terminal simulator for at least the given number of
// transfers, with faults drawn from a seed: noise, lost answers, repeated and
// refused lines, pauses, lines split, joined, too long and too short, data
// the checksum cannot tell from other data, the program killed and its port
// pulled out, in every save mode that writes a file, one session or keeping
// online. After each session the output is checked against the records the
// terminal was told were delivered.
//
//   varnolt_soak [--transfers N] [--seed S] [--run K] [--com C] [--verbose]
//
// --run K replays run K of seed S alone (every failure names its run). Exit
// code 0 when nothing was lost, repeated, reordered or added beyond what the
// protocol cannot tell apart, and no box or stall held the program up.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "soak_run.h"

namespace {

constexpr int DEFAULT_COM = 21;

struct Options {
    int transfers = 1000;
    uint64_t seed = 0;
    bool seedGiven = false;
    int onlyRun = -1;
    int com = DEFAULT_COM;
    bool verbose = false;
};

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--transfers" && hasValue) options->transfers = std::atoi(argv[++i]);
        else if (arg == "--seed" && hasValue) {
            options->seed = std::strtoull(argv[++i], nullptr, 0);
            options->seedGiven = true;
        } else if (arg == "--run" && hasValue) options->onlyRun = std::atoi(argv[++i]);
        else if (arg == "--com" && hasValue) options->com = std::atoi(argv[++i]);
        else if (arg == "--verbose") options->verbose = true;
        else return false;
    }
    return options->transfers > 0 && options->com > 1 && (options->onlyRun < 0 || options->seedGiven);
}

void PrintTally(const soak::Tally& t, uint64_t seed, double seconds)
{
    std::printf("\nseed                      %" PRIu64 "\n", seed);
    std::printf("wall time                 %.1f s\n", seconds);
    std::printf("transfers                 %d in %d runs (%d program starts, %d checks of the output)\n", t.transfers,
                t.runs, t.launches, t.checks);
    std::printf("records delivered         %ld (%ld data bytes)\n", t.records, t.bytes);
    std::printf("faults injected           %d program kills, %d ports pulled out\n", t.kills, t.vanishes);
    for (const auto& [name, count] : t.faults) std::printf("  %-46s %d\n", name.c_str(), count);
    std::printf("sessions ended by         (error logs)\n");
    for (const auto& [message, count] : t.sessionEnds) std::printf("  %-46s %d\n", message.c_str(), count);
    std::printf("mismatches the protocol cannot tell apart\n");
    std::printf("  stored as changed by the line (checks pass)    %d\n", t.changedUndetectable);
    std::printf("  stored as changed, its ACK lost: sent again   %d\n", t.changedThenSentAgain);
    std::printf("  repeated after a kill before its ACK           %d\n", t.repeatAfterKill);
    std::printf("  repeated after the port went before its ACK    %d\n", t.repeatAfterVanish);
    std::printf("mismatches (each must be 0)\n");
    std::printf("  lost after noise cut a line in two             %d\n", t.lostAfterCutLine);
    std::printf("  lost %d, duplicated %d, reordered %d, extra bytes %ld, changed %d, boxes %d, stalls %d\n", t.lost,
                t.duplicated, t.reordered, t.extraBytes, t.changedOther, t.boxes, t.stalls);
    if (!t.failures.empty()) {
        std::printf("failures (replay one with --seed %" PRIu64 " --run K)\n", seed);
        for (const std::string& failure : t.failures) std::printf("  %s\n", failure.c_str());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: varnolt_soak [--transfers N] [--seed S [--run K]] [--com C] [--verbose]\n");
        return 2;
    }
    if (!options.seedGiven)
        options.seed = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    std::printf("varnolt_soak --seed %" PRIu64 " --transfers %d\n", options.seed, options.transfers);
    std::fflush(stdout);

    soak::Workspace workspace;
    if (!soak::OpenWorkspace(SOAK_STATE_DIR, &workspace)) return 1;
    const double start = soak::Seconds();
    soak::Tally tally;
    for (int index = options.onlyRun < 0 ? 0 : options.onlyRun;; ++index) {
        const soak::RunDraw run = soak::DrawRun(options.seed, index, options.transfers - tally.transfers);
        std::printf("%7.1f s  %s\n", soak::Seconds() - start, soak::DescribeRun(run).c_str());
        std::fflush(stdout);
        soak::ExecuteRun(run, workspace, options.com, options.verbose, tally);
        std::fflush(stdout);
        if (options.onlyRun >= 0 || tally.transfers >= options.transfers) break;
    }
    PrintTally(tally, options.seed, soak::Seconds() - start);
    soak::CloseWorkspace(workspace);
    const bool clean = tally.lost == 0 && tally.lostAfterCutLine == 0 && tally.duplicated == 0 &&
                       tally.reordered == 0 && tally.extraBytes == 0 &&
                       tally.changedOther == 0 && tally.boxes == 0 && tally.stalls == 0 && tally.failures.empty();
    std::printf("%s\n", clean ? "PASS" : "FAIL");
    return clean ? 0 : 1;
}
