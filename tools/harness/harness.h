// End-to-end test harness: runs the real Varnolt.exe under Wine on a virtual
// display, gives it pseudo-terminal COM ports with the terminal simulator on
// the other end, and sees and drives its windows through winprobe.exe.
//
// The Wine environment (prefix, Xvfb display, warm wineserver) is started
// once per CTest run by the fixture tools/harness/wine-env.sh, which writes
// an environment file; Env() reads it. Every wait takes a deadline; nothing
// here sleeps and hopes.
//
// Costs measured on two cores: the fixture starts in about 9 s (about 21 s
// when the prefix template is first made); a test that starts the program
// and reads a box or completes a short transfer takes 2 to 4 s; each
// winprobe call about 0.3 s.
//
// Typical test:
//   class MyTest : public e2e::E2ETest {};
//   TEST_F(MyTest, ...) {
//       e2e::ComPort port(5);                       // dosdevices/com5 -> pty
//       termsim::TerminalSimulator& sim = port.Simulator();
//       sim.AddTransfer(termsim::PlainTransfer({"123", "456"}));
//       port.StartSimulator();
//       e2e::CommandLine cl;  cl.path = ToWindowsPath(Dir() + "/out.txt"); cl.comPort = 5;
//       e2e::Program& p = Launch(cl.Text());
//       int code; ASSERT_TRUE(p.WaitExit(15000, &code));
//   }
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "tools/termsim/terminal_simulator.h"

namespace e2e {

// ---- Environment ---------------------------------------------------------

struct Environment {
    std::string prefix;      // WINEPREFIX
    std::string display;     // ":N"
    std::string wine64;      // the loader (Wine runs a 32-bit program through its 32-bit side)
    std::string wineserver;
    std::string varnoltExe;  // the Varnolt.exe under test (the release, or x86_64)
    std::string tapiStandinDll;  // our tapi32.dll of the same Windows build
    std::string winprobeExe; // tools/winprobe/winprobe.exe (x86_64)
    std::string workRoot;    // where per-test directories are made
    bool ok = false;
    std::string problem;     // why not ok
};

// Reads the environment file once (path from VARNOLT_E2E_ENV, else the one
// configured at build time). A test fails loudly when it is missing.
const Environment& Env();

// Environment variables for a Wine child: WINEPREFIX, DISPLAY, WINEDEBUG=-all.
std::vector<std::string> WineEnvironment();

// "Z:\tmp\x\out.txt" for "/tmp/x/out.txt" (absolute Linux paths only).
std::string ToWindowsPath(const std::string& linuxPath);

// Whole file content, or "" when it cannot be read; FileExists.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// Nanoseconds of CLOCK_MONOTONIC_RAW (the simulator's time stamps).
int64_t NowNs();

// ---- Running Wine programs -----------------------------------------------

// A Wine program started with stdout/stderr going to files (never a pipe:
// Wine's helper processes inherit the handles and would keep a pipe open).
class Program {
public:
    Program() = default;
    ~Program();  // kills the program if it still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Files the program writes cannot grow past this many bytes (a full
    // disk); a write beyond it fails instead of ending the program. Set
    // before Start; negative means no limit.
    void LimitFileSize(long long bytes) { fileSizeLimit_ = bytes; }
    // Starts wine64 <exe> <args...>. Returns 0, or -1 when fork/exec failed.
    int Start(const std::string& exe, const std::vector<std::string>& args,
              const std::string& workingDir, const std::string& outputBase);
    // Waits for the end with a deadline; true when it ended (exit code stored).
    bool WaitExit(int timeoutMs, int* exitCode = nullptr);
    bool Running();
    void Kill();
    pid_t Pid() const { return pid_; }
    int64_t StartNs() const { return startNs_; }  // CLOCK_MONOTONIC_RAW just before the fork
    std::string Stdout() const;  // what it printed so far
    std::string Stderr() const;

private:
    pid_t pid_ = -1;
    int64_t startNs_ = 0;
    long long fileSizeLimit_ = -1;
    bool ended_ = false;
    int exitCode_ = -1;
    std::string outPath_, errPath_;
};

// Runs a Wine console program to its end (deadline in ms); returns its exit
// code, or -1 on time-out (then it is killed). *output receives its stdout.
int RunWine(const std::vector<std::string>& argv, int timeoutMs, std::string* output = nullptr);

// ---- Windows, message boxes and controls (through winprobe.exe) ----------
// Captions are matched exactly. Box button ids: 1 OK, 6 Yes, 7 No.

constexpr int BUTTON_OK = 1;
constexpr int BUTTON_ABORT = 3;
constexpr int BUTTON_YES = 6;
constexpr int BUTTON_NO = 7;
constexpr const char* ERROR_CAPTION = "Error Message";
constexpr const char* QUESTION_CAPTION = "Warring";
constexpr const char* SESSION_CAPTION = "Varnolt  Ver 1.12";

// Waits for a dialog/message box (class #32770) with this caption; true when
// found, *text then holds its message text (control 0xFFFF, line breaks kept).
bool WaitBox(const std::string& caption, int timeoutMs, std::string* text = nullptr);
// Clicks a button of the window with this caption (BM_CLICK); true when the
// button was found. Waits up to 3 s for the click to be handled; a target
// busy for longer still takes it once its thread is free.
bool PressButton(const std::string& caption, int buttonId);
// Waits for any visible top-level window with this caption.
bool WaitWindow(const std::string& caption, int timeoutMs);
// Waits until no window with this caption exists; true when it is gone.
bool WaitNoWindow(const std::string& caption, int timeoutMs);
// True when a window with this caption exists right now.
bool WindowExists(const std::string& caption);
// Sets the text of control id as a user typing the whole field would (the
// control tells its dialog of the change); false if not found or refused.
bool SetControlText(const std::string& caption, int controlId, const std::string& text);
// Text of control id of the window with this caption; false if not found.
bool GetControlText(const std::string& caption, int controlId, std::string* text);
// Waits until the control's text equals expected; *last gets the last text seen.
bool WaitControlText(const std::string& caption, int controlId, const std::string& expected,
                     int timeoutMs, std::string* last = nullptr);
// Visible state of a control (IsWindowVisible); -1 when not found.
int ControlVisible(const std::string& caption, int controlId);
// 1 minimised, 0 not, -1 not found.
int IsIconic(const std::string& caption);
// WM_CLOSE to the window with this caption.
bool CloseWindow(const std::string& caption);
// Visible top-level windows, one "class|caption" line each.
std::vector<std::string> ListWindows();
// Ends every Wine process with this image name (e.g. "notepad.exe"); returns
// how many were ended.
int KillImage(const std::string& imageName);

// ---- COM ports -----------------------------------------------------------

// A COM port of the prefix backed by a pseudo-terminal: dosdevices/comN links
// to the slave (raw mode), the simulator serves the master. The link is
// removed on destruction. Do not use COM1 (Wine relinks it to /dev/ttyS0).
class ComPort {
public:
    explicit ComPort(int number);
    ~ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    bool Ok() const { return ok_; }
    int Number() const { return number_; }
    const std::string& SlavePath() const { return pty_.slavePath; }
    int MasterFd() const { return pty_.master; }

    termsim::TerminalSimulator& Simulator() { return sim_; }
    void StartSimulator();  // serve the master with the simulator
    void StopSimulator();

    void Unlink();  // the port becomes absent (open fails with error 2)
    void Relink();  // present again
    // The port pulled out under an open handle: the simulator stops (keeping
    // its state), the link goes and the pseudo-terminal is closed, so the
    // program's reads and writes on it fail. Reappear() plugs a fresh
    // pseudo-terminal in under the same name and serves it with the same
    // simulator.
    void Vanish();
    void Reappear();
    bool Vanished() const { return vanished_; }
    int LineSpeed() const;  // bit rate the program set, 0 if unknown
    // Waits until the line speed equals bitsPerSecond.
    bool WaitLineSpeed(int bitsPerSecond, int timeoutMs) const;

private:
    int number_;
    bool ok_ = false;
    bool serving_ = false;
    bool vanished_ = false;
    termsim::PtyPair pty_;
    termsim::TerminalSimulator sim_;
};

std::string DosDevicePath(int comNumber);  // <prefix>/dosdevices/comN
// Links comN to a file that cannot be opened as a port (access denied, 5).
void MakeRefusingPort(int comNumber);
void RemovePort(int comNumber);

// Lists exactly these COM numbers in the serial enumerator's registry keys
// (an empty list removes them all). Returns true on success.
bool SetEnumeratedPorts(const std::vector<int>& comNumbers);

// ---- Command line of the program -----------------------------------------

// The thirteen values, written as the program reads them (enumerations + 1).
struct CommandLine {
    std::string path;          // Windows path: directory\file, or directory
    int interfaceKind = 0;     // 0 RS232_IRDA ... 3 MODEM_COM
    int comPort = 2;
    int baudIndex = 0;         // 0 = 115200
    int saveMode = 0;          // 0 OVERWRITE ... 4 AUTO_APPEND
    int addReturn = 1;
    int addLineFeed = 1;
    int showErrorMessages = 1;
    int viewReceivedData = 0;
    int alwaysShowDialog = 0;
    int keepOnline = 0;
    int pollingTime = 2;
    int interCharDelay = 2;
    std::string Text() const;  // "path,1,2,1,1,1,1,1,0,0,0,2,2"
};

// ---- The test fixture ------------------------------------------------------

// Gives each test a fresh directory holding its own copy of Varnolt.exe (so
// Varnolt.ini beside it is private to the test), starts the program, and on
// tear-down kills what is left (the program, any Notepad) and removes the
// directory and any enumerator entries the test set.
class E2ETest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& Dir() const { return dir_; }         // Linux path
    std::string WinDir() const { return ToWindowsPath(dir_); }
    const std::string& ExePath() const { return exe_; }     // the copy

    // Starts the copy with this command line (empty: no command line, the
    // settings file is used). The text is passed to the program unchanged
    // as long as it has no runs of blanks and no quotes.
    Program& Launch(const std::string& commandLine, long long fileSizeLimit = -1);
    Program& LaunchedProgram() { return *program_; }

private:
    std::string dir_;
    std::string exe_;
    std::unique_ptr<Program> program_;
};

// ---- Telephony stand-in -----------------------------------------------------

// Our tapi32.dll (tools/tapi_standin, its world file described in README.md
// there) for the programs this test starts: the dll is copied into the test
// directory beside the program, the world file written there with its log,
// and WINEDLLOVERRIDES=tapi32=n and VARNOLT_TAPI_STANDIN are set in this
// process for the children; the destructor takes both variables away again.
class TapiStandin {
public:
    // `world`: the world file's text after its `log` line.
    TapiStandin(const std::string& testDir, const std::string& world);
    ~TapiStandin();
    TapiStandin(const TapiStandin&) = delete;
    TapiStandin& operator=(const TapiStandin&) = delete;

    bool Ok() const { return ok_; }
    // A new world, read by the program's next lineInitializeExA.
    void Rewrite(const std::string& world);
    const std::string& LogPath() const { return log_; }
    // The logged calls, time stamps removed, of one function or all ("").
    std::vector<std::string> Calls(const std::string& function = "") const;

private:
    bool ok_ = false;
    std::string ini_, log_;
};

}  // namespace e2e
