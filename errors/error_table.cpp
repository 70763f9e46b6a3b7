// The message of every error code, and the name of an error-log file.
#include "errors/error_codes.h"
#include "errors/error_table.h"

#include <array>
#include <cstdio>

namespace {

struct ErrorText {
    int code;
    const char* message;
};

constexpr std::array<ErrorText, 20> ERROR_TEXTS = {{
    {ERR_INVALID_VALUE, "Invalid value!!"},
    {ERR_FILE_CREATE, "Failed to create the specific file!!"},
    {ERR_FILE_OPEN, "Failed to open the specific file!!"},
    {ERR_FILE_WRITE, "Failed to write data to the specific file!!"},
    {ERR_FILE_NAME, "Invalid file name or path!!"},
    {ERR_DIRECTORY, "Invalid directory!!"},
    {ASK_CREATE_DIRECTORY, "Path is inexistent !!\rDo you want to create a new directory?"},
    {ERR_PORT_OPEN, "Failed to open the COM port!!"},
    {ERR_IR_DEVICE, "Unable to configure the IR device!!"},
    {ERR_PORT_INIT, "Failed to initialize the COM port!"},
    {ERR_PORT_WRITE, "Failed to write the COM port!"},
    {ERR_THREAD_CREATE, "Failed to open the COM port!!"},
    {ERR_CONNECTION, "Failed to create connection!!"},
    {ERR_TIMEOUT, "Time out!!"},
    {ERR_NO_CALL, "There is no incoming call!!"},
    {ERR_CONNECTION_LOST, "Connection lost!!"},
    {ERR_LINE_INIT, "Failed to initialize line!"},
    {ERR_DEVICE_CONFIG, "Failed to configure device!"},
    {ERR_DEVICE_ID, "Can't get the device ID!"},
    {ERR_ANSWER, "Failed to create connection!!"},
}};

}  // namespace

const char* ErrorMessage(int code)
{
    for (const ErrorText& entry : ERROR_TEXTS) {
        if (entry.code == code) return entry.message;
    }
    // A code without a text of its own (a new code, or the absent-port code
    // that should never be shown) still tells the user something went wrong
    // and which code it was. One buffer per thread keeps callers apart.
    thread_local char unexpected[48];
    std::snprintf(unexpected, sizeof unexpected, "Unexpected error (code %d)!!", code);
    return unexpected;
}

int FormatErrorLogPath(char* out, size_t outSize, const char* directory, int year, int month, int day, int hour,
                       int minute, int second)
{
    if (outSize == 0) return 0;
    const int length = std::snprintf(out, outSize, "%s\\Err%4d%02d%02d%02d%02d%02d.log", directory, year, month, day,
                                     hour, minute, second);
    if (length >= 0 && static_cast<size_t>(length) < outSize) return 1;
    out[0] = 0;
    return 0;
}
