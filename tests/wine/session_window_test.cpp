// The session window on the test runner's COM port (a silent terminal): which
// messages end a session and which keep it, or open the link again.
#include "core/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "box_watcher.h"
#include "errors/error_codes.h"
#include "link/link_state.h"
#include "res/resource.h"
#include "session/session_window.h"
#include "test_dir.h"
#include "tests/common/restore_guard.h"

namespace {

constexpr UINT MSG_RUN_SCRIPT = WM_APP + 41;
constexpr UINT MSG_STILL_OPEN = WM_APP + 42;   // reached only if the window did not end

struct Row {
    const char* proves;
    bool keepOnline;
    UINT message;
    WPARAM wParam;
    bool continues;   // the window stays, with its link open
    const char* logged;
};
const Row* currentRow = nullptr;
bool stillOpen = false, linkOpen = false;

INT_PTR CALLBACK ScriptedSessionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MSG_RUN_SCRIPT) {
        SendMessageA(window, currentRow->message, currentRow->wParam, 0);
        PostMessageA(window, MSG_STILL_OPEN, 0, 0);
        return TRUE;
    }
    if (message == MSG_STILL_OPEN) {
        stillOpen = true;
        linkOpen = linkState.port != nullptr;
        return SessionDialogProc(window, WM_COMMAND, IDC_ABORT, 0);
    }
    const INT_PTR result = SessionDialogProc(window, message, wParam, lParam);
    if (message == WM_INITDIALOG) PostMessageA(window, MSG_RUN_SCRIPT, 0, 0);
    return result;
}

std::string LoggedText(const TestDir& dir)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(dir.File("Err*.log").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return "";
    FindClose(find);
    return ReadWholeFile(dir.File(entry.cFileName));
}

}  // namespace

TEST(SessionWindow, OnlyATimeOutRestartsAKeepOnlineSessionAndEnterIsNoCompletion)
{
    const char* number = std::getenv("VARNOLT_TEST_COM");
    if (!number) GTEST_SKIP() << "VARNOLT_TEST_COM is not set: no test COM port";
    const Row rows[] = {
        {"Enter's IDOK before the terminal's OVER completes nothing", false, WM_COMMAND, IDOK, true, ""},
        {"a time-out in keep-online mode is logged and the link opened again", true, MSG_SESSION_ERROR,
         static_cast<WPARAM>(ERR_TIMEOUT), true, "Time out!!"},
        {"any other failure ends a keep-online session", true, MSG_SESSION_ERROR, static_cast<WPARAM>(ERR_PORT_WRITE),
         false, "Failed to write the COM port!"},
    };
    const Restore keep(settings);
    BoxWatcher noBox("Error Message", IDOK);
    for (const Row& row : rows) {
        TestDir dir;
        SetCommandLineDefaults();
        settings.comPort = std::atoi(number);
        settings.showErrorMessages = 0;
        settings.keepOnline = row.keepOnline;
        std::snprintf(settings.outputDirectory, sizeof settings.outputDirectory, "%s", dir.Path().c_str());
        std::snprintf(settings.outputFileName, sizeof settings.outputFileName, "out.txt");
        currentRow = &row;
        stillOpen = linkOpen = false;
        EXPECT_EQ(SESSION_END, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SESSION), nullptr,
                                               ScriptedSessionProc, 0)) << row.proves;
        EXPECT_EQ(stillOpen && linkOpen, row.continues) << row.proves;
        EXPECT_EQ(LoggedText(dir), row.logged) << row.proves;
        EXPECT_EQ(linkState.port, nullptr) << "closed at the end";
    }
    noBox.Stop();
    EXPECT_EQ(noBox.Count(), 0);
}
