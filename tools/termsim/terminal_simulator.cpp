#include "terminal_simulator.h"

#include "record_encoding.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

namespace termsim {

const char* FaultName(FaultKind kind)
{
    switch (kind) {
    case FaultKind::BAD_CHECKSUM: return "bad checksum";
    case FaultKind::WRONG_SEQUENCE: return "wrong sequence value";
    case FaultKind::NOISE: return "noise, caught";
    case FaultKind::NOISE_UNDETECTED: return "noise the checksum cannot see";
    case FaultKind::NOISE_CUT: return "noise making a CR inside a line";
    case FaultKind::DISGUISED: return "data changed under its checksum";
    case FaultKind::DROPPED_ACK: return "host ACK lost";
    case FaultKind::REPEATED: return "record sent again after its ACK";
    case FaultKind::SPLIT: return "line split across writes";
    case FaultKind::JOINED: return "lines joined in one write";
    case FaultKind::PAUSE_BEFORE: return "pause before a line";
    case FaultKind::PAUSE_INSIDE: return "pause inside a line";
    case FaultKind::OVERLONG: return "over-long line";
    case FaultKind::SHORT: return "short line";
    case FaultKind::ANSWER_NOISE: return "noise on the terminal's ACK or OVER";
    case FaultKind::LATE_READ: return "READ answered late, starting over on each";
    case FaultKind::LATE_READ_IGNORING: return "READ answered late, ignored while sending";
    case FaultKind::GAVE_UP: return "terminal gave a transfer up";
    }
    return "?";
}

TransferPlan PlainTransfer(const std::vector<std::string>& records)
{
    TransferPlan plan;
    for (const std::string& data : records) {
        RecordSpec spec;
        spec.data = data;
        plan.records.push_back(spec);
    }
    return plan;
}

TerminalSimulator::~TerminalSimulator()
{
    Stop();
}

void TerminalSimulator::AddTransfer(const TransferPlan& plan)
{
    std::lock_guard<std::mutex> lock(mutex_);
    plans_.push_back(plan);
}

void TerminalSimulator::SetWhenExhausted(WhenExhausted what)
{
    std::lock_guard<std::mutex> lock(mutex_);
    whenExhausted_ = what;
}

void TerminalSimulator::SetCradle(const CradleOptions& options)
{
    front_.kind = FrontKind::CRADLE;
    StartCradle(front_.cradle, options);
}

void TerminalSimulator::SetModem(const ModemOptions& options)
{
    front_.kind = FrontKind::MODEM;
    StartModem(front_.modem, options);
}

// The front's view of the line: our end of it, the speed the host set on
// its port (a pseudo-terminal shows it on the master too) and the shared log.
HostLine TerminalSimulator::LineSeam()
{
    HostLine line;
    line.context = this;
    line.sendToHost = [](void* self, std::string_view bytes) {
        static_cast<TerminalSimulator*>(self)->WriteToLine(bytes);
    };
    line.hostSpeed = [](void* self) { return HostLineSpeed(static_cast<TerminalSimulator*>(self)->line_); };
    line.record = [](void* self, const FrontEvent& event) {
        auto* sim = static_cast<TerminalSimulator*>(self);
        std::lock_guard<std::mutex> lock(sim->mutex_);
        sim->frontEvents_.push_back(event);
        sim->Bump();
    };
    return line;
}

int TerminalSimulator::Start(intptr_t line)
{
    if (running_)
        return -1;
    line_ = OpenLineEnd(line);
    if (line_ == nullptr)
        return -1;
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return 0;
}

void TerminalSimulator::Stop()
{
    if (!running_)
        return;
    WakeLineEnd(line_);
    thread_.join();
    CloseLineEnd(line_);
    line_ = nullptr;
    running_ = false;
}

void TerminalSimulator::SetReadHook(std::function<void()> hook)
{
    readHook_ = std::move(hook);
}

void TerminalSimulator::SetLinePacing(bool paced)
{
    paced_ = paced;
}

void TerminalSimulator::Bump()
{
    ++generation_;
    changed_.notify_all();
}

void TerminalSimulator::LogFault(FaultKind kind, int record, int attempt, int value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    injected_.push_back(InjectedFault{kind, planNumber_, record, attempt, value, MonotonicRawNs()});
    Bump();
}

namespace {

// Nanoseconds one byte takes on a line at this speed (start, 8 data, stop bit).
int64_t ByteTimeNs(int speed)
{
    return speed > 0 ? 10LL * 1000000000LL / speed : 0;
}

void SleepUntilNs(int64_t when)
{
    const int64_t left = when - MonotonicRawNs();
    if (left <= 0)
        return;
    std::this_thread::sleep_for(std::chrono::nanoseconds(left));
}

}  // namespace

int64_t TerminalSimulator::NextDueNs() const
{
    int64_t due = FrontNextEventNs(front_);
    for (int64_t other : {pieceDueNs_, timerDueNs_, busyUntilNs_, GiveUpDueNs()})
        if (other >= 0 && (due < 0 || other < due))
            due = other;
    return due;
}

void TerminalSimulator::Run()
{
    const HostLine line = LineSeam();
    char buffer[4096];
    for (;;) {
        // Sleep until the host sends or something of our own is due.
        int timeoutMs = -1;
        const int64_t due = NextDueNs();
        if (due >= 0) {
            const int64_t left = due - MonotonicRawNs();
            timeoutMs = left <= 0 ? 0 : static_cast<int>((left + 999999) / 1000000);
        }
        const int count = ReadFromHost(line_, buffer, sizeof buffer, timeoutMs);
        const int64_t when = MonotonicRawNs();
        if (count < 0)
            return;
        const int64_t frontDue = FrontNextEventNs(front_);
        if (frontDue >= 0 && MonotonicRawNs() >= frontDue)
            FrontTick(front_, line, MonotonicRawNs());
        RunDueWork();
        if (count == 0)
            continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buffer, static_cast<size_t>(count));
            Bump();
        }
        // On a real line the last of these bytes arrives a byte time each later.
        if (paced_)
            SleepUntilNs(when + count * ByteTimeNs(HostLineSpeed(line_)));
        std::string toTerminal;
        FrontFromHost(front_, line, std::string_view(buffer, static_cast<size_t>(count)), when, toTerminal);
        TakeTerminalBytes(toTerminal, when);
        std::lock_guard<std::mutex> lock(mutex_);
        bytesHandled_ += static_cast<size_t>(count);
        Bump();
    }
}

// The pieces of a line and the terminal's own timers, when they are due.
void TerminalSimulator::RunDueWork()
{
    while (pieceDueNs_ >= 0 && MonotonicRawNs() >= pieceDueNs_) {
        const Piece piece = pieces_.front();
        pieces_.pop_front();
        SendNow(piece.bytes);
        // A line waits for its answer from its CR on, even while the
        // lines written with it are still going out.
        pieceBytesWritten_ += piece.bytes.size();
        while (!writing_.empty() && writing_.front().endsAt <= pieceBytesWritten_) {
            inFlight_.push_back(std::move(writing_.front()));
            writing_.pop_front();
        }
        if (pieces_.empty()) {
            pieceDueNs_ = -1;
        } else {
            pieceDueNs_ = MonotonicRawNs() + pieces_.front().gapMs * 1000000LL;
        }
    }
    if (busyUntilNs_ >= 0 && MonotonicRawNs() >= busyUntilNs_)
        busyUntilNs_ = -1;
    TakeHeldLines();
    const int64_t giveUp = GiveUpDueNs();
    if (giveUp >= 0 && MonotonicRawNs() >= giveUp)
        GiveUpTransfer();
    if (timerDueNs_ < 0 || MonotonicRawNs() < timerDueNs_)
        return;
    const Timer timer = timer_;
    timer_ = Timer::NONE;
    timerDueNs_ = -1;
    if (timer == Timer::RESEND && !inFlight_.empty()) {
        // The terminal gives up waiting for the answer it never got.
        inFlight_.pop_front();
        SendCurrent();
    } else if (timer == Timer::SEND_CURRENT) {
        SendCurrent();
    }
}

// Bytes that reached the terminal, gathered into lines.
void TerminalSimulator::TakeTerminalBytes(const std::string& bytes, int64_t when)
{
    for (char c : bytes) {
        if (partialLine_.empty())
            partialLineTime_ = when;
        partialLine_.push_back(c);
        if (c != LINE_END)
            continue;
        const std::string line = partialLine_;
        const int64_t lineTime = partialLineTime_;
        partialLine_.clear();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(HostCommand{line, lineTime});
            Bump();
        }
        HandleHostLine(line);
    }
}

void TerminalSimulator::SendNow(const std::string& bytes)
{
    lastExchangeNs_ = MonotonicRawNs();
    FrontFromTerminal(front_, LineSeam(), bytes);
}

void TerminalSimulator::WriteToLine(std::string_view bytes)
{
    // Paced: each byte is written when it would have crossed the line.
    const int64_t byteNs = paced_ ? ByteTimeNs(HostLineSpeed(line_)) : 0;
    int64_t slot = std::max(MonotonicRawNs(), lineFreeNs_);
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t step = byteNs > 0 ? 1 : bytes.size() - done;
        if (byteNs > 0)
            SleepUntilNs(slot + byteNs);
        const int n = WriteToHost(line_, bytes.data() + done, step);
        if (n < 0)
            break;
        done += static_cast<size_t>(n);
        slot += byteNs;
    }
    lineFreeNs_ = slot;
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.push_back(SentChunk{std::string(bytes.substr(0, done)), MonotonicRawNs()});
    Bump();
}

// A host line as it arrives. The read hook sees every "READ\r" then; the
// terminal takes the line now, or, while it is busy with a late answer or
// has older lines waiting, after them in order.
void TerminalSimulator::HandleHostLine(const std::string& line)
{
    if (line == "READ\r" && readHook_)
        readHook_();
    if (busyUntilNs_ < 0 && held_.empty()) {
        ActOnHostLine(line);
        return;
    }
    held_.push_back(line);
    TakeHeldLines();
}

// The lines that came while the terminal was busy, in order, once it is no
// longer busy and has finished the write it began then.
void TerminalSimulator::TakeHeldLines()
{
    if (takingHeld_)
        return;  // a write made while acting on one: the loop below goes on
    takingHeld_ = true;
    while (!held_.empty() && busyUntilNs_ < 0 && pieces_.empty()) {
        const std::string line = held_.front();
        held_.pop_front();
        ActOnHostLine(line);
    }
    takingHeld_ = false;
}

// The plan a "READ\r" would act on: the transfer in progress, else the next.
const TransferPlan* TerminalSimulator::PlanForRead()
{
    if (hasCurrentPlan_)
        return &current_;
    std::lock_guard<std::mutex> lock(mutex_);
    return plans_.empty() ? nullptr : &plans_.front();
}

void TerminalSimulator::ActOnHostLine(const std::string& line)
{
    if (line == "READ\r") {
        const TransferPlan* plan = PlanForRead();
        const bool sending = inTransfer_ && (!inFlight_.empty() || !pieces_.empty());
        if ((plan != nullptr && plan->ignoreReadWhileSending && sending) ||
            (hasCurrentPlan_ && current_.answer == ReadAnswer::SILENT)) {
            readDelayed_ = false;
            return;
        }
        if (plan != nullptr && plan->readDelayMs > 0 && !readDelayed_) {
            // Busy: this command and whatever follows it are read later.
            readDelayed_ = true;
            busyUntilNs_ = MonotonicRawNs() + plan->readDelayMs * 1000000LL;
            held_.push_front(line);
            LogFault(plan->ignoreReadWhileSending ? FaultKind::LATE_READ_IGNORING : FaultKind::LATE_READ, -1, 0,
                     plan->readDelayMs);
            return;
        }
        readDelayed_ = false;
        BeginTransfer(inTransfer_);
        return;
    }
    if (line == "ACK\r" || line == "NAK\r") {
        if (inTransfer_ && !silent_)
            HandleAnswer(line == "ACK\r");
    }
}

// A terminal that ignores "READ\r" while it sends needs a way out of a
// transfer whose host has gone: it stops waiting after GIVE_UP_MS.
int64_t TerminalSimulator::GiveUpDueNs() const
{
    if (!hasCurrentPlan_ || !current_.ignoreReadWhileSending || !inTransfer_ || inFlight_.empty())
        return -1;
    return lastExchangeNs_ + GIVE_UP_MS * 1000000LL;
}

// Lines waiting for answers, the rest of a write and the terminal's timer.
void TerminalSimulator::DropUnderWay()
{
    inFlight_.clear();
    pieces_.clear();
    writing_.clear();
    pieceBytesQueued_ = pieceBytesWritten_;
    pieceDueNs_ = -1;
    timer_ = Timer::NONE;
    timerDueNs_ = -1;
}

// What was not acknowledged stays for the next transfer's "READ\r".
void TerminalSimulator::GiveUpTransfer()
{
    inTransfer_ = false;
    DropUnderWay();
    LogFault(FaultKind::GAVE_UP, static_cast<int>(recordIndex_), 0, GIVE_UP_MS);
    PublishPending();
}

// One answer of the host, taken for the oldest line that waits for one. An
// answer while no whole line waits (the terminal is late, or still writing
// one) answers nothing the terminal knows of.
void TerminalSimulator::HandleAnswer(bool ack)
{
    lastExchangeNs_ = MonotonicRawNs();
    if (inFlight_.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++ignoredAnswers_;
        Bump();
        return;
    }
    InFlight line = inFlight_.front();
    inFlight_.pop_front();
    if (line.role == LineRole::STALE)
        return;  // sent past a refused line: refused as well, and sent again in turn
    if (line.role == LineRole::REPEAT) {
        if (!ack) {
            SendLine(line.bytes, {}, 0, {line});  // the repetition was refused: it goes out again
        } else if (inFlight_.empty()) {
            SendCurrent();
        }
        return;
    }
    const size_t index = line.record;
    if (ack && droppedAcksLeft_[index] > 0) {
        --droppedAcksLeft_[index];
        LogFault(FaultKind::DROPPED_ACK, static_cast<int>(index), attempts_[index] - 1, 0);
        inFlight_.push_front(line);  // still waiting for an answer it will never get
        const int resendMs = current_.records[index].resendAfterMs;
        if (resendMs > 0) {
            timer_ = Timer::RESEND;
            timerDueNs_ = MonotonicRawNs() + resendMs * 1000000LL;
        }
        return;
    }
    if (timer_ == Timer::RESEND) {
        timer_ = Timer::NONE;
        timerDueNs_ = -1;
    }
    if (!ack) {
        // Whatever went out after the refused line is refused too.
        for (InFlight& later : inFlight_)
            later.role = LineRole::STALE;
        for (InFlight& later : writing_)
            later.role = LineRole::STALE;
        SendCurrent();
        return;
    }
    const RecordSpec& spec = current_.records[index];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++recordsAcknowledged_;
        acknowledged_.push_back(AcknowledgedRecord{planNumber_, static_cast<int>(index), spec.data,
                                                   line.intact ? DataOfLine(line.bytes) : spec.data, line.intact,
                                                   MonotonicRawNs()});
        Bump();
    }
    ++acknowledgedInTransfer_;
    recordIndex_ = index + 1;
    PublishPending();
    if (repeatPending_[index]) {
        repeatPending_[index] = false;
        LogFault(FaultKind::REPEATED, static_cast<int>(index), attempts_[index] - 1, 0);
        InFlight repeat = line;
        repeat.role = LineRole::REPEAT;
        SendLine(repeat.bytes, {}, 0, {repeat});   // after a line of the same write still going out
        return;
    }
    if (inFlight_.empty() && pieces_.empty())
        SendCurrent();  // else the next line is out already (written with this one)
}

void TerminalSimulator::BeginTransfer(bool restart)
{
    if (!restart && !hasCurrentPlan_) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (plans_.empty()) {
            const WhenExhausted what = whenExhausted_;
            lock.unlock();
            if (what == WhenExhausted::OVER) {
                current_ = TransferPlan{};
                {
                    std::lock_guard<std::mutex> guard(mutex_);
                    ++transfersStarted_;
                    Bump();
                }
                FinishTransfer("");
            }
            return;
        }
        current_ = plans_.front();
        plans_.pop_front();
        ++planNumber_;
        lock.unlock();
        hasCurrentPlan_ = true;
        nakReadsLeft_ = current_.nakReads;
        starts_ = 0;
        recordIndex_ = 0;
        const size_t n = current_.records.size();
        checksumFaultsLeft_.assign(n, 0);
        sequenceFaultsLeft_.assign(n, 0);
        droppedAcksLeft_.assign(n, 0);
        overlongLeft_.assign(n, 0);
        shortLeft_.assign(n, 0);
        attempts_.assign(n, 0);
        repeatPending_.assign(n, false);
        pausedBefore_.assign(n, false);
        storable_.assign(n, std::vector<std::string>());
        for (size_t i = 0; i < n; ++i) {
            const RecordSpec& spec = current_.records[i];
            checksumFaultsLeft_[i] = spec.badChecksumAttempts;
            sequenceFaultsLeft_[i] = spec.wrongSequenceAttempts;
            droppedAcksLeft_[i] = spec.droppedAcks;
            overlongLeft_[i] = spec.overlongAttempts;
            shortLeft_[i] = spec.shortAttempts;
            repeatPending_[i] = spec.repeatAfterAck;
        }
    }
    if (current_.answer == ReadAnswer::SILENT)
        return;
    if (nakReadsLeft_ > 0) {
        --nakReadsLeft_;
        SendNow("NAK\r");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++transfersStarted_;
        Bump();
    }
    // Whatever was under way is dropped: the host asks anew.
    inTransfer_ = true;
    silent_ = false;
    DropUnderWay();
    if (!current_.resumeOnRead)
        recordIndex_ = 0;
    sequenceBase_ = recordIndex_;
    acknowledgedInTransfer_ = 0;
    PublishPending();
    if (current_.answer == ReadAnswer::OVER) {
        FinishTransfer("");
        return;
    }
    int flipped = 0;
    const std::string start = ApplyNoise("ACK\r", current_.startNoise, starts_++, &flipped);
    if (flipped > 0)
        LogFault(FaultKind::ANSWER_NOISE, -1, starts_ - 1, flipped);
    if (current_.joinAckWithFirst && recordIndex_ < current_.records.size()) {
        InFlight first = LineFor(recordIndex_);
        LogFault(FaultKind::JOINED, static_cast<int>(recordIndex_), attempts_[recordIndex_] - 1, 0);
        SendNow(start + first.bytes);
        inFlight_.push_back(first);
        return;
    }
    SendNow(start);
    SendCurrent();
}

uint8_t TerminalSimulator::SequenceOf(size_t index) const
{
    return static_cast<uint8_t>((current_.firstSequence + static_cast<int>(index - sequenceBase_)) % 10);
}

// The bytes of record index as they go out now, spending one of each fault
// still planned for it.
TerminalSimulator::InFlight TerminalSimulator::LineFor(size_t index)
{
    const RecordSpec& spec = current_.records[index];
    const int attempt = attempts_[index]++;
    const int record = static_cast<int>(index);
    InFlight line;
    line.record = index;
    if (!spec.rawLine.empty()) {
        line.bytes = spec.rawLine;
        line.intact = false;
        return line;
    }
    const uint8_t sequence = SequenceOf(index);
    const std::string encoded = EncodeRecordLine(sequence, spec.data);
    uint8_t carried = sequence;
    if (sequenceFaultsLeft_[index] > 0) {
        --sequenceFaultsLeft_[index];
        carried = static_cast<uint8_t>((sequence + spec.wrongSequenceOffset) % 10);
        LogFault(FaultKind::WRONG_SEQUENCE, record, attempt, spec.wrongSequenceOffset);
    }
    bool corrupt = false;
    if (checksumFaultsLeft_[index] > 0) {
        --checksumFaultsLeft_[index];
        corrupt = true;
        LogFault(FaultKind::BAD_CHECKSUM, record, attempt, 0);
    }
    std::string bytes = EncodeRecordLine(carried, spec.data, corrupt);
    if (attempt == 0 && !spec.disguisedData.empty()) {
        bytes = DisguisedLine(carried, spec.data, spec.disguisedData);
        LogFault(FaultKind::DISGUISED, record, attempt, 0);
    }
    if (overlongLeft_[index] > 0) {
        --overlongLeft_[index];
        bytes = MakeOverlong(bytes);
        LogFault(FaultKind::OVERLONG, record, attempt, static_cast<int>(bytes.size()));
    }
    if (shortLeft_[index] > 0) {
        --shortLeft_[index];
        bytes = MakeShort(bytes, spec.shortKeep);
        LogFault(FaultKind::SHORT, record, attempt, static_cast<int>(bytes.size()));
    }
    int flipped = 0;
    bytes = ApplyNoise(bytes, spec.noise, attempt, &flipped);
    const LineVerdict verdict = JudgeLine(bytes, encoded, sequence);
    if (flipped > 0) {
        const FaultKind kind = verdict == LineVerdict::CUT            ? FaultKind::NOISE_CUT
                               : verdict == LineVerdict::UNDETECTABLE ? FaultKind::NOISE_UNDETECTED
                                                                      : FaultKind::NOISE;
        LogFault(kind, record, attempt, flipped);
    }
    line.bytes = bytes;
    line.intact = verdict == LineVerdict::INTACT || verdict == LineVerdict::UNDETECTABLE;
    if (line.intact) {
        std::vector<std::string>& versions = storable_[index];
        const std::string read = DataOfLine(bytes);
        if (std::find(versions.begin(), versions.end(), read) == versions.end()) versions.push_back(read);
    }
    PublishPending();
    return line;
}

// The terminal's next step: the first record not yet acknowledged (again),
// or the end of the transfer.
void TerminalSimulator::SendCurrent()
{
    if (current_.silentAfterRecords >= 0 && acknowledgedInTransfer_ >= current_.silentAfterRecords) {
        silent_ = true;
        inFlight_.clear();
        return;
    }
    if (recordIndex_ >= current_.records.size()) {
        FinishTransfer("");
        return;
    }
    const size_t index = recordIndex_;
    const RecordSpec& spec = current_.records[index];
    if (spec.pauseBeforeMs > 0 && !pausedBefore_[index]) {
        pausedBefore_[index] = true;
        LogFault(FaultKind::PAUSE_BEFORE, static_cast<int>(index), attempts_[index], spec.pauseBeforeMs);
        timer_ = Timer::SEND_CURRENT;
        timerDueNs_ = MonotonicRawNs() + spec.pauseBeforeMs * 1000000LL;
        return;
    }
    const bool firstSend = attempts_[index] == 0;
    std::vector<InFlight> lines{LineFor(index)};
    std::string bytes = lines[0].bytes;
    if (spec.joinWithNext) {
        LogFault(FaultKind::JOINED, static_cast<int>(index), attempts_[index] - 1, 0);
        if (index + 1 >= current_.records.size()) {
            // The last record and the end of the transfer in one write.
            FinishTransfer(bytes);
            return;
        }
        lines.push_back(LineFor(index + 1));
        bytes += lines[1].bytes;
    }
    std::vector<size_t> cuts;
    int gapMs = 0;
    if (firstSend && spec.pauseInsideMs > 0 && spec.pauseInsideAt > 0 && spec.pauseInsideAt < bytes.size()) {
        cuts.push_back(spec.pauseInsideAt);
        gapMs = spec.pauseInsideMs;
        LogFault(FaultKind::PAUSE_INSIDE, static_cast<int>(index), 0, gapMs);
    } else if (spec.splitChunk > 0 && spec.splitChunk < bytes.size()) {
        for (size_t at = spec.splitChunk; at < bytes.size(); at += spec.splitChunk)
            cuts.push_back(at);
        gapMs = spec.splitGapMs;
        LogFault(FaultKind::SPLIT, static_cast<int>(index), attempts_[index] - 1, static_cast<int>(cuts.size() + 1));
    }
    SendLine(bytes, cuts, gapMs, lines);
}

// Writes a line whole, or in pieces with a pause before each further piece;
// each of its lines waits for its answer once its CR is out. Pieces still
// going out of an earlier write go first.
void TerminalSimulator::SendLine(const std::string& bytes, std::vector<size_t> cuts, int gapMs,
                                 std::vector<InFlight> lines)
{
    const bool idle = pieces_.empty();
    cuts.push_back(bytes.size());
    size_t from = 0;
    for (size_t cut : cuts) {
        pieces_.push_back(Piece{bytes.substr(from, cut - from), from == 0 ? 0 : gapMs});
        from = cut;
    }
    for (InFlight& line : lines) {
        pieceBytesQueued_ += line.bytes.size();
        line.endsAt = pieceBytesQueued_;
        writing_.push_back(std::move(line));
    }
    if (idle)
        pieceDueNs_ = MonotonicRawNs();
    RunDueWork();
}

void TerminalSimulator::FinishTransfer(const std::string& prefix)
{
    int flipped = 0;
    const std::string over = ApplyNoise("OVER\r", current_.endNoise, 0, &flipped);
    if (flipped > 0)
        LogFault(FaultKind::ANSWER_NOISE, -1, 0, flipped);
    SendNow(prefix + over + current_.afterOver);
    inTransfer_ = false;
    inFlight_.clear();
    hasCurrentPlan_ = false;
    timer_ = Timer::NONE;
    timerDueNs_ = -1;
    PublishPending();
    std::lock_guard<std::mutex> lock(mutex_);
    ++transfersCompleted_;
    Bump();
}

// What a test may ask of the record in progress, from its own thread.
void TerminalSimulator::PublishPending()
{
    const bool pending = inTransfer_ && recordIndex_ < current_.records.size() && attempts_[recordIndex_] > 0;
    std::lock_guard<std::mutex> lock(mutex_);
    hasPending_ = pending;
    pendingData_ = pending ? current_.records[recordIndex_].data : std::string();
    pendingHostData_ = pending ? storable_[recordIndex_] : std::vector<std::string>();
}

std::vector<HostCommand> TerminalSimulator::Commands() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::string TerminalSimulator::ReceivedBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<SentChunk> TerminalSimulator::Sent() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

int TerminalSimulator::CountCommands(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const HostCommand& command : commands_)
        count += command.text == text ? 1 : 0;
    return count;
}

int TerminalSimulator::RecordsAcknowledged() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return recordsAcknowledged_;
}

int TerminalSimulator::TransfersCompleted() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transfersCompleted_;
}

int TerminalSimulator::TransfersStarted() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return transfersStarted_;
}

std::vector<FrontEvent> TerminalSimulator::FrontEvents() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frontEvents_;
}

std::vector<AcknowledgedRecord> TerminalSimulator::Acknowledged() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return acknowledged_;
}

std::vector<InjectedFault> TerminalSimulator::Injected() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return injected_;
}

int TerminalSimulator::IgnoredAnswers() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ignoredAnswers_;
}

bool TerminalSimulator::PendingRecord(std::string* data, std::vector<std::string>* hostData) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (data != nullptr)
        *data = pendingData_;
    if (hostData != nullptr)
        *hostData = pendingHostData_;
    return hasPending_;
}

size_t TerminalSimulator::HostBytesHandled() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return bytesHandled_;
}

bool TerminalSimulator::WaitFor(const std::function<bool(const TerminalSimulator&)>& condition,
                                int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen = generation_;
        }
        if (condition(*this))
            return true;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [&] { return generation_ != seen; })) {
            lock.unlock();
            return condition(*this);
        }
    }
}

bool TerminalSimulator::WaitForCommands(size_t count, int timeoutMs) const
{
    return WaitFor([count](const TerminalSimulator& sim) { return sim.Commands().size() >= count; },
                   timeoutMs);
}

bool TerminalSimulator::WaitForCommand(const std::string& text, int count, int timeoutMs) const
{
    return WaitFor([&](const TerminalSimulator& sim) { return sim.CountCommands(text) >= count; },
                   timeoutMs);
}

bool TerminalSimulator::WaitForTransfers(int completed, int timeoutMs) const
{
    return WaitFor([completed](const TerminalSimulator& sim) { return sim.TransfersCompleted() >= completed; },
                   timeoutMs);
}

}  // namespace termsim
