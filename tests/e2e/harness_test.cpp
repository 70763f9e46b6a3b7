// The harness itself, end to end: Wine prefix, display, pty COM ports with
// the simulator, the enumerator keys, and the real program reporting a bad
// output location in a message box that the test reads and answers.
#include "harness.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace e2e {
namespace {

std::string LinkTarget(const std::string& path)
{
    char target[PATH_MAX] = {};
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

double SecondsSince(int64_t startNs)
{
    return static_cast<double>(NowNs() - startNs) / 1e9;
}

TEST(HarnessText, CommandLineCarriesTheThirteenValuesInOrder)
{
    CommandLine line;
    line.path = "C:\\DATA\\SCAN.TXT";
    line.comPort = 1;
    // The command-line defaults, as the program documents them.
    EXPECT_EQ(line.Text(), "C:\\DATA\\SCAN.TXT,1,1,1,1,1,1,1,0,0,0,2,2");
    line.interfaceKind = 3;
    line.baudIndex = 4;
    line.saveMode = 2;
    line.keepOnline = 1;
    line.pollingTime = 999;
    line.interCharDelay = 0;
    EXPECT_EQ(line.Text(), "C:\\DATA\\SCAN.TXT,4,1,5,3,1,1,1,0,0,1,999,0");
    EXPECT_EQ(ToWindowsPath("/tmp/vn x/out.txt"), "Z:\\tmp\\vn x\\out.txt");
}

class HarnessTest : public E2ETest {};

TEST_F(HarnessTest, ComPortLinkFollowsThePseudoTerminal)
{
    ComPort port(7);
    ASSERT_TRUE(port.Ok());
    EXPECT_EQ(LinkTarget(DosDevicePath(7)), port.SlavePath());
    port.Unlink();
    EXPECT_FALSE(FileExists(DosDevicePath(7)));
    port.Relink();
    EXPECT_EQ(LinkTarget(DosDevicePath(7)), port.SlavePath());

    MakeRefusingPort(8);
    EXPECT_EQ(LinkTarget(DosDevicePath(8)), "/sys/devices/system/cpu/online");
    RemovePort(8);
    EXPECT_TRUE(LinkTarget(DosDevicePath(8)).empty());
}

TEST_F(HarnessTest, EnumeratorKeysAreWrittenAndRemoved)
{
    ASSERT_TRUE(SetEnumeratedPorts({5, 12}));
    std::string out;
    EXPECT_EQ(RunWine({"reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum", "/v", "Count"},
                      20000, &out), 0);
    EXPECT_NE(out.find("0x2"), std::string::npos) << out;
    EXPECT_EQ(RunWine({"reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum", "/v", "1"},
                      20000, &out), 0);
    EXPECT_NE(out.find("SERENUM\\DEV0012\\1&2a3b4c&0&0012"), std::string::npos) << out;
    EXPECT_EQ(RunWine({"reg", "query",
                       "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\SERENUM\\DEV0012\\1&2a3b4c&0&0012\\Device Parameters",
                       "/v", "PortName"},
                      20000, &out), 0);
    EXPECT_NE(out.find("COM12"), std::string::npos) << out;

    ASSERT_TRUE(SetEnumeratedPorts({}));
    EXPECT_NE(RunWine({"reg", "query", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum", "/v", "Count"},
                      20000, &out), 0);
}

TEST_F(HarnessTest, InvalidFileNameIsReportedAndTheProgramEnds)
{
    ComPort port(5);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(termsim::PlainTransfer({"4006381333931"}));
    port.StartSimulator();

    CommandLine line;
    line.path = WinDir() + "\\scan?.txt";
    line.comPort = 5;
    const int64_t start = NowNs();
    Program& program = Launch(line.Text());

    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, 20000, &text)) << "no error box; windows: " << ListWindows().size();
    const double boxSeconds = SecondsSince(start);
    EXPECT_EQ(text, "Invalid file name or path!!");
    // The box blocks the program until it is answered.
    EXPECT_TRUE(program.Running());
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    int code = -1;
    ASSERT_TRUE(program.WaitExit(10000, &code));
    const double totalSeconds = SecondsSince(start);
    EXPECT_FALSE(WindowExists(ERROR_CAPTION));
    // No session was started: the terminal was never asked.
    EXPECT_TRUE(port.Simulator().Commands().empty());
    EXPECT_FALSE(FileExists(Dir() + "/scan?.txt"));
    std::printf("[ timing ] error box after %.2f s, program ended after %.2f s (exit %d)\n", boxSeconds,
                totalSeconds, code);
    RecordProperty("seconds_to_exit", std::to_string(totalSeconds));
}

TEST_F(HarnessTest, MissingDirectoryAnsweredNoEndsWithInvalidPath)
{
    CommandLine line;
    line.path = WinDir() + "\\missing\\out.txt";
    line.comPort = 6;
    Program& program = Launch(line.Text());

    std::string text;
    ASSERT_TRUE(WaitBox(QUESTION_CAPTION, 20000, &text));
    EXPECT_EQ(text, "Path is inexistent !!\rDo you want to create a new directory?");
    ASSERT_TRUE(PressButton(QUESTION_CAPTION, BUTTON_NO));
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, 10000, &text));
    EXPECT_EQ(text, "Invalid file name or path!!");
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    ASSERT_TRUE(program.WaitExit(10000));
    EXPECT_FALSE(FileExists(Dir() + "/missing"));
}

TEST_F(HarnessTest, SimulatedTerminalDeliversRecordsIntoTheOutputFile)
{
    ComPort port(4);
    ASSERT_TRUE(port.Ok());
    termsim::TransferPlan plan = termsim::PlainTransfer({"4006381333931,12", "5012345678900,3", "abJ"});
    plan.records[1].badChecksumAttempts = 1;  // refused once, then taken
    port.Simulator().AddTransfer(plan);
    port.StartSimulator();

    CommandLine line;
    line.path = WinDir() + "\\received.txt";
    line.comPort = 4;
    line.baudIndex = 4;  // 9600
    const int64_t start = NowNs();
    Program& program = Launch(line.Text());
    int code = -1;
    ASSERT_TRUE(program.WaitExit(30000, &code)) << "windows: " << ListWindows().size();
    const double seconds = SecondsSince(start);

    EXPECT_EQ(ReadFile(Dir() + "/received.txt"), "4006381333931,12\r\n5012345678900,3\r\nabJ\r\n");
    EXPECT_EQ(port.LineSpeed(), 9600);
    const auto commands = port.Simulator().Commands();
    std::vector<std::string> texts;
    for (const auto& command : commands)
        texts.push_back(command.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"READ\r", "ACK\r", "NAK\r", "ACK\r", "ACK\r"}));
    EXPECT_EQ(port.Simulator().TransfersCompleted(), 1);
    // Host answers come after the terminal's lines, in time order.
    for (size_t i = 1; i < commands.size(); ++i)
        EXPECT_GE(commands[i].timeNs, commands[i - 1].timeNs);
    std::printf("[ timing ] three records (one resent) at 9600 bit/s, program ended after %.2f s\n", seconds);
}

}  // namespace
}  // namespace e2e
