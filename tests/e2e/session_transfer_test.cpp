// Whole transfers through the real program: what lands in the output file in
// each save mode, the completion boxes and the viewer, keep-online restarts,
// Abort, and which empty files are removed.
#include "session_support.h"

namespace e2e {
namespace {

using termsim::PlainTransfer;
using termsim::ReadAnswer;
using termsim::TransferPlan;

class SessionTransferTest : public E2ETest {};

constexpr int COM = 5;

TEST_F(SessionTransferTest, OverwriteEmptiesTheFileAndWritesEachRecordOnce)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"123", "4567", "", "x y"}));
    port.StartSimulator();
    WriteFile(Dir() + "/out.txt", "earlier content\r\n");

    Program& program = Launch(SerialSession(COM, WinDir() + "\\out.txt", 0).Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));

    EXPECT_EQ(ReadFile(Dir() + "/out.txt"), "123\r\n4567\r\n\r\nx y\r\n");
    EXPECT_EQ(port.Simulator().RecordsAcknowledged(), 4);
    EXPECT_EQ(CommandTexts(port.Simulator()),
              std::vector<std::string>({"READ\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r"}));
}

TEST_F(SessionTransferTest, AppendKeepsEarlierContentAndHonoursTheLineEndFlags)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"a1", "b2"}));
    port.StartSimulator();
    WriteFile(Dir() + "/log.txt", "old\r\n");

    CommandLine line = SerialSession(COM, WinDir() + "\\log.txt", 1);
    line.addLineFeed = 0;   // CR only
    Program& program = Launch(line.Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/log.txt"), "old\r\na1\rb2\r");
}

TEST_F(SessionTransferTest, AutoAppendCreatesAMissingFileWithBareRecords)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"one", "two", "three"}));
    port.StartSimulator();

    CommandLine line = SerialSession(COM, WinDir() + "\\auto.txt", 4);
    line.addReturn = 0;
    line.addLineFeed = 0;
    Program& program = Launch(line.Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/auto.txt"), "onetwothree");
}

TEST_F(SessionTransferTest, AutoFileNameWritesANewTimeStampedFile)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"r1", "r2"}));
    port.StartSimulator();

    Program& program = Launch(SerialSession(COM, WinDir(), 3).Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    const std::vector<std::string> made = FilesLike(Dir(), "", ".TXT");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].size(), 12u) << made[0];
    EXPECT_EQ(ReadFile(Dir() + "/" + made[0]), "r1\r\nr2\r\n");
}

TEST_F(SessionTransferTest, CompletionAsksWithTheCountAndYesStartsTheViewer)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"a", "b", "c"}));
    port.StartSimulator();

    CommandLine line = SerialSession(COM, WinDir() + "\\seen.txt", 0);
    line.viewReceivedData = 1;
    Program& program = Launch(line.Text());
    std::string text;
    ASSERT_TRUE(WaitSessionBox("Done : 3 records received.\nView the received data ?", END_CODE_WAIT_MS, &text))
        << text;
    EXPECT_EQ(ReadFile(Dir() + "/seen.txt"), "a\r\nb\r\nc\r\n");
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_YES));

    // Wine's Notepad titles its window after the file.
    bool viewerShown = false;
    const int64_t deadline = NowNs() + 10'000'000'000LL;
    while (!viewerShown && NowNs() < deadline) {
        for (const std::string& window : ListWindows())
            if (window.find("seen") != std::string::npos && window.find("Notepad") != std::string::npos)
                viewerShown = true;
    }
    EXPECT_TRUE(viewerShown);
    EXPECT_GE(KillImage("notepad.exe"), 1);
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

TEST_F(SessionTransferTest, NothingReceivedIsToldAndTheEmptiedFileRemoved)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({}));   // "ACK\r" then "OVER\r"
    port.StartSimulator();
    WriteFile(Dir() + "/empty.txt", "will be emptied");

    CommandLine line = SerialSession(COM, WinDir() + "\\empty.txt", 0);
    line.viewReceivedData = 1;
    Program& program = Launch(line.Text());
    std::string text;
    ASSERT_TRUE(WaitSessionBox("No data received !!", END_CODE_WAIT_MS, &text)) << text;
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_OK));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_FALSE(FileExists(Dir() + "/empty.txt")) << "emptied by this session and left empty";
}

TEST_F(SessionTransferTest, FilesWithEarlierDataStayWhenNothingArrives)
{
    // APPEND: the file was opened but holds earlier data.
    {
        ComPort port(COM);
        ASSERT_TRUE(port.Ok());
        port.Simulator().AddTransfer(PlainTransfer({}));
        port.StartSimulator();
        WriteFile(Dir() + "/keep.txt", "kept");
        Program& program = Launch(SerialSession(COM, WinDir() + "\\keep.txt", 1).Text());
        ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
        EXPECT_EQ(ReadFile(Dir() + "/keep.txt"), "kept");
        EXPECT_EQ(port.Simulator().TransfersCompleted(), 1);
    }
    // OVERWRITE, but the terminal said "OVER\r" before any "ACK\r": the file
    // was never opened in this session.
    {
        ComPort port(COM);
        ASSERT_TRUE(port.Ok());
        TransferPlan plan;
        plan.answer = ReadAnswer::OVER;
        port.Simulator().AddTransfer(plan);
        port.StartSimulator();
        WriteFile(Dir() + "/earlier.txt", "from an earlier session");
        Program& program = Launch(SerialSession(COM, WinDir() + "\\earlier.txt", 0).Text());
        ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
        EXPECT_EQ(ReadFile(Dir() + "/earlier.txt"), "from an earlier session");
    }
}

TEST_F(SessionTransferTest, KeepOnlineRestartsAboutASecondAfterCompletionWithoutAsking)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"k1"}));
    port.Simulator().AddTransfer(PlainTransfer({"k2"}));
    port.StartSimulator();

    CommandLine line = SerialSession(COM, WinDir() + "\\online.txt", 4);
    line.keepOnline = 1;
    line.viewReceivedData = 1;   // never asked in keep-online mode
    Program& program = Launch(line.Text());
    termsim::TerminalSimulator& sim = port.Simulator();
    ASSERT_TRUE(sim.WaitForTransfers(2, END_CODE_WAIT_MS));
    ASSERT_TRUE(sim.WaitForCommand("READ\r", 3, 10000)) << "a third opening follows the second transfer";

    // The time from the terminal's first "OVER\r" to the next "READ\r": the
    // 1000 ms pause, then the port's opening pauses (about 400 ms).
    int64_t overTime = -1;
    for (const auto& chunk : sim.Sent())
        if (chunk.bytes.find("OVER\r") != std::string::npos) { overTime = chunk.timeNs; break; }
    ASSERT_GE(overTime, 0);
    int64_t nextRead = -1;
    for (const auto& command : sim.Commands())
        if (command.text == "READ\r" && command.timeNs > overTime) { nextRead = command.timeNs; break; }
    ASSERT_GE(nextRead, 0);
    const double gapMs = static_cast<double>(nextRead - overTime) / 1e6;
    EXPECT_GE(gapMs, 1000.0);
    EXPECT_LE(gapMs, 2500.0);

    EXPECT_FALSE(WindowExists("Error Message"));
    EXPECT_EQ(ReadFile(Dir() + "/online.txt"), "k1\r\nk2\r\n");
    EXPECT_TRUE(program.Running());
    // No question box: the only window with the caption is the session.
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

TEST_F(SessionTransferTest, AbortWhileWaitingClosesQuietlyAndDeletesNothing)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    TransferPlan silent;
    silent.answer = ReadAnswer::SILENT;
    port.Simulator().AddTransfer(silent);
    port.StartSimulator();
    WriteFile(Dir() + "/untouched.txt", "");

    CommandLine line = SerialSession(COM, WinDir() + "\\untouched.txt", 0);
    line.viewReceivedData = 1;
    Program& program = Launch(line.Text());
    ASSERT_TRUE(port.Simulator().WaitForCommand("READ\r", 1, END_CODE_WAIT_MS));
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_TRUE(FileExists(Dir() + "/untouched.txt"));
    EXPECT_EQ(port.Simulator().CountCommands("READ\r"), 1);
}

TEST_F(SessionTransferTest, KeyboardEmulationMinimisesTheWindowAndItStaysMinimised)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    TransferPlan silent;
    silent.answer = ReadAnswer::SILENT;
    port.Simulator().AddTransfer(silent);
    port.StartSimulator();

    CommandLine line = SerialSession(COM, "", 2);
    line.path = ".\\";
    Program& program = Launch(line.Text());
    ASSERT_TRUE(port.Simulator().WaitForCommand("READ\r", 1, END_CODE_WAIT_MS));
    bool minimised = false;
    const int64_t deadline = NowNs() + 5'000'000'000LL;
    while (!minimised && NowNs() < deadline) minimised = IsIconic(SESSION_CAPTION) == 1;
    ASSERT_TRUE(minimised);
    // Still minimised once the first repetition of "READ\r" has gone out,
    // that is, after the animation timer has run more than once.
    ASSERT_TRUE(port.Simulator().WaitForCommand("READ\r", 2, 5000));
    EXPECT_EQ(IsIconic(SESSION_CAPTION), 1);
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

}  // namespace
}  // namespace e2e
