// varnolt_endurance: one program kept online for many sessions in a row:
// transfers that complete, transfers that end in the host's time-out, the
// port absent when a session opens, and the port pulled out and plugged in
// again (a fresh device) between sessions. At the start of every few
// sessions, while the program waits for the terminal's answer to "READ\r",
// it samples the program:
//   handles       from the system's handle table (tools/soak/procstat.exe
//                 under the same Wine; Wine answers GetProcessHandleCount of
//                 another process with 0)
//   threads       Threads of /proc/<pid>/status (each Windows thread is one
//                 Linux thread; Wine's own server runs in another process)
//   descriptors   /proc/<pid>/fd (Wine keeps one for each open file and port)
//   resident KiB  VmRSS of /proc/<pid>/status
// and fails when the last samples have grown past the first beyond noise.
// The output file (automatic append) must hold every acknowledged record once.
//
//   varnolt_endurance [--sessions N] [--seed S] [--com C] [--sample-every K] [--all-samples]
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "process_stats.h"
#include "soak_support.h"
#include "tools/termsim/fault_draw.h"

namespace {

constexpr int DEFAULT_COM = 22;
constexpr int POLLING_TIME_S = 2;   // also the reply time of "READ\r": room for a sample
constexpr int STALL_MS = 30000;
constexpr int WINDOW = 3;           // samples at each end compared by their smallest value
// Growth of the smallest of the last samples over the smallest of the first
// that still counts as noise: a session holds a port, two events, a thread
// and a file at most, and Wine's heap moves a little.
constexpr long HANDLE_NOISE = 4, THREAD_NOISE = 1, DESCRIPTOR_NOISE = 4, RESIDENT_NOISE_KIB = 1536;

enum class Kind { COMPLETION, TIMEOUT, ABSENT, VANISH };

struct Planned {
    Kind kind = Kind::COMPLETION;
    int awayMs = 0;   // ABSENT, VANISH: how long the port is away after the transfer
};

constexpr int TIMEOUT_PAUSE_MS = 9000;   // past six reply times of 1 s

struct Sample {
    int session = 0;
    long handles = -1, threads = -1, descriptors = -1, residentKiB = -1;
};

struct Options {
    int sessions = 200;
    uint64_t seed = 1;
    int com = DEFAULT_COM;
    int sampleEvery = 10;
    bool allSamples = false;
};

Kind DrawKind(termsim::SoakRandom& random)
{
    const int roll = random.Below(100);
    return roll < 62 ? Kind::COMPLETION : roll < 74 ? Kind::TIMEOUT : roll < 88 ? Kind::ABSENT : Kind::VANISH;
}

long HandlesOf(const char* image)
{
    std::string out;
    if (e2e::RunWine({SOAK_PROCSTAT_EXE, image}, 20000, &out) != 0) return -1;
    const size_t at = out.find("handles=");
    return at == std::string::npos ? -1 : std::atol(out.c_str() + at + 8);
}

class Endurance {
public:
    Endurance(const Options& options, const soak::Workspace& workspace)
        : options_(options), workspace_(workspace), port_(options.com), sim_(port_.Simulator()),
          random_(termsim::DeriveRandom(options.seed, 0))
    {
    }

    int Run()
    {
        if (!port_.Ok()) return 1;
        sim_.SetReadHook([this] { OnRead(); });
        port_.StartSimulator();
        e2e::CommandLine line;
        line.path = e2e::ToWindowsPath(workspace_.dir + "/online.txt");
        line.comPort = options_.com;
        line.saveMode = 4;   // AUTO_APPEND: the file holds every session's records (APPEND does not keep online)
        line.showErrorMessages = 0;
        line.keepOnline = 1;
        line.pollingTime = POLLING_TIME_S;
        if (program_.Start(workspace_.exe, {line.Text()}, workspace_.dir, workspace_.dir + "/program") != 0) return 1;
        const double start = soak::Seconds();
        const bool drove = Drive();
        program_.Kill();
        if (port_.Vanished()) port_.Reappear();
        port_.StopSimulator();
        for (const std::string& message : soak::TakeErrorLogs(workspace_.dir)) ++ends_[message];
        return Report(drove, soak::Seconds() - start);
    }

private:
    // Carries out what must happen between sessions and watches that the
    // program stays up, until enough sessions have ended.
    bool Drive()
    {
        int handledCompletions = 0;
        int64_t relinkAtNs = -1, progressNs = e2e::NowNs(), logsReadNs = 0;
        Planned away;   // the port is to go once the program has let go of it
        size_t lastReceived = 0;
        for (;;) {
            const int64_t now = e2e::NowNs();
            if (!program_.Running()) {
                int code = -1;
                program_.WaitExit(0, &code);
                failure_ = "the program ended (exit code " + std::to_string(code) + ")";
                return false;
            }
            if (now - logsReadNs > 200000000) {
                logsReadNs = now;
                std::lock_guard<std::mutex> lock(mutex_);
                for (const std::string& message : soak::TakeErrorLogs(workspace_.dir)) ++ends_[message];
                if (SessionsLocked() >= options_.sessions) return true;
            }
            // After each completed transfer, the drawn way into the next session.
            const int completed = sim_.TransfersCompleted();
            if (completed > handledCompletions) {
                handledCompletions = completed;
                Planned next;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    next = planned_[static_cast<size_t>(completed) - 1];
                }
                if (next.kind == Kind::ABSENT || next.kind == Kind::VANISH) away = next;
            }
            // Once the program has closed the port after the transfer (it
            // pauses a second before opening it again), the port goes.
            if (away.kind != Kind::COMPLETION && !e2e::HoldsFile(program_.Pid(), port_.SlavePath())) {
                if (away.kind == Kind::ABSENT) {
                    port_.Unlink();
                    ++absentWaits_;
                } else {
                    port_.Vanish();
                    ++vanishedPorts_;
                }
                relinkAtNs = now + static_cast<int64_t>(away.awayMs) * 1000000;
                away = Planned{};
            }
            if (relinkAtNs >= 0 && now >= relinkAtNs) {
                if (port_.Vanished()) port_.Reappear();
                else port_.Relink();
                relinkAtNs = -1;
                progressNs = now;
            }
            const size_t received = sim_.ReceivedBytes().size();
            if (received != lastReceived) {
                lastReceived = received;
                progressNs = now;
            }
            if (now - progressNs > static_cast<int64_t>(STALL_MS) * 1000000) {
                const std::string box = soak::AnswerErrorBox();
                failure_ = box.empty() ? "no byte from the program for 30 s" : "message box \"" + box + "\"";
                return false;
            }
            usleep(10000);
        }
    }

    // Each "READ\r" opens a session: sample now and then, and hand the
    // terminal the session's transfer (or let it finish the one under way).
    void OnRead()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int session = ++reads_;
        if ((session == 1 || session % options_.sampleEvery == 0 || SessionsLocked() + 1 >= options_.sessions))
            TakeSample(session);
        if (sim_.TransfersCompleted() < static_cast<int>(planned_.size())) return;   // resumes after a time-out
        Planned next{DrawKind(random_), random_.Between(2500, 4000)};
        planned_.push_back(next);
        std::vector<std::string> records;
        for (int i = random_.Between(1, 4); i > 0; --i)
            records.push_back("s" + std::to_string(session) + "r" + std::to_string(i) + std::string(random_.Below(30), 'x'));
        termsim::TransferPlan plan = termsim::PlainTransfer(records);
        plan.resumeOnRead = true;
        // The terminal stops answering past the host's patience: six "NAK\r",
        // then the time-out; the next session takes the record.
        if (next.kind == Kind::TIMEOUT) plan.records.back().pauseBeforeMs = TIMEOUT_PAUSE_MS;
        sim_.AddTransfer(plan);
    }

    void TakeSample(int session)
    {
        const e2e::ProcessSample proc = e2e::SampleProcess(program_.Pid());
        Sample sample;
        sample.session = session;
        sample.handles = HandlesOf("Varnolt.exe");
        sample.threads = proc.threads;
        sample.descriptors = proc.descriptors;
        sample.residentKiB = proc.residentKiB;
        samples_.push_back(sample);
    }

    // Sessions ended so far: each completes or times out. mutex_ held.
    int SessionsLocked() { return sim_.TransfersCompleted() + ends_["Time out!!"]; }

    int Report(bool drove, double seconds)
    {
        const int completions = sim_.TransfersCompleted();
        const int timeouts = ends_["Time out!!"];
        std::printf("\nseed %" PRIu64 ", %.1f s\n", options_.seed, seconds);
        std::printf("sessions        %d: %d completed, %d ended by the time-out\n", completions + timeouts, completions,
                    timeouts);
        std::printf("                %d opened after waiting for an absent port, %d on a port pulled out and back\n",
                    absentWaits_, vanishedPorts_);
        for (const auto& [message, count] : ends_)
            if (message != "Time out!!") std::printf("  also logged: \"%s\" %d time(s)\n", message.c_str(), count);
        // The first sessions load what later ones reuse (code pages, the
        // error log's paths, Wine's caches): growth counts from after them.
        const int warmup = std::max(3, options_.sessions / 10);
        std::vector<Sample> steady;
        for (const Sample& sample : samples_)
            if (sample.session > warmup) steady.push_back(sample);
        std::printf("%-8s %8s %8s %8s %12s %14s\n", "sample", "session", "handles", "threads", "descriptors",
                    "resident KiB");
        for (size_t i = 0; i < samples_.size(); ++i) {
            const Sample& s = samples_[i];
            const bool first = !steady.empty() && s.session == steady.front().session;
            const bool last = !steady.empty() && s.session == steady.back().session && i + 1 == samples_.size();
            const char* label = i == 0 ? "warm-up" : first ? "first" : last ? "last" : "";
            if (i != 0 && !first && !last && !options_.allSamples) continue;
            std::printf("%-8s %8d %8ld %8ld %12ld %14ld\n", label, s.session, s.handles, s.threads, s.descriptors,
                        s.residentKiB);
        }
        bool grown = steady.size() < 2;
        if (steady.size() >= 2) {
            const size_t window = std::min<size_t>(WINDOW, steady.size() / 2);
            auto least = [&](size_t from, long Sample::*field) {
                long value = steady[from].*field;
                for (size_t i = from; i < from + window; ++i) value = std::min(value, steady[i].*field);
                return value;
            };
            const size_t tail = steady.size() - window;
            const struct {
                const char* name;
                long Sample::*field;
                long noise;
            } measures[] = {{"handles", &Sample::handles, HANDLE_NOISE},
                            {"threads", &Sample::threads, THREAD_NOISE},
                            {"descriptors", &Sample::descriptors, DESCRIPTOR_NOISE},
                            {"resident KiB", &Sample::residentKiB, RESIDENT_NOISE_KIB}};
            std::printf("growth after %d sessions of warm-up (least of the last %zu samples over least of the first %zu)\n",
                        warmup, window, window);
            for (const auto& m : measures) {
                const long first = least(0, m.field), last = least(tail, m.field);
                const bool bad = first < 0 || last < 0 || last - first > m.noise;
                grown = grown || bad;
                std::printf("  %-13s %+6ld (noise up to %+ld)%s\n", m.name, last - first, m.noise,
                            bad ? "  GROWN" : "");
            }
        }
        // Every acknowledged record, once, in order, and nothing else.
        std::string expected;
        for (const termsim::AcknowledgedRecord& record : sim_.Acknowledged()) expected += record.data + "\r\n";
        const std::string file = e2e::ReadFile(workspace_.dir + "/online.txt");
        const bool exact = file == expected;
        std::printf("output          %zu records acknowledged, file %s\n", sim_.Acknowledged().size(),
                    exact ? "holds each once, in order" : "DIFFERS");
        if (!failure_.empty()) std::printf("failure         %s\n", failure_.c_str());
        const bool pass = drove && exact && !grown;
        std::printf("%s\n", pass ? "PASS" : "FAIL");
        return pass ? 0 : 1;
    }

    const Options options_;
    const soak::Workspace& workspace_;
    e2e::ComPort port_;
    termsim::TerminalSimulator& sim_;
    e2e::Program program_;
    termsim::SoakRandom random_;
    int absentWaits_ = 0, vanishedPorts_ = 0;
    std::string failure_;

    std::mutex mutex_;   // shared with the simulator's thread
    int reads_ = 0;
    std::vector<Planned> planned_;   // per transfer: how the session after it opens
    std::vector<Sample> samples_;
    std::map<std::string, int> ends_;
};

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--sessions" && hasValue) options.sessions = std::atoi(argv[++i]);
        else if (arg == "--seed" && hasValue) options.seed = std::strtoull(argv[++i], nullptr, 0);
        else if (arg == "--com" && hasValue) options.com = std::atoi(argv[++i]);
        else if (arg == "--sample-every" && hasValue) options.sampleEvery = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--all-samples") options.allSamples = true;
        else {
            std::fprintf(stderr, "usage: varnolt_endurance [--sessions N] [--seed S] [--com C] [--sample-every K] [--all-samples]\n");
            return 2;
        }
    }
    std::printf("varnolt_endurance --sessions %d --seed %" PRIu64 "\n", options.sessions, options.seed);
    std::fflush(stdout);
    soak::Workspace workspace;
    if (!soak::OpenWorkspace(SOAK_STATE_DIR, &workspace)) return 1;
    int result;
    {
        Endurance endurance(options, workspace);
        result = endurance.Run();
    }
    soak::CloseWorkspace(workspace);
    return result;
}
