// The COM port as the program sees it: absent, refused, its line speed, the
// first command, and bytes that trickle in while reads come and go.
#include "session_support.h"

namespace e2e {
namespace {

using termsim::PlainTransfer;
using termsim::RecordSpec;
using termsim::TransferPlan;

class PortTest : public E2ETest {};

constexpr int COM = 6;
constexpr int ABSENT_COM = 17;
constexpr int REFUSING_COM = 18;
constexpr const char* NOT_AVAILABLE = "COM port is not available!";

TEST_F(PortTest, AbsentPortIsWaitedForWithoutAnyMessage)
{
    RemovePort(ABSENT_COM);
    ASSERT_TRUE(SetEnumeratedPorts({}));
    Program& program = Launch(SerialSession(ABSENT_COM, WinDir() + "\\out.txt", 0).Text());

    std::string status;
    EXPECT_TRUE(WaitControlText(SESSION_CAPTION, SESSION_STATUS, NOT_AVAILABLE, 10000, &status)) << status;
    EXPECT_EQ(ControlVisible(SESSION_CAPTION, SESSION_PORT_ICON), 1);
    EXPECT_FALSE(HasErrorBox());

    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

TEST_F(PortTest, RefusedPortThatTheEnumeratorListsIsReported)
{
    MakeRefusingPort(REFUSING_COM);
    ASSERT_TRUE(SetEnumeratedPorts({REFUSING_COM}));
    Program& program = Launch(SerialSession(REFUSING_COM, WinDir() + "\\out.txt", 0).Text());

    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, 10000, &text));
    EXPECT_EQ(text, "Failed to open the COM port!!");
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    RemovePort(REFUSING_COM);
}

TEST_F(PortTest, RefusedPortThatTheEnumeratorDoesNotListCountsAsAbsent)
{
    MakeRefusingPort(REFUSING_COM);
    ASSERT_TRUE(SetEnumeratedPorts({3}));
    Program& program = Launch(SerialSession(REFUSING_COM, WinDir() + "\\out.txt", 0).Text());

    std::string status;
    EXPECT_TRUE(WaitControlText(SESSION_CAPTION, SESSION_STATUS, NOT_AVAILABLE, 10000, &status)) << status;
    EXPECT_FALSE(HasErrorBox());
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    RemovePort(REFUSING_COM);
}

TEST_F(PortTest, PortThatAppearsLaterIsOpenedAndAsked)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"late"}));
    port.StartSimulator();
    port.Unlink();
    ASSERT_TRUE(SetEnumeratedPorts({}));
    Program& program = Launch(SerialSession(COM, WinDir() + "\\out.txt", 0).Text());
    ASSERT_TRUE(WaitControlText(SESSION_CAPTION, SESSION_STATUS, NOT_AVAILABLE, 10000));

    port.Relink();
    EXPECT_TRUE(port.Simulator().WaitForCommand("READ\r", 1, 10000));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/out.txt"), "late\r\n");
}

TEST_F(PortTest, LineSpeedOfTheSettingsReachesThePortAndReadIsTheFirstCommand)
{
    struct Case {
        int baudIndex;
        int bitsPerSecond;
    };
    for (Case c : {Case{4, 9600}, Case{0, 115200}}) {
        ComPort port(COM);
        ASSERT_TRUE(port.Ok());
        port.Simulator().AddTransfer(PlainTransfer({"r"}));
        port.StartSimulator();
        CommandLine line = SerialSession(COM, WinDir() + "\\speed.txt", 0);
        line.baudIndex = c.baudIndex;
        Program& program = Launch(line.Text());

        EXPECT_TRUE(port.WaitLineSpeed(c.bitsPerSecond, 10000)) << "speed " << port.LineSpeed();
        ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
        // Nothing goes to the terminal before the request.
        EXPECT_EQ(port.Simulator().ReceivedBytes().substr(0, 5), "READ\r");
        ASSERT_FALSE(port.Simulator().Commands().empty());
        EXPECT_EQ(port.Simulator().Commands().front().text, "READ\r");
    }
}

TEST_F(PortTest, RecordsSplitAroundTheReadWindowsLoseNoByte)
{
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    TransferPlan plan;
    // Pieces of a few bytes with gaps around the 30 ms read window, so bytes
    // land while reads are pending, at their cut and between them.
    const int gaps[] = {25, 30, 35, 29, 31};
    const std::vector<std::string> data = {"0123456789ABCDEF", "split record two", "xyz", "a longer record of data",
                                           "last one"};
    for (size_t i = 0; i < data.size(); ++i) {
        RecordSpec spec;
        spec.data = data[i];
        spec.splitChunk = 1 + i % 3;
        spec.splitGapMs = gaps[i];
        plan.records.push_back(spec);
    }
    port.Simulator().AddTransfer(plan);
    port.StartSimulator();

    CommandLine line = SerialSession(COM, WinDir() + "\\split.txt", 0);
    Program& program = Launch(line.Text());
    ASSERT_TRUE(program.WaitExit(60000));
    std::string expected;
    for (const std::string& record : data) expected += record + "\r\n";
    EXPECT_EQ(ReadFile(Dir() + "/split.txt"), expected);
    // Each record was taken the first time: no byte was lost and none refused.
    EXPECT_EQ(port.Simulator().CountCommands("NAK\r"), 0);
    EXPECT_EQ(port.Simulator().RecordsAcknowledged(), static_cast<int>(data.size()));
}

}  // namespace
}  // namespace e2e
