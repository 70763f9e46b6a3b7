// A site's set-up without a terminal: two COM ports of the PC joined by a
// null-modem cable, termsim.exe on one and the real program on the other.
// Here the cable is socat joining two pseudo-terminals, each linked as a COM
// port of the prefix; both programs run under the same Wine.
#include <cstdlib>
#include <unistd.h>

#include "null_modem_pair.h"
#include "session_support.h"

namespace e2e {
namespace {

constexpr int TERMINAL_COM = 31;
constexpr int HOST_COM = 32;

// Lines of termsim's report that contain `text`.
int CountLines(const std::string& report, const std::string& text)
{
    int count = 0;
    for (size_t at = report.find(text); at != std::string::npos; at = report.find(text, at + text.size())) ++count;
    return count;
}

// Seconds termsim stamped on its first (or last) line that contains `text`
// ("termsim:    2.132 s  host ..."); -1 when there is none.
double StampOf(const std::string& report, const std::string& text, bool last = false)
{
    const size_t at = last ? report.rfind(text) : report.find(text);
    if (at == std::string::npos) return -1;
    const size_t lineStart = report.rfind('\n', at) + 1;   // npos + 1 == 0 on the first line
    return std::atof(report.c_str() + lineStart + std::string("termsim:").size());
}

class NullModemTest : public E2ETest {};

// The whole transfer crosses the pair, the record sent with a wrong checksum
// is refused once and taken when sent again, and the file holds each record
// exactly once; termsim.exe's own report agrees.
TEST_F(NullModemTest, TermsimExeOnOnePortDeliversEveryRecordOnceToTheProgramOnTheOther)
{
    NullModemPair pair(TERMINAL_COM, HOST_COM, Dir() + "/socat.log");
    ASSERT_TRUE(pair.Ok()) << ReadFile(Dir() + "/socat.log");
    const std::vector<std::string> records = {"4006381333931", "x-Y z 17", "0042", "last record"};
    std::string lines;
    for (const std::string& record : records) lines += record + "\n";
    WriteFile(Dir() + "/records.txt", lines);

    const std::string exe = Env().varnoltExe;   // termsim.exe sits in the same Windows build
    const std::string termsimExe = exe.substr(0, exe.rfind('/')) + "/tools/termsim/termsim.exe";
    Program terminal;
    ASSERT_EQ(0, terminal.Start(termsimExe,
                                {"COM" + std::to_string(TERMINAL_COM), "--records", ToWindowsPath(Dir() + "/records.txt"),
                                 "--bad-checksum", "1", "--timeout", "60"},
                                Dir(), Dir() + "/termsim"));
    // Its port is open and purged before the host's first "READ\r" can reach it.
    bool waiting = false;
    for (const int64_t deadline = NowNs() + 15'000'000'000LL; !waiting && terminal.Running() && NowNs() < deadline;
         usleep(20000))
        waiting = terminal.Stdout().find("waiting for \"READ\"") != std::string::npos;
    ASSERT_TRUE(waiting) << terminal.Stdout() << terminal.Stderr();

    Program& program = Launch(SerialSession(HOST_COM, WinDir() + "\\null.txt", 0).Text());
    int terminalCode = -1;
    ASSERT_TRUE(terminal.WaitExit(60000, &terminalCode)) << terminal.Stdout();
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));

    std::string expected;
    for (const std::string& record : records) expected += record + "\r\n";
    EXPECT_EQ(ReadFile(Dir() + "/null.txt"), expected);
    const std::string report = terminal.Stdout();
    EXPECT_EQ(terminalCode, 0) << report << terminal.Stderr();
    EXPECT_NE(report.find("termsim: 4 record(s) acknowledged, 1 transfer(s) completed, line speed 115200 bit/s"),
              std::string::npos) << report;
    // One refusal, for the bad checksum; one answer per record.
    EXPECT_EQ(CountLines(report, "host \"NAK\\r\""), 1) << report;
    EXPECT_EQ(CountLines(report, "host \"ACK\\r\""), 4) << report;
    const double firstRead = StampOf(report, "host \"READ\\r\"");
    const double lastAck = StampOf(report, "host \"ACK\\r\"", true);
    ASSERT_GE(firstRead, 0.0);
    ASSERT_GT(lastAck, firstRead);
    std::printf("null modem: %zu records, %d refused and sent again, %.3f s from the first READ to the last ACK\n",
                records.size(), CountLines(report, "host \"NAK\\r\""), lastAck - firstRead);
}

}  // namespace
}  // namespace e2e
