// The modem's connect poll on a named pipe standing in for the port. A pipe
// read stays pending until bytes come, as a port read does under Wine with
// nothing waiting, so the poll's own 200 ms bound is what ends it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "link/link_state.h"
#include "link/modem.h"
#include "link/overlapped_io.h"

namespace {

double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The pipe as the link's port with a fresh read record; the test writes
// what the modem reports to the client end.
class ModemPollTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int number = 0;
        const std::string name = "\\\\.\\pipe\\varnolt-modem-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(number++);
        server_ = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 4096,
                                   4096, 0, nullptr);
        client_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        linkState.readOverlapped = OVERLAPPED{};
        linkState.readOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override
    {
        CloseHandle(linkState.readOverlapped.hEvent);
        linkState.readOverlapped = OVERLAPPED{};
        CloseHandle(client_), CloseHandle(server_);
    }
    void Report(const std::string& bytes) const
    {
        DWORD written = 0;
        WriteFile(client_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    HANDLE server_ = nullptr, client_ = nullptr;
};

}  // namespace

TEST_F(ModemPollTest, AReadStillPendingAtItsLimitIsFinishedAndLeavesLaterReportsToTheNextPoll)
{
    const double start = NowMs();
    EXPECT_EQ(LINK_NO_NEWS, PollModemConnect(server_));
    // The 10 ms pause and the 200 ms bound; the tick counter moves in steps
    // of up to 17 ms.
    EXPECT_GE(NowMs() - start, 10.0 + 200.0 - 17.0);
    EXPECT_LT(NowMs() - start, 10.0 + 200.0 + 150.0);
    // Nothing is left pending on the record the receive thread reads with.
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.readOverlapped));
    // A read left behind would take this report into a buffer that is gone.
    Report("\r\nCONNECT 9600\r\n");
    EXPECT_EQ(LINK_CONNECTED, PollModemConnect(server_));
}

TEST_F(ModemPollTest, OnlyAReadHoldingConnectStartsTheCallAndAPortThatCannotBeReadStopsThePoll)
{
    const struct {
        const char* name;
        std::string reports;
        int result;
    } rows[] = {
        {"a ring report", "\r\nRING\r\n", LINK_NO_NEWS},
        {"a ring report and the connection in one read", "\r\nRING\r\n\r\nCONNECT 9600\r\n", LINK_CONNECTED},
        {"another result", "\r\nNO CARRIER\r\n", LINK_NO_NEWS},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Report(row.reports);
        EXPECT_EQ(row.result, PollModemConnect(server_));
        // What is read is dropped: the rest of a long report is not kept.
        char rest[64];
        DWORD count = 0;
        ASSERT_EQ(IO_DONE, ReadBounded(server_, &linkState.readOverlapped, rest, sizeof rest, 50, &count));
        EXPECT_EQ(row.reports.size() > 20 ? row.reports.size() - 20 : 0u, count);
    }
    EXPECT_EQ(LINK_WAIT_FAILED, PollModemConnect(nullptr));
    CloseHandle(client_);
    client_ = nullptr;
    EXPECT_EQ(LINK_WAIT_FAILED, PollModemConnect(server_));   // the line is gone
}
