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
// With --telephony the program answers calls on "Modem - TAPI" instead (our
// telephony stand-in beside it, the call's line the simulator's port), and
// each session is one call: a transfer that completes, the caller hanging up
// mid-transfer (the terminal then carries on in the next call), or hanging
// up right after "OVER\r". Each mid-transfer hang-up must end its session
// as a lost connection (logged: messages are off), nothing else may end one,
// and every call, line and telephony session must have been let go when the
// program ends on Abort.
//
//   varnolt_endurance [--sessions N] [--seed S] [--com C] [--sample-every K] [--all-samples] [--telephony]
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "endurance_calls.h"
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
constexpr int MODEM_TAPI_KIND = 2;
constexpr int END_WAIT_MS = 15000;

enum class Kind { COMPLETION, TIMEOUT, ABSENT, VANISH, HANGUP_MID, HANGUP_AFTER_OVER };

struct Planned {
    Kind kind = Kind::COMPLETION;
    int delayMs = 0;   // ABSENT, VANISH: how long the port is away after the transfer;
                       // HANGUP_AFTER_OVER: how long after "OVER\r" the caller hangs up
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
    bool telephony = false;
};

Kind DrawKind(termsim::SoakRandom& random, bool telephony)
{
    const int roll = random.Below(100);
    if (telephony) return roll < 40 ? Kind::COMPLETION : roll < 70 ? Kind::HANGUP_MID : Kind::HANGUP_AFTER_OVER;
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
          random_(termsim::DeriveRandom(options.seed, 0)),
          hangUp_(workspace.dir + "/hang-up", workspace.dir + "/tapi.log")
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
        if (options_.telephony) {
            tapi_ = std::make_unique<e2e::TapiStandin>(workspace_.dir,
                                                        soak::CallWorld(options_.com, workspace_.dir + "/hang-up"));
            if (!tapi_->Ok()) return 1;
            line.interfaceKind = MODEM_TAPI_KIND;
        }
        if (program_.Start(workspace_.exe, {line.Text()}, workspace_.dir, workspace_.dir + "/program") != 0) return 1;
        const double start = soak::Seconds();
        bool drove = Drive();
        if (drove && tapi_) drove = EndOnAbort();
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
                if (next.kind == Kind::HANGUP_AFTER_OVER) {
                    hangUp_.At(now + static_cast<int64_t>(next.delayMs) * 1000000, LastOverNs());
                    ++overHangUps_;
                }
            }
            // The terminal fell silent inside the transfer: the caller hangs up.
            if (tapi_) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (hangUpAtAcks_ >= 0 && sim_.RecordsAcknowledged() >= hangUpAtAcks_) {
                        hangUpAtAcks_ = -1;
                        hangUp_.At(now, now);
                        ++midHangUps_;
                    }
                }
                hangUp_.Step(now);
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
                relinkAtNs = now + static_cast<int64_t>(away.delayMs) * 1000000;
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
        Planned next;
        next.kind = DrawKind(random_, options_.telephony);
        next.delayMs = options_.telephony ? random_.Between(0, 200) : random_.Between(2500, 4000);
        planned_.push_back(next);
        std::vector<std::string> records;
        for (int i = random_.Between(1, 4); i > 0; --i)
            records.push_back("s" + std::to_string(session) + "r" + std::to_string(i) + std::string(random_.Below(30), 'x'));
        termsim::TransferPlan plan = termsim::PlainTransfer(records);
        plan.resumeOnRead = true;
        // The terminal falls silent after more than half of its records (so
        // that it does not fall silent again in the next call, which goes on
        // with the rest), and the caller hangs up.
        if (next.kind == Kind::HANGUP_MID) {
            const int count = static_cast<int>(records.size());
            plan.silentAfterRecords = random_.Between(count / 2 + 1, count);
            hangUpAtAcks_ = sim_.RecordsAcknowledged() + plan.silentAfterRecords;
        }
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

    // Sessions ended so far: each completes, times out or loses its call. mutex_ held.
    int SessionsLocked() { return sim_.TransfersCompleted() + ends_["Time out!!"] + ends_["Connection lost!!"]; }

    // When the simulator last wrote "OVER\r".
    int64_t LastOverNs() const
    {
        const std::vector<termsim::SentChunk> sent = sim_.Sent();
        for (auto chunk = sent.rbegin(); chunk != sent.rend(); ++chunk)
            if (chunk->bytes.find("OVER\r") != std::string::npos) return chunk->timeNs;
        return e2e::NowNs();
    }

    // Telephony: the user ends the program with Abort, so that it lets go of
    // whatever it holds (a call may be up).
    bool EndOnAbort()
    {
        hangUp_.Cancel();
        int code = -1;
        if (e2e::PressButton(e2e::SESSION_CAPTION, e2e::BUTTON_ABORT) && program_.WaitExit(END_WAIT_MS, &code)) return true;
        failure_ = "the program did not end on Abort";
        return false;
    }

    // Telephony: how the sessions ended against what the caller did, and
    // whether everything was let go. True when all is as it should be.
    bool ReportCalls()
    {
        const soak::CallRelease release = soak::CheckCallsReleased(e2e::ReadFile(tapi_->LogPath()));
        const int lost = ends_["Connection lost!!"];
        std::printf("calls           %d answered, %d dropped; %d lines closed, %d telephony sessions shut down\n",
                    release.answered, release.dropped, release.lines, release.sessions);
        std::printf("hang-ups        %d mid-transfer (%d sessions lost the call), %d after \"OVER\\r\" (%d of them "
                    "while the program still held the call)\n",
                    midHangUps_, lost, overHangUps_, std::max(0, release.hungUp - midHangUps_));
        if (!release.problem.empty()) std::printf("not let go      %s\n", release.problem.c_str());
        bool endsAsCaused = lost == midHangUps_;
        for (const auto& [message, count] : ends_)
            endsAsCaused = endsAsCaused && (message == "Connection lost!!" || count == 0);
        if (!endsAsCaused) std::printf("sessions did not end as the caller made them end\n");
        return release.problem.empty() && endsAsCaused;
    }

    int Report(bool drove, double seconds)
    {
        const int completions = sim_.TransfersCompleted();
        const int timeouts = ends_["Time out!!"];
        std::printf("\nseed %" PRIu64 ", %.1f s\n", options_.seed, seconds);
        const int lost = ends_["Connection lost!!"];
        std::printf("sessions        %d: %d completed, %d ended by the time-out", completions + timeouts + lost,
                    completions, timeouts);
        if (tapi_) std::printf(", %d by the caller hanging up", lost);
        std::printf("\n");
        if (!tapi_)
            std::printf("                %d opened after waiting for an absent port, %d on a port pulled out and back\n",
                        absentWaits_, vanishedPorts_);
        for (const auto& [message, count] : ends_)
            if (message != "Time out!!" && (message != "Connection lost!!" || !tapi_) && count > 0) std::printf("  also logged: \"%s\" %d time(s)\n", message.c_str(), count);
        const bool callsRight = !tapi_ || ReportCalls();
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
        const bool pass = drove && exact && !grown && callsRight;
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
    std::unique_ptr<e2e::TapiStandin> tapi_;   // telephony: the stand-in beside the program
    soak::CallerHangUp hangUp_;
    int midHangUps_ = 0, overHangUps_ = 0;

    std::mutex mutex_;   // shared with the simulator's thread
    int reads_ = 0;
    std::vector<Planned> planned_;   // per transfer: how the session after it opens (telephony: how it ends)
    int hangUpAtAcks_ = -1;          // telephony: the caller hangs up once this many records are acknowledged
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
        else if (arg == "--telephony") options.telephony = true;
        else {
            std::fprintf(stderr, "usage: varnolt_endurance [--sessions N] [--seed S] [--com C] [--sample-every K] [--all-samples] "
                                 "[--telephony]\n");
            return 2;
        }
    }
    std::printf("varnolt_endurance --sessions %d --seed %" PRIu64 "%s\n", options.sessions, options.seed,
                options.telephony ? " --telephony" : "");
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
