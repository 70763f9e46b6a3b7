// Checks of the telephony stand-in, used as a program uses telephony: linked
// with the system's import library, run under Wine with our tapi32.dll beside
// it and WINEDLLOVERRIDES=tapi32=n. The COM port number of the comm handle
// comes from VARNOLT_TEST_COM (a pseudo-terminal linked by wine_run --com).
#include <windows.h>
#include <tapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "standin_calls.h"

namespace {

constexpr DWORD VERSION = 0x20002;
constexpr DWORD TOO_SMALL = LINEERR_STRUCTURETOOSMALL;
constexpr size_t GUARD = 64;
constexpr char GUARD_BYTE = static_cast<char>(0xA5);

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// A world file with its log in a fresh directory, named to the stand-in
// through VARNOLT_TAPI_STANDIN.
class World {
public:
    // With `unixPaths` the file and the log are named to the dll as Unix
    // paths under /tmp (Wine's Z:\tmp), as the Linux side of a test does.
    explicit World(const std::string& lines, bool unixPaths = false)
    {
        const std::string name = "standin-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count_);
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dir_ = unixPaths ? "Z:\\tmp\\" + name : std::string(temp) + name;
        CreateDirectoryA(dir_.c_str(), nullptr);
        log_ = dir_ + "\\tapi.log";
        ini_ = dir_ + "\\standin.ini";
        const std::string unixDir = "/tmp/" + name;
        std::ofstream(ini_) << "log = " << (unixPaths ? unixDir + "/tapi.log" : log_) << "\n" << lines;
        SetEnvironmentVariableA("VARNOLT_TAPI_STANDIN", (unixPaths ? unixDir + "/standin.ini" : ini_).c_str());
    }
    ~World()
    {
        DeleteFileA(log_.c_str());
        DeleteFileA(ini_.c_str());
        RemoveDirectoryA(dir_.c_str());
    }

    std::vector<std::string> Calls(const std::string& function = "") const
    {
        std::ifstream in(log_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return StandinCalls(text.str(), function);
    }

private:
    static inline int count_ = 0;
    std::string dir_, log_, ini_;
};

// What the callback saw.
struct Seen {
    DWORD device, message;
    DWORD_PTR instance, param1, param2, param3;
    DWORD thread;
    double ms;
};
std::vector<Seen> seen;
LONG answerResult = 0;
double answerMs = 0;
constexpr char BOX_CAPTION[] = "Telephony check";
HWND boxToClose = nullptr;  // closed when the call ends

void CALLBACK Callback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3)
{
    seen.push_back({device, message, instance, p1, p2, p3, GetCurrentThreadId(), NowMs()});
    if (message == LINE_APPNEWCALL) {
        answerMs = NowMs();
        answerResult = lineAnswer(static_cast<HCALL>(p2), nullptr, 0);
    }
    if (message == LINE_CALLSTATE && p1 == LINECALLSTATE_DISCONNECTED && boxToClose != nullptr)
        PostMessageA(boxToClose, WM_COMMAND, IDOK, 0);
}

bool Saw(DWORD message, DWORD_PTR state = 0)
{
    for (const Seen& s : seen)
        if (s.message == message && (message != LINE_CALLSTATE || s.param1 == state)) return true;
    return false;
}

// Telephony initialised as the program does it, with a line device opened
// as owner of data-modem calls when `open` is set.
struct Session {
    HLINEAPP app = 0;
    HLINE line = 0;
    DWORD devices = 0, version = VERSION;
    LONG initResult = 0;

    explicit Session(bool open = false)
    {
        seen.clear();
        answerResult = 0;
        LINEINITIALIZEEXPARAMS params{};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
        initResult = lineInitializeExA(&app, GetModuleHandleA(nullptr), Callback, "Check", &devices, &version, &params);
        if (open && initResult == 0) {
            DWORD negotiated = 0;
            LINEEXTENSIONID extension{};
            lineNegotiateAPIVersion(app, 0, 0x10004, VERSION, &negotiated, &extension);
            LINECALLPARAMS callParams{};
            callParams.dwTotalSize = sizeof callParams;
            lineOpenA(app, 0, &line, negotiated, 0, 7, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, &callParams);
        }
    }
    ~Session()
    {
        if (app != 0) lineShutdown(app);
    }
};

// Runs this thread's message loop until `done` or the time-out.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const double deadline = NowMs() + timeoutMs;
    while (!done()) {
        const double left = deadline - NowMs();
        if (left <= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

bool Connected()
{
    return Saw(LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
}

// A growing-buffer read as a client does it: a too-small answer gives the
// size to try next (its dwNeededSize, or 100 bytes more when that is 0).
// Guard bytes after each buffer tell whether anything was written past it.
struct Grown {
    LONG result = -1;
    std::vector<char> data;
    std::vector<DWORD> totals;
    bool guardIntact = true;
};

Grown ReadGrowing(DWORD size, const std::function<LONG(void*)>& read)
{
    Grown grown;
    for (int attempt = 0; attempt < 12 && size <= 65536; ++attempt) {
        std::vector<char> buffer(size + GUARD, GUARD_BYTE);
        std::memset(buffer.data(), 0, size);
        std::memcpy(buffer.data(), &size, sizeof size);
        grown.totals.push_back(size);
        const LONG result = read(buffer.data());
        for (size_t i = size; i < buffer.size(); ++i)
            grown.guardIntact = grown.guardIntact && buffer[i] == GUARD_BYTE;
        DWORD needed = 0;
        std::memcpy(&needed, buffer.data() + sizeof(DWORD), sizeof needed);
        if (result == static_cast<LONG>(TOO_SMALL) || (result == 0 && size < needed)) {
            size = needed != 0 ? needed : size + 100;
            continue;
        }
        grown.result = result;
        buffer.resize(size);
        grown.data = buffer;
        break;
    }
    return grown;
}

Grown ReadCaps(HLINEAPP app, DWORD device, DWORD start)
{
    return ReadGrowing(start, [&](void* buffer) {
        return lineGetDevCapsA(app, device, VERSION, 0, static_cast<LINEDEVCAPS*>(buffer));
    });
}

std::string LineName(const Grown& grown)
{
    const auto* caps = reinterpret_cast<const LINEDEVCAPS*>(grown.data.data());
    return std::string(grown.data.data() + caps->dwLineNameOffset, caps->dwLineNameSize);
}

TEST(TapiStandin, ListsDevicesWithNamesOfAnyLength)
{
    const std::string longName(230, 'L');
    World world("[line]\nname = Data modem\n"
                "[line]\nname = Voice line\nmedia = 0x4\n"
                "[line]\nname = " + longName + "\n"
                "[line]\nname = Old modem\nnegotiate = fail\n");
    Session session;
    ASSERT_EQ(session.initResult, 0);
    ASSERT_EQ(world.Calls("lineInitializeExA").size(), 1u) << "not served by the stand-in";
    EXPECT_EQ(session.devices, 4u);
    EXPECT_EQ(session.version, VERSION);

    struct Row {
        const char* what;
        DWORD device;
        LONG negotiation;
        DWORD media;
        std::string name;
    };
    const Row rows[] = {
        {"data modem", 0, 0, LINEMEDIAMODE_DATAMODEM, "Data modem"},
        {"not a data modem", 1, 0, LINEMEDIAMODE_INTERACTIVEVOICE, "Voice line"},
        {"name longer than 200 bytes", 2, 0, LINEMEDIAMODE_DATAMODEM, longName},
        {"negotiation refused", 3, static_cast<LONG>(LINEERR_INCOMPATIBLEAPIVERSION), 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DWORD negotiated = 0;
        LINEEXTENSIONID extension{};
        ASSERT_EQ(lineNegotiateAPIVersion(session.app, row.device, 0x10004, VERSION, &negotiated, &extension),
                  row.negotiation);
        if (row.negotiation != 0) continue;
        EXPECT_EQ(negotiated, VERSION);
        const Grown caps = ReadCaps(session.app, row.device, 24);
        ASSERT_EQ(caps.result, 0);
        EXPECT_TRUE(caps.guardIntact);
        // The record's own fixed part is 268 bytes; the name follows it.
        const DWORD whole = 268 + static_cast<DWORD>(row.name.size()) + 1;
        EXPECT_EQ(caps.totals, (std::vector<DWORD>{24, whole}));
        EXPECT_EQ(reinterpret_cast<const LINEDEVCAPS*>(caps.data.data())->dwMediaModes, row.media);
        EXPECT_EQ(LineName(caps), row.name + '\0');
    }

    // A record holding the fixed part but not the name: answered, with the
    // size it needs and the name left out.
    std::vector<char> buffer(268 + GUARD, GUARD_BYTE);
    std::memset(buffer.data(), 0, 268);
    auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
    caps->dwTotalSize = 268;
    ASSERT_EQ(lineGetDevCapsA(session.app, 2, VERSION, 0, caps), 0);
    EXPECT_EQ(caps->dwNeededSize, 268 + longName.size() + 1);
    EXPECT_EQ(caps->dwUsedSize, 268u);
    EXPECT_EQ(caps->dwLineNameSize, 0u);
    EXPECT_EQ(buffer[268], GUARD_BYTE);
    std::ostringstream expected;
    expected << "lineGetDevCapsA app=0x" << std::hex << std::uppercase << session.app
             << " device=2 version=0x20002 total=268 -> 0 needed=499 used=268";
    EXPECT_EQ(world.Calls("lineGetDevCapsA").back(), expected.str());
}

TEST(TapiStandin, TooSmallAnswersWithoutSizeMakeTheCallerGrowByHundred)
{
    World world("[line]\nname = M\nshort_answer = error_no_size\n");
    Session session;
    ASSERT_EQ(session.initResult, 0);
    const Grown caps = ReadCaps(session.app, 0, 24);
    ASSERT_EQ(caps.result, 0);
    EXPECT_TRUE(caps.guardIntact);
    EXPECT_EQ(caps.totals, (std::vector<DWORD>{24, 124, 224, 324}));
    EXPECT_EQ(LineName(caps), std::string("M", 2));
    const std::vector<std::string> calls = world.Calls("lineGetDevCapsA");
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_NE(calls[2].find("total=224 -> 0x8000004D needed=0"), std::string::npos) << calls[2];
}

TEST(TapiStandin, CapabilityReadsFailAsConfigured)
{
    World world("[line]\nname = Broken\ncaps = fail\n[line]\nname = Forgetful\ncaps = name_fails\n");
    {
        Session session;
        EXPECT_EQ(ReadCaps(session.app, 0, 268).result, static_cast<LONG>(LINEERR_OPERATIONFAILED));
        EXPECT_EQ(ReadCaps(session.app, 1, 268).result, 0) << "the data-modem test";
        EXPECT_EQ(ReadCaps(session.app, 1, 24).result, static_cast<LONG>(LINEERR_OPERATIONFAILED)) << "the name";
    }
    Session again;
    EXPECT_EQ(ReadCaps(again.app, 1, 24).result, 0) << "each initialisation starts afresh";
}

// The call arrives, is answered, connects and is hung up by the caller, all
// through the hidden window of the initialising thread: nothing while that
// thread runs no message loop, everything inside a message box's loop.
TEST(TapiStandin, CallEventsArriveThroughTheInitialisingThreadsMessageLoop)
{
    World world("[line]\nname = Data modem\noffer_after = 300\nconnect_after = 150\nhangup_after = 250\n");
    Session session(true);
    ASSERT_NE(session.line, 0u);
    Sleep(500);
    EXPECT_TRUE(seen.empty()) << "delivered without a message loop";

    // A thread timer finds the box for the callback, which closes it when
    // the call ends, and closes it itself should the call never end.
    static double giveUpAt;
    giveUpAt = NowMs() + 5000;
    struct Watch {
        static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
        {
            boxToClose = FindWindowA("#32770", BOX_CAPTION);
            if (boxToClose != nullptr && NowMs() > giveUpAt) PostMessageA(boxToClose, WM_COMMAND, IDOK, 0);
        }
    };
    const UINT_PTR watch = SetTimer(nullptr, 0, 10, Watch::Tick);
    MessageBoxA(nullptr, "Waiting for the call", BOX_CAPTION, MB_OK);
    KillTimer(nullptr, watch);
    boxToClose = nullptr;

    ASSERT_EQ(seen.size(), 5u);
    const DWORD thread = GetCurrentThreadId();
    const DWORD call = static_cast<DWORD>(seen[0].param2);
    struct Expected {
        DWORD device, message;
        DWORD_PTR param1, param3;
    };
    const Expected expected[] = {
        {session.line, LINE_APPNEWCALL, 0, LINECALLPRIVILEGE_OWNER},
        {call, LINE_CALLSTATE, LINECALLSTATE_OFFERING, LINECALLPRIVILEGE_OWNER},
        {0, LINE_REPLY, static_cast<DWORD_PTR>(answerResult), 0},
        {call, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0},
        {call, LINE_CALLSTATE, LINECALLSTATE_DISCONNECTED, 0},
    };
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].device, expected[i].device);
        EXPECT_EQ(seen[i].message, expected[i].message);
        EXPECT_EQ(seen[i].param1, expected[i].param1);
        EXPECT_EQ(seen[i].param3, expected[i].param3);
        EXPECT_EQ(seen[i].instance, 7u);
        EXPECT_EQ(seen[i].thread, thread);
    }
    EXPECT_GT(answerResult, 0) << "a request id";
    EXPECT_EQ(seen[2].param2, 0u) << "the answer succeeded";
    const double connectedAfter = seen[3].ms - answerMs;
    const double hungUpAfter = seen[4].ms - seen[3].ms;
    EXPECT_GE(connectedAfter, 149);
    EXPECT_LE(connectedAfter, 1150);
    EXPECT_GE(hungUpAfter, 240);  // timed from the connection, logged before our callback ran
    EXPECT_LE(hungUpAfter, 1250);
}

TEST(TapiStandin, CommHandleOfTheConnectedCall)
{
    const char* com = std::getenv("VARNOLT_TEST_COM");
    ASSERT_NE(com, nullptr) << "run through wine_run --com N";
    struct Row {
        const char* what;
        const char* kind;
        DWORD fileType;
    };
    const Row rows[] = {
        {"the COM port", "port", FILE_TYPE_CHAR},
        {"a handle that is no character device", "file", FILE_TYPE_DISK},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        World world(std::string("[line]\nname = Data modem\noffer_after = 0\nconnect_after = 0\ncom = ") + com +
                    "\ncomm_handle = " + row.kind + "\n");
        Session session(true);
        ASSERT_TRUE(PumpUntil(Connected, 3000));
        const HCALL call = static_cast<HCALL>(seen[0].param2);
        const Grown id = ReadGrowing(24, [&](void* buffer) {
            return lineGetIDA(session.line, 0, call, LINECALLSELECT_LINE, static_cast<VARSTRING*>(buffer),
                              "comm/datamodem");
        });
        ASSERT_EQ(id.result, 0);
        EXPECT_TRUE(id.guardIntact);
        EXPECT_EQ(id.totals, (std::vector<DWORD>{24, 24 + sizeof(HANDLE) + 11}));
        const auto* text = reinterpret_cast<const VARSTRING*>(id.data.data());
        EXPECT_EQ(text->dwStringFormat, static_cast<DWORD>(STRINGFORMAT_BINARY));
        HANDLE handle = nullptr;
        std::memcpy(&handle, id.data.data() + text->dwStringOffset, sizeof handle);
        EXPECT_EQ(std::string(id.data.data() + text->dwStringOffset + sizeof handle), "Data modem");
        EXPECT_EQ(GetFileType(handle), row.fileType);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        EXPECT_EQ(GetCommState(handle, &dcb) != FALSE, row.fileType == FILE_TYPE_CHAR);
        CloseHandle(handle);
        EXPECT_GT(lineDrop(call, nullptr, 0), 0);
        EXPECT_EQ(lineClose(session.line), 0);
        EXPECT_NE(world.Calls("lineClose").at(0).find("comm=closed"), std::string::npos);
    }
}

TEST(TapiStandin, RefusedAnswerLeavesTheCallUnconnected)
{
    World world("[line]\nname = Data modem\noffer_after = 0\nanswer_result = 0x80000048\nconnect_after = 50\n");
    Session session(true);
    ASSERT_TRUE(PumpUntil([] { return Saw(LINE_APPNEWCALL); }, 3000));
    EXPECT_EQ(answerResult, static_cast<LONG>(LINEERR_OPERATIONFAILED));
    PumpUntil(Connected, 400);
    EXPECT_FALSE(Connected());
}

TEST(TapiStandin, ConfigDialogIsRecorded)
{
    World world("config_dialog_result = 0x80000048\n[line]\nname = A\n[line]\nname = B\n");
    EXPECT_EQ(lineConfigDialogA(1, nullptr, "comm/datamodem"), static_cast<LONG>(LINEERR_UNINITIALIZED));
    Session session;
    EXPECT_EQ(lineConfigDialogA(1, nullptr, "comm/datamodem"), static_cast<LONG>(LINEERR_OPERATIONFAILED));
    EXPECT_EQ(lineConfigDialogA(2, nullptr, "comm/datamodem"), static_cast<LONG>(LINEERR_BADDEVICEID));
    const std::vector<std::string> calls = world.Calls("lineConfigDialogA");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1], "lineConfigDialogA device=1 owner=0x0 class=comm/datamodem -> 0x80000048");
}

TEST(TapiStandin, UnixPathsNameTheWorldAndTheLog)
{
    World world("[line]\nname = A\n[line]\nname = B\n", true);
    Session session;
    EXPECT_EQ(session.initResult, 0);
    EXPECT_EQ(session.devices, 2u);
    EXPECT_EQ(world.Calls("lineInitializeExA").size(), 1u);
}

// After lineShutdown nothing of the session answers, nothing more is
// delivered, and the log holds every call in order.
TEST(TapiStandin, ShutdownReleasesEverything)
{
    World world("[line]\nname = Data modem\noffer_after = 0\nconnect_after = 0\nhangup_after = 200\n");
    Session session(true);
    ASSERT_TRUE(PumpUntil(Connected, 3000));
    const HCALL call = static_cast<HCALL>(seen[0].param2);
    EXPECT_GT(lineDrop(call, nullptr, 0), 0);
    EXPECT_EQ(lineClose(session.line), 0);
    ASSERT_EQ(lineShutdown(session.app), 0);
    const size_t delivered = seen.size();

    const LONG invalidApp = LINEERR_INVALAPPHANDLE;
    EXPECT_EQ(lineShutdown(session.app), invalidApp);
    LINEDEVCAPS caps{};
    caps.dwTotalSize = sizeof caps;
    EXPECT_EQ(lineGetDevCapsA(session.app, 0, VERSION, 0, &caps), invalidApp);
    HLINE line = 0;
    EXPECT_EQ(lineOpenA(session.app, 0, &line, VERSION, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM,
                        nullptr),
              invalidApp);
    EXPECT_EQ(lineAnswer(call, nullptr, 0), static_cast<LONG>(LINEERR_INVALCALLHANDLE));
    PumpUntil([] { return false; }, 400);
    EXPECT_EQ(seen.size(), delivered) << "an event after shutdown";
    session.app = 0;

    std::vector<std::string> names;
    for (const std::string& c : world.Calls())
        names.push_back(c.substr(0, c.find(' ')));
    EXPECT_EQ(names, (std::vector<std::string>{"lineInitializeExA", "lineNegotiateAPIVersion", "lineOpenA",
                                               "lineAnswer", "lineDrop", "lineClose", "lineShutdown",
                                               "lineShutdown", "lineGetDevCapsA", "lineOpenA", "lineAnswer"}));
}

}  // namespace
