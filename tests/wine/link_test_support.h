// Helpers for the link tests: a private registry in place of
// HKEY_LOCAL_MACHINE, an overlapped pipe standing in for a COM port, and a
// clean-up that releases whatever a test left in the link record.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace linktest {

// While alive, HKEY_LOCAL_MACHINE of this process is an empty private key,
// so a test can list ports without touching (or depending on) the machine's
// own enumerator keys.
class PrivateMachineKey {
public:
    PrivateMachineKey();
    ~PrivateMachineKey();
    bool Ok() const { return ok_; }

    // Writes the enumerator's Count and its numbered device-instance paths.
    void SetCount(DWORD count);
    void SetEntry(DWORD index, const std::string& instancePath);
    void SetEntryRaw(DWORD index, DWORD type, const void* data, DWORD size);
    // Writes the PortName of a device instance.
    void SetPortName(const std::string& instancePath, const std::string& portName);
    void SetPortNameRaw(const std::string& instancePath, DWORD type, const void* data, DWORD size);
    void RemoveEnumerator();

private:
    HKEY root_ = nullptr;
    std::string rootPath_;
    bool ok_ = false;
};

// Lists these COM names under numbered instances in the private key.
void ListPorts(PrivateMachineKey& machine, const std::vector<std::string>& portNames);

// A connected named pipe: server end overlapped (as the link's port), client
// end synchronous for the test to play the terminal.
struct PipePair {
    HANDLE server = INVALID_HANDLE_VALUE;
    HANDLE client = INVALID_HANDLE_VALUE;
    bool Ok() const { return server != INVALID_HANDLE_VALUE && client != INVALID_HANDLE_VALUE; }
};
// bufferSize: the pipe's buffer each way (small makes writes wait).
PipePair OpenPipePair(DWORD bufferSize);
void ClosePipePair(PipePair& pair);

// Reads exactly count bytes from the client end, giving up after timeoutMs.
std::string ReadClient(const PipePair& pair, size_t count, int timeoutMs);
void WriteClient(const PipePair& pair, const std::string& bytes);

// Puts a handle into the link record as its port, with fresh events.
void UseAsLinkPort(HANDLE port);
// Stops a receive thread, closes the events, closes the port when asked, and
// clears the record.
void ReleaseLink(bool closePort);

// Milliseconds since an arbitrary start, from the performance counter.
double NowMs();

// COM number of the pseudo-terminal port the test wrapper provides, or 0.
int TestComPort();

}  // namespace linktest
