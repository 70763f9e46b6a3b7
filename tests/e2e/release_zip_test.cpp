// The release zip as a site uses it: unpacked into an empty folder, its
// Varnolt.exe started with no settings file shows the settings dialog, OK
// writes Varnolt.ini beside it, and that start and every later one receive
// from the zip's own termsim.exe across a null-modem pair, each record once,
// in order. The zip comes from tools/release.sh (the fixture release.zip).
#include <cstdlib>
#include <unistd.h>

#include "null_modem_pair.h"
#include "session_support.h"

namespace e2e {
namespace {

constexpr int TERMINAL_COM = 33;
constexpr int HOST_COM = 34;
constexpr int IDC_DIRECTORY = 301;
constexpr int IDC_FILE_NAME = 302;
constexpr int IDC_COM_PORT = 303;
constexpr int IDC_ALWAYS_SHOW = 605;
constexpr int WINDOW_WAIT_MS = 30000;

class ReleaseZipTest : public E2ETest {
protected:
    void SetUp() override
    {
        E2ETest::SetUp();
        const std::string zipDir = VARNOLT_E2E_RELEASE_ZIP_DIR;   // packed by the CTest fixture release.zip
        const std::string unpack = "mkdir -p '" + Site() + "' && cd '" + Site() +
                                   "' && python3 -m zipfile -e \"$(ls '" + zipDir + "'/Varnolt-*.zip | head -n 1)\" .";
        ASSERT_EQ(0, std::system(unpack.c_str())) << "no zip in " << zipDir;
    }
    std::string Site() const { return Dir() + "/site"; }

    // termsim.exe from the zip on the terminal's port, serving these records
    // once; returns when it waits for "READ\r".
    void StartTerminal(Program& terminal, const std::vector<std::string>& records, const std::string& name)
    {
        std::string lines;
        for (const std::string& record : records) lines += record + "\n";
        WriteFile(Dir() + "/" + name + ".txt", lines);
        ASSERT_EQ(0, terminal.Start(Site() + "/termsim.exe",
                                    {"COM" + std::to_string(TERMINAL_COM), "--records",
                                     ToWindowsPath(Dir() + "/" + name + ".txt"), "--timeout", "60"},
                                    Site(), Dir() + "/" + name));
        bool waiting = false;
        for (const int64_t deadline = NowNs() + 15'000'000'000LL; !waiting && terminal.Running() && NowNs() < deadline;
             usleep(20000))
            waiting = terminal.Stdout().find("waiting for \"READ\"") != std::string::npos;
        ASSERT_TRUE(waiting) << terminal.Stdout() << terminal.Stderr();
    }

    // The offer to view the file after a transfer (on by default), declined.
    static void DeclineTheOffer(int records)
    {
        const std::string offer = "Done : " + std::to_string(records) + " records received.\nView the received data ?";
        std::string text;
        ASSERT_TRUE(WaitControlText(SESSION_CAPTION, BOX_TEXT, offer, WINDOW_WAIT_MS, &text)) << text;
        ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_NO));
    }

    // The records the terminal counts as acknowledged, as the file must hold them.
    static std::string AsWritten(const std::vector<std::string>& records)
    {
        std::string text;
        for (const std::string& record : records) text += record + "\r\n";
        return text;
    }
};

TEST_F(ReleaseZipTest, AFirstStartWritesTheSettingsAndEveryStartReceivesFromTheZipsTermsim)
{
    for (const char* file : {"Varnolt.exe", "termsim.exe", "README.txt"})
        ASSERT_TRUE(FileExists(Site() + "/" + file)) << file << " is not in the zip";
    ASSERT_FALSE(FileExists(Site() + "/Varnolt.ini"));
    NullModemPair pair(TERMINAL_COM, HOST_COM, Dir() + "/socat.log");
    ASSERT_TRUE(pair.Ok()) << ReadFile(Dir() + "/socat.log");

    // First start: the dialog, filled in as a site would, and OK.
    const std::vector<std::string> first = {"4006381333931,12", "5012345678900,3", "last of the first"};
    Program terminal;
    StartTerminal(terminal, first, "first");
    Program program;
    ASSERT_EQ(0, program.Start(Site() + "/Varnolt.exe", {}, Site(), Dir() + "/first-start"));
    ASSERT_TRUE(WaitWindow(SESSION_CAPTION, WINDOW_WAIT_MS));
    std::string directory;
    ASSERT_TRUE(GetControlText(SESSION_CAPTION, IDC_DIRECTORY, &directory)) << "no settings dialog at the first start";
    const std::string siteDir = ToWindowsPath(Site());
    ASSERT_TRUE(SetControlText(SESSION_CAPTION, IDC_DIRECTORY, siteDir));
    ASSERT_TRUE(SetControlText(SESSION_CAPTION, IDC_FILE_NAME, "scan.txt"));
    ASSERT_TRUE(SetControlText(SESSION_CAPTION, IDC_COM_PORT, std::to_string(HOST_COM)));
    ASSERT_TRUE(PressButton(SESSION_CAPTION, IDC_ALWAYS_SHOW));   // later starts go straight to a session
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_OK));
    DeclineTheOffer(3);
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS)) << "the first start did not end after its session";
    ASSERT_TRUE(terminal.WaitExit(END_CODE_WAIT_MS));

    EXPECT_EQ(ReadFile(Site() + "/Varnolt.ini"),
              siteDir + "\\scan.txt\r\n1\r\n" + std::to_string(HOST_COM) + "\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n0\r\n2\r\n2\r\n");
    EXPECT_EQ(ReadFile(Site() + "/scan.txt"), AsWritten(first));
    EXPECT_NE(terminal.Stdout().find("termsim: 3 record(s) acknowledged, 1 transfer(s) completed"), std::string::npos)
        << terminal.Stdout();

    // A later start reads that file: no dialog, a session, the file overwritten.
    const std::vector<std::string> second = {"9780201633610,1", "4311501627339,6"};
    Program terminal2;
    StartTerminal(terminal2, second, "second");
    Program later;
    ASSERT_EQ(0, later.Start(Site() + "/Varnolt.exe", {}, Site(), Dir() + "/later-start"));
    DeclineTheOffer(2);
    ASSERT_TRUE(later.WaitExit(END_CODE_WAIT_MS));
    ASSERT_TRUE(terminal2.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Site() + "/scan.txt"), AsWritten(second));
    EXPECT_NE(terminal2.Stdout().find("termsim: 2 record(s) acknowledged, 1 transfer(s) completed"), std::string::npos)
        << terminal2.Stdout();
}

}  // namespace
}  // namespace e2e
