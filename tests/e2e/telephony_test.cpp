// Sessions over "Modem - TAPI": the real program with our telephony stand-in
// in place of the system's, the call's comm handle a pseudo-terminal COM
// port served by the terminal simulator.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "session_support.h"

namespace e2e {
namespace {

using termsim::PlainTransfer;

class TelephonyTest : public E2ETest {};

constexpr int COM = 6;
constexpr int MODEM_TAPI_KIND = 2;
constexpr int WAITING_MS = 8000;

std::string ModemLine(const std::string& extra = "")
{
    return "[line]\nname = Standard 56000 bps Modem\ncom = " + std::to_string(COM) + "\n" + extra;
}

CommandLine TapiSession(const std::string& windowsPath)
{
    CommandLine line = SerialSession(COM, windowsPath, 0);
    line.interfaceKind = MODEM_TAPI_KIND;
    return line;
}

// Microseconds of the first log line holding every one of the needles; -1.
int64_t LoggedAtUs(const TapiStandin& tapi, std::initializer_list<std::string> needles)
{
    std::istringstream log(ReadFile(tapi.LogPath()));
    for (std::string line; std::getline(log, line);) {
        if (std::all_of(needles.begin(), needles.end(), [&](const std::string& n) { return line.find(n) != std::string::npos; }))
            return std::strtoll(line.c_str(), nullptr, 10);
    }
    return -1;
}

// Where in the whole call list the first call starting with `prefix` is; -1.
int PositionOf(const std::vector<std::string>& calls, const std::string& prefix)
{
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
}

TEST_F(TelephonyTest, AnAnsweredCallCarriesAWholeSessionAndIsReleasedAtTheEnd)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({"t1", "t2", "t3"})}));
    // The call comes late enough to see the window wait for it.
    TapiStandin tapi(Dir(), ModemLine("offer_after = 1500\n"));
    ASSERT_TRUE(tapi.Ok());
    Program& program = Launch(TapiSession(WinDir() + "\\call.txt").Text());
    std::string status;
    EXPECT_TRUE(WaitControlText(SESSION_CAPTION, SESSION_STATUS, "Wait for call...", WAITING_MS, &status)) << status;
    EXPECT_EQ(0u, tapi.Calls("lineAnswer").size());
    int code = -1;
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS, &code));
    EXPECT_EQ(ReadFile(Dir() + "/call.txt"), "t1\r\nt2\r\nt3\r\n");

    // The offered call is answered at once.
    const int64_t offeredUs = LoggedAtUs(tapi, {"callback LINE_APPNEWCALL"});
    const int64_t answeredUs = LoggedAtUs(tapi, {"lineAnswer"});
    ASSERT_GT(offeredUs, 0);
    EXPECT_LT(answeredUs - offeredUs, 100'000);

    // The first "READ\r" a second after the connection: the pause, then the
    // port's preparation and the write.
    const int64_t connectedUs = LoggedAtUs(tapi, {"callback LINE_CALLSTATE", "p1=0x100 "});
    const auto commands = port.Simulator().Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front().text, "READ\r");
    ASSERT_GT(connectedUs, 0);
    const double readAfterMs = static_cast<double>(commands.front().timeNs / 1000 - connectedUs) / 1000.0;
    EXPECT_GE(readAfterMs, 990.0);
    EXPECT_LT(readAfterMs, 1250.0);

    // Answered once, then on completion: the call dropped, the comm handle
    // closed before its line, telephony ended, each once.
    const std::vector<std::string> calls = tapi.Calls();
    const int answer = PositionOf(calls, "lineAnswer");
    const int drop = PositionOf(calls, "lineDrop");
    const int close = PositionOf(calls, "lineClose");
    const int shutdown = PositionOf(calls, "lineShutdown");
    ASSERT_TRUE(answer >= 0 && drop > answer && close > drop && shutdown > close) << testing::PrintToString(calls);
    EXPECT_NE(calls[static_cast<size_t>(close)].find("comm=closed"), std::string::npos);
    EXPECT_NE(calls[static_cast<size_t>(shutdown)].find("open_lines=0"), std::string::npos);
    for (const char* function : {"lineAnswer", "lineDrop", "lineClose", "lineShutdown"})
        EXPECT_EQ(1u, tapi.Calls(function).size()) << function;
}

// A refused answer is told at once; the window keeps waiting, with telephony
// already ended, until the user aborts.
TEST_F(TelephonyTest, ARefusedAnswerIsToldAndTheWindowWaitsForAbort)
{
    TapiStandin tapi(Dir(), ModemLine("answer_result = 0x80000048\n"));
    ASSERT_TRUE(tapi.Ok());
    Program& program = Launch(TapiSession(WinDir() + "\\refused.txt").Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Failed to create connection!!");
    EXPECT_EQ(1u, tapi.Calls("lineShutdown").size());
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    std::string status;
    EXPECT_TRUE(GetControlText(SESSION_CAPTION, SESSION_STATUS, &status));
    EXPECT_EQ(status, "Wait for call...");
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(1u, tapi.Calls("lineShutdown").size());
}

// The terminal sends two records and falls silent (the program asks again
// every second); the caller hangs up. The next command then has no line to
// go out on, which ends the session.
TEST_F(TelephonyTest, TheCallerHangingUpMidTransferReleasesTheCallOnce)
{
    termsim::TransferPlan plan = PlainTransfer({"h1", "h2", "h3"});
    plan.silentAfterRecords = 2;
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {plan}));
    TapiStandin tapi(Dir(), ModemLine("hangup_after = 5000\n"));
    ASSERT_TRUE(tapi.Ok());
    Program& program = Launch(TapiSession(WinDir() + "\\hangup.txt").Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Failed to write the COM port!");
    // Released when the caller hung up, before anything was reported.
    const int64_t hangupUs = LoggedAtUs(tapi, {"callback LINE_CALLSTATE", "p1=0x4000 "});
    const int64_t closeUs = LoggedAtUs(tapi, {"lineClose", "comm=closed"});
    ASSERT_GT(hangupUs, 0);
    EXPECT_GE(closeUs, hangupUs);
    EXPECT_EQ(1u, tapi.Calls("lineShutdown").size());
    // Nothing was written to the terminal after the hang-up.
    for (const auto& command : port.Simulator().Commands()) EXPECT_LT(command.timeNs / 1000, hangupUs) << command.text;

    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    int code = -1;
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(2, port.Simulator().RecordsAcknowledged());
    EXPECT_EQ(ReadFile(Dir() + "/hangup.txt"), "h1\r\nh2\r\n");
    for (const char* function : {"lineDrop", "lineClose", "lineShutdown"})
        EXPECT_EQ(1u, tapi.Calls(function).size()) << function;
}

// A connected call whose comm handle is unusable ends the session with its
// own message, and everything is released.
TEST_F(TelephonyTest, AConnectedCallWithoutAUsableCommHandleIsReported)
{
    const struct {
        const char* name;
        const char* world;
        const char* message;
        const char* commAtClose;
    } rows[] = {
        {"telephony refuses the handle", "getid_result = 0x80000048\n", "Can't get the device ID!", "comm=none"},
        {"telephony answers with no handle", "comm_handle = none\n", "Can't get the device ID!", "comm=none"},
        {"the handle is no character device", "comm_handle = file\n", "Failed to create connection!!",
         "comm=closed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TapiStandin tapi(Dir(), ModemLine(row.world));
        ASSERT_TRUE(tapi.Ok());
        Program& program = Launch(TapiSession(WinDir() + "\\unusable.txt").Text());
        std::string text;
        ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
        EXPECT_EQ(text, row.message);
        ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
        ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
        const std::vector<std::string> closes = tapi.Calls("lineClose");
        ASSERT_EQ(1u, closes.size());
        EXPECT_NE(closes[0].find(row.commAtClose), std::string::npos) << closes[0];
        EXPECT_EQ(1u, tapi.Calls("lineShutdown").size());
        std::remove((Dir() + "/tapi.log").c_str());
    }
}

}  // namespace
}  // namespace e2e
