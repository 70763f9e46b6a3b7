// Turns an error code into what the user sees: a message box, the question
// whether to create a missing directory, or, for the three errors that
// happen during unattended polling and a lost call, with messages switched
// off, a log file.
#include "errors/report_error.h"

#include "errors/error_codes.h"
#include "errors/error_table.h"

namespace {

constexpr const char ERROR_CAPTION[] = "Error Message";
constexpr const char QUESTION_CAPTION[] = "Warring";

// Start-up points these at the settings record; they are read at each
// report, so what the settings dialog changes holds from the next one on.
const uint8_t* showMessages = nullptr;   // null: messages are shown
const char* logDirectory = "";

bool IsLoggedWhenQuiet(int code)
{
    return code == ERR_TIMEOUT || code == ERR_PORT_WRITE || code == ERR_FILE_WRITE || code == ERR_CONNECTION_LOST;
}

}  // namespace

void UseErrorSettings(const uint8_t* showErrorMessages, const char* outputDirectory)
{
    showMessages = showErrorMessages;
    logDirectory = outputDirectory;
}

int ReportError(HWND owner, int code)
{
    if (showMessages != nullptr && *showMessages == 0 && IsLoggedWhenQuiet(code)) {
        LogError(ErrorMessage(code));
        return 0;
    }
    if (code == ASK_CREATE_DIRECTORY) {
        return MessageBoxA(owner, ErrorMessage(code), QUESTION_CAPTION, MB_YESNO | MB_ICONWARNING | MB_TOPMOST);
    }
    MessageBoxA(owner, ErrorMessage(code), ERROR_CAPTION, MB_OK | MB_ICONWARNING | MB_TOPMOST);
    return 0;
}

void LogErrorAt(const char* message, const SYSTEMTIME& time)
{
    char path[MAX_PATH + 1];
    if (!FormatErrorLogPath(path, sizeof path, logDirectory, time.wYear, time.wMonth, time.wDay, time.wHour,
                            time.wMinute, time.wSecond)) {
        return;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, message, static_cast<DWORD>(lstrlenA(message)), &written, nullptr);
    CloseHandle(file);
}

void LogError(const char* message)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogErrorAt(message, now);
}
