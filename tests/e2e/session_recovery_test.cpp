// How a session recovers from a faulty or silent terminal, and when it gives
// up with a time-out.
#include "session_support.h"

namespace e2e {
namespace {

class SessionRecoveryTest : public E2ETest {};

constexpr int COM = 6;

// Appended after earlier content, with CR only. "abJ" at sequence 0 carries
// the checksum byte 13 as 14 on the wire.
TEST_F(SessionRecoveryTest, FaultsAreRepairedOnceUntilTheSeventhBadLineEndsTheSession)
{
    termsim::TransferPlan plan = termsim::PlainTransfer({"abJ", "second", "third", "never"});
    plan.records[0].repeatAfterAck = true;   // our ACK "got lost"
    plan.records[1].badChecksumAttempts = 1;
    plan.records[2].wrongSequenceAttempts = 1;
    plan.records[3].badChecksumAttempts = 100;
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {plan}));
    WriteFile(Dir() + "/fixed.txt", "earlier\r\n");
    CommandLine line = SerialSession(COM, WinDir() + "\\fixed.txt", 1);
    line.addLineFeed = 0;
    Program& program = Launch(line.Text());

    std::vector<std::string> expected = {"READ\r", "ACK\r", "ACK\r", "NAK\r", "ACK\r", "NAK\r", "ACK\r"};
    expected.insert(expected.end(), 6, "NAK\r");
    // The program's start under Wine and winprobe's each take seconds on a
    // loaded machine: one wait for the start and the exchange on the wire,
    // another for the box, which follows the seventh bad line at once.
    ASSERT_TRUE(port.Simulator().WaitForCommands(expected.size(), END_CODE_WAIT_MS));
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Time out!!");
    EXPECT_EQ(CommandTexts(port.Simulator()), expected);
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/fixed.txt"), "earlier\r\nabJ\rsecond\rthird\r");
}

// The terminal is busy past our reply time: its "ACK\r" to the first
// "READ\r" crosses the second, which it reads afterwards and starts over on,
// late again. Our answers to the lines of its first start reach it only
// after that restart, and it takes them for the lines it sends again; a
// second answer to those would leave it one ahead, taking the ACK of one
// record for the next, refused one.
TEST_F(SessionRecoveryTest, ALateAnswerToReadCrossingItsRepetitionLosesAndRepeatsNothing)
{
    termsim::TransferPlan plan = termsim::PlainTransfer({"r0", "r1", "r2", "r3", "r4"});
    plan.readDelayMs = 1150;
    plan.resumeOnRead = true;
    plan.records[2].badChecksumAttempts = 1;
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {plan}));
    CommandLine line = SerialSession(COM, WinDir() + "\\late.txt", 0);
    line.showErrorMessages = 0;
    ASSERT_TRUE(Launch(line.Text()).WaitExit(END_CODE_WAIT_MS));

    const termsim::TerminalSimulator& sim = port.Simulator();
    EXPECT_EQ(sim.TransfersCompleted(), 1) << "no time-out";
    EXPECT_EQ(sim.CountCommands("READ\r"), 2);
    EXPECT_EQ(sim.TransfersStarted(), 2) << "the terminal started over on the second READ";
    EXPECT_EQ(sim.RecordsAcknowledged(), 5);
    EXPECT_EQ(ReadFile(Dir() + "/late.txt"), "r0\r\nr1\r\nr2\r\nr3\r\nr4\r\n");
    EXPECT_TRUE(FilesLike(Dir(), "Err", ".log").empty());
}

TEST_F(SessionRecoveryTest, SilentTerminalGetsSevenReadsASecondApartThenALoggedTimeOut)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {}));   // the terminal stays silent
    CommandLine line = SerialSession(COM, WinDir() + "\\quiet.txt", 0);
    line.showErrorMessages = 0;
    ASSERT_TRUE(Launch(line.Text()).WaitExit(END_CODE_WAIT_MS)) << "no box may hold the program open";

    EXPECT_EQ(CommandTexts(port.Simulator()), std::vector<std::string>(7, "READ\r"));
    // The reply timer (1000 ms), the 10 ms pause after a write, Wine's timers.
    for (double gap : IntervalsMs(port.Simulator(), "READ\r")) {
        EXPECT_GE(gap, 980.0);
        EXPECT_LE(gap, 1300.0);
    }
    const std::vector<std::string> logs = FilesLike(Dir(), "Err", ".log");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(ReadFile(Dir() + "/" + logs[0]), "Time out!!");
    EXPECT_FALSE(FileExists(Dir() + "/quiet.txt")) << "no answer, no file";
}

}  // namespace
}  // namespace e2e
