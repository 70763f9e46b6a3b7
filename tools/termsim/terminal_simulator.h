// The terminal side of the record transfer, played on our end of a serial
// line (sim_line.h): the master of a pseudo-terminal whose slave is a Wine
// COM port, or a COM port of its own under Windows.
//
// The simulator answers "READ\r" with "ACK\r", sends its records one line at
// a time, resends a record on "NAK\r", goes on to the next on "ACK\r" and ends
// with "OVER\r". Every byte the host sends is logged with a CLOCK_MONOTONIC_RAW
// time stamp (the clock behind Wine's performance counter), and the host's
// commands are offered parsed, so tests wait on conditions with a deadline
// instead of sleeping. Faults are injected on request through TransferPlan.
//
// The terminal takes each answer of the host for the oldest of its lines
// still waiting for one, as a terminal on a serial line must. Besides the
// bytes it keeps what a test needs to judge the host: which records were
// answered "ACK\r" (and with what data the host read the answered line), and
// which faults actually went out.
//
// A front (line_front.h) may stand between the line and the terminal: an
// infrared cradle or a modem. It sees every byte both ways; Commands() are
// then the lines that reached the terminal, FrontEvents() what the front saw.
#pragma once

#include "line_faults.h"
#include "line_front.h"
#include "sim_line.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace termsim {

// One record as the simulator sends it, with the faults that apply to it.
// Counted faults ("the first n sends") are spent one per send of the record.
struct RecordSpec {
    std::string data;              // data bytes (any value but CR)
    int badChecksumAttempts = 0;   // the first n sends carry a checksum one too high
    int wrongSequenceAttempts = 0; // the first n sends carry another sequence value:
    int wrongSequenceOffset = 1;   // ... this much (1 to 9) past the right one
    bool repeatAfterAck = false;   // once acknowledged, send the same line once more
    size_t splitChunk = 0;         // > 0: write the line in pieces of this many bytes
    int splitGapMs = 0;            // pause between the pieces
    bool joinWithNext = false;     // write this line and the next line in one write,
                                   // without waiting for the host's answer in between
    std::string rawLine;           // non-empty: sent verbatim instead of the encoded
                                   // line (add the CR yourself), e.g. an over-long line
    std::vector<BitFlip> noise;    // bits the line flips, per send
    int droppedAcks = 0;           // the first n "ACK\r" for this record never reach the terminal
    int resendAfterMs = 0;         // after a lost "ACK\r": send the line again this much later
                                   // (0: only when the host asks with "NAK\r")
    int overlongAttempts = 0;      // the first n sends carry junk past the host's line buffer
    int shortAttempts = 0;         // the first n sends lose all but their first shortKeep bytes and the CR
    size_t shortKeep = 2;
    int pauseBeforeMs = 0;         // the first send comes this much later than it could
    int pauseInsideMs = 0;         // the first send stops this long after pauseInsideAt bytes
    size_t pauseInsideAt = 0;
    std::string disguisedData;     // non-empty: the first send carries these data bytes under the
                                   // checksum of the true data (a change the checksum cannot see
                                   // when the sums agree)
};

// How the simulator answers one "READ\r" and what it sends for it.
enum class ReadAnswer {
    ACK,     // "ACK\r", then the records, then "OVER\r"
    SILENT,  // never answer any "READ\r" of this transfer
    OVER,    // "OVER\r" at once (nothing stored)
};

struct TransferPlan {
    std::vector<RecordSpec> records;
    ReadAnswer answer = ReadAnswer::ACK;
    int nakReads = 0;            // answer the first n "READ\r" with "NAK\r"
    bool joinAckWithFirst = false; // "ACK\r" and record 0 in one write
    int silentAfterRecords = -1;   // >= 0: after this many records were acknowledged,
                                   // fall silent (no more records, no "OVER\r")
    std::string afterOver;         // bytes written in the same write after "OVER\r"
    int firstSequence = 0;         // sequence value of the first record
    bool resumeOnRead = false;     // a "READ\r" during the transfer goes on with the first record
                                   // not yet acknowledged, numbered from firstSequence again (a
                                   // terminal keeps what was not acknowledged for the next session)
    std::vector<BitFlip> startNoise; // bits flipped in the "ACK\r" that starts the transfer (attempt:
                                     // which start of this transfer, from 0)
    std::vector<BitFlip> endNoise;   // bits flipped in its "OVER\r"
    int readDelayMs = 0;           // > 0: each "READ\r" this transfer acts on is answered this much later;
                                   // the terminal reads nothing meanwhile (the host's lines wait in its
                                   // input and are taken in order afterwards, once its write is out)
    bool ignoreReadWhileSending = false; // a "READ\r" that comes while a line waits for its answer (or
                                   // is being written) is ignored instead of starting over; a line that
                                   // waits GIVE_UP_MS with no answer ends the transfer unfinished
};

// How long a terminal that ignores "READ\r" while sending waits for an
// answer before it gives the transfer up (clear of the host's reply times).
constexpr int GIVE_UP_MS = 4500;

// Plain records with the default (fault-free) behaviour.
TransferPlan PlainTransfer(const std::vector<std::string>& records);

// What to do with a "READ\r" that arrives when every planned transfer is done.
enum class WhenExhausted { SILENT, OVER };

// A command line ("READ\r", "ACK\r", "NAK\r" or anything else up to a CR) the
// host sent, with the time of its first byte.
struct HostCommand {
    std::string text;   // including the final CR
    int64_t timeNs = 0; // CLOCK_MONOTONIC_RAW of the first byte
};

// One write the simulator made.
struct SentChunk {
    std::string bytes;
    int64_t timeNs = 0;
};

// A fault as the simulator injected it (planned faults that never came to be
// sent are not logged).
enum class FaultKind {
    BAD_CHECKSUM,      // a checksum one too high: the host must refuse
    WRONG_SEQUENCE,    // another record's sequence value: the host must refuse
    NOISE,             // bits flipped in a record line, caught by the checks (or its CR lost)
    NOISE_UNDETECTED,  // bits flipped, and the line still passes the checks
    NOISE_CUT,         // a flip made a CR inside the line: the host sees two lines, answers both
    DISGUISED,         // data changed under the true checksum (the sums agree, or 13 goes as 14)
    DROPPED_ACK,       // an "ACK\r" of the host that never reached the terminal
    REPEATED,          // an acknowledged line sent once more
    SPLIT,             // a line written in pieces
    JOINED,            // two lines, or an answer and a line, in one write
    PAUSE_BEFORE,      // the terminal late with a line (value: ms)
    PAUSE_INSIDE,      // the terminal stopping inside a line (value: ms)
    OVERLONG,          // a line longer than the host's line buffer
    SHORT,             // a line cut short
    ANSWER_NOISE,      // bits flipped in the terminal's own "ACK\r" or "OVER\r"
    LATE_READ,         // a "READ\r" answered late by a terminal that starts over on each (value: ms)
    LATE_READ_IGNORING, // the same by a terminal that ignores "READ\r" while it sends
    GAVE_UP,           // the terminal stopped waiting for an answer (record: the one it waited on)
};
const char* FaultName(FaultKind kind);

struct InjectedFault {
    FaultKind kind = FaultKind::NOISE;
    int transfer = 0;   // the plan, counted from 0
    int record = -1;    // the record of the plan; -1 for the transfer's own lines
    int attempt = 0;    // which send of the record
    int value = 0;      // a pause's length in ms, or the bits flipped
    int64_t timeNs = 0;
};

// A record that the host answered "ACK\r" and the terminal took that answer
// for, in the order of the answers. The answer is matched to the oldest line
// still waiting for one, as the terminal does.
struct AcknowledgedRecord {
    int transfer = 0;
    int record = 0;
    std::string data;        // the record's data bytes
    std::string hostData;    // the data bytes of the answered line as the host read them: differs
                             // from data after a change that the checks cannot see
    bool lineIntact = true;  // false: that line could not have passed the host's checks, so the
                             // answer was meant for another line (one the noise cut in two)
    int64_t timeNs = 0;
};

class TerminalSimulator {
public:
    TerminalSimulator() = default;
    ~TerminalSimulator();
    TerminalSimulator(const TerminalSimulator&) = delete;
    TerminalSimulator& operator=(const TerminalSimulator&) = delete;

    // Plans: each "READ\r" that arrives while idle starts the next planned
    // transfer. A "READ\r" that arrives during a transfer restarts it from its
    // first record, or with resumeOnRead from the first one not acknowledged
    // (faults already spent stay spent). Set before Start() or add more while
    // running.
    void AddTransfer(const TransferPlan& plan);
    void SetWhenExhausted(WhenExhausted what);

    // Called on the simulator's thread for each "READ\r", before it is
    // answered: a test may look at the output and add the next plan there.
    // Set before Start().
    void SetReadHook(std::function<void()> hook);

    // Writes the terminal's bytes no faster than the host's line rate (10 bit
    // times a byte at the speed set on the line), and acts on the host's
    // bytes only once they could have crossed the line. Set before Start().
    void SetLinePacing(bool paced);

    // Puts a cradle or a modem in front of the terminal. Call before Start().
    void SetCradle(const CradleOptions& options);
    void SetModem(const ModemOptions& options);

    // Serves the line (a descriptor, or a COM port handle under Windows) on
    // its own thread until Stop(). The line is not owned. Returns 0, or -1
    // when already running or the line end cannot be made.
    int Start(intptr_t line);
    void Stop();

    // Thread-safe views of what happened so far.
    std::vector<HostCommand> Commands() const;   // parsed host lines
    std::string ReceivedBytes() const;           // every byte the host sent
    std::vector<SentChunk> Sent() const;         // every write of the simulator
    int CountCommands(const std::string& text) const;
    int RecordsAcknowledged() const;  // records taken by "ACK\r" (duplicates excluded)
    int TransfersCompleted() const;   // "OVER\r" lines sent
    int TransfersStarted() const;     // "READ\r" answered with "ACK\r" or "OVER\r"
    std::vector<FrontEvent> FrontEvents() const;  // what the cradle or modem saw and said
    std::vector<AcknowledgedRecord> Acknowledged() const;
    std::vector<InjectedFault> Injected() const;
    int IgnoredAnswers() const;  // answers that came while no line of the terminal waited for one
    // The first record of the transfer in progress not yet acknowledged: its
    // data, and the data of each line sent for it that the host could have
    // stored (more than one when a line changed on the way yet passed the
    // host's checks). False when no such record has been sent.
    bool PendingRecord(std::string* data, std::vector<std::string>* hostData) const;
    // Host bytes the front and the terminal have acted on (answers written,
    // events logged): after a wait for it, the host may change its speed.
    size_t HostBytesHandled() const;

    // Waits until the condition holds or the time-out (ms) passes; returns
    // whether it holds. The condition is evaluated again each time something
    // happens (outside the simulator's lock, so it may call the views above).
    bool WaitFor(const std::function<bool(const TerminalSimulator&)>& condition, int timeoutMs) const;
    bool WaitForCommands(size_t count, int timeoutMs) const;
    bool WaitForCommand(const std::string& text, int count, int timeoutMs) const;
    bool WaitForTransfers(int completed, int timeoutMs) const;

private:
    // A line of the terminal that waits for the host's answer.
    enum class LineRole { RECORD, REPEAT, STALE };
    struct InFlight {
        LineRole role = LineRole::RECORD;
        size_t record = 0;
        std::string bytes;   // as sent
        bool intact = true;  // could pass the host's checks as its record
        uint64_t endsAt = 0; // while written in pieces: piece bytes written once its CR is out
    };
    enum class Timer { NONE, SEND_CURRENT, RESEND };
    struct Piece {
        std::string bytes;
        int gapMs = 0;  // pause before this piece
    };

    void Run();
    void RunDueWork();
    int64_t NextDueNs() const;
    void TakeTerminalBytes(const std::string& bytes, int64_t when);
    void HandleHostLine(const std::string& line);
    void ActOnHostLine(const std::string& line);
    void TakeHeldLines();
    const TransferPlan* PlanForRead();
    void GiveUpTransfer();
    void DropUnderWay();
    int64_t GiveUpDueNs() const;
    void HandleAnswer(bool ack);
    void SendNow(const std::string& bytes);  // the terminal's bytes, through the front
    void WriteToLine(std::string_view bytes);
    HostLine LineSeam();
    uint8_t SequenceOf(size_t index) const;
    InFlight LineFor(size_t index);
    void SendCurrent();
    void SendLine(const std::string& bytes, std::vector<size_t> cuts, int gapMs, std::vector<InFlight> lines);
    void FinishTransfer(const std::string& prefix);
    void BeginTransfer(bool restart);
    void LogFault(FaultKind kind, int record, int attempt, int value);
    void PublishPending();
    void Bump();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::thread thread_;
    LineEnd* line_ = nullptr;
    bool running_ = false;
    std::function<void()> readHook_;
    bool paced_ = false;
    int64_t lineFreeNs_ = 0;  // when the terminal's last paced byte has crossed the line

    // Shared log, guarded by mutex_.
    std::vector<HostCommand> commands_;
    std::string received_;
    std::vector<SentChunk> sent_;
    int recordsAcknowledged_ = 0;
    int transfersCompleted_ = 0;
    int transfersStarted_ = 0;
    std::vector<FrontEvent> frontEvents_;
    size_t bytesHandled_ = 0;
    std::vector<AcknowledgedRecord> acknowledged_;
    std::vector<InjectedFault> injected_;
    int ignoredAnswers_ = 0;
    bool hasPending_ = false;
    std::string pendingData_;
    std::vector<std::string> pendingHostData_;
    uint64_t generation_ = 0;  // bumped on every logged event, wakes WaitFor

    LineFront front_;  // simulator thread once started

    // Plans (guarded) and the state of the transfer in progress (simulator thread).
    std::deque<TransferPlan> plans_;
    WhenExhausted whenExhausted_ = WhenExhausted::SILENT;
    bool inTransfer_ = false;
    bool hasCurrentPlan_ = false;
    TransferPlan current_;
    int planNumber_ = -1;
    std::vector<int> checksumFaultsLeft_;
    std::vector<int> sequenceFaultsLeft_;
    std::vector<int> droppedAcksLeft_;
    std::vector<int> overlongLeft_;
    std::vector<int> shortLeft_;
    std::vector<int> attempts_;
    std::vector<bool> repeatPending_;
    std::vector<bool> pausedBefore_;
    std::vector<std::vector<std::string>> storable_;  // per record: data of its lines the host could store
    int nakReadsLeft_ = 0;
    int starts_ = 0;                // "ACK\r" starts of this transfer
    size_t recordIndex_ = 0;        // first record not yet acknowledged
    size_t sequenceBase_ = 0;       // the record that carries firstSequence in this session
    std::deque<InFlight> inFlight_; // lines sent whole, oldest first, each owed one answer
    std::deque<Piece> pieces_;      // the rest of a line being written
    int64_t pieceDueNs_ = -1;
    std::deque<InFlight> writing_;  // the lines the pieces make up, each owed its answer once its CR is out
    uint64_t pieceBytesQueued_ = 0, pieceBytesWritten_ = 0;
    Timer timer_ = Timer::NONE;
    int64_t timerDueNs_ = -1;
    bool silent_ = false;           // nothing more in this transfer until a "READ\r"
    int acknowledgedInTransfer_ = 0;
    std::string partialLine_;
    int64_t partialLineTime_ = 0;
    int64_t busyUntilNs_ = -1;      // a late answer to "READ\r" is due; nothing is read until then
    bool readDelayed_ = false;      // the "READ\r" at the front of held_ has had its delay
    std::deque<std::string> held_;  // host lines not yet read
    bool takingHeld_ = false;
    int64_t lastExchangeNs_ = 0;    // the last write or answer taken, for GIVE_UP_MS
};

}  // namespace termsim
