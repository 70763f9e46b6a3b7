// Telephony's end and its comm handle, on the real call path against our
// telephony stand-in (CTest wine.unit runs it with WINEDLLOVERRIDES=tapi32=n):
// the receive thread never reads the comm handle once the session's close
// has closed it, and a comm handle telephony gives as INVALID_HANDLE_VALUE
// is no handle.
#include "core/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "box_watcher.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "link/telephony.h"
#include "res/resource.h"
#include "session/session_link.h"
#include "session/session_window.h"
#include "standin_world.h"
#include "test_dir.h"
#include "tests/common/restore_guard.h"
#include "tools/tapi_standin/standin_calls.h"

namespace {

class TelephonyOrderTest : public StandinTest {
protected:
    void TearDown() override
    {
        StandinTest::TearDown();
        serialIo = PLATFORM_SERIAL_IO;
    }
    void OneLine(const std::string& extra) { World("[line]\nname = A\n" + extra); }
};

// The receive thread's reads, held at their start until the thread is told
// to stop: a read made after that sees whether the port is still open.
struct HeldRead {
    static inline HANDLE reading = nullptr;     // set when a read is held
    static inline std::atomic<int> readsOnAClosedPort{0};
    static BOOL WINAPI Read(HANDLE port, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED record)
    {
        SetEvent(reading);
        for (DWORD start = GetTickCount(); linkState.receiveRunning && GetTickCount() - start < 5000;) Sleep(1);
        DWORD flags = 0;
        if (!GetHandleInformation(port, &flags)) ++readsOnAClosedPort;
        return ReadFile(port, buffer, size, read, record);
    }
};

}  // namespace

// Telephony ends (the session closing after a hang-up, a lost call or a
// completed transfer) while the thread reads the comm handle: the session's
// close stops the thread before telephony closes the handle, so its last
// read still finds it open and it ends as told (2255), not on a refused read
// (0). Closing twice is harmless.
TEST_F(TelephonyOrderTest, ClosingTheLinkUnderTheReceiveThreadStopsItBeforeTelephonyClosesTheHandle)
{
    OneLine("offer_after = -1\n");   // no call disturbs the opened line
    const Restore keep(settings);
    settings.interfaceKind = MODEM_TAPI;
    // A window of the test's own stands for the session window.
    const HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    ASSERT_EQ(1, OpenLink(window));
    // The call is up: a pipe stands for its comm handle.
    const std::string name = "\\\\.\\pipe\\varnolt_order_" + std::to_string(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, 0, 1, 64, 64, 0,
                                           nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    linkState.port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, linkState.port);
    ASSERT_EQ(1, CreateLinkEvents());
    HeldRead::reading = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HeldRead::readsOnAClosedPort = 0;
    serialIo.readFile = HeldRead::Read;
    linkWriteDone = 1;   // "READ\r" has gone out: the thread reads
    HANDLE thread = nullptr;
    DuplicateHandle(GetCurrentProcess(), linkState.receiveThread, GetCurrentProcess(), &thread,
                    SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0);
    ResumeThread(linkState.receiveThread);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(HeldRead::reading, 5000));

    CloseLink();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 0));
    EXPECT_EQ(0, HeldRead::readsOnAClosedPort);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(2255u, code);
    EXPECT_EQ(nullptr, linkState.receiveThread);
    EXPECT_EQ(nullptr, linkState.port);
    EXPECT_EQ(0, linkState.receiveRunning);
    // Closing again finds nothing left to end.
    CloseLink();
    EXPECT_EQ(1u, StandinCalls(ReadWholeFile(log), "lineClose").size());
    EXPECT_EQ(1u, StandinCalls(ReadWholeFile(log), "lineShutdown").size());

    CloseHandle(thread);
    CloseHandle(HeldRead::reading);
    CloseHandle(server);
    DestroyWindow(window);
}

// Telephony answers lineGetIDA with INVALID_HANDLE_VALUE as the comm handle
// (what a driver's failed CreateFileA gives). The session takes it for no
// handle at all: "Can't get the device ID!", and no handle is kept to be
// configured or closed later.
TEST_F(TelephonyOrderTest, ACommHandleOfInvalidHandleValueIsNoHandle)
{
    OneLine("comm_handle = invalid\n");
    const Restore keep(settings);
    SetCommandLineDefaults();
    settings.interfaceKind = MODEM_TAPI;
    std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", dir.Path().c_str());
    std::snprintf(settings.outputFileName, sizeof settings.outputFileName, "out.txt");
    BoxWatcher boxes("Error Message", IDOK);
    // The session window as the program runs it: it ends on the error.
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SESSION), nullptr, SessionDialogProc, 0);
    boxes.Stop();
    ASSERT_EQ(1, boxes.Count());
    EXPECT_EQ("Can't get the device ID!", boxes.Boxes()[0].text);
    EXPECT_EQ(nullptr, linkState.port);
    const std::string log = ReadWholeFile(dir.File("tapi.log"));
    EXPECT_NE(std::string::npos, log.find("handle=0xFFFFFFFF")) << "the stand-in handed INVALID_HANDLE_VALUE over";
}
