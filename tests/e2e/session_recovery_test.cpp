// How a session recovers from a faulty or silent terminal, and when it gives
// up: refused records, repetitions, the reply time-out with its retry limit,
// keep-online polling, and a COM port that is absent for a while.
#include "session_support.h"

namespace e2e {
namespace {

using termsim::PlainTransfer;
using termsim::ReadAnswer;
using termsim::RecordSpec;
using termsim::TransferPlan;

class SessionRecoveryTest : public E2ETest {};

RecordSpec Record(const std::string& data)
{
    RecordSpec record;
    record.data = data;
    return record;
}

constexpr int COM = 6;

TEST_F(SessionRecoveryTest, BadChecksumWrongSequenceAndRepetitionAreEachRepairedOnce)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    TransferPlan plan;
    plan.records.push_back(Record("first"));
    plan.records.back().repeatAfterAck = true;          // our ACK "got lost"
    plan.records.push_back(Record("second"));
    plan.records.back().badChecksumAttempts = 1;
    plan.records.push_back(Record("third"));
    plan.records.back().wrongSequenceAttempts = 1;
    port.Simulator().AddTransfer(plan);
    port.StartSimulator();

    Program& program = Launch(SerialSession(COM, WinDir() + "\\fixed.txt", 0).Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/fixed.txt"), "first\r\nsecond\r\nthird\r\n");
    EXPECT_EQ(CommandTexts(port.Simulator()),
              std::vector<std::string>({"READ\r", "ACK\r", "ACK\r",   // first, and its repetition
                                        "NAK\r", "ACK\r",             // second, bad then good
                                        "NAK\r", "ACK\r"}));          // third, wrong then right
}

TEST_F(SessionRecoveryTest, SeventhBadLineEndsTheSessionWithTimeOut)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    TransferPlan plan;
    plan.records.push_back(Record("ok"));
    plan.records.push_back(Record("never"));
    plan.records.back().badChecksumAttempts = 100;
    port.Simulator().AddTransfer(plan);
    port.StartSimulator();

    Program& program = Launch(SerialSession(COM, WinDir() + "\\bad.txt", 0).Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Time out!!");
    EXPECT_EQ(port.Simulator().CountCommands("NAK\r"), 6);
    EXPECT_EQ(port.Simulator().CountCommands("ACK\r"), 1);
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/bad.txt"), "ok\r\n");
}

TEST_F(SessionRecoveryTest, SilentTerminalGetsSevenReadsASecondApartThenALoggedTimeOut)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    TransferPlan silent;
    silent.answer = ReadAnswer::SILENT;
    port.Simulator().AddTransfer(silent);
    port.StartSimulator();

    CommandLine line = SerialSession(COM, WinDir() + "\\quiet.txt", 0);
    line.showErrorMessages = 0;
    Program& program = Launch(line.Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS)) << "no box may hold the program open";

    termsim::TerminalSimulator& sim = port.Simulator();
    EXPECT_EQ(CommandTexts(sim), std::vector<std::string>(7, "READ\r"));
    // Each repetition waits for the reply timer (1000 ms) plus the 10 ms
    // pause after a write; Wine's timers are good to a few tens of ms.
    for (double gap : IntervalsMs(sim, "READ\r")) {
        EXPECT_GE(gap, 980.0);
        EXPECT_LE(gap, 1300.0);
    }
    const std::vector<std::string> logs = FilesLike(Dir(), "Err", ".log");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(ReadFile(Dir() + "/" + logs[0]), "Time out!!");
    EXPECT_FALSE(FileExists(Dir() + "/quiet.txt")) << "no answer, no file";
}

TEST_F(SessionRecoveryTest, KeepOnlineAsksASilentTerminalEveryPollingIntervalWithoutEnd)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    TransferPlan silent;
    silent.answer = ReadAnswer::SILENT;
    port.Simulator().AddTransfer(silent);
    port.StartSimulator();

    CommandLine line = SerialSession(COM, WinDir() + "\\poll.txt", 0);
    line.keepOnline = 1;
    line.pollingTime = 1;
    Program& program = Launch(line.Text());
    // More than the seven that end a session outside keep-online mode.
    ASSERT_TRUE(port.Simulator().WaitForCommand("READ\r", 9, 15000));
    for (double gap : IntervalsMs(port.Simulator(), "READ\r")) {
        EXPECT_GE(gap, 980.0);
        EXPECT_LE(gap, 1300.0);
    }
    EXPECT_FALSE(WindowExists(ERROR_CAPTION));
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

TEST_F(SessionRecoveryTest, AbsentPortIsWaitedForAndThenUsed)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    ASSERT_TRUE(SetEnumeratedPorts({}));
    port.Simulator().AddTransfer(PlainTransfer({"late"}));
    port.StartSimulator();
    port.Unlink();

    Program& program = Launch(SerialSession(COM, WinDir() + "\\late.txt", 0).Text());
    std::string status;
    ASSERT_TRUE(WaitControlText(SESSION_CAPTION, SESSION_STATUS, "COM port is not available!", END_CODE_WAIT_MS,
                                &status)) << status;
    EXPECT_EQ(ControlVisible(SESSION_CAPTION, SESSION_PORT_ICON), 1);
    EXPECT_TRUE(program.Running());
    EXPECT_FALSE(WindowExists(ERROR_CAPTION)) << "an absent port is not reported";

    port.Relink();
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/late.txt"), "late\r\n");
}

}  // namespace
}  // namespace e2e
