// Link I/O on a named pipe standing in for the port, with a window of the
// test's own as the session window: bounded reads and writes, Transact,
// SendCommand and the receive thread.
#include "core/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>

#include "link/link_kind.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "link/transact.h"
#include "session/receive_thread.h"
#include "session/send_command.h"
#include "session/session_window.h"

namespace {

double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A connected pipe: the server end overlapped, as the link's port; the client
// end synchronous, for the test to play the terminal.
struct PipePair {
    explicit PipePair(DWORD bufferSize)
    {
        static int number = 0;
        std::string name = "\\\\.\\pipe\\varnolt-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(number++);
        server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1,
                                  bufferSize, bufferSize, 0, nullptr);
        client = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ~PipePair() { CloseHandle(client), CloseHandle(server); }
    void Write(const std::string& bytes) const
    {
        DWORD written = 0;
        WriteFile(client, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    // Takes what has reached the client end so far.
    std::string Received() const
    {
        DWORD available = 0;
        PeekNamedPipe(client, nullptr, 0, nullptr, &available, nullptr);
        std::string bytes(available, '\0');
        if (available) ReadFile(client, &bytes[0], available, &available, nullptr);
        return bytes;
    }
    HANDLE server, client;
};

// What the test's session window saw.
struct WindowLog {
    std::string bytes;
    int handOvers = 0, handOversWhileStopped = 0, notSentByTheThread = 0, idoks = 0, errors = 0;
    LRESULT verdictAtOver = 0;   // the answer once "OVER\r" has arrived
    WPARAM lastError = 0;
} windowLog;

LRESULT CALLBACK FakeSessionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) ++windowLog.idoks;
    if (message == MSG_SESSION_ERROR) ++windowLog.errors, windowLog.lastError = wParam;
    if (message != MSG_BYTES_RECEIVED) return DefWindowProcA(window, message, wParam, lParam);
    if (!InSendMessage()) ++windowLog.notSentByTheThread;
    // As the session window does: nothing is taken once stopped.
    if (!linkState.receiveRunning) return ++windowLog.handOversWhileStopped, 1;
    ++windowLog.handOvers;
    windowLog.bytes.append(reinterpret_cast<const char*>(lParam), wParam);
    return windowLog.bytes.find("OVER\r") != std::string::npos ? windowLog.verdictAtOver : 1;
}

// Dispatches this thread's messages until the condition holds or the time is up.
template <typename Condition>
bool PumpUntil(Condition condition, int timeoutMs)
{
    for (double deadline = NowMs() + timeoutMs; !condition();) {
        if (NowMs() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return true;
}

// The pipe as the link's port, with fresh events and the test's window.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        windowLog = WindowLog{};
        linkWriteDone = 0;
        linkState.port = pipe_.server;
        linkState.writeOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        linkState.readOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = FakeSessionProc;
        windowClass.lpszClassName = "VarnoltFakeSession";
        RegisterClassA(&windowClass);   // fails harmlessly once registered
        sessionWindow = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        nullptr, nullptr);
        ASSERT_NE(nullptr, sessionWindow);
    }
    void TearDown() override
    {
        StopReceiveThread();
        for (HANDLE handle : {linkState.writeOverlapped.hEvent, linkState.readOverlapped.hEvent, thread_})
            CloseHandle(handle);
        linkState.readOverlapped = linkState.writeOverlapped = OVERLAPPED{};
        DestroyWindow(sessionWindow);
        sessionWindow = nullptr;
    }
    // Starts the receive thread, with a handle of our own to see how it ended.
    void StartThread()
    {
        ASSERT_EQ(1, StartReceiveThread(SERIAL_LINK));
        DuplicateHandle(GetCurrentProcess(), linkState.receiveThread, GetCurrentProcess(), &thread_,
                        SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0);
    }
    DWORD ExitCode(int timeoutMs)
    {
        DWORD code = STILL_ACTIVE;
        PumpUntil([&] { return GetExitCodeThread(thread_, &code) && code != STILL_ACTIVE; }, timeoutMs);
        return code;
    }
    PipePair pipe_{4096};
    HANDLE thread_ = nullptr;
};

class ReceiveVerdict : public LinkTest, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_F(LinkTest, CommandsAreRecordedAndWritesStillPendingAtTheirLimitCountAsSent)
{
    char text[] = "ACK\r";
    EXPECT_EQ(1u, SendCommand(text, 1000, 4));
    text[0] = 'N';   // the write and the record are copies
    EXPECT_STREQ("ACK\r", linkState.lastCommand);
    EXPECT_EQ("ACK\r", pipe_.Received());
    EXPECT_TRUE(KillTimer(sessionWindow, TIMER_REPLY));   // it was armed
    // A length the record cannot hold is refused, the record untouched.
    EXPECT_EQ(0u, SendCommand("x", 1000, MAX_COMMAND_LENGTH + 1));
    EXPECT_STREQ("ACK\r", linkState.lastCommand);

    PipePair tiny(16);   // too small for the commands, and nobody reads it
    linkState.port = tiny.server;
    const std::string first(MAX_COMMAND_LENGTH, 'z'), second(MAX_COMMAND_LENGTH, 'y');
    double start = NowMs();
    EXPECT_EQ(1, Transact(tiny.server, first.data(), MAX_COMMAND_LENGTH, 80, nullptr));
    EXPECT_GE(NowMs() - start, 80.0 - 17.0);   // the tick counter moves in steps of up to 17 ms
    EXPECT_LT(NowMs() - start, 80.0 + 300.0);
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.writeOverlapped));
    EXPECT_EQ(1u, SendCommand(second.data(), 1000, MAX_COMMAND_LENGTH));
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.writeOverlapped));
    EXPECT_EQ(second, linkState.lastCommand);
    linkState.port = pipe_.server;
}

TEST_F(LinkTest, TransactReadsTheImmediateAnswer)
{
    const struct {
        std::string answer;
        int result;
        const char* reply;   // NUL bytes ahead of the answer are dropped
    } rows[] = {{"", 0, "unchanged"}, {std::string("\0\0OK", 4), 1, "OK"}, {std::string(3, '\0'), 1, ""}};
    for (const auto& row : rows) {
        if (!row.answer.empty()) pipe_.Write(row.answer);
        char reply[REPLY_CAPACITY] = "unchanged";
        double start = NowMs();
        EXPECT_EQ(row.result, Transact(pipe_.server, "AT\r", 3, 50, reply));
        EXPECT_LT(NowMs() - start, 3 * 50.0 + 150.0);
        EXPECT_STREQ(row.reply, reply);
        EXPECT_EQ("AT\r", pipe_.Received());
        // A read cut at its limit is not left pending to take the next answer.
        EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.readOverlapped));
    }
    // A longer answer fills the area and no further.
    pipe_.Write(std::string(150, 'a'));
    char area[REPLY_CAPACITY + 8];
    std::memset(area, '#', sizeof area);
    EXPECT_EQ(1, Transact(pipe_.server, "Q", 1, 50, area));
    EXPECT_EQ(std::string(100, 'a') + '\0' + std::string(8, '#'), std::string(area, sizeof area));
}

TEST_P(ReceiveVerdict, HandsEveryByteOverAfterTheFirstWriteAndEndsOnTheVerdict)
{
    windowLog.verdictAtOver = GetParam();
    StartThread();
    pipe_.Write("early ");
    ResumeThread(linkState.receiveThread);
    // Given ample time to go wrong, nothing is read before a command went out.
    EXPECT_FALSE(PumpUntil([] { return windowLog.handOvers > 0; }, 150));
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    for (const char* piece : {"a record ", "in pieces ", "OVER\r"}) {
        pipe_.Write(piece);
        PumpUntil([] { return false; }, 40);   // past the 30 ms read window
    }
    ASSERT_TRUE(PumpUntil([] { return windowLog.idoks + windowLog.errors > 0; }, 5000));
    EXPECT_EQ("early a record in pieces OVER\r", windowLog.bytes);
    EXPECT_EQ(0, windowLog.notSentByTheThread);
    EXPECT_EQ(GetParam() == 0 ? 1 : 0, windowLog.idoks);
    EXPECT_EQ(GetParam() == 0 ? 0 : 1, windowLog.errors);
    EXPECT_EQ(GetParam(), static_cast<int>(windowLog.lastError));
    EXPECT_EQ(2255u, ExitCode(3000));
}
INSTANTIATE_TEST_SUITE_P(CompleteOrFailed, ReceiveVerdict, ::testing::Values(0, -103));

TEST_F(LinkTest, StopEndsASuspendedThreadThatNeverRan)
{
    StartThread();
    // Created suspended; suspended once more, it must still be ended.
    EXPECT_EQ(1u, SuspendThread(linkState.receiveThread));
    double start = NowMs();
    StopReceiveThread();
    EXPECT_LT(NowMs() - start, 1000.0);
    EXPECT_EQ(2255u, ExitCode(0));
}

TEST_F(LinkTest, StopAnswersAHandOverInFlightAndWaitsForTheThread)
{
    StartThread();
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    pipe_.Write("data");
    // Without dispatching, wait until the thread is blocked handing bytes to
    // this thread's window.
    for (double end = NowMs() + 3000; !(GetQueueStatus(QS_SENDMESSAGE) >> 16) && NowMs() < end;) Sleep(1);
    ASSERT_TRUE(GetQueueStatus(QS_SENDMESSAGE) >> 16);
    double start = NowMs();
    StopReceiveThread();
    EXPECT_LT(NowMs() - start, 2000.0);
    EXPECT_EQ(2255u, ExitCode(0));
    // Answered after the stop, without the bytes being taken.
    EXPECT_EQ(1, windowLog.handOversWhileStopped);
    EXPECT_EQ(0, windowLog.handOvers + windowLog.idoks + windowLog.errors);
}

namespace {

// A port that reports one line error (as a port set to abort on errors
// does): its next request of the given kind is refused until the error is
// cleared.
struct LineErrorPort {
    // Set by the test, used by the receive thread.
    static inline std::atomic<int> refusalsLeft{0};
    static inline std::atomic<DWORD> pendingErrors{0};
    static inline std::atomic<int> clears{0};
    static BOOL WINAPI Read(HANDLE port, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED record)
    {
        if (refusalsLeft > 0 && pendingErrors) return --refusalsLeft, SetLastError(ERROR_OPERATION_ABORTED), FALSE;
        return ReadFile(port, buffer, size, read, record);
    }
    static BOOL WINAPI Write(HANDLE port, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED record)
    {
        if (refusalsLeft > 0 && pendingErrors) return --refusalsLeft, SetLastError(ERROR_OPERATION_ABORTED), FALSE;
        return WriteFile(port, bytes, size, written, record);
    }
    // A port that fails for another reason than a line error.
    static BOOL WINAPI Refuse(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    static BOOL WINAPI Clear(HANDLE, LPDWORD errors, LPCOMSTAT)
    {
        ++clears;
        *errors = pendingErrors.exchange(0);
        return TRUE;
    }
};

class LineErrorTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        serialIo = SerialIo{.readFile = LineErrorPort::Read, .writeFile = LineErrorPort::Write, .clearCommError = LineErrorPort::Clear};
        LineErrorPort::clears = 0;
    }
    void TearDown() override
    {
        serialIo = PLATFORM_SERIAL_IO;
        LinkTest::TearDown();
    }
};

}  // namespace

TEST_F(LineErrorTest, AFramingOrOverrunErrorIsClearedAndTheSessionReadsAndWritesOn)
{
    StartThread();
    ResumeThread(linkState.receiveThread);
    LineErrorPort::refusalsLeft = 1;
    LineErrorPort::pendingErrors = CE_OVERRUN;
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5)) << "the refused write is made again";
    EXPECT_EQ("READ\r", pipe_.Received());
    LineErrorPort::refusalsLeft = 1;
    LineErrorPort::pendingErrors = CE_FRAME;
    pipe_.Write("after the error");
    ASSERT_TRUE(PumpUntil([] { return windowLog.bytes == "after the error"; }, 3000)) << windowLog.bytes;
    EXPECT_EQ(2, LineErrorPort::clears);
    EXPECT_EQ(0, windowLog.errors);
    // A request refused with no line error to clear is a real failure.
    LineErrorPort::refusalsLeft = 1;
    LineErrorPort::pendingErrors = 0;
    serialIo.writeFile = LineErrorPort::Refuse;
    EXPECT_EQ(0u, SendCommand("ACK\r", 1000, 4));
}
