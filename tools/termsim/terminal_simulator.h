// The terminal side of the record transfer, played on a file descriptor
// (normally the master of a pseudo-terminal whose slave is a Wine COM port).
//
// The simulator answers "READ\r" with "ACK\r", sends its records one line at
// a time, resends a record on "NAK\r", goes on to the next on "ACK\r" and ends
// with "OVER\r". Every byte the host sends is logged with a CLOCK_MONOTONIC_RAW
// time stamp (the clock behind Wine's performance counter), and the host's
// commands are offered parsed, so tests wait on conditions with a deadline
// instead of sleeping. Faults are injected on request through TransferPlan.
//
// A front (line_front.h) may stand between the line and the terminal: an
// infrared cradle or a modem. It sees every byte both ways; Commands() are
// then the lines that reached the terminal, FrontEvents() what the front saw.
#pragma once

#include "line_front.h"

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

// Nanoseconds of CLOCK_MONOTONIC_RAW.
int64_t MonotonicRawNs();

// One record as the simulator sends it, with the faults that apply to it.
struct RecordSpec {
    std::string data;              // data bytes (any value but CR)
    int badChecksumAttempts = 0;   // the first n sends carry a checksum one too high
    int wrongSequenceAttempts = 0; // the first n sends carry the next sequence value
    bool repeatAfterAck = false;   // once acknowledged, send the same line once more
    size_t splitChunk = 0;         // > 0: write the line in pieces of this many bytes
    int splitGapMs = 0;            // pause between the pieces
    bool joinWithNext = false;     // write this line and the next line in one write,
                                   // without waiting for the host's answer in between
    std::string rawLine;           // non-empty: sent verbatim instead of the encoded
                                   // line (add the CR yourself), e.g. an over-long line
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
};

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

// A pseudo-terminal pair in raw mode. The slave stays open for the life of
// the pair so the master never sees a hang-up when Wine closes the port.
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string slavePath;  // /dev/pts/N
};
// Returns 0 on success, -1 (errno set) on failure.
int OpenPtyPair(PtyPair& pair);
void ClosePtyPair(PtyPair& pair);

// Bit rate set on a terminal device (cfgetispeed), e.g. 115200; 0 when unknown.
int LineSpeed(int fd);

class TerminalSimulator {
public:
    TerminalSimulator() = default;
    ~TerminalSimulator();
    TerminalSimulator(const TerminalSimulator&) = delete;
    TerminalSimulator& operator=(const TerminalSimulator&) = delete;

    // Plans: each "READ\r" that arrives while idle starts the next planned
    // transfer. A "READ\r" that arrives during a transfer restarts it from its
    // first record (faults already spent stay spent). Set before Start() or
    // add more while running.
    void AddTransfer(const TransferPlan& plan);
    void SetWhenExhausted(WhenExhausted what);

    // Puts a cradle or a modem in front of the terminal. Call before Start().
    void SetCradle(const CradleOptions& options);
    void SetModem(const ModemOptions& options);

    // Serves the descriptor on its own thread until Stop(). The descriptor is
    // not owned. Returns 0, or -1 when already running.
    int Start(int fd);
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
    void Run();
    void TakeTerminalBytes(const std::string& bytes, int64_t when);
    void HandleHostLine(const std::string& line);
    void SendNow(const std::string& bytes);  // the terminal's bytes, through the front
    void WriteToLine(std::string_view bytes);
    HostLine LineSeam();
    std::string LineFor(size_t index);
    void SendCurrent();
    void Advance();
    void FinishTransfer(const std::string& prefix);
    void BeginTransfer(bool restart);
    bool PauseMs(int ms);
    void Bump();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::thread thread_;
    int fd_ = -1;
    int stopPipe_[2] = {-1, -1};
    bool running_ = false;

    // Shared log, guarded by mutex_.
    std::vector<HostCommand> commands_;
    std::string received_;
    std::vector<SentChunk> sent_;
    int recordsAcknowledged_ = 0;
    int transfersCompleted_ = 0;
    int transfersStarted_ = 0;
    std::vector<FrontEvent> frontEvents_;
    size_t bytesHandled_ = 0;
    uint64_t generation_ = 0;  // bumped on every logged event, wakes WaitFor

    LineFront front_;  // simulator thread once started

    // Plans (guarded) and the state of the transfer in progress (simulator thread).
    std::deque<TransferPlan> plans_;
    WhenExhausted whenExhausted_ = WhenExhausted::SILENT;
    bool inTransfer_ = false;
    bool hasCurrentPlan_ = false;
    TransferPlan current_;
    std::vector<int> checksumFaultsLeft_;
    std::vector<int> sequenceFaultsLeft_;
    std::vector<bool> repeatPending_;
    int nakReadsLeft_ = 0;
    size_t recordIndex_ = 0;
    bool awaitingAnswer_ = false;
    bool silent_ = false;          // nothing more in this transfer until a "READ\r"
    bool nextAlreadySent_ = false; // the line after the current one went out joined
    bool sendingDuplicate_ = false;
    int acknowledgedInTransfer_ = 0;
    std::string lastLine_;
    std::string partialLine_;
    int64_t partialLineTime_ = 0;
};

}  // namespace termsim
