// Sessions over "Modem - TAPI": the real program with our telephony stand-in
// in place of the system's, the call's comm handle a pseudo-terminal COM
// port served by the terminal simulator.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

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

// A refused answer is told, and the window ends: telephony has already
// been let go, so no call could come.
TEST_F(TelephonyTest, ARefusedAnswerIsToldAndEndsTheSession)
{
    TapiStandin tapi(Dir(), ModemLine("answer_result = 0x80000048\n"));
    ASSERT_TRUE(tapi.Ok());
    Program& program = Launch(TapiSession(WinDir() + "\\refused.txt").Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Failed to create connection!!");
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(1u, tapi.Calls("lineOpenA").size());
    EXPECT_EQ(1u, tapi.Calls("lineShutdown").size());
}

// Kept online, a refused answer is told while the line is already open
// again: the next call is answered and carries its transfer with the box
// still up.
TEST_F(TelephonyTest, KeptOnlineARefusedAnswerIsFollowedByTheNextCall)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({"r1", "r2"})}));
    TapiStandin tapi(Dir(), ModemLine("answer_result = 0x80000048\nanswer_refusals = 1\n"));
    ASSERT_TRUE(tapi.Ok());
    CommandLine line = TapiSession(WinDir() + "\\again.txt");
    line.keepOnline = 1;
    Program& program = Launch(line.Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Failed to create connection!!");
    EXPECT_TRUE(port.Simulator().WaitForTransfers(1, END_CODE_WAIT_MS)) << testing::PrintToString(tapi.Calls());
    EXPECT_TRUE(WindowExists(ERROR_CAPTION)) << "the transfer ran while the box was up";
    EXPECT_EQ(ReadFile(Dir() + "/again.txt"), "r1\r\nr2\r\n");
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_GE(tapi.Calls("lineAnswer").size(), 2u);
    EXPECT_EQ(tapi.Calls("lineInitializeExA").size(), tapi.Calls("lineShutdown").size());
}

// Kept online, with a long polling time: the caller hangs up after two of
// three records. The hang-up is noticed at once and logged (messages off)
// as a lost connection, the line is opened again, and the next call
// carries the record that was left.
TEST_F(TelephonyTest, KeptOnlineTheCallerHangingUpMidTransferIsToldAndTheNextCallIsTaken)
{
    termsim::TransferPlan plan = PlainTransfer({"h1", "h2", "h3"});
    plan.silentAfterRecords = 2;
    plan.resumeOnRead = true;   // the terminal keeps what was not acknowledged
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    ASSERT_TRUE(Serve(port, {plan}));
    const std::string hangUp = Dir() + "/hang-up";
    TapiStandin tapi(Dir(), ModemLine("hangup_file = " + hangUp + "\n"));
    ASSERT_TRUE(tapi.Ok());
    CommandLine line = TapiSession(WinDir() + "\\hangup.txt");
    line.saveMode = 4;   // appended, so that both calls' records stay
    line.keepOnline = 1;
    line.pollingTime = 20;
    line.showErrorMessages = 0;
    Program& program = Launch(line.Text());
    ASSERT_TRUE(sim.WaitFor([](const termsim::TerminalSimulator& s) { return s.RecordsAcknowledged() == 2; },
                            END_CODE_WAIT_MS));
    WriteFile(hangUp, "");
    ASSERT_TRUE(sim.WaitForTransfers(1, END_CODE_WAIT_MS)) << testing::PrintToString(tapi.Calls());
    EXPECT_EQ(ReadFile(Dir() + "/hangup.txt"), "h1\r\nh2\r\nh3\r\n");
    EXPECT_FALSE(WindowExists(ERROR_CAPTION));
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));

    // Let go at once: the call dropped and its handle closed well within a
    // second of the hang-up, then the line opened again.
    const int64_t hangupUs = LoggedAtUs(tapi, {"callback LINE_CALLSTATE", "p1=0x4000 "});
    const int64_t closeUs = LoggedAtUs(tapi, {"lineClose", "comm=closed"});
    ASSERT_GT(hangupUs, 0);
    EXPECT_GE(closeUs, hangupUs);
    EXPECT_LT(closeUs - hangupUs, 1'000'000);
    EXPECT_GE(tapi.Calls("lineOpenA").size(), 2u);
    const std::vector<std::string> logs = FilesLike(Dir(), "Err", ".log");
    ASSERT_EQ(1u, logs.size());
    EXPECT_EQ(ReadFile(Dir() + "/" + logs[0]), "Connection lost!!");
    // Nothing went to the dead line: the next command is the next call's.
    const auto commands = sim.Commands();
    const auto next = std::find_if(commands.begin(), commands.end(),
                                   [&](const termsim::HostCommand& c) { return c.timeNs / 1000 > hangupUs; });
    ASSERT_NE(next, commands.end());
    EXPECT_EQ(next->text, "READ\r");
}

// The caller hangs up a moment after the terminal's "OVER\r": the transfer
// is complete, whatever the line does next.
TEST_F(TelephonyTest, AHangUpJustAfterOverLeavesACompleteTransfer)
{
    for (const int delayMs : {11, 289}) {
        SCOPED_TRACE(delayMs);
        ComPort port(COM);
        termsim::TerminalSimulator& sim = port.Simulator();
        ASSERT_TRUE(Serve(port, {PlainTransfer({"o1", "o2"})}));
        const std::string hangUp = Dir() + "/hang-up";
        TapiStandin tapi(Dir(), ModemLine("hangup_file = " + hangUp + "\n"));
        ASSERT_TRUE(tapi.Ok());
        Program& program = Launch(TapiSession(WinDir() + "\\over.txt").Text());
        ASSERT_TRUE(sim.WaitForTransfers(1, END_CODE_WAIT_MS));
        int64_t overNs = 0;
        for (const auto& chunk : sim.Sent())
            if (chunk.bytes.find("OVER\r") != std::string::npos) overNs = chunk.timeNs;
        while (NowNs() < overNs + delayMs * 1'000'000LL) usleep(500);
        WriteFile(hangUp, "");
        int code = -1;
        EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS, &code)) << testing::PrintToString(tapi.Calls());
        std::string text;
        EXPECT_FALSE(WaitBox(ERROR_CAPTION, 0, &text)) << text;
        EXPECT_EQ(0, code);
        EXPECT_EQ(ReadFile(Dir() + "/over.txt"), "o1\r\no2\r\n");
        // The hang-up came when asked, if before the program let go.
        const int64_t hangupUs = LoggedAtUs(tapi, {"callback LINE_CALLSTATE", "p1=0x4000 "});
        if (hangupUs > 0) {
            EXPECT_LT(hangupUs - overNs / 1000, (delayMs + 60) * 1000LL);
        }
        program.Kill();
        std::remove(hangUp.c_str());
        std::remove((Dir() + "/tapi.log").c_str());
    }
}

// A second call offered while the first is held, and the connected state
// reported twice: the first call's handles stay the only ones, one comm
// handle and one transfer.
TEST_F(TelephonyTest, ASecondOfferedCallAndARepeatedConnectionLeaveTheFirstCallAlone)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({"s1", "s2", "s3"})}));
    TapiStandin tapi(Dir(), ModemLine("second_call_after = 300\nconnected_twice = yes\n"));
    ASSERT_TRUE(tapi.Ok());
    Program& program = Launch(TapiSession(WinDir() + "\\second.txt").Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/second.txt"), "s1\r\ns2\r\ns3\r\n");
    const std::vector<std::string> calls = tapi.Calls();
    EXPECT_EQ(1u, tapi.Calls("lineAnswer").size()) << testing::PrintToString(calls);
    // One comm handle taken (the first read only learns the size).
    const std::vector<std::string> ids = tapi.Calls("lineGetIDA");
    EXPECT_EQ(1, std::count_if(ids.begin(), ids.end(), [](const std::string& id) {
                  return id.find("handle=0x0") == std::string::npos;
              })) << testing::PrintToString(calls);
    EXPECT_EQ(1, port.Simulator().CountCommands("READ\r"));
    // Both calls dropped, each once; the comm handle closed before its line.
    const std::vector<std::string> drops = tapi.Calls("lineDrop");
    ASSERT_EQ(2u, drops.size()) << testing::PrintToString(calls);
    EXPECT_NE(drops[0], drops[1]);
    const std::vector<std::string> closes = tapi.Calls("lineClose");
    ASSERT_EQ(1u, closes.size());
    EXPECT_NE(closes[0].find("comm=closed"), std::string::npos) << closes[0];
}

// A line device whose capabilities cannot be read is passed over; the
// working modem listed after it carries the session.
TEST_F(TelephonyTest, AnUnreadableDeviceIsSkippedAndTheNextModemIsUsed)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({"u1"})}));
    TapiStandin tapi(Dir(), "[line]\nname = Broken\ncaps = fail\n" + ModemLine());
    ASSERT_TRUE(tapi.Ok());
    Program& program = Launch(TapiSession(WinDir() + "\\skip.txt").Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_FALSE(WindowExists(ERROR_CAPTION));
    EXPECT_EQ(ReadFile(Dir() + "/skip.txt"), "u1\r\n");
    const std::vector<std::string> opens = tapi.Calls("lineOpenA");
    ASSERT_EQ(1u, opens.size());
    EXPECT_NE(opens[0].find("device=1 "), std::string::npos) << opens[0];
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
