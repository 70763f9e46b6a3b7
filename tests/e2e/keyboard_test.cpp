// Keyboard emulation end to end: records from the terminal simulator are
// typed by the real program into another program's edit field, which holds
// the keyboard focus under the same Wine display.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "session_support.h"

namespace e2e {
namespace {

using termsim::PlainTransfer;

constexpr int COM = 6;
constexpr const char* TARGET_CAPTION = "Varnolt Type Target";
constexpr int TARGET_STATE = 101;    // "active" while the target is the active window
constexpr int KEYBOARD_EMULATION_MODE = 2;

// tools/typetarget beside the program in the x86_64 build.
std::string TypeTargetExe()
{
    const std::string& exe = Env().varnoltExe;
    return exe.substr(0, exe.rfind('/')) + "/tools/typetarget/typetarget.exe";
}

// Polls until the condition holds or the deadline passes.
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class KeyboardEmulationTest : public E2ETest {
protected:
    // Starts the target and waits until it has written its empty text.
    void StartTarget()
    {
        targetFile = Dir() + "/typed.txt";
        ASSERT_EQ(0, target.Start(TypeTargetExe(), {ToWindowsPath(targetFile)}, Dir(), Dir() + "/target"));
        ASSERT_TRUE(WaitWindow(TARGET_CAPTION, 10000));
        ASSERT_TRUE(WaitUntil([&] { return FileExists(targetFile); }, 10000));
    }

    // Launches a keyboard-emulation session and waits until its window has
    // minimised itself.
    Program& LaunchSession(const CommandLine& line)
    {
        Program& program = Launch(line.Text());
        EXPECT_TRUE(WaitUntil([] { return IsIconic(SESSION_CAPTION) == 1; }, 10000));
        return program;
    }

    // What the user does: click into the target window, through the X server.
    void UserFocusesTarget()
    {
        const std::string command = "DISPLAY=" + Env().display +
                                    " timeout 10 xdotool search --name '^Varnolt Type Target$' mousemove --window %1 60 60 click 1"
                                    " >/dev/null 2>&1";
        EXPECT_EQ(0, std::system(command.c_str()));
        ASSERT_TRUE(WaitControlText(TARGET_CAPTION, TARGET_STATE, "active", 5000));
    }

    std::string WaitTyped(const std::string& expected)
    {
        std::string text;
        WaitUntil([&] { return (text = ReadFile(targetFile)) == expected; }, 5000);
        return text;
    }

    void TearDown() override
    {
        CloseWindow(TARGET_CAPTION);
        target.WaitExit(5000);
        E2ETest::TearDown();
    }

    Program target;
    std::string targetFile;
};

TEST_F(KeyboardEmulationTest, RecordsArriveAsTypedTextWithReturnAndWithoutLineFeed)
{
    StartTarget();
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"Ab1", "x-Y z", "caf\xE9", "a\tb"}));

    CommandLine line = SerialSession(COM, WinDir(), KEYBOARD_EMULATION_MODE);
    line.addReturn = 1;
    line.addLineFeed = 1;    // a command line may ask for it; typing never sends it
    line.interCharDelay = 0;
    Program& program = LaunchSession(line);
    UserFocusesTarget();
    // The host repeats its "READ\r" until the terminal answers.
    port.StartSimulator();
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(port.Simulator().RecordsAcknowledged(), 4);

    // Each Return becomes one line break of the edit field; a typed line feed
    // would have added a second one.
    const std::string expected = "Ab1\r\nx-Y z\r\ncaf\xE9\r\na\tb\r\n";
    EXPECT_EQ(expected, WaitTyped(expected));
}

TEST_F(KeyboardEmulationTest, WithoutReturnTheRecordsRunTogether)
{
    StartTarget();
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"12", "34", "5"}));

    CommandLine line = SerialSession(COM, WinDir(), KEYBOARD_EMULATION_MODE);
    line.addReturn = 0;
    line.addLineFeed = 0;
    line.interCharDelay = 5;
    Program& program = LaunchSession(line);
    UserFocusesTarget();
    port.StartSimulator();
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ("12345", WaitTyped("12345"));
    EXPECT_TRUE(FilesLike(Dir(), "", ".TXT").empty());    // no output file in this mode
}

// Under Wine without a window manager a minimised window stays active, with
// the focus on its Abort button: keystrokes meant for the target would reach
// it instead (its "&Abort" mnemonic even ends the session). The session
// window hands the activation back to the window the user was in.
TEST_F(KeyboardEmulationTest, MinimisedSessionWindowLeavesTheTargetActive)
{
    StartTarget();
    UserFocusesTarget();
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(PlainTransfer({"Abort?", "no"}));
    CommandLine line = SerialSession(COM, WinDir(), KEYBOARD_EMULATION_MODE);
    line.addReturn = 1;
    line.addLineFeed = 0;
    Program& program = LaunchSession(line);
    EXPECT_TRUE(WaitControlText(TARGET_CAPTION, TARGET_STATE, "active", 3000));
    // No click after the session started: the records still reach the target.
    port.StartSimulator();
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(port.Simulator().RecordsAcknowledged(), 2);
    EXPECT_EQ("Abort?\r\nno\r\n", WaitTyped("Abort?\r\nno\r\n"));
}

}  // namespace
}  // namespace e2e
