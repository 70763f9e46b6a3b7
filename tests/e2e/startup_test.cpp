// Start-up of the real program: where its settings come from, the check of
// the output location before a session, and the command-line length limit.
#include "harness.h"

#include <cstdlib>
#include <string>

namespace e2e {
namespace {

constexpr int EXIT_DEADLINE_MS = 30000;
constexpr int BOX_DEADLINE_MS = 20000;

class StartupTest : public E2ETest {
protected:
    std::string IniPath() const { return Dir() + "/Varnolt.ini"; }
    // Waits for the error box, checks its text, answers it and waits for the program to end.
    void ExpectInvalidLocationThenExit(Program& program)
    {
        std::string text;
        ASSERT_TRUE(WaitBox(ERROR_CAPTION, BOX_DEADLINE_MS, &text)) << "the settings were not read";
        EXPECT_EQ(text, "Invalid file name or path!!");
        ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
        ASSERT_TRUE(program.WaitExit(EXIT_DEADLINE_MS));
    }
};

TEST_F(StartupTest, MissingOutputDirectoryIsCreatedOnYesAndACommandLineRunNeverWritesTheSettingsFile)
{
    ComPort port(12);
    ASSERT_TRUE(port.Ok());
    port.Simulator().AddTransfer(termsim::PlainTransfer({"A1", "B2"}));
    port.StartSimulator();
    CommandLine line;
    line.path = WinDir() + "\\made\\out";   // the extension is completed too
    line.comPort = 12;
    Program& program = Launch(line.Text());
    std::string text;
    ASSERT_TRUE(WaitBox(QUESTION_CAPTION, BOX_DEADLINE_MS, &text));
    EXPECT_EQ(text, "Path is inexistent !!\rDo you want to create a new directory?");
    EXPECT_FALSE(FileExists(Dir() + "/made"));   // nothing is created before the answer
    ASSERT_TRUE(PressButton(QUESTION_CAPTION, BUTTON_YES));
    ASSERT_TRUE(program.WaitExit(EXIT_DEADLINE_MS)) << "windows: " << ListWindows().size();
    EXPECT_EQ(ReadFile(Dir() + "/made/out.txt"), "A1\r\nB2\r\n");
    EXPECT_FALSE(WindowExists(ERROR_CAPTION));
    EXPECT_FALSE(FileExists(IniPath()));
}

// Cut to 260 characters, the name would become scan.1234567890123 in a
// directory that exists, and OVERWRITE would empty whatever file has it.
TEST_F(StartupTest, AnOutputPathLongerThanALocationIsRefusedNotShortened)
{
    const std::string name = "scan.1234567890123456.csv";
    const std::string sub(266 - WinDir().size() - 2 - name.size(), 'd');
    ASSERT_EQ(0, std::system(("mkdir -p '" + Dir() + "/" + sub + "'").c_str()));
    const std::string cut = Dir() + "/" + sub + "/scan.1234567890123";
    WriteFile(cut, "unrelated");
    CommandLine line;
    line.path = WinDir() + "\\" + sub + "\\" + name;
    ASSERT_EQ(line.path.size(), 266u);
    ExpectInvalidLocationThenExit(Launch(line.Text()));
    EXPECT_EQ(ReadFile(cut), "unrelated");
}

TEST_F(StartupTest, WithoutCommandLineTheSettingsFileBesideTheProgramIsRead)
{
    // Always-show 0: no settings dialog; the invalid name can only be reported if the file was read.
    WriteFile(IniPath(), WinDir() + "\\bad|name.txt\r\n1\r\n13\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n0\r\n0\r\n2\r\n2\r\n");
    const std::string before = ReadFile(IniPath());
    ExpectInvalidLocationThenExit(Launch(""));
    EXPECT_EQ(ReadFile(IniPath()), before);   // reading never rewrites it
}

TEST_F(StartupTest, A359CharacterCommandLineIsParsedAnd360EndsAtOnceWithoutAWindow)
{
    // Trailing commas after the thirteenth value are ignored: only the length differs.
    std::string settingsText = WinDir() + "\\bad?.txt,1,14,1,1,1,1,1,0,0,0,2,2";
    ASSERT_LT(settingsText.size(), 359u);
    settingsText += std::string(359 - settingsText.size(), ',');
    ExpectInvalidLocationThenExit(Launch(settingsText));
    Program& program = Launch(settingsText + ",");
    int code = -1;
    ASSERT_TRUE(program.WaitExit(EXIT_DEADLINE_MS, &code));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(WindowExists(ERROR_CAPTION));
    EXPECT_FALSE(WindowExists(QUESTION_CAPTION));
    EXPECT_FALSE(FileExists(IniPath()));
}

}  // namespace
}  // namespace e2e
