// Writing the call log: opened, appended and closed for every line, so that
// a test can read it while the program runs and nothing is lost on a crash.
#include "standin_log.h"

#include <cstdarg>
#include <cstdio>

namespace {

CRITICAL_SECTION logLock;
std::string logPath;

LONGLONG CounterFrequency()
{
    static LONGLONG frequency = 0;
    if (frequency == 0) {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        frequency = value.QuadPart;
    }
    return frequency;
}

unsigned long long NowMicros()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const LONGLONG frequency = CounterFrequency();
    return static_cast<unsigned long long>(counter.QuadPart / frequency * 1000000 +
                                           counter.QuadPart % frequency * 1000000 / frequency);
}

}  // namespace

void InitLog()
{
    InitializeCriticalSection(&logLock);
}

void SetLogPath(const std::string& windowsPath)
{
    EnterCriticalSection(&logLock);
    logPath = windowsPath;
    LeaveCriticalSection(&logLock);
}

void LogLine(const char* format, ...)
{
    char text[2048];
    const int stamp = std::snprintf(text, sizeof text, "%llu ", NowMicros());
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + stamp, sizeof text - stamp - 1, format, args);
    va_end(args);
    std::string line = text;
    line += '\n';

    EnterCriticalSection(&logLock);
    if (!logPath.empty()) {
        const HANDLE file = CreateFileA(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
        }
    }
    LeaveCriticalSection(&logLock);
}

std::string ResultText(LONG result)
{
    char text[16];
    if (result < 0) std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
    else std::snprintf(text, sizeof text, "%ld", static_cast<long>(result));
    return text;
}

ULONGLONG NowMs()
{
    return NowMicros() / 1000;
}
