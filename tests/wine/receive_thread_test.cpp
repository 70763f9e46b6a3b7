// The receive thread on a pipe standing in for the port, with a window of
// the test's own as the session window: start phase, hand-over of every
// byte in order, the end of a transfer, and stopping in every state.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "app/settings.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "session/receive_thread.h"
#include "session/session_window.h"
#include "tests/wine/link_test_support.h"

using linktest::NowMs;

namespace {

// What the fake session window saw.
struct WindowLog {
    std::string bytes;
    int handOvers = 0;
    int handOversWhileStopped = 0;
    LRESULT verdictAtOver = 0;     // returned when "OVER\r" is seen
    int idokPosted = 0;
    int errorsPosted = 0;
    WPARAM lastError = 0;
};
WindowLog windowLog;

LRESULT CALLBACK FakeSessionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MSG_BYTES_RECEIVED) {
        // As the session window does: nothing is touched once stopped.
        if (!linkState.receiveRunning) {
            ++windowLog.handOversWhileStopped;
            return 1;
        }
        ++windowLog.handOvers;
        windowLog.bytes.append(reinterpret_cast<const char*>(lParam), wParam);
        if (windowLog.bytes.find("OVER\r") != std::string::npos) return windowLog.verdictAtOver;
        return 1;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        ++windowLog.idokPosted;
        return 0;
    }
    if (message == MSG_SESSION_ERROR) {
        ++windowLog.errorsPosted;
        windowLog.lastError = wParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateFakeSessionWindow()
{
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = FakeSessionProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VarnoltFakeSession";
        atom = RegisterClassA(&windowClass);
    }
    return CreateWindowExA(0, "VarnoltFakeSession", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Dispatches the window's messages until the condition holds or the time is up.
template <typename Condition>
bool PumpUntil(Condition condition, int timeoutMs)
{
    double deadline = NowMs() + timeoutMs;
    while (!condition()) {
        double left = deadline - NowMs();
        if (left <= 0) return false;
        // Short slices: some conditions change without a message arriving.
        DWORD slice = left < 5 ? static_cast<DWORD>(left) + 1 : 5;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return true;
}

DWORD ExitCodeOf(HANDLE thread)
{
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    return code;
}

class ReceiveThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        windowLog = WindowLog{};
        settings.interfaceKind = RS232_IRDA;
        pipe_ = linktest::OpenPipePair(4096);
        ASSERT_TRUE(pipe_.Ok());
        linktest::UseAsLinkPort(pipe_.server);
        linkWriteDone = 0;
        window_ = CreateFakeSessionWindow();
        ASSERT_NE(nullptr, window_);
        sessionWindow = window_;
    }
    void TearDown() override
    {
        linktest::ReleaseLink(false);
        if (watch_) CloseHandle(watch_);
        sessionWindow = nullptr;
        if (window_) DestroyWindow(window_);
        linktest::ClosePipePair(pipe_);
    }

    // Starts the thread and keeps a handle of our own to see how it ended.
    void Start()
    {
        ASSERT_EQ(1, StartReceiveThread());
        ASSERT_NE(nullptr, linkState.receiveThread);
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), linkState.receiveThread, GetCurrentProcess(), &watch_,
                                    SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0));
    }
    bool Ended(int timeoutMs)
    {
        return PumpUntil([this] { return WaitForSingleObject(watch_, 0) == WAIT_OBJECT_0; }, timeoutMs);
    }

    linktest::PipePair pipe_;
    HWND window_ = nullptr;
    HANDLE watch_ = nullptr;
};

}  // namespace

TEST_F(ReceiveThreadTest, StartsSuspendedAndRunning)
{
    Start();
    EXPECT_EQ(1, linkState.receiveRunning.load());
    // Created suspended: resuming reports a suspend count of one.
    EXPECT_EQ(1u, ResumeThread(linkState.receiveThread));
}

TEST_F(ReceiveThreadTest, ReadsNothingBeforeTheFirstCommandHasGoneOut)
{
    linktest::WriteClient(pipe_, "early");
    Start();
    ResumeThread(linkState.receiveThread);
    // Given ample time to go wrong, the thread must not have read yet.
    EXPECT_FALSE(PumpUntil([] { return windowLog.handOvers > 0; }, 200));

    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    EXPECT_EQ("READ\r", linktest::ReadClient(pipe_, 5, 1000));
    // A pipe is not purged like a port, so the early bytes now arrive.
    EXPECT_TRUE(PumpUntil([] { return windowLog.bytes == "early"; }, 2000)) << windowLog.bytes;
    KillTimer(window_, TIMER_REPLY);
}

TEST_F(ReceiveThreadTest, EveryByteArrivesOnceInOrderAcrossSplitWrites)
{
    Start();
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    KillTimer(window_, TIMER_REPLY);

    // A record split over several writes with gaps around the read window,
    // so pieces land before, during and after reads.
    std::string expected;
    std::thread terminal([this, &expected] {
        const int gaps[] = {5, 25, 30, 35, 60, 1, 29, 31, 0, 45};
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 10; ++i) {
                std::string piece = std::to_string(round) + static_cast<char>('a' + i) + "-";
                linktest::WriteClient(pipe_, piece);
                Sleep(gaps[i]);
            }
        }
    });
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 10; ++i) expected += std::to_string(round) + static_cast<char>('a' + i) + "-";
    bool complete = PumpUntil([&] { return windowLog.bytes.size() >= expected.size(); }, 10000);
    terminal.join();
    EXPECT_TRUE(complete);
    EXPECT_EQ(expected, windowLog.bytes);
    EXPECT_EQ(1, linkState.receiveRunning.load());
}

TEST_F(ReceiveThreadTest, CompletionStopsTheThreadAndPostsIdok)
{
    Start();
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    KillTimer(window_, TIMER_REPLY);
    windowLog.verdictAtOver = 0;
    linktest::WriteClient(pipe_, "OVER\r");
    ASSERT_TRUE(PumpUntil([] { return windowLog.idokPosted > 0; }, 3000));
    ASSERT_TRUE(Ended(3000));
    EXPECT_EQ(2255u, ExitCodeOf(watch_));
    EXPECT_EQ(0, linkState.receiveRunning.load());
    EXPECT_EQ(0, windowLog.errorsPosted);

    // Bytes after the end are not handed over any more.
    linktest::WriteClient(pipe_, "more");
    EXPECT_FALSE(PumpUntil([] { return windowLog.handOvers > 1; }, 150));
}

TEST_F(ReceiveThreadTest, FailureVerdictIsPostedWithItsCode)
{
    Start();
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    KillTimer(window_, TIMER_REPLY);
    windowLog.verdictAtOver = -103;
    linktest::WriteClient(pipe_, "OVER\r");
    ASSERT_TRUE(PumpUntil([] { return windowLog.errorsPosted > 0; }, 3000));
    EXPECT_EQ(-103, static_cast<int>(windowLog.lastError));
    EXPECT_EQ(0, windowLog.idokPosted);
    ASSERT_TRUE(Ended(3000));
    EXPECT_EQ(0, linkState.receiveRunning.load());
}

TEST_F(ReceiveThreadTest, BrokenLinkEndsTheThreadSilently)
{
    Start();
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    KillTimer(window_, TIMER_REPLY);
    CloseHandle(pipe_.client);
    pipe_.client = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(Ended(3000));
    DWORD code = ExitCodeOf(watch_);
    // Refused at the start of a read (0), or failed while pending (2255,
    // with the run flag cleared).
    EXPECT_TRUE(code == 0 || (code == 2255 && linkState.receiveRunning == 0)) << code;
    EXPECT_EQ(0, windowLog.idokPosted);
    EXPECT_EQ(0, windowLog.errorsPosted);
}

TEST_F(ReceiveThreadTest, StopEndsAThreadThatNeverRan)
{
    Start();
    double start = NowMs();
    StopReceiveThread();
    EXPECT_LT(NowMs() - start, 1000.0);
    EXPECT_EQ(nullptr, linkState.receiveThread);
    EXPECT_EQ(0, linkState.receiveRunning.load());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch_, 0));
    EXPECT_EQ(2255u, ExitCodeOf(watch_));
    StopReceiveThread();   // a second stop is harmless
}

TEST_F(ReceiveThreadTest, StopEndsAThreadWaitingForItsFirstWrite)
{
    Start();
    ResumeThread(linkState.receiveThread);
    StopReceiveThread();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch_, 0));
    EXPECT_EQ(2255u, ExitCodeOf(watch_));
}

TEST_F(ReceiveThreadTest, StopCutsAPendingReadAndWaitsForTheThread)
{
    settings.interfaceKind = MODEM_COM;   // long read windows
    Start();
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    KillTimer(window_, TIMER_REPLY);
    // Let it get into its read cycle.
    linktest::WriteClient(pipe_, "x");
    ASSERT_TRUE(PumpUntil([] { return windowLog.handOvers > 0; }, 3000));
    StopReceiveThread();
    // Returned only once the thread had ended: record and buffer are free.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch_, 0));
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.readOverlapped));
}

TEST_F(ReceiveThreadTest, StopAnswersAHandOverInFlight)
{
    Start();
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(1u, SendCommand("READ\r", 1000, 5));
    KillTimer(window_, TIMER_REPLY);
    linktest::WriteClient(pipe_, "data");
    // Wait, without dispatching, until the thread is blocked handing bytes
    // to this thread's window.
    double deadline = NowMs() + 3000;
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && NowMs() < deadline) Sleep(1);
    ASSERT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE);

    double start = NowMs();
    StopReceiveThread();
    EXPECT_LT(NowMs() - start, 2000.0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch_, 0));
    // The window answered it after the stop, without taking the bytes.
    EXPECT_EQ(1, windowLog.handOversWhileStopped);
    EXPECT_EQ(0, windowLog.handOvers);
    EXPECT_EQ(0, windowLog.idokPosted + windowLog.errorsPosted);
}

TEST_F(ReceiveThreadTest, StopWithoutThreadIsHarmless)
{
    linkState.receiveRunning = 1;
    StopReceiveThread();
    EXPECT_EQ(0, linkState.receiveRunning.load());
    EXPECT_EQ(nullptr, linkState.receiveThread);
}
