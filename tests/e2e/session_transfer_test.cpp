// Whole transfers through the real program: output files, completion boxes
// and the viewer, keep-online, Abort, and which empty files are removed.
#include <algorithm>

#include "session_support.h"

namespace e2e {
namespace {

using termsim::PlainTransfer;

class SessionTransferTest : public E2ETest {};

constexpr int COM = 5;

TEST_F(SessionTransferTest, AutoFileNameWritesANewFileAndYesOnTheCountShowsIt)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({"r1", "r2"})}));
    CommandLine line = SerialSession(COM, WinDir(), 3);
    line.viewReceivedData = 1;
    Program& program = Launch(line.Text());
    std::string text;
    ASSERT_TRUE(WaitControlText(SESSION_CAPTION, BOX_TEXT, "Done : 2 records received.\nView the received data ?",
                                END_CODE_WAIT_MS, &text)) << text;
    const std::vector<std::string> made = FilesLike(Dir(), "", ".TXT");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].size(), 12u) << "a time-stamped name: " << made[0];
    EXPECT_EQ(ReadFile(Dir() + "/" + made[0]), "r1\r\nr2\r\n");
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_YES));
    // Wine's Notepad titles its window after the file. Its first start in a
    // fresh prefix can take many seconds (fonts), hence the long deadline.
    const std::string stem = made[0].substr(0, 8);
    bool viewerShown = false;
    for (const int64_t deadline = NowNs() + 40'000'000'000LL; !viewerShown && NowNs() < deadline;)
        for (const std::string& window : ListWindows())
            if (window.find(stem) != std::string::npos && window.find("Notepad") != std::string::npos) viewerShown = true;
    EXPECT_TRUE(viewerShown);
    EXPECT_GE(KillImage("notepad.exe"), 1);
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

TEST_F(SessionTransferTest, NothingReceivedIsToldAndTheEmptiedFileRemoved)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({})}));   // "ACK\r" then "OVER\r"
    WriteFile(Dir() + "/empty.txt", "will be emptied");
    CommandLine line = SerialSession(COM, WinDir() + "\\empty.txt", 0);
    line.viewReceivedData = 1;
    Program& program = Launch(line.Text());
    std::string text;
    ASSERT_TRUE(WaitControlText(SESSION_CAPTION, BOX_TEXT, "No data received !!", END_CODE_WAIT_MS, &text)) << text;
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_OK));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_FALSE(FileExists(Dir() + "/empty.txt"));
}

// Three transfers: a record, none (the file holds earlier data and stays),
// the same record again (a new session, not a repetition); then silence.
TEST_F(SessionTransferTest, KeepOnlineRestartsWithoutAskingAndPollsEveryInterval)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({"k1"}), PlainTransfer({}), PlainTransfer({"k1"})}));
    CommandLine line = SerialSession(COM, WinDir() + "\\online.txt", 4);
    line.addReturn = line.addLineFeed = 0;
    line.keepOnline = 1;
    line.viewReceivedData = 1;   // never asked in keep-online mode
    Program& program = Launch(line.Text());
    termsim::TerminalSimulator& sim = port.Simulator();
    ASSERT_TRUE(sim.WaitForTransfers(3, END_CODE_WAIT_MS));
    ASSERT_TRUE(sim.WaitForCommand("READ\r", 6, 10000));

    // From each "OVER\r" to the next "READ\r": the 1000 ms pause, then the
    // port's opening (about 400 ms). A box would hold the restart up.
    const auto commands = sim.Commands();
    int64_t lastOver = 0;
    for (const auto& chunk : sim.Sent()) {
        if (chunk.bytes.find("OVER\r") == std::string::npos) continue;
        lastOver = chunk.timeNs;
        const auto next = std::find_if(commands.begin(), commands.end(),
                                       [&](const auto& c) { return c.timeNs > lastOver && c.text == "READ\r"; });
        ASSERT_NE(next, commands.end());
        EXPECT_NEAR((next->timeNs - lastOver) / 1e6, 1750.0, 750.0);
    }
    // Then every polling time (2 s) plus the 10 ms pause after a write.
    const std::vector<double> gaps = IntervalsMs(sim, "READ\r", lastOver);
    ASSERT_GE(gaps.size(), 2u);
    for (double gap : gaps) EXPECT_NEAR(gap, 2140.0, 160.0);
    EXPECT_EQ(ReadFile(Dir() + "/online.txt"), "k1k1");
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

// A keep-online session that receives nothing must not take the file an
// earlier session made for its own: another program may have emptied it.
TEST_F(SessionTransferTest, ANextSessionThatReceivesNothingKeepsTheFileAnEarlierOneCreated)
{
    termsim::TransferPlan overAtOnce;
    overAtOnce.answer = termsim::ReadAnswer::OVER;
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer({"f1"}), overAtOnce}));
    CommandLine line = SerialSession(COM, WinDir() + "\\feed.txt", 4);
    line.keepOnline = 1;
    Program& program = Launch(line.Text());
    termsim::TerminalSimulator& sim = port.Simulator();
    ASSERT_TRUE(sim.WaitForTransfers(1, END_CODE_WAIT_MS));
    WriteFile(Dir() + "/feed.txt", "");   // taken in by another program
    // The third "READ\r" comes after the second session's completion.
    ASSERT_TRUE(sim.WaitForCommand("READ\r", 3, END_CODE_WAIT_MS));
    EXPECT_TRUE(FileExists(Dir() + "/feed.txt"));
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

// A full disk: the record that no longer fits is refused with the write
// error, and the file holds the acknowledged records whole, nothing of the
// one that failed, so the next transfer appends cleanly.
TEST_F(SessionTransferTest, AFullDiskLeavesExactlyTheAcknowledgedRecordsWhole)
{
    std::vector<std::string> records;
    for (int i = 0; i < 100; ++i) records.push_back(std::string(36, 'a' + i % 26) + std::to_string(1000 + i));
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {PlainTransfer(records)}));
    const std::string earlier = "earlier\r\n";
    WriteFile(Dir() + "/full.txt", earlier);
    constexpr long long LIMIT = 2048;
    Program& program = Launch(SerialSession(COM, WinDir() + "\\full.txt", 1).Text(), LIMIT);
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Failed to write data to the specific file!!");
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    const int acknowledged = port.Simulator().RecordsAcknowledged();
    EXPECT_EQ(acknowledged, static_cast<int>((LIMIT - earlier.size()) / 42));
    std::string expected = earlier;
    for (int i = 0; i < acknowledged; ++i) expected += records[static_cast<size_t>(i)] + "\r\n";
    EXPECT_EQ(ReadFile(Dir() + "/full.txt"), expected);
}

TEST_F(SessionTransferTest, AbortLeavesTheEmptiedFile)
{
    termsim::TransferPlan plan;
    plan.silentAfterRecords = 0;   // "ACK\r", then nothing
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {plan}));
    WriteFile(Dir() + "/kept.txt", "earlier");
    Program& program = Launch(SerialSession(COM, WinDir() + "\\kept.txt", 0).Text());
    // "READ\r" is repeated a second after the terminal's "ACK\r" opened the file.
    ASSERT_TRUE(port.Simulator().WaitForCommand("READ\r", 2, END_CODE_WAIT_MS));
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_TRUE(FileExists(Dir() + "/kept.txt"));
    EXPECT_EQ(ReadFile(Dir() + "/kept.txt"), "");
}

TEST_F(SessionTransferTest, KeyboardEmulationWindowStaysMinimised)
{
    ComPort port(COM);
    ASSERT_TRUE(Serve(port, {}));   // the terminal stays silent
    Program& program = Launch(SerialSession(COM, ".\\", 2).Text());
    // The first "READ\r" is repeated after a second: by then the window was
    // shown, minimised, and the animation timer has run more than once.
    ASSERT_TRUE(port.Simulator().WaitForCommand("READ\r", 2, END_CODE_WAIT_MS));
    EXPECT_EQ(IsIconic(SESSION_CAPTION), 1);
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

}  // namespace
}  // namespace e2e
