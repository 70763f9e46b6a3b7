#include "harness.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "tools/tapi_standin/standin_calls.h"

namespace fs = std::filesystem;

#ifndef VARNOLT_E2E_ENV_FILE
#define VARNOLT_E2E_ENV_FILE ""
#endif
#ifndef VARNOLT_E2E_WINE64
#define VARNOLT_E2E_WINE64 "/usr/lib/wine/wine64"
#endif
#ifndef VARNOLT_E2E_VARNOLT_EXE
#define VARNOLT_E2E_VARNOLT_EXE ""
#endif
#ifndef VARNOLT_E2E_WINPROBE_EXE
#define VARNOLT_E2E_WINPROBE_EXE ""
#endif

namespace e2e {

namespace {

std::string FromEnvOr(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

Environment LoadEnvironment()
{
    Environment env;
    env.wine64 = FromEnvOr("VARNOLT_E2E_WINE64", VARNOLT_E2E_WINE64);
    env.wineserver = (fs::path(env.wine64).parent_path() / "wineserver").string();
    env.varnoltExe = FromEnvOr("VARNOLT_E2E_VARNOLT_EXE", VARNOLT_E2E_VARNOLT_EXE);
    env.winprobeExe = FromEnvOr("VARNOLT_E2E_WINPROBE_EXE", VARNOLT_E2E_WINPROBE_EXE);
    // Our tapi32.dll, built in the same Windows build as the program.
    env.tapiStandinDll = (fs::path(env.varnoltExe).parent_path() / "tools" / "tapi_standin" / "tapi32.dll").string();
    env.workRoot = "/tmp";
    const std::string envFile = FromEnvOr("VARNOLT_E2E_ENV", VARNOLT_E2E_ENV_FILE);
    std::ifstream in(envFile);
    if (!in) {
        env.problem = "no Wine environment file '" + envFile +
                      "': run the tests through CTest (fixture harness.start) or tools/harness/wine-env.sh start";
        return env;
    }
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "WINEPREFIX")
            env.prefix = value;
        else if (key == "DISPLAY")
            env.display = value;
    }
    if (env.prefix.empty() || env.display.empty())
        env.problem = "the Wine environment file '" + envFile + "' lacks WINEPREFIX or DISPLAY";
    else if (access(env.wine64.c_str(), X_OK) != 0)
        env.problem = "no Wine loader at " + env.wine64;
    else if (!FileExists(env.varnoltExe))
        env.problem = "Varnolt.exe not built at '" + env.varnoltExe + "'";
    else if (!FileExists(env.winprobeExe))
        env.problem = "winprobe.exe not built at '" + env.winprobeExe + "'";
    else
        env.ok = true;
    return env;
}

std::string UniqueTempBase(const char* what)
{
    static std::atomic<int> counter{0};
    return "/tmp/vn-e2e-" + std::string(what) + "-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++);
}

bool enumeratorTouched = false;

}  // namespace

const Environment& Env()
{
    static const Environment env = LoadEnvironment();
    return env;
}

std::vector<std::string> WineEnvironment()
{
    const Environment& env = Env();
    return {"WINEPREFIX=" + env.prefix, "DISPLAY=" + env.display, "WINEDEBUG=-all"};
}

std::string ToWindowsPath(const std::string& linuxPath)
{
    std::string out = "Z:";
    for (char c : linuxPath)
        out.push_back(c == '/' ? '\\' : c);
    return out;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

int64_t NowNs()
{
    return termsim::MonotonicRawNs();
}

// ---- Program ----------------------------------------------------------------

Program::~Program()
{
    Kill();
}

int Program::Start(const std::string& exe, const std::vector<std::string>& args,
                   const std::string& workingDir, const std::string& outputBase)
{
    Kill();
    outPath_ = outputBase + ".out.txt";
    errPath_ = outputBase + ".err.txt";
    std::vector<std::string> argv = {Env().wine64, exe};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::vector<std::string> extraEnv = WineEnvironment();

    startNs_ = NowNs();
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        // Own process group: the program and whatever it starts (a viewer)
        // can be ended together.
        setpgid(0, 0);
        if (!workingDir.empty() && chdir(workingDir.c_str()) != 0)
            _exit(126);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string& assignment : extraEnv)
            putenv(const_cast<char*>(assignment.c_str()));
        if (fileSizeLimit_ >= 0) {
            signal(SIGXFSZ, SIG_IGN);   // stays ignored across exec: writes fail with EFBIG
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit_), static_cast<rlim_t>(fileSizeLimit_)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> raw;
        for (const std::string& a : argv)
            raw.push_back(const_cast<char*>(a.c_str()));
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
    setpgid(pid, pid);  // also from here, so the group exists before we may kill it
    pid_ = pid;
    ended_ = false;
    exitCode_ = -1;
    return 0;
}

bool Program::WaitExit(int timeoutMs, int* exitCode)
{
    if (pid_ < 0)
        return false;
    const int64_t deadline = NowNs() + static_cast<int64_t>(timeoutMs) * 1000000;
    while (!ended_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            ended_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (done < 0 && errno != EINTR)
            return false;
        if (NowNs() >= deadline)
            return false;
        usleep(5000);
    }
    if (exitCode != nullptr)
        *exitCode = exitCode_;
    return true;
}

bool Program::Running()
{
    return pid_ >= 0 && !WaitExit(0);
}

void Program::Kill()
{
    if (pid_ < 0)
        return;
    // The whole group: a viewer the program started lives on after it.
    kill(-pid_, SIGKILL);
    if (!ended_) {
        int status = 0;
        waitpid(pid_, &status, 0);
        ended_ = true;
    }
    pid_ = -1;
}

std::string Program::Stdout() const
{
    return ReadFile(outPath_);
}

std::string Program::Stderr() const
{
    return ReadFile(errPath_);
}

int RunWine(const std::vector<std::string>& argv, int timeoutMs, std::string* output)
{
    if (argv.empty())
        return -1;
    const std::string base = UniqueTempBase("run");
    int code = -1;
    {
        Program program;
        if (program.Start(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()), "", base) != 0)
            return -1;
        if (!program.WaitExit(timeoutMs, &code))
            code = -1;
        if (output != nullptr)
            *output = program.Stdout();
    }
    unlink((base + ".out.txt").c_str());
    unlink((base + ".err.txt").c_str());
    return code;
}

// ---- winprobe ---------------------------------------------------------------

namespace {

// Margin for Wine's own start of winprobe beyond the wait it does itself.
constexpr int PROBE_MARGIN_MS = 15000;

int Probe(const std::vector<std::string>& args, int waitMs, std::string* output = nullptr)
{
    std::vector<std::string> argv = {Env().winprobeExe};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunWine(argv, waitMs + PROBE_MARGIN_MS, output);
}

}  // namespace

bool WaitBox(const std::string& caption, int timeoutMs, std::string* text)
{
    std::string out;
    const int code = Probe({"wait-box", caption, std::to_string(timeoutMs)}, timeoutMs, &out);
    if (text != nullptr)
        *text = out;
    return code == 0;
}

bool PressButton(const std::string& caption, int buttonId)
{
    return Probe({"press", caption, std::to_string(buttonId)}, 0) == 0;
}

bool WaitWindow(const std::string& caption, int timeoutMs)
{
    return Probe({"wait-window", caption, std::to_string(timeoutMs)}, timeoutMs) == 0;
}

bool WaitNoWindow(const std::string& caption, int timeoutMs)
{
    return Probe({"wait-no-window", caption, std::to_string(timeoutMs)}, timeoutMs) == 0;
}

bool WindowExists(const std::string& caption)
{
    return Probe({"exists", caption}, 0) == 0;
}

bool SetControlText(const std::string& caption, int controlId, const std::string& text)
{
    return Probe({"set-text", caption, std::to_string(controlId), text}, 0) == 0;
}

bool GetControlText(const std::string& caption, int controlId, std::string* text)
{
    std::string out;
    const bool found = Probe({"get-text", caption, std::to_string(controlId)}, 0, &out) == 0;
    if (text != nullptr)
        *text = out;
    return found;
}

bool WaitControlText(const std::string& caption, int controlId, const std::string& expected,
                     int timeoutMs, std::string* last)
{
    std::string out;
    const int code =
        Probe({"wait-text", caption, std::to_string(controlId), expected, std::to_string(timeoutMs)},
              timeoutMs, &out);
    if (last != nullptr)
        *last = out;
    return code == 0;
}

int ControlVisible(const std::string& caption, int controlId)
{
    std::string out;
    if (Probe({"visible", caption, std::to_string(controlId)}, 0, &out) != 0)
        return -1;
    return out == "1" ? 1 : 0;
}

int IsIconic(const std::string& caption)
{
    std::string out;
    if (Probe({"is-iconic", caption}, 0, &out) != 0)
        return -1;
    return out == "1" ? 1 : 0;
}

bool CloseWindow(const std::string& caption)
{
    return Probe({"close", caption}, 0) == 0;
}

std::vector<std::string> ListWindows()
{
    std::string out;
    Probe({"list"}, 0, &out);
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

int KillImage(const std::string& imageName)
{
    std::string out;
    if (Probe({"kill", imageName}, 5000, &out) != 0)
        return 0;
    return std::atoi(out.c_str());
}

// ---- COM ports ----------------------------------------------------------------

std::string DosDevicePath(int comNumber)
{
    return Env().prefix + "/dosdevices/com" + std::to_string(comNumber);
}

void MakeRefusingPort(int comNumber)
{
    const std::string link = DosDevicePath(comNumber);
    unlink(link.c_str());
    if (symlink("/sys/devices/system/cpu/online", link.c_str()) != 0)
        ADD_FAILURE() << "cannot link " << link << ": " << std::strerror(errno);
}

void RemovePort(int comNumber)
{
    unlink(DosDevicePath(comNumber).c_str());
}

ComPort::ComPort(int number) : number_(number)
{
    if (!Env().ok) {
        ADD_FAILURE() << Env().problem;
        return;
    }
    if (termsim::OpenPtyPair(pty_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        return;
    }
    Relink();
    ok_ = FileExists(DosDevicePath(number_));
    if (!ok_)
        ADD_FAILURE() << "COM" << number_ << " link not made";
}

ComPort::~ComPort()
{
    StopSimulator();
    if (pty_.master >= 0)
        Unlink();
    termsim::ClosePtyPair(pty_);
}

void ComPort::StartSimulator()
{
    if (pty_.master >= 0 && sim_.Start(pty_.master) == 0)
        serving_ = true;
}

void ComPort::StopSimulator()
{
    sim_.Stop();
    serving_ = false;
}

void ComPort::Vanish()
{
    if (vanished_)
        return;
    const bool serving = serving_;
    StopSimulator();
    serving_ = serving;
    Unlink();
    termsim::ClosePtyPair(pty_);
    vanished_ = true;
}

void ComPort::Reappear()
{
    if (!vanished_)
        return;
    if (termsim::OpenPtyPair(pty_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        return;
    }
    vanished_ = false;
    Relink();
    if (serving_)
        StartSimulator();
}

void ComPort::Unlink()
{
    RemovePort(number_);
}

void ComPort::Relink()
{
    const std::string link = DosDevicePath(number_);
    unlink(link.c_str());
    if (symlink(pty_.slavePath.c_str(), link.c_str()) != 0)
        ADD_FAILURE() << "cannot link " << link << ": " << std::strerror(errno);
}

int ComPort::LineSpeed() const
{
    return termsim::LineSpeed(pty_.master);
}

bool ComPort::WaitLineSpeed(int bitsPerSecond, int timeoutMs) const
{
    const int64_t deadline = NowNs() + static_cast<int64_t>(timeoutMs) * 1000000;
    for (;;) {
        if (LineSpeed() == bitsPerSecond)
            return true;
        if (NowNs() >= deadline)
            return false;
        usleep(2000);
    }
}

bool SetEnumeratedPorts(const std::vector<int>& comNumbers)
{
    // A CRLF .reg file through regedit: one Wine start for all keys.
    const char* serviceKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum";
    const char* enumKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\SERENUM";
    std::string reg = "REGEDIT4\r\n\r\n";
    reg += "[-" + std::string(serviceKey) + "]\r\n\r\n";
    reg += "[-" + std::string(enumKey) + "]\r\n\r\n";
    if (!comNumbers.empty()) {
        char count[16];
        std::snprintf(count, sizeof count, "%08x", static_cast<unsigned>(comNumbers.size()));
        reg += "[" + std::string(serviceKey) + "]\r\n\"Count\"=dword:" + count + "\r\n";
        for (size_t i = 0; i < comNumbers.size(); ++i) {
            char instance[64];
            std::snprintf(instance, sizeof instance, "DEV%04d\\\\1&2a3b4c&0&%04d", comNumbers[i], comNumbers[i]);
            reg += "\"" + std::to_string(i) + "\"=\"SERENUM\\\\" + instance + "\"\r\n";
        }
        reg += "\r\n";
        for (int number : comNumbers) {
            char key[128];
            std::snprintf(key, sizeof key, "\\DEV%04d\\1&2a3b4c&0&%04d\\Device Parameters", number, number);
            reg += "[" + std::string(enumKey) + key + "]\r\n\"PortName\"=\"COM" + std::to_string(number) +
                   "\"\r\n\r\n";
        }
    }
    const std::string path = UniqueTempBase("reg") + ".reg";
    WriteFile(path, reg);
    const int code = RunWine({"regedit", "/s", ToWindowsPath(path)}, 20000);
    unlink(path.c_str());
    enumeratorTouched = !comNumbers.empty();
    return code == 0;
}

// ---- Command line ---------------------------------------------------------------

std::string CommandLine::Text() const
{
    const int values[] = {interfaceKind + 1, comPort, baudIndex + 1, saveMode + 1, addReturn, addLineFeed,
                          showErrorMessages, viewReceivedData, alwaysShowDialog, keepOnline, pollingTime,
                          interCharDelay};
    std::string text = path;
    for (int value : values)
        text += "," + std::to_string(value);
    return text;
}

// ---- Fixture ------------------------------------------------------------------

void E2ETest::SetUp()
{
    const Environment& env = Env();
    ASSERT_TRUE(env.ok) << env.problem;
    char pattern[] = "/tmp/vn-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
    dir_ = pattern;
    exe_ = dir_ + "/Varnolt.exe";
    std::error_code error;
    fs::copy_file(env.varnoltExe, exe_, error);
    ASSERT_FALSE(error) << "cannot copy Varnolt.exe: " << error.message();
}

void E2ETest::TearDown()
{
    program_.reset();  // kills what is left of the program and its group
    if (enumeratorTouched)
        SetEnumeratedPorts({});
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

Program& E2ETest::Launch(const std::string& commandLine, long long fileSizeLimit)
{
    std::vector<std::string> args;
    // Wine joins its arguments with single blanks into the command line.
    size_t start = 0;
    while (!commandLine.empty() && start <= commandLine.size()) {
        const size_t blank = commandLine.find(' ', start);
        const size_t end = blank == std::string::npos ? commandLine.size() : blank;
        args.push_back(commandLine.substr(start, end - start));
        if (blank == std::string::npos)
            break;
        start = blank + 1;
    }
    program_ = std::make_unique<Program>();
    program_->LimitFileSize(fileSizeLimit);
    if (program_->Start(exe_, args, dir_, dir_ + "/program") != 0)
        ADD_FAILURE() << "cannot start wine64";
    return *program_;
}

// ---- Telephony stand-in -------------------------------------------------------

TapiStandin::TapiStandin(const std::string& testDir, const std::string& world)
    : ini_(testDir + "/standin.ini"), log_(testDir + "/tapi.log")
{
    const fs::path dll = Env().tapiStandinDll;
    std::error_code error;
    fs::copy_file(dll, fs::path(testDir) / "tapi32.dll", fs::copy_options::overwrite_existing, error);
    if (error) {
        ADD_FAILURE() << "cannot copy " << dll << ": " << error.message();
        return;
    }
    Rewrite(world);
    setenv("WINEDLLOVERRIDES", "tapi32=n", 1);
    setenv("VARNOLT_TAPI_STANDIN", ini_.c_str(), 1);
    ok_ = true;
}

TapiStandin::~TapiStandin()
{
    unsetenv("WINEDLLOVERRIDES");
    unsetenv("VARNOLT_TAPI_STANDIN");
}

void TapiStandin::Rewrite(const std::string& world)
{
    WriteFile(ini_, "log = " + log_ + "\n" + world);
}

std::vector<std::string> TapiStandin::Calls(const std::string& function) const
{
    return StandinCalls(ReadFile(log_), function);
}

}  // namespace e2e
