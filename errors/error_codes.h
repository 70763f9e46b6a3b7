// Every failure travels as a negative code; the hundreds give the family:
// -1xx output file and path, -2xx port, thread and connection,
// -3xx telephony and device; -1 an invalid number in the settings dialog.
#pragma once

enum ErrorCode : int {
    ERR_INVALID_VALUE = -1,
    ERR_FILE_CREATE = -101,
    ERR_FILE_OPEN = -102,
    ERR_FILE_WRITE = -103,
    ERR_FILE_NAME = -104,
    ERR_DIRECTORY = -105,
    ASK_CREATE_DIRECTORY = -106,   // a question, not an error
    ERR_PORT_OPEN = -201,
    ERR_IR_DEVICE = -202,
    ERR_PORT_INIT = -203,
    ERR_PORT_WRITE = -204,
    ERR_THREAD_CREATE = -205,
    ERR_CONNECTION = -206,
    ERR_TIMEOUT = -207,
    ERR_NO_CALL = -208,
    ERR_PORT_ABSENT = -209,        // handled by the session window, never reported
    ERR_CONNECTION_LOST = -210,    // the call ended before the transfer did
    ERR_LINE_INIT = -301,
    ERR_DEVICE_CONFIG = -302,
    ERR_DEVICE_ID = -351,
    ERR_ANSWER = -352,
};
