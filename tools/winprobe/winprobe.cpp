// winprobe: finds, reads and drives top-level windows of other Wine
// processes for the end-to-end tests. Every wait polls against its own
// deadline, so the caller never has to sleep.
//
//   wait-box <caption> <timeout-ms>      dialog or message box; prints its text
//   wait-window <caption> <timeout-ms>   any visible top-level window
//   wait-no-window <caption> <timeout-ms>
//   exists <caption>
//   press <caption> <button-id>          BM_CLICK on that button (never withdrawn)
//   get-text <caption> <control-id>      prints the control's text
//   set-text <caption> <control-id> <text>  WM_SETTEXT, as typing the whole field would
//   wait-text <caption> <control-id> <text> <timeout-ms>   prints the last text seen
//   visible <caption> <control-id>       prints 1 or 0
//   is-iconic <caption>                  prints 1 or 0
//   close <caption>                      WM_CLOSE
//   list                                 visible windows, "class|caption" a line
//   kill <image-name>                    ends every process of that image; prints the count
//
// Exit status: 0 done / found, 1 not found or timed out, 2 bad usage.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD POLL_MS = 15;
constexpr UINT SEND_TIMEOUT_MS = 3000;

HWND FindDialog(const char* caption)
{
    return FindWindowA("#32770", caption);
}

HWND FindAny(const char* caption)
{
    HWND window = FindWindowA(nullptr, caption);
    return window;
}

// Polls finder until it returns a window or the time-out passes.
template <typename Finder>
HWND WaitFor(Finder finder, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HWND window = finder();
        if (window != nullptr)
            return window;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(POLL_MS);
    }
}

// WM_GETTEXT across processes, bounded so a busy window cannot hang us.
bool ReadText(HWND window, std::string* text)
{
    char buffer[4096] = {};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result))
        return false;
    *text = buffer;
    return true;
}

HWND Control(const char* caption, const char* id)
{
    HWND window = FindAny(caption);
    if (window == nullptr)
        return nullptr;
    return GetDlgItem(window, std::atoi(id));
}

BOOL CALLBACK ListOne(HWND window, LPARAM)
{
    if (!IsWindowVisible(window))
        return TRUE;
    char className[256] = {};
    char caption[512] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    std::printf("%s|%s\n", className, caption);
    return TRUE;
}

int KillImage(const char* image)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    int killed = 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, image) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process == nullptr)
            continue;
        if (TerminateProcess(process, 1)) {
            WaitForSingleObject(process, 5000);
            ++killed;
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return killed;
}

bool clickTaken = false;

VOID CALLBACK ClickTaken(HWND, UINT, ULONG_PTR, LRESULT)
{
    clickTaken = true;
}

// The completion of a click is told to this thread while it takes messages.
void WaitForClick()
{
    const DWORD start = GetTickCount();
    while (!clickTaken && GetTickCount() - start < SEND_TIMEOUT_MS) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, POLL_MS, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
}

int Usage()
{
    std::fprintf(stderr, "winprobe: bad arguments (see the comment at the top of winprobe.cpp)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    auto arg = [&](int i) { return i < argc ? argv[i] : nullptr; };

    if (command == "list") {
        EnumWindows(ListOne, 0);
        return 0;
    }
    if (command == "kill" && arg(2)) {
        std::printf("%d", KillImage(argv[2]));
        return 0;
    }
    if (!arg(2))
        return Usage();
    const char* caption = argv[2];

    if (command == "wait-box" && arg(3)) {
        HWND box = WaitFor([&] { return FindDialog(caption); }, std::strtoul(argv[3], nullptr, 10));
        if (box == nullptr)
            return 1;
        std::string text;
        HWND message = GetDlgItem(box, 0xFFFF);
        if (message != nullptr)
            ReadText(message, &text);
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (command == "wait-window" && arg(3)) {
        HWND window = WaitFor([&]() -> HWND {
            HWND found = FindAny(caption);
            return found != nullptr && IsWindowVisible(found) ? found : nullptr;
        }, std::strtoul(argv[3], nullptr, 10));
        return window != nullptr ? 0 : 1;
    }
    if (command == "wait-no-window" && arg(3)) {
        HWND gone = WaitFor([&]() -> HWND {
            return FindAny(caption) == nullptr ? GetDesktopWindow() : nullptr;
        }, std::strtoul(argv[3], nullptr, 10));
        return gone != nullptr ? 0 : 1;
    }
    if (command == "exists")
        return FindAny(caption) != nullptr ? 0 : 1;
    if (command == "press" && arg(3)) {
        HWND button = Control(caption, argv[3]);
        if (button == nullptr)
            return 1;
        // Queued with no time limit: a bounded send that runs out before a
        // busy target takes it is withdrawn (Wine), and the click is lost.
        if (!SendMessageCallbackA(button, BM_CLICK, 0, 0, ClickTaken, 0))
            return 1;
        // The wait for it is bounded: the click may open a nested modal box
        // in the target. Unanswered, it is still taken once the target is free.
        WaitForClick();
        return 0;
    }
    if (command == "get-text" && arg(3)) {
        HWND control = Control(caption, argv[3]);
        std::string text;
        if (control == nullptr || !ReadText(control, &text))
            return 1;
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (command == "set-text" && arg(4)) {
        HWND control = Control(caption, argv[3]);
        if (control == nullptr)
            return 1;
        DWORD_PTR result = 0;
        const LRESULT sent = SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]),
                                                 SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS, &result);
        return sent != 0 && result == TRUE ? 0 : 1;
    }
    if (command == "wait-text" && arg(5)) {
        const std::string expected = argv[4];
        std::string last;
        HWND match = WaitFor([&]() -> HWND {
            HWND control = Control(caption, argv[3]);
            std::string text;
            if (control != nullptr && ReadText(control, &text)) {
                last = text;
                if (text == expected)
                    return control;
            }
            return nullptr;
        }, std::strtoul(argv[5], nullptr, 10));
        std::fputs(last.c_str(), stdout);
        return match != nullptr ? 0 : 1;
    }
    if (command == "visible" && arg(3)) {
        HWND control = Control(caption, argv[3]);
        if (control == nullptr)
            return 1;
        std::printf("%d", IsWindowVisible(control) ? 1 : 0);
        return 0;
    }
    if (command == "is-iconic") {
        HWND window = FindAny(caption);
        if (window == nullptr)
            return 1;
        std::printf("%d", IsIconic(window) ? 1 : 0);
        return 0;
    }
    if (command == "close") {
        HWND window = FindAny(caption);
        if (window == nullptr)
            return 1;
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    return Usage();
}
