// A target for typed records: a window with one multi-line edit field that
// holds the keyboard focus. Every change of its text is written at once to
// the file named on the command line (replaced whole), so a test can wait
// for the expected text; the text is written once more on exit. A label
// (control 101) reads "active" while the window is the active one, so a test
// can wait until keystrokes will reach it.
//
//   typetarget.exe OUTPUT_FILE
#include <windows.h>

#include <string>

namespace {

constexpr char WINDOW_CLASS[] = "VarnoltTypeTarget";
constexpr char WINDOW_CAPTION[] = "Varnolt Type Target";
constexpr int EDIT_ID = 100;
constexpr int STATE_ID = 101;

std::string outputPath;
HWND editField = nullptr;
HWND stateLabel = nullptr;

// Written beside the output and renamed over it, so a reader never sees half a text.
void WriteText()
{
    const int length = GetWindowTextLengthA(editField);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(editField, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    const std::string partial = outputPath + ".part";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExA(partial.c_str(), outputPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK TargetWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        editField = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                                    0, 0, 380, 180, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(EDIT_ID)),
                                    nullptr, nullptr);
        stateLabel = CreateWindowExA(0, "STATIC", "inactive", WS_CHILD | WS_VISIBLE, 0, 182, 380, 16, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(STATE_ID)), nullptr, nullptr);
        return editField != nullptr && stateLabel != nullptr ? 0 : -1;
    case WM_SETFOCUS:
        SetFocus(editField);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(editField);
        SetWindowTextA(stateLabel, LOWORD(wParam) != WA_INACTIVE ? "active" : "inactive");
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == EDIT_ID && HIWORD(wParam) == EN_CHANGE) WriteText();
        return 0;
    case WM_CLOSE:
        WriteText();
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
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = TargetWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowExA(0, WINDOW_CLASS, WINDOW_CAPTION, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 220,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    SetForegroundWindow(window);
    SetFocus(editField);
    WriteText();    // an empty file says the target is ready
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
