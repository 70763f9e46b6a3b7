// key_clock.exe OUTPUT_FILE: a window that keeps the keyboard focus and
// notes when each typed character arrives, for the benchmark of keyboard
// emulation's pace. One line per WM_CHAR, "<ns> <character code>", with the
// time from the performance counter in nanoseconds (under Wine the counter
// runs on CLOCK_MONOTONIC_RAW, the clock of the terminal simulator). The file
// is written whole when the window closes; until then the window's title
// counts the characters ("Key clock N"), so the benchmark can wait for them.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char WINDOW_CLASS[] = "VarnoltKeyClock";

struct Arrival {
    long long ns;
    unsigned code;
};

std::string outputPath;
std::vector<Arrival> arrivals;
LARGE_INTEGER frequency;

long long NowNs()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<long long>(static_cast<double>(counter.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart));
}

void WriteArrivals()
{
    FILE* out = std::fopen(outputPath.c_str(), "w");
    if (!out) return;
    for (const Arrival& a : arrivals) std::fprintf(out, "%lld %u\n", a.ns, a.code);
    std::fclose(out);
}

LRESULT CALLBACK KeyClockProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CHAR: {
        arrivals.push_back(Arrival{NowNs(), static_cast<unsigned>(wParam)});
        char title[64];
        std::snprintf(title, sizeof title, "Key clock %zu", arrivals.size());
        SetWindowTextA(window, title);
        return 0;
    }
    case WM_CLOSE:
        WriteArrivals();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    outputPath = commandLine;
    if (!outputPath.empty() && outputPath.front() == '"') outputPath = outputPath.substr(1, outputPath.find('"', 1) - 1);
    if (outputPath.empty()) return 2;
    QueryPerformanceFrequency(&frequency);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = KeyClockProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WINDOW_CLASS;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowExA(0, WINDOW_CLASS, "Key clock 0", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 300, 120,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
