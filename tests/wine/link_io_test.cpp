// Bounded overlapped reads and writes, Transact and SendCommand, on a named
// pipe standing in for the port: requests never outlive their call, and no
// byte is lost to a request cut at its limit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "session/session_window.h"
#include "tests/wine/link_test_support.h"

using linktest::NowMs;
using linktest::PipePair;

namespace {

class PipeLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        pipe_ = linktest::OpenPipePair(4096);
        ASSERT_TRUE(pipe_.Ok());
        linktest::UseAsLinkPort(pipe_.server);
    }
    void TearDown() override
    {
        linktest::ReleaseLink(false);
        linktest::ClosePipePair(pipe_);
    }

    PipePair pipe_;
};

}  // namespace

TEST_F(PipeLink, ReadWithNothingArrivingEndsAtItsLimitWithNothingPending)
{
    char buffer[64];
    DWORD count = 99;
    double start = NowMs();
    EXPECT_EQ(IO_DONE, ReadBounded(pipe_.server, &linkState.readOverlapped, buffer, sizeof buffer, 60, &count));
    double took = NowMs() - start;
    EXPECT_EQ(0u, count);
    EXPECT_GE(took, 55.0);
    EXPECT_LT(took, 60.0 + 200.0);
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.readOverlapped));

    // The cut read took nothing with it: what comes next is read whole.
    linktest::WriteClient(pipe_, "after");
    EXPECT_EQ(IO_DONE, ReadBounded(pipe_.server, &linkState.readOverlapped, buffer, sizeof buffer, 500, &count));
    EXPECT_EQ("after", std::string(buffer, count));
}

TEST_F(PipeLink, BytesArrivingWhileAReadWaitsAreTaken)
{
    std::thread writer([this] {
        Sleep(15);
        linktest::WriteClient(pipe_, "late bytes");
    });
    char buffer[64];
    DWORD count = 0;
    int status = ReadBounded(pipe_.server, &linkState.readOverlapped, buffer, sizeof buffer, 2000, &count);
    writer.join();
    EXPECT_EQ(IO_DONE, status);
    EXPECT_EQ("late bytes", std::string(buffer, count));
}

TEST_F(PipeLink, ManyCutReadsLoseNoByte)
{
    // Bytes trickle in while reads keep being cut at a short limit: every
    // byte must come out once, in order.
    std::string sent;
    for (int i = 0; i < 40; ++i) sent += static_cast<char>('A' + i % 26);
    std::thread writer([this, sent] {
        for (char c : sent) {
            linktest::WriteClient(pipe_, std::string(1, c));
            Sleep(7);
        }
    });
    std::string got;
    double deadline = NowMs() + 10000;
    while (got.size() < sent.size() && NowMs() < deadline) {
        char buffer[16];
        DWORD count = 0;
        ASSERT_EQ(IO_DONE, ReadBounded(pipe_.server, &linkState.readOverlapped, buffer, sizeof buffer, 5, &count));
        got.append(buffer, count);
    }
    writer.join();
    EXPECT_EQ(sent, got);
}

TEST_F(PipeLink, ReadOnABrokenLinkFails)
{
    std::thread closer([this] {
        Sleep(15);
        CloseHandle(pipe_.client);
        pipe_.client = INVALID_HANDLE_VALUE;
    });
    char buffer[16];
    DWORD count = 0;
    int status = ReadBounded(pipe_.server, &linkState.readOverlapped, buffer, sizeof buffer, 2000, &count);
    closer.join();
    // Closed before or during the read: refused at the start, or failed.
    EXPECT_TRUE(status == IO_FAILED || status == IO_START_FAILED) << status;
}

TEST(BoundedIo, RequestThatCannotStartIsReported)
{
    char buffer[8];
    DWORD count = 0;
    OVERLAPPED record{};
    record.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // A handle that is no longer open refuses both.
    HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(closed);
    linkWriteDone = 0;
    EXPECT_EQ(IO_START_FAILED, ReadBounded(closed, &record, buffer, sizeof buffer, 50, &count));
    EXPECT_EQ(IO_START_FAILED, WriteBounded(closed, &record, "x", 1, 50));
    EXPECT_EQ(0, linkWriteDone.load());
    CloseHandle(record.hEvent);
}

TEST(BoundedIo, WriteThatCannotFinishIsCancelledAtItsLimitAndCountsAsDone)
{
    // A tiny pipe nobody reads: a large write cannot complete.
    linktest::PipePair pipe = linktest::OpenPipePair(16);
    ASSERT_TRUE(pipe.Ok());
    OVERLAPPED record{};
    record.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::string big(64 * 1024, 'z');
    linkWriteDone = 0;
    double start = NowMs();
    EXPECT_EQ(IO_DONE, WriteBounded(pipe.server, &record, big.data(), static_cast<DWORD>(big.size()), 80));
    double took = NowMs() - start;
    EXPECT_GE(took, 75.0);
    EXPECT_LT(took, 80.0 + 300.0);
    EXPECT_TRUE(HasOverlappedIoCompleted(&record));
    EXPECT_EQ(1, linkWriteDone.load());
    CloseHandle(record.hEvent);
    linktest::ClosePipePair(pipe);
    linkWriteDone = 0;
}

TEST_F(PipeLink, TransactSkipsLeadingNulBytesOfTheReply)
{
    linktest::WriteClient(pipe_, std::string("\0\0OK", 4));
    char reply[REPLY_CAPACITY];
    EXPECT_EQ(1, Transact(pipe_.server, "AT\r", 3, 50, reply));
    EXPECT_STREQ("OK", reply);
    EXPECT_STREQ("AT\r", linkState.lastCommand);
    EXPECT_EQ("AT\r", linktest::ReadClient(pipe_, 3, 1000));
}

TEST_F(PipeLink, TransactReplyOfNulBytesOnlyIsEmptyButAnswered)
{
    linktest::WriteClient(pipe_, std::string(3, '\0'));
    char reply[REPLY_CAPACITY];
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(1, Transact(pipe_.server, "\x0f", 1, 50, reply));
    EXPECT_STREQ("", reply);
}

TEST_F(PipeLink, TransactWithNoReplyGivesNothingAndTakesAboutThreeLimits)
{
    char reply[REPLY_CAPACITY] = "unchanged";
    double start = NowMs();
    EXPECT_EQ(0, Transact(pipe_.server, "\x0f", 1, 60, reply));
    double took = NowMs() - start;
    // The pause and the read window; the write goes at once.
    EXPECT_GE(took, 2 * 60.0 - 10.0);
    EXPECT_LT(took, 3 * 60.0 + 200.0);
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.readOverlapped));
}

TEST_F(PipeLink, TransactReplyIsCutToTheAreaAndTheRestStaysQueued)
{
    std::string answer(150, 'r');
    answer[0] = 'a';
    answer[100] = 'b';
    linktest::WriteClient(pipe_, answer);
    char area[REPLY_CAPACITY + 8];
    std::memset(area, '#', sizeof area);
    EXPECT_EQ(1, Transact(pipe_.server, "Q", 1, 50, area));
    EXPECT_EQ(100u, std::strlen(area));
    EXPECT_EQ('a', area[0]);
    for (size_t i = REPLY_CAPACITY; i < sizeof area; ++i) EXPECT_EQ('#', area[i]) << i;
    // The next read continues where the reply area ended.
    char more[64];
    DWORD count = 0;
    ASSERT_EQ(IO_DONE, ReadBounded(pipe_.server, &linkState.readOverlapped, more, sizeof more, 500, &count));
    ASSERT_GT(count, 0u);
    EXPECT_EQ('b', more[0]);
}

TEST_F(PipeLink, TransactWithoutReplyAreaOnlyWrites)
{
    linktest::WriteClient(pipe_, "unread");
    double start = NowMs();
    EXPECT_EQ(1, Transact(pipe_.server, "\x07", 1, 200, nullptr));
    EXPECT_LT(NowMs() - start, 150.0);   // no pause, no read
    EXPECT_EQ("\x07", linktest::ReadClient(pipe_, 1, 1000));
    // What the device sent was not consumed.
    char buffer[16];
    DWORD count = 0;
    ASSERT_EQ(IO_DONE, ReadBounded(pipe_.server, &linkState.readOverlapped, buffer, sizeof buffer, 500, &count));
    EXPECT_EQ("unread", std::string(buffer, count));
}

TEST_F(PipeLink, CommandLengthOutOfRangeIsRefusedWithoutWriting)
{
    std::strcpy(linkState.lastCommand, "READ\r");
    EXPECT_EQ(0, Transact(pipe_.server, "x", 0, 50, nullptr));
    EXPECT_EQ(0u, SendCommand("x", 1000, MAX_COMMAND_LENGTH + 1));
    EXPECT_STREQ("READ\r", linkState.lastCommand);
}

TEST_F(PipeLink, SendCommandWritesRecordsAndArmsTheReplyTimer)
{
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    sessionWindow = window;
    char text[] = "ACK\r";
    double start = NowMs();
    EXPECT_EQ(1u, SendCommand(text, 1000, 4));
    EXPECT_GE(NowMs() - start, 9.0);   // the pause after the write
    text[0] = 'N';   // the caller's memory is not the write's
    EXPECT_STREQ("ACK\r", linkState.lastCommand);
    EXPECT_EQ("ACK\r", linktest::ReadClient(pipe_, 4, 1000));
    // The timer was armed: killing it finds it.
    EXPECT_TRUE(KillTimer(window, TIMER_REPLY));
    sessionWindow = nullptr;
    DestroyWindow(window);
}

TEST_F(PipeLink, SendCommandOnABrokenLinkFails)
{
    CloseHandle(pipe_.client);
    pipe_.client = INVALID_HANDLE_VALUE;
    EXPECT_EQ(0u, SendCommand("NAK\r", 1000, 4));
}
