// The command's port on Windows: a COM port named by the first argument,
// opened for overlapped I/O and set to raw 8N1 at the speed the host uses.
#include "sim_port.h"

#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace termsim {

const char* const PORT_SYNOPSIS = "COMn [--speed N]";
const char* const PORT_DETAILS =
    "  COMn            the COM port to play the terminal on (e.g. COM4)\n"
    "  --speed N       its speed in bit/s, the same as the host's (default 115200)\n";

struct SimPort {
    HANDLE handle = nullptr;
};

namespace {

void ReportFailure(const char* what, const std::string& device)
{
    std::fprintf(stderr, "termsim: %s %s failed (error %lu)\n", what, device.c_str(), GetLastError());
}

}  // namespace

int TakePortArgument(int argc, char** argv, int* i, PortChoice& choice)
{
    const std::string arg = argv[*i];
    if (arg == "--speed") {
        if (*i + 1 >= argc)
            return -1;
        choice.speed = std::atoi(argv[++*i]);
        return 1;
    }
    if (arg.rfind("--", 0) == 0 || !choice.device.empty())
        return 0;
    choice.device = arg;
    return 1;
}

bool PortChoiceComplete(const PortChoice& choice)
{
    return !choice.device.empty() && choice.speed > 0;
}

SimPort* OpenSimPort(const PortChoice& choice)
{
    // "\\.\" reaches every COM port, COM10 and above included.
    const std::string path = choice.device.rfind("\\\\", 0) == 0 ? choice.device : "\\\\.\\" + choice.device;
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ReportFailure("opening", choice.device);
        return nullptr;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool ok = GetCommState(handle, &dcb) != FALSE;
    if (ok) {
        // Raw 8N1, no flow control, no character replaced or dropped.
        dcb.BaudRate = static_cast<DWORD>(choice.speed);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        ok = SetCommState(handle, &dcb) != FALSE;
    }
    // No time-outs: a request ends when its bytes have moved, and the line
    // end bounds its waits itself (sim_line_win32.cpp).
    COMMTIMEOUTS timeouts{0, 0, 0, 0, 0};
    ok = ok && SetCommTimeouts(handle, &timeouts) != FALSE;
    ok = ok && PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR) != FALSE;
    if (!ok) {
        ReportFailure("configuring", choice.device);
        CloseHandle(handle);
        return nullptr;
    }
    auto* port = new SimPort;
    port->handle = handle;
    std::printf("termsim: %s at %d bit/s, 8N1\n", choice.device.c_str(), choice.speed);
    return port;
}

intptr_t SimPortLine(const SimPort* port)
{
    return reinterpret_cast<intptr_t>(port->handle);
}

int SimPortSpeed(const SimPort* port)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return GetCommState(port->handle, &dcb) ? static_cast<int>(dcb.BaudRate) : 0;
}

void CloseSimPort(SimPort* port)
{
    if (port == nullptr)
        return;
    CloseHandle(port->handle);
    delete port;
}

}  // namespace termsim
