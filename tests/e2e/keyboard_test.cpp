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

// Under Wine without a window manager a minimised window stays active, with
// the focus on its Abort button: keystrokes meant for the target would reach
// it instead (its "&Abort" mnemonic even ends the session). So the user
// clicks into the target before the session starts, and never again.
class KeyboardEmulationTest : public E2ETest {
protected:
    // Starts the typing target and gives it the focus; typed text goes to TypedPath().
    void StartTarget()
    {
        const std::string exe = Env().varnoltExe;    // tools/typetarget sits beside the program
        ASSERT_EQ(0, target_.Start(exe.substr(0, exe.rfind('/')) + "/tools/typetarget/typetarget.exe",
                                   {ToWindowsPath(TypedPath())}, Dir(), Dir() + "/target"));
        ASSERT_TRUE(WaitWindow(TARGET_CAPTION, 10000));
        const std::string click = "DISPLAY=" + Env().display +
                                  " timeout 10 xdotool search --name '^Varnolt Type Target$'"
                                  " mousemove --window %1 60 60 click 1 >/dev/null 2>&1";
        EXPECT_EQ(0, std::system(click.c_str()));
        ASSERT_TRUE(WaitControlText(TARGET_CAPTION, TARGET_STATE, "active", 5000));
    }
    std::string TypedPath() const { return Dir() + "/typed.txt"; }
    // Starts the program typing from the simulator on COM, minimised and out of the target's way.
    Program& LaunchTyping(ComPort& port, int interCharDelay, int addLineFeed)
    {
        CommandLine line = SerialSession(COM, WinDir(), 2);    // keyboard emulation
        line.addLineFeed = addLineFeed;
        line.interCharDelay = interCharDelay;
        Program& program = Launch(line.Text());
        EXPECT_TRUE(WaitUntil([] { return IsIconic(SESSION_CAPTION) == 1; }, 10000));
        EXPECT_TRUE(WaitControlText(TARGET_CAPTION, TARGET_STATE, "active", 3000));
        // The host repeats its "READ\r" until the terminal answers.
        port.StartSimulator();
        return program;
    }

private:
    Program target_;    // killed at the end if still running
};

TEST_F(KeyboardEmulationTest, RecordsArriveInTheTargetExactlyWithReturnAndWithoutLineFeed)
{
    ASSERT_NO_FATAL_FAILURE(StartTarget());
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(termsim::PlainTransfer({"Ab1", "x-Y z", "caf\xE9", "a\tb"}));
    // A command line may ask for line feeds; typing never sends them.
    Program& program = LaunchTyping(port, 0, 1);
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(port.Simulator().RecordsAcknowledged(), 4);

    // Each Return becomes one line break of the edit field; a typed line feed
    // would have added a second one.
    const std::string expected = "Ab1\r\nx-Y z\r\ncaf\xE9\r\na\tb\r\n";
    std::string text;
    WaitUntil([&] { return (text = ReadFile(TypedPath())) == expected; }, 5000);
    EXPECT_EQ(expected, text);
    EXPECT_TRUE(FilesLike(Dir(), "", ".TXT").empty());    // no output file in this mode
}

// At the slowest pace a 40-character record takes over ten seconds to type.
// The window stays responsive meanwhile, and a record cut short is never
// acknowledged: the terminal keeps it for the next session.
TEST_F(KeyboardEmulationTest, AbortTakesEffectWhileARecordIsTypedAndTheRecordIsNotAcknowledged)
{
    ASSERT_NO_FATAL_FAILURE(StartTarget());
    ComPort port(COM);
    ASSERT_TRUE(port.Ok());
    const std::string record(40, 'k');
    port.Simulator().AddTransfer(termsim::PlainTransfer({record}));
    Program& program = LaunchTyping(port, 255, 0);
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(TypedPath()).size() >= 2; }, END_CODE_WAIT_MS));
    const int64_t pressed = NowNs();
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    // The press itself takes about 0.3 s and the program's end about as much.
    EXPECT_LT((NowNs() - pressed) / 1e6, 3000.0);
    EXPECT_EQ(port.Simulator().RecordsAcknowledged(), 0);
    EXPECT_EQ(port.Simulator().CountCommands("ACK\r"), 0);
    const std::string typed = ReadFile(TypedPath());
    EXPECT_LT(typed.size(), record.size()) << "typing stopped with the session";
    EXPECT_EQ(typed, record.substr(0, typed.size()));
}

}  // namespace
}  // namespace e2e
