// Keyboard emulation end to end: records from the terminal simulator are
// typed by the real program into another program's edit field, which holds
// the keyboard focus under the same Wine display.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "session_support.h"

namespace e2e {
namespace {

constexpr int COM = 6;
constexpr const char* TARGET_CAPTION = "Varnolt Type Target";
constexpr int TARGET_STATE = 101;    // "active" while the target is the active window

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

using KeyboardEmulationTest = E2ETest;

// Under Wine without a window manager a minimised window stays active, with
// the focus on its Abort button: keystrokes meant for the target would reach
// it instead (its "&Abort" mnemonic even ends the session). So the user
// clicks into the target before the session starts, and never again.
TEST_F(KeyboardEmulationTest, RecordsArriveInTheTargetExactlyWithReturnAndWithoutLineFeed)
{
    const std::string exe = Env().varnoltExe;    // tools/typetarget sits beside the program
    const std::string typed = Dir() + "/typed.txt";
    Program target;    // killed at the end if still running
    ASSERT_EQ(0, target.Start(exe.substr(0, exe.rfind('/')) + "/tools/typetarget/typetarget.exe",
                              {ToWindowsPath(typed)}, Dir(), Dir() + "/target"));
    ASSERT_TRUE(WaitWindow(TARGET_CAPTION, 10000));
    const std::string click = "DISPLAY=" + Env().display +
                              " timeout 10 xdotool search --name '^Varnolt Type Target$'"
                              " mousemove --window %1 60 60 click 1 >/dev/null 2>&1";
    EXPECT_EQ(0, std::system(click.c_str()));
    ASSERT_TRUE(WaitControlText(TARGET_CAPTION, TARGET_STATE, "active", 5000));

    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(termsim::PlainTransfer({"Ab1", "x-Y z", "caf\xE9", "a\tb"}));
    CommandLine line = SerialSession(COM, WinDir(), 2);    // keyboard emulation
    line.addLineFeed = 1;    // a command line may ask for it; typing never sends it
    line.interCharDelay = 0;
    Program& program = Launch(line.Text());
    ASSERT_TRUE(WaitUntil([] { return IsIconic(SESSION_CAPTION) == 1; }, 10000));
    EXPECT_TRUE(WaitControlText(TARGET_CAPTION, TARGET_STATE, "active", 3000));
    // The host repeats its "READ\r" until the terminal answers.
    port.StartSimulator();
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(port.Simulator().RecordsAcknowledged(), 4);

    // Each Return becomes one line break of the edit field; a typed line feed
    // would have added a second one.
    const std::string expected = "Ab1\r\nx-Y z\r\ncaf\xE9\r\na\tb\r\n";
    std::string text;
    WaitUntil([&] { return (text = ReadFile(typed)) == expected; }, 5000);
    EXPECT_EQ(expected, text);
    EXPECT_TRUE(FilesLike(Dir(), "", ".TXT").empty());    // no output file in this mode
}

}  // namespace
}  // namespace e2e
