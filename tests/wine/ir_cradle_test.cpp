// The cradle start-up against a cradle of our own on a named pipe: it hears
// the host's bytes at the speed of the last line settings written and
// answers the probes the row gives it. The line-settings calls are recorded
// instead of made, since RTS cannot be seen on a pseudo-terminal; the
// speeds, bytes and pauses on a real line are the end-to-end tests' part.
#include "core/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "link/ir_cradle.h"
#include "link/ir_wait_panel.h"
#include "link/line_settings.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "res/resource.h"

namespace {

// The port: the server end of a pipe, overlapped; the cradle's answers are
// written to the client end.
struct CradlePipe {
    CradlePipe()
    {
        static int number = 0;
        const std::string name = "\\\\.\\pipe\\varnolt-cradle-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(number++);
        server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1,
                                  4096, 4096, 0, nullptr);
        client = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ~CradlePipe() { CloseHandle(client), CloseHandle(server); }
    HANDLE server, client;
};

// What the port driver reports before the start-up: members the start-up
// must leave alone carry values of their own.
DCB DriverSettings()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 4800;
    dcb.fBinary = 1;
    dcb.fAbortOnError = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.XonLim = 77;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutX = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    return dcb;
}

// The line as the start-up left it, and the cradle behind it.
struct Line {
    HANDLE client = nullptr;
    std::map<DWORD, std::string> answers;   // speed -> what the cradle answers a probe heard at it
    DCB current = DriverSettings();
    std::string log;                        // "9600-" settings written (RTS low), "[0F]" a byte sent
    std::vector<DCB> written;
    std::vector<COMMTIMEOUTS> timeouts;
    std::vector<std::string> queues;        // "in/out", with the settings written before them
    void (*onFirstByte)() = nullptr;
    bool byteSeen = false;
    // A cradle that needs time after each settings write with RTS low before
    // its receiver takes a byte: the pause of that speed, less a margin (0:
    // a cradle that takes bytes at once).
    double settleMarginMs = 0;
    double addressedAtMs = 0;               // the last settings write with RTS low
    std::vector<double> probeDelaysMs;      // from that write to each probe
} line;

double NowMs()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The pause the start-up owes the cradle at a speed (its receiver turning on).
double PauseMs(DWORD speed)
{
    return speed == 9600 ? 200.0 : 100.0;
}

BOOL WINAPI GetState(HANDLE, LPDCB dcb)
{
    *dcb = line.current;
    return TRUE;
}
BOOL WINAPI SetState(HANDLE, LPDCB dcb)
{
    line.current = *dcb;
    line.written.push_back(*dcb);
    if (dcb->fRtsControl == RTS_CONTROL_DISABLE) line.addressedAtMs = NowMs();
    line.log += std::to_string(dcb->BaudRate) + (dcb->fRtsControl == RTS_CONTROL_ENABLE ? "+ " : "- ");
    return TRUE;
}
BOOL WINAPI GetTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts)
{
    *timeouts = COMMTIMEOUTS{1, 2, 3, 4, 5};
    return TRUE;
}
BOOL WINAPI SetTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts)
{
    line.timeouts.push_back(*timeouts);
    return TRUE;
}
BOOL WINAPI SetupQueues(HANDLE, DWORD input, DWORD output)
{
    line.queues.push_back(std::to_string(input) + "/" + std::to_string(output) + " after " + line.log);
    return TRUE;
}

// The host's bytes reach the cradle at the speed last written; a probe it
// hears there is answered at once.
BOOL WINAPI WriteToCradle(HANDLE port, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED record)
{
    if (!line.byteSeen && line.onFirstByte) line.onFirstByte();
    line.byteSeen = true;
    const auto* data = static_cast<const unsigned char*>(bytes);
    for (DWORD i = 0; i < size; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "[%02X] ", data[i]);
        line.log += hex;
        const auto answer = line.answers.find(line.current.BaudRate);
        bool heard = line.current.fRtsControl == RTS_CONTROL_DISABLE && answer != line.answers.end();
        if (data[i] == 0x0F && line.settleMarginMs > 0) {
            const double delay = NowMs() - line.addressedAtMs;
            line.probeDelaysMs.push_back(delay);
            heard = heard && delay >= PauseMs(line.current.BaudRate) - line.settleMarginMs;
        }
        if (data[i] == 0x0F && heard) {
            DWORD count = 0;
            WriteFile(line.client, answer->second.data(), static_cast<DWORD>(answer->second.size()), &count, nullptr);
        }
    }
    return WriteFile(port, bytes, size, written, record);
}

// The pipe as the link's port, the recording line settings and the cradle,
// for one start-up.
struct CradleRig {
    CradleRig()
    {
        line = Line{};
        line.client = pipe.client;
        linkState.port = pipe.server;
        linkState.dcb = DCB{};
        linkState.writeOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        linkState.readOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        lineIo = LineIo{.getCommState = GetState,
                        .setCommState = SetState,
                        .getCommTimeouts = GetTimeouts,
                        .setCommTimeouts = SetTimeouts,
                        .setupComm = SetupQueues};
        serialIo.writeFile = WriteToCradle;
    }
    ~CradleRig()
    {
        lineIo = PLATFORM_LINE_IO;
        serialIo = PLATFORM_SERIAL_IO;
        CloseHandle(linkState.writeOverlapped.hEvent);
        CloseHandle(linkState.readOverlapped.hEvent);
        linkState.readOverlapped = linkState.writeOverlapped = OVERLAPPED{};
        linkState.port = nullptr;
    }
    CradlePipe pipe;
};

std::string Bytes(std::initializer_list<unsigned char> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(IrCradle, CommandsGoOutWithRtsLowAndTheCradleIsLeftWithRtsHighAtTheNewSpeed)
{
    const struct {
        const char* name;
        std::map<DWORD, std::string> answers;
        int baudIndex;
        const char* log;
    } rows[] = {
        {"silence leaves RTS low for the next probe", {{115200, Bytes({0x0F})}}, 1,
         "38400+ 9600- [0F] 115200- [0F] 115200+ 115200- [07] [35] [51] 57600+ "},
        {"a wrong answer is no answer: RTS is raised, and lowered for the next probe",
         {{9600, Bytes({0xF0})}, {115200, Bytes({0x0F})}}, 3,
         "38400+ 9600- [0F] 9600+ 115200- [0F] 115200+ 115200- [07] [33] [51] 19200+ "},
        {"NUL bytes ahead of the answer are skipped", {{9600, Bytes({0, 0, 0, 0x0F})}}, 4,
         "38400+ 9600- [0F] 9600+ 9600- [07] [32] [51] 9600+ "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CradleRig rig;
        line.answers = row.answers;
        EXPECT_EQ(1, InitIrCradle(rig.pipe.server, static_cast<uint8_t>(row.baudIndex)));
        EXPECT_EQ(row.log, line.log);
        // The plain link's time-outs, the queues once the speed is set.
        ASSERT_EQ(1u, line.timeouts.size());
        const COMMTIMEOUTS& t = line.timeouts[0];
        EXPECT_EQ((std::vector<DWORD>{MAXDWORD, 0, 0, 5, 50}),
                  (std::vector<DWORD>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                      t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                      t.WriteTotalTimeoutConstant}));
        EXPECT_EQ((std::vector<std::string>{"1024/1024 after " + line.log}), line.queues);
        // Every write: the 8N1 frame without flow control, DTR raised, the
        // driver's other members as it reported them.
        for (const DCB& dcb : line.written) {
            EXPECT_EQ((std::vector<DWORD>{8, NOPARITY, ONESTOPBIT, 0, 0, DTR_CONTROL_ENABLE, 1, 1, 1, 77}),
                      (std::vector<DWORD>{dcb.ByteSize, dcb.Parity, dcb.StopBits, dcb.fOutxCtsFlow, dcb.fOutX,
                                          dcb.fDtrControl, dcb.fBinary, dcb.fAbortOnError, dcb.fOutxDsrFlow,
                                          dcb.XonLim}));
        }
    }
}

// The cradle's receiver needs the pause after RTS goes low (or the speed
// changes under it) before it hears a probe. The margin of 20 ms allows for
// a timer tick on Windows and a late measure here; a probe sent without the
// pause comes within a millisecond or two.
TEST(IrCradle, EachProbeWaitsForTheCradleToSettleAfterItsSettingsAreWritten)
{
    CradleRig rig;
    line.answers = {{19200, Bytes({0x0F})}};   // found by the fifth probe only
    line.settleMarginMs = 20;
    EXPECT_EQ(1, InitIrCradle(rig.pipe.server, BAUD_INDEX_115200)) << line.log;
    ASSERT_EQ(5u, line.probeDelaysMs.size());
    const DWORD speeds[] = {9600, 115200, 38400, 57600, 19200};
    for (size_t i = 0; i < line.probeDelaysMs.size(); ++i)
        EXPECT_GE(line.probeDelaysMs[i], PauseMs(speeds[i]) - line.settleMarginMs) << "probe at " << speeds[i];
}

namespace {

// What the screen shows of a window now: how many colours its rectangle
// holds (text on a face has at least two; an unpainted or unmapped area
// one).
int ColoursOnScreen(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    std::set<COLORREF> colours;
    for (LONG y = r.top; y < r.bottom; y += 1)
        for (LONG x = r.left; x < r.right; x += 1) colours.insert(GetPixel(screen, x, y));
    ReleaseDC(nullptr, screen);
    return static_cast<int>(colours.size());
}

INT_PTR CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The session window as the cradle start-up finds it: created, not yet shown.
HWND owner = nullptr;

struct PanelSeen {
    bool found = false, visible = false, insideOwner = false, painted = false;
    int textColours = 0;
} panelSeen;

// At the first byte to the cradle: what is on screen.
void LookAtThePanel()
{
    HWND panel = FindWindowExA(owner, nullptr, "#32770", nullptr);
    panelSeen.found = panel != nullptr;
    if (!panel) return;
    panelSeen.visible = IsWindowVisible(panel) != FALSE;
    RECT client{}, own{};
    GetClientRect(owner, &client);
    MapWindowPoints(owner, nullptr, reinterpret_cast<POINT*>(&client), 2);
    GetWindowRect(panel, &own);
    panelSeen.insideOwner = own.left >= client.left && own.top >= client.top && own.right <= client.right &&
                            own.bottom <= client.bottom;
    HWND text = GetWindow(panel, GW_CHILD);
    panelSeen.painted = !GetUpdateRect(owner, nullptr, FALSE) && !GetUpdateRect(panel, nullptr, FALSE) && text &&
                        !GetUpdateRect(text, nullptr, FALSE);
    if (text) panelSeen.textColours = ColoursOnScreen(text);
}

}  // namespace

TEST(IrCradle, TheWaitPanelIsOnScreenBeforeTheFirstProbeAndGoneAfterWhateverTheResult)
{
    for (const bool present : {true, false}) {
        SCOPED_TRACE(present ? "cradle found" : "no cradle");
        CradleRig rig;
        if (present) line.answers = {{9600, Bytes({0x0F})}};
        owner = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SESSION), nullptr, Quiet, 0);
        ASSERT_NE(nullptr, owner);
        ASSERT_FALSE(IsWindowVisible(owner));
        panelSeen = PanelSeen{};
        line.onFirstByte = LookAtThePanel;
        EXPECT_EQ(present ? 1 : 0, StartIrCradle(rig.pipe.server, owner, BAUD_INDEX_9600));
        EXPECT_TRUE(panelSeen.found);
        EXPECT_TRUE(panelSeen.visible);
        EXPECT_TRUE(panelSeen.insideOwner);
        EXPECT_TRUE(panelSeen.painted);
        EXPECT_GE(panelSeen.textColours, 2);
        EXPECT_EQ(nullptr, FindWindowExA(owner, nullptr, "#32770", nullptr));
        DestroyWindow(owner);
        owner = nullptr;
    }
}
