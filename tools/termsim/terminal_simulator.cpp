#include "terminal_simulator.h"

#include "record_encoding.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace termsim {

int64_t MonotonicRawNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
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

int OpenPtyPair(PtyPair& pair)
{
    pair = PtyPair{};
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return -1;
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        const int saved = errno;
        close(master);
        errno = saved;
        return -1;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        const int saved = errno;
        close(master);
        errno = saved;
        return -1;
    }
    // Raw on both ends: no echo, no CR/LF translation, 8 bits.
    for (int fd : {slave, master}) {
        termios attributes{};
        if (tcgetattr(fd, &attributes) == 0) {
            cfmakeraw(&attributes);
            tcsetattr(fd, TCSANOW, &attributes);
        }
    }
    pair.master = master;
    pair.slave = slave;
    pair.slavePath = name;
    return 0;
}

void ClosePtyPair(PtyPair& pair)
{
    if (pair.slave >= 0)
        close(pair.slave);
    if (pair.master >= 0)
        close(pair.master);
    pair = PtyPair{};
}

int LineSpeed(int fd)
{
    termios attributes{};
    if (tcgetattr(fd, &attributes) != 0)
        return 0;
    switch (cfgetispeed(&attributes)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
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

// The front's view of the line: the descriptor, the speed the host set on
// it (a pseudo-terminal shows it on the master too) and the shared log.
HostLine TerminalSimulator::LineSeam()
{
    HostLine line;
    line.context = this;
    line.sendToHost = [](void* self, std::string_view bytes) {
        static_cast<TerminalSimulator*>(self)->WriteToLine(bytes);
    };
    line.hostSpeed = [](void* self) { return LineSpeed(static_cast<TerminalSimulator*>(self)->fd_); };
    line.record = [](void* self, const FrontEvent& event) {
        auto* sim = static_cast<TerminalSimulator*>(self);
        std::lock_guard<std::mutex> lock(sim->mutex_);
        sim->frontEvents_.push_back(event);
        sim->Bump();
    };
    return line;
}

int TerminalSimulator::Start(int fd)
{
    if (running_)
        return -1;
    if (pipe(stopPipe_) != 0)
        return -1;
    fd_ = fd;
    // Non-blocking, so a host that stops reading can never wedge Stop().
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return 0;
}

void TerminalSimulator::Stop()
{
    if (!running_)
        return;
    const char wake = 'x';
    (void)!write(stopPipe_[1], &wake, 1);
    thread_.join();
    close(stopPipe_[0]);
    close(stopPipe_[1]);
    stopPipe_[0] = stopPipe_[1] = -1;
    running_ = false;
}

void TerminalSimulator::Bump()
{
    ++generation_;
    changed_.notify_all();
}

// A pause inside the simulator's own behaviour (e.g. the gap of a split
// line); false when Stop() interrupted it.
bool TerminalSimulator::PauseMs(int ms)
{
    pollfd stop{stopPipe_[0], POLLIN, 0};
    return poll(&stop, 1, ms) == 0;
}

void TerminalSimulator::Run()
{
    const HostLine line = LineSeam();
    char buffer[4096];
    for (;;) {
        // Sleep until the host sends or the front's next own action is due.
        int timeoutMs = -1;
        const int64_t due = FrontNextEventNs(front_);
        if (due >= 0) {
            const int64_t left = due - MonotonicRawNs();
            timeoutMs = left <= 0 ? 0 : static_cast<int>((left + 999999) / 1000000);
        }
        pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (due >= 0 && MonotonicRawNs() >= due)
            FrontTick(front_, line, MonotonicRawNs());
        if (fds[1].revents == 0)
            continue;
        const ssize_t count = read(fd_, buffer, sizeof buffer);
        const int64_t when = MonotonicRawNs();
        if (count <= 0) {
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // Hang-up (no slave open): wait for someone to open it again.
            if (!PauseMs(10))
                return;
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buffer, static_cast<size_t>(count));
            Bump();
        }
        std::string toTerminal;
        FrontFromHost(front_, line, std::string_view(buffer, static_cast<size_t>(count)), when, toTerminal);
        TakeTerminalBytes(toTerminal, when);
        std::lock_guard<std::mutex> lock(mutex_);
        bytesHandled_ += static_cast<size_t>(count);
        Bump();
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
    FrontFromTerminal(front_, LineSeam(), bytes);
}

void TerminalSimulator::WriteToLine(std::string_view bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {fd_, POLLOUT, 0}};
        poll(fds, 2, 100);
        if (fds[0].revents != 0)
            break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.push_back(SentChunk{std::string(bytes.substr(0, done)), MonotonicRawNs()});
    Bump();
}

void TerminalSimulator::HandleHostLine(const std::string& line)
{
    if (line == "READ\r") {
        if (hasCurrentPlan_ && current_.answer == ReadAnswer::SILENT)
            return;
        BeginTransfer(inTransfer_);
        return;
    }
    if (!inTransfer_ || silent_ || !awaitingAnswer_)
        return;  // the terminal ignores answers it is not waiting for
    if (line == "ACK\r") {
        if (!sendingDuplicate_) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++recordsAcknowledged_;
            Bump();
        }
        if (!sendingDuplicate_)
            ++acknowledgedInTransfer_;
        if (!sendingDuplicate_ && repeatPending_[recordIndex_]) {
            repeatPending_[recordIndex_] = false;
            sendingDuplicate_ = true;
            SendNow(lastLine_);
            return;
        }
        sendingDuplicate_ = false;
        Advance();
    } else if (line == "NAK\r") {
        if (sendingDuplicate_) {
            SendNow(lastLine_);
            return;
        }
        SendCurrent();
    }
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
        hasCurrentPlan_ = true;
        nakReadsLeft_ = current_.nakReads;
        const size_t n = current_.records.size();
        checksumFaultsLeft_.assign(n, 0);
        sequenceFaultsLeft_.assign(n, 0);
        repeatPending_.assign(n, false);
        for (size_t i = 0; i < n; ++i) {
            checksumFaultsLeft_[i] = current_.records[i].badChecksumAttempts;
            sequenceFaultsLeft_[i] = current_.records[i].wrongSequenceAttempts;
            repeatPending_[i] = current_.records[i].repeatAfterAck;
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
    inTransfer_ = true;
    silent_ = false;
    sendingDuplicate_ = false;
    nextAlreadySent_ = false;
    awaitingAnswer_ = false;
    recordIndex_ = 0;
    acknowledgedInTransfer_ = 0;
    if (current_.answer == ReadAnswer::OVER) {
        FinishTransfer("");
        return;
    }
    if (current_.joinAckWithFirst && !current_.records.empty()) {
        const std::string first = LineFor(0);
        lastLine_ = first;
        SendNow("ACK\r" + first);
        awaitingAnswer_ = true;
        return;
    }
    SendNow("ACK\r");
    SendCurrent();
}

// The bytes of record index as they go out now, spending one fault attempt.
std::string TerminalSimulator::LineFor(size_t index)
{
    const RecordSpec& spec = current_.records[index];
    if (!spec.rawLine.empty())
        return spec.rawLine;
    int sequence = (current_.firstSequence + static_cast<int>(index)) % 10;
    if (sequenceFaultsLeft_[index] > 0) {
        --sequenceFaultsLeft_[index];
        sequence = (sequence + 1) % 10;
    }
    bool corrupt = false;
    if (checksumFaultsLeft_[index] > 0) {
        --checksumFaultsLeft_[index];
        corrupt = true;
    }
    return EncodeRecordLine(static_cast<uint8_t>(sequence), spec.data, corrupt);
}

void TerminalSimulator::SendCurrent()
{
    if (current_.silentAfterRecords >= 0 && acknowledgedInTransfer_ >= current_.silentAfterRecords) {
        silent_ = true;
        awaitingAnswer_ = false;
        return;
    }
    if (recordIndex_ >= current_.records.size()) {
        FinishTransfer("");
        return;
    }
    const RecordSpec& spec = current_.records[recordIndex_];
    std::string line = LineFor(recordIndex_);
    lastLine_ = line;
    if (spec.joinWithNext) {
        if (recordIndex_ + 1 < current_.records.size()) {
            line += LineFor(recordIndex_ + 1);
            nextAlreadySent_ = true;
        } else {
            // The last record and the end of the transfer in one write.
            awaitingAnswer_ = false;
            FinishTransfer(line);
            return;
        }
    }
    awaitingAnswer_ = true;
    if (spec.splitChunk > 0 && spec.splitChunk < line.size()) {
        for (size_t at = 0; at < line.size(); at += spec.splitChunk) {
            if (at > 0 && spec.splitGapMs > 0 && !PauseMs(spec.splitGapMs))
                return;
            SendNow(line.substr(at, spec.splitChunk));
        }
        return;
    }
    SendNow(line);
}

void TerminalSimulator::Advance()
{
    ++recordIndex_;
    if (nextAlreadySent_) {
        nextAlreadySent_ = false;
        if (recordIndex_ < current_.records.size()) {
            awaitingAnswer_ = true;
            return;
        }
    }
    SendCurrent();
}

void TerminalSimulator::FinishTransfer(const std::string& prefix)
{
    SendNow(prefix + "OVER\r" + current_.afterOver);
    inTransfer_ = false;
    awaitingAnswer_ = false;
    hasCurrentPlan_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    ++transfersCompleted_;
    Bump();
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
