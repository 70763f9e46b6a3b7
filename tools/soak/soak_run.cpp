#include "soak_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tools/termsim/fault_draw.h"
#include "tools/termsim/output_check.h"

namespace fs = std::filesystem;

namespace soak {

namespace {

constexpr int SAVE_MODES[] = {0, 1, 3, 4};   // every mode that writes a file
constexpr const char* MODE_NAMES[] = {"OVERWRITE", "APPEND", "KEYBOARD", "AUTO_FILE_NAME", "AUTO_APPEND"};
constexpr int POLL_MS = 10;
constexpr int STALL_MS = 25000;        // no byte from the host this long: something holds it up
constexpr int STUCK_MS = 90000;        // no record acknowledged and no transfer ended this long
constexpr int REPLY_MS = termsim::HOST_REPLY_MS;

int64_t MsToNs(int ms) { return static_cast<int64_t>(ms) * 1000000; }

// Faults that change a record's data in a way the host's checks pass.
bool IsUndetectableChange(termsim::FaultKind kind)
{
    return kind == termsim::FaultKind::NOISE_UNDETECTED || kind == termsim::FaultKind::DISGUISED;
}

class RunExecutor {
public:
    RunExecutor(const RunDraw& run, const Workspace& workspace, int com, bool verbose, Tally& tally)
        : run_(run), com_(com), verbose_(verbose), tally_(tally), port_(com),
          sim_(port_.Simulator()), exe_(workspace.exe)
    {
        dir_ = workspace.dir + "/run" + std::to_string(run.index);
        fs::create_directories(dir_);
        file_ = dir_ + "/out.txt";
        interruptionFired_.assign(run.transfers.size(), false);
    }

    void Execute()
    {
        if (!port_.Ok()) {
            Fail("no COM port");
            return;
        }
        sim_.SetReadHook([this] { OnRead(); });
        port_.StartSimulator();
        Launch();
        Drive();
        program_.Kill();
        if (port_.Vanished()) port_.Reappear();
        WaitLineDrained();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            Verify("end");
        }
        port_.StopSimulator();
        CountFaults();
        tally_.transfers += sim_.TransfersCompleted();
        ++tally_.runs;
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

private:
    // ---- The program --------------------------------------------------------

    void Launch()
    {
        e2e::CommandLine line;
        line.path = e2e::ToWindowsPath(run_.saveMode == 3 ? dir_ : file_);
        line.comPort = com_;
        line.baudIndex = run_.baudIndex;
        line.saveMode = run_.saveMode;
        line.addReturn = run_.addReturn;
        line.addLineFeed = run_.addLineFeed;
        line.showErrorMessages = 0;
        line.keepOnline = run_.keepOnline ? 1 : 0;
        line.pollingTime = 1;
        if (program_.Start(exe_, {line.Text()}, dir_, dir_ + "/program") != 0) Fail("cannot start wine64");
        ++tally_.launches;
        progressNs_ = e2e::NowNs();
    }

    // The run from the first start to its last transfer, with the drawn
    // interruptions; the program is started again whenever it has ended.
    void Drive()
    {
        int64_t restartAtNs = 0, reappearAtNs = 0, movedNs = e2e::NowNs();
        size_t lastReceived = 0;
        int lastMoved = 0;
        for (;;) {
            const int64_t now = e2e::NowNs();
            int current;
            int64_t startNs;
            bool finished;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                current = added_ - 1;
                startNs = transferStartNs_;
                finished = finished_;
            }
            const bool allDone = current + 1 == static_cast<int>(run_.transfers.size()) &&
                                 sim_.TransfersCompleted() == current + 1;
            if (current >= 0 && !interruptionFired_[static_cast<size_t>(current)]) {
                const TransferDraw& draw = run_.transfers[static_cast<size_t>(current)];
                if (draw.interruption != Interruption::NONE && now >= startNs + MsToNs(draw.atMs) &&
                    sim_.TransfersCompleted() == current) {
                    interruptionFired_[static_cast<size_t>(current)] = true;
                    Interrupt(draw, now, &restartAtNs, &reappearAtNs);
                }
            }
            if (port_.Vanished() && now >= reappearAtNs) {
                port_.Reappear();
                progressNs_ = now;
            }
            if (!program_.Running()) {
                if (allDone) return;
                if (now >= restartAtNs) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (run_.saveMode == 3) RemoveEmptyAutoFiles();
                    Launch();
                }
            } else if (finished) {
                return;   // keep-online: every transfer done, the host asks for more
            }
            const size_t received = sim_.ReceivedBytes().size();
            if (received != lastReceived) {
                lastReceived = received;
                progressNs_ = now;
            }
            if (trace_) Trace();
            // Bytes may flow while nothing gets through: the host asking
            // again and again for what never arrives whole.
            const int moved = sim_.RecordsAcknowledged() + sim_.TransfersCompleted();
            if (moved != lastMoved) {
                lastMoved = moved;
                movedNs = now;
            }
            if (now - movedNs > MsToNs(STUCK_MS)) {
                ++tally_.stalls;
                Fail("nothing acknowledged for " + std::to_string(STUCK_MS / 1000) + " s (transfer " +
                     std::to_string(current) + ")");
                PrintLastExchanges();
                return;
            }
            if (now - progressNs_ > MsToNs(STALL_MS)) {
                const std::string box = AnswerErrorBox();
                if (!box.empty()) {
                    ++tally_.boxes;
                    Fail("message box \"" + box + "\"");
                    progressNs_ = e2e::NowNs();
                    continue;
                }
                ++tally_.stalls;
                Fail("no byte from the program for " + std::to_string(STALL_MS / 1000) + " s (transfer " +
                     std::to_string(current) + ")");
                PrintLastExchanges();
                return;
            }
            usleep(POLL_MS * 1000);
        }
    }

    void Interrupt(const TransferDraw& draw, int64_t now, int64_t* restartAtNs, int64_t* reappearAtNs)
    {
        if (draw.interruption == Interruption::KILL && !program_.Running()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            interrupted_ = draw.interruption;
        }
        if (draw.interruption == Interruption::KILL) {
            program_.Kill();
            ++tally_.kills;
        } else {
            port_.Vanish();
            ++tally_.vanishes;
            *reappearAtNs = now + MsToNs(draw.vanishForMs);
        }
        *restartAtNs = now + MsToNs(draw.restartAfterMs);
        Note(draw.interruption == Interruption::KILL ? "killed" : "port pulled out");
    }

    // Every byte the program wrote has been taken by the simulator.
    void WaitLineDrained()
    {
        if (port_.MasterFd() < 0) return;
        sim_.WaitFor([this](const termsim::TerminalSimulator& sim) {
            int waiting = 0;
            ioctl(port_.MasterFd(), FIONREAD, &waiting);
            return waiting == 0 && sim.HostBytesHandled() == sim.ReceivedBytes().size();
        }, 5000);
    }

    // ---- At each "READ\r" (the simulator's thread) ---------------------------

    void OnRead()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Verify("READ");
        const int completed = sim_.TransfersCompleted();
        if (added_ == completed && added_ < static_cast<int>(run_.transfers.size())) {
            sim_.AddTransfer(run_.transfers[static_cast<size_t>(added_)].plan);
            ++added_;
            transferStartNs_ = e2e::NowNs();
        } else if (added_ == completed) {
            finished_ = true;
        }
    }

    // ---- The check -------------------------------------------------------------

    std::string Format(const std::string& data) const
    {
        return data + (run_.addReturn ? "\r" : "") + (run_.addLineFeed ? "\n" : "");
    }

    bool InjectedChangeAt(int transfer, int record) const
    {
        for (const termsim::InjectedFault& fault : sim_.Injected())
            if (fault.transfer == transfer && fault.record == record && IsUndetectableChange(fault.kind)) return true;
        return false;
    }

    bool CutLineIn(int transfer) const
    {
        for (const termsim::InjectedFault& fault : sim_.Injected())
            if (fault.transfer == transfer && fault.kind == termsim::FaultKind::NOISE_CUT) return true;
        return false;
    }

    // The output as it is now, against what it must hold: the records
    // acknowledged since the last check (with the data the host read), and
    // after a kill or a pulled port perhaps the one record the host wrote
    // but could not answer. Called with mutex_ held, while no session has
    // the file open for writing.
    void Verify(const char* when)
    {
        ++tally_.checks;
        for (const std::string& message : TakeErrorLogs(dir_)) ++tally_.sessionEnds[message];
        const std::vector<termsim::AcknowledgedRecord> acked = sim_.Acknowledged();
        std::vector<std::string> fresh;
        for (size_t i = seen_; i < acked.size(); ++i) {
            const termsim::AcknowledgedRecord& record = acked[i];
            fresh.push_back(Format(record.hostData));
            owner_[fresh.back()] = record.transfer;
            tally_.bytes += static_cast<long>(record.data.size());
            if (record.lineIntact && record.hostData != record.data) {
                if (InjectedChangeAt(record.transfer, record.record)) {
                    ++tally_.changedUndetectable;
                } else {
                    ++tally_.changedOther;
                    Fail("record " + std::to_string(record.record) + " of transfer " +
                         std::to_string(record.transfer) + " stored changed with no fault to explain it");
                }
            }
        }
        tally_.records += static_cast<long>(acked.size() - seen_);
        seen_ = acked.size();

        // One record the host may hold that the terminal was never told of:
        // written just before a kill or the loss of the port cut off its
        // answer, or stored with data the line changed past the checks while
        // its answer was lost (the terminal's next send, the true line, is then
        // no repetition to the host). It is the record the terminal sends next.
        std::vector<std::string> extras;
        std::vector<bool> extraChanged;
        std::string data;
        std::vector<std::string> versions;
        if (sim_.PendingRecord(&data, &versions)) {
            for (const std::string& version : versions) {
                if (version == data && interrupted_ == Interruption::NONE) continue;
                extras.push_back(Format(version));
                extraChanged.push_back(version != data);
            }
        }

        std::string actual;
        bool present = false;
        std::vector<std::string> before;   // records that were in the file already
        std::string allowedWithout;        // a second acceptable content when nothing new came
        bool mayBeAbsent = fresh.empty();
        if (run_.saveMode == 3) {
            actual = TakeAutoFiles();
            present = !actual.empty();
        } else {
            present = ReadIfPresent(file_, &actual);
            if (run_.saveMode == 0) {
                // Each session that opens the file empties it.
                if (fresh.empty()) allowedWithout = Concat(fileRecords_);
                fileRecords_.clear();
            } else {
                before = fileRecords_;
                mayBeAbsent = fresh.empty() && fileRecords_.empty();
            }
        }
        const std::string expected = Concat(before) + Concat(fresh);
        std::string matchedExtra;
        bool ok = actual == expected || (!present && mayBeAbsent) ||
                  (fresh.empty() && run_.saveMode == 0 && actual == allowedWithout);
        for (size_t i = 0; i < extras.size() && !ok; ++i) {
            if (actual != expected + extras[i]) continue;
            ok = true;
            matchedExtra = extras[i];
            if (extraChanged[i]) ++tally_.changedThenSentAgain;
            else if (interrupted_ == Interruption::KILL) ++tally_.repeatAfterKill;
            else ++tally_.repeatAfterVanish;
        }
        if (!matchedExtra.empty()) fresh.push_back(matchedExtra);
        if (!ok) Mismatch(when, before, fresh, actual);
        if (!ok) {
            fileRecords_ = {actual};   // go on from what is there
        } else if (run_.saveMode == 0) {
            fileRecords_ = {actual};
        } else if (run_.saveMode != 3) {
            fileRecords_ = before;
            fileRecords_.insert(fileRecords_.end(), fresh.begin(), fresh.end());
        }
        if (verbose_)
            std::printf("    check at %s: %zu new record(s)%s, %s\n", when, fresh.size(),
                        matchedExtra.empty() ? "" : " (one written before its answer was lost)", ok ? "ok" : "MISMATCH");
        interrupted_ = Interruption::NONE;
    }

    void Mismatch(const char* when, const std::vector<std::string>& before, const std::vector<std::string>& fresh,
                  const std::string& actual)
    {
        std::vector<std::string> expected = before;
        expected.insert(expected.end(), fresh.begin(), fresh.end());
        std::vector<std::string> known;
        for (const TransferDraw& draw : run_.transfers)
            for (const termsim::RecordSpec& spec : draw.plan.records) known.push_back(Format(spec.data));
        const termsim::OutputCheck check = termsim::CheckOutput(expected, actual, known);
        int lostToCut = 0;
        for (const std::string& record : check.lostRecords) {
            auto owner = owner_.find(record);
            if (owner != owner_.end() && CutLineIn(owner->second)) ++lostToCut;
        }
        tally_.lostAfterCutLine += lostToCut;
        tally_.lost += check.lost - lostToCut;
        tally_.duplicated += check.duplicated;
        tally_.reordered += check.reordered;
        tally_.extraBytes += static_cast<long>(check.extraBytes);
        char text[200];
        std::snprintf(text, sizeof text, "mismatch at %s: lost %d (%d after noise cut a line in two), duplicated %d, "
                      "reordered %d, extra bytes %zu", when, check.lost, lostToCut, check.duplicated, check.reordered,
                      check.extraBytes);
        // Where the two part, and a little before it.
        const std::string want = Concat(expected);
        size_t at = 0;
        while (at < want.size() && at < actual.size() && want[at] == actual[at]) ++at;
        const size_t from = at > 24 ? at - 24 : 0;
        Fail(std::string(text) + "; from byte " + std::to_string(from) + " expected \"" +
             Printable(want.substr(std::min(from, want.size())), 120) + "\", file \"" +
             Printable(actual.substr(std::min(from, actual.size())), 120) + "\"");
    }

    static std::string Concat(const std::vector<std::string>& records)
    {
        std::string all;
        for (const std::string& record : records) all += record;
        return all;
    }

    // AUTO_FILE_NAME: the files that hold records, in the order of their
    // names, taken away once read (names repeat every minute). An empty one
    // may still be open in a session; it stays until the program is gone.
    std::string TakeAutoFiles()
    {
        std::vector<fs::path> files;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir_, error))
            if (entry.path().extension() == ".TXT" && fs::file_size(entry.path(), error) > 0) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        std::string all;
        for (const fs::path& file : files) {
            all += e2e::ReadFile(file.string());
            fs::remove(file, error);
        }
        return all;
    }

    void RemoveEmptyAutoFiles()
    {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir_, error))
            if (entry.path().extension() == ".TXT" && fs::file_size(entry.path(), error) == 0) fs::remove(entry.path(), error);
    }

    void CountFaults()
    {
        for (const termsim::InjectedFault& fault : sim_.Injected()) {
            std::string name = termsim::FaultName(fault.kind);
            if (fault.kind == termsim::FaultKind::PAUSE_BEFORE || fault.kind == termsim::FaultKind::PAUSE_INSIDE)
                name += fault.value < REPLY_MS ? ", shorter than the reply time" : ", longer than the reply time";
            ++tally_.faults[name];
        }
    }

    // The line as it goes, host lines and terminal writes in time order,
    // from the given ones on.
    void PrintExchanges(size_t* fromCommand, size_t* fromSent) const
    {
        const std::vector<termsim::HostCommand> commands = sim_.Commands();
        const std::vector<termsim::SentChunk> sent = sim_.Sent();
        std::vector<std::pair<int64_t, std::string>> lines;
        for (; *fromCommand < commands.size(); ++*fromCommand)
            lines.emplace_back(commands[*fromCommand].timeNs, "host     " + Printable(commands[*fromCommand].text, 60));
        for (; *fromSent < sent.size(); ++*fromSent)
            lines.emplace_back(sent[*fromSent].timeNs, "terminal " + Printable(sent[*fromSent].bytes, 60));
        std::sort(lines.begin(), lines.end());
        for (const auto& [when, text] : lines) std::printf("      %10.3f %s\n", static_cast<double>(when) / 1e9, text.c_str());
    }

    void Trace() { PrintExchanges(&tracedCommands_, &tracedSent_); }

    // A stall shows what the line did last, so that it explains itself.
    void PrintLastExchanges() const
    {
        constexpr size_t LAST = 12;
        size_t fromCommand = sim_.Commands().size(), fromSent = sim_.Sent().size();
        fromCommand -= std::min(fromCommand, LAST);
        fromSent -= std::min(fromSent, LAST);
        PrintExchanges(&fromCommand, &fromSent);
    }

    void Note(const std::string& what)
    {
        if (verbose_) std::printf("    %s\n", what.c_str());
    }

    void Fail(const std::string& what)
    {
        const std::string text = "run " + std::to_string(run_.index) + ": " + what;
        tally_.failures.push_back(text);
        std::printf("    FAILURE %s\n", text.c_str());
    }

    const RunDraw& run_;
    const int com_;
    const bool verbose_;
    Tally& tally_;
    e2e::ComPort port_;
    termsim::TerminalSimulator& sim_;
    e2e::Program program_;
    std::string exe_, dir_, file_;
    std::vector<bool> interruptionFired_;
    int64_t progressNs_ = 0;
    bool trace_ = std::getenv("SOAK_TRACE") != nullptr;
    size_t tracedCommands_ = 0, tracedSent_ = 0;

    // Shared with the simulator's thread.
    std::mutex mutex_;
    int added_ = 0;
    int64_t transferStartNs_ = 0;
    bool finished_ = false;
    Interruption interrupted_ = Interruption::NONE;
    size_t seen_ = 0;
    std::vector<std::string> fileRecords_;         // what the file holds, as checked
    std::map<std::string, int> owner_;             // record as written -> its transfer
};

}  // namespace

RunDraw DrawRun(uint64_t seed, int index, int maxTransfers)
{
    termsim::SoakRandom random = termsim::DeriveRandom(seed, static_cast<uint64_t>(index));
    RunDraw run;
    run.index = index;
    run.keepOnline = random.Percent(50);
    run.saveMode = SAVE_MODES[random.Below(4)];
    // APPEND never keeps online (start-up clears the option), so its runs are
    // one session each; the other modes keep online half the time.
    if (run.saveMode == 1) run.keepOnline = false;
    run.addReturn = random.Percent(80) ? 1 : 0;
    run.addLineFeed = random.Percent(60) ? 1 : 0;
    run.baudIndex = random.Below(5);
    const int count = std::min(run.keepOnline ? random.Between(2, 6) : 1, std::max(1, maxTransfers));
    for (int i = 0; i < count; ++i) {
        TransferDraw draw;
        draw.plan = termsim::DrawTransfer(random, termsim::DrawOptions{});
        const int kind = random.Below(100);
        if (kind < 10) {
            draw.interruption = Interruption::KILL;
            draw.atMs = random.Below(2500);
            draw.restartAfterMs = random.Below(1500);
        } else if (kind < 16) {
            draw.interruption = Interruption::VANISH;
            draw.atMs = random.Below(2500);
            draw.vanishForMs = random.Between(200, 3000);
            draw.restartAfterMs = random.Below(2000);
        }
        run.transfers.push_back(draw);
    }
    return run;
}

std::string DescribeRun(const RunDraw& run)
{
    int records = 0, kills = 0, vanishes = 0;
    for (const TransferDraw& draw : run.transfers) {
        records += static_cast<int>(draw.plan.records.size());
        kills += draw.interruption == Interruption::KILL ? 1 : 0;
        vanishes += draw.interruption == Interruption::VANISH ? 1 : 0;
    }
    char text[200];
    std::snprintf(text, sizeof text, "run %d: %s, %s%s%s, %zu transfer(s), %d record(s)%s%s", run.index,
                  run.keepOnline ? "keep-online" : "one session", MODE_NAMES[run.saveMode],
                  run.addReturn ? " +CR" : "", run.addLineFeed ? " +LF" : "", run.transfers.size(), records,
                  kills ? ", a kill" : "", vanishes ? ", the port pulled out" : "");
    return text;
}

void ExecuteRun(const RunDraw& run, const Workspace& workspace, int com, bool verbose, Tally& tally)
{
    RunExecutor executor(run, workspace, com, verbose, tally);
    executor.Execute();
}

}  // namespace soak
