// The COM port as the program sees it: absent, refused, and bytes that
// trickle in while reads come and go.
#include "session_support.h"

namespace e2e {
namespace {

using termsim::PlainTransfer;

class PortTest : public E2ETest {};

constexpr int COM = 6;

TEST_F(PortTest, AbsentPortIsWaitedForSilentlyAndOpenedOnceItAppears)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"late"}));
    port.StartSimulator();
    port.Unlink();
    ASSERT_TRUE(SetEnumeratedPorts({}));
    Program& program = Launch(SerialSession(COM, WinDir() + "\\out.txt", 0).Text());
    ASSERT_TRUE(WaitControlText(SESSION_CAPTION, SESSION_STATUS, "COM port is not available!", 10000));
    EXPECT_FALSE(WindowExists(ERROR_CAPTION));
    port.Relink();
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/out.txt"), "late\r\n");
}

TEST_F(PortTest, RefusedPortThatTheEnumeratorListsIsReported)
{
    MakeRefusingPort(18);
    ASSERT_TRUE(SetEnumeratedPorts({18}));
    Program& program = Launch(SerialSession(18, WinDir() + "\\out.txt", 0).Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, 10000, &text));
    EXPECT_EQ(text, "Failed to open the COM port!!");
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    RemovePort(18);
}

TEST_F(PortTest, RecordsSplitAroundTheReadWindowsLoseNoByte)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    // Pieces with gaps around the 30 ms read window land during reads, at their cut and between them.
    const std::vector<std::string> data = {"0123456789ABCDEF", "split record", "xyz", "a longer record", "last"};
    termsim::TransferPlan plan = PlainTransfer(data);
    std::string expected;
    for (size_t i = 0; i < data.size(); ++i) {
        plan.records[i].splitChunk = 1 + i % 3;
        plan.records[i].splitGapMs = 25 + 2 * int(i);
        expected += data[i] + "\r\n";
    }
    port.Simulator().AddTransfer(plan);
    port.StartSimulator();
    Program& program = Launch(SerialSession(COM, WinDir() + "\\split.txt", 0).Text());
    ASSERT_TRUE(program.WaitExit(60000));
    EXPECT_EQ(ReadFile(Dir() + "/split.txt"), expected);
    // Each record was taken the first time.
    EXPECT_EQ(port.Simulator().CountCommands("NAK\r"), 0);
}

}  // namespace
}  // namespace e2e
