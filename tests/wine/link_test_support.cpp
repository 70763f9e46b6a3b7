#include "tests/wine/link_test_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "link/link_state.h"
#include "session/receive_thread.h"

namespace linktest {

namespace {
constexpr char ENUMERATOR_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum";
constexpr char DEVICE_KEY_HEAD[] = "SYSTEM\\CurrentControlSet\\Enum\\";

std::atomic<int> uniqueNumber{0};

void DeleteTree(HKEY parent, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char child[512];
    for (;;) {
        DWORD size = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        DeleteTree(key, child);
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
}

HKEY CreateUnder(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}
}  // namespace

PrivateMachineKey::PrivateMachineKey()
{
    char path[128];
    std::snprintf(path, sizeof path, "Software\\VarnoltLinkTest\\%lu-%d",
                  static_cast<unsigned long>(GetCurrentProcessId()), uniqueNumber.fetch_add(1));
    rootPath_ = path;
    root_ = CreateUnder(HKEY_CURRENT_USER, rootPath_);
    ok_ = root_ && RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_) == ERROR_SUCCESS;
}

PrivateMachineKey::~PrivateMachineKey()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (root_) RegCloseKey(root_);
    DeleteTree(HKEY_CURRENT_USER, rootPath_);
}

void PrivateMachineKey::SetCount(DWORD count)
{
    HKEY key = CreateUnder(root_, ENUMERATOR_KEY);
    RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    RegCloseKey(key);
}

void PrivateMachineKey::SetEntryRaw(DWORD index, DWORD type, const void* data, DWORD size)
{
    HKEY key = CreateUnder(root_, ENUMERATOR_KEY);
    char name[16];
    std::snprintf(name, sizeof name, "%lu", static_cast<unsigned long>(index));
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void PrivateMachineKey::SetEntry(DWORD index, const std::string& instancePath)
{
    SetEntryRaw(index, REG_SZ, instancePath.c_str(), static_cast<DWORD>(instancePath.size() + 1));
}

void PrivateMachineKey::SetPortNameRaw(const std::string& instancePath, DWORD type, const void* data, DWORD size)
{
    HKEY key = CreateUnder(root_, std::string(DEVICE_KEY_HEAD) + instancePath + "\\Device Parameters");
    RegSetValueExA(key, "PortName", 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void PrivateMachineKey::SetPortName(const std::string& instancePath, const std::string& portName)
{
    SetPortNameRaw(instancePath, REG_SZ, portName.c_str(), static_cast<DWORD>(portName.size() + 1));
}

void PrivateMachineKey::RemoveEnumerator()
{
    DeleteTree(root_, ENUMERATOR_KEY);
}

void ListPorts(PrivateMachineKey& machine, const std::vector<std::string>& portNames)
{
    machine.SetCount(static_cast<DWORD>(portNames.size()));
    for (size_t i = 0; i < portNames.size(); ++i) {
        std::string instance = "SERENUM\\TESTDEV\\1&0&000" + std::to_string(i);
        machine.SetEntry(static_cast<DWORD>(i), instance);
        machine.SetPortName(instance, portNames[i]);
    }
}

PipePair OpenPipePair(DWORD bufferSize)
{
    char name[128];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\varnolt-link-test-%lu-%d",
                  static_cast<unsigned long>(GetCurrentProcessId()), uniqueNumber.fetch_add(1));
    PipePair pair;
    pair.server = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, bufferSize, bufferSize, 0,
                                   nullptr);
    if (pair.server == INVALID_HANDLE_VALUE) return pair;
    pair.client = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return pair;
}

void ClosePipePair(PipePair& pair)
{
    if (pair.client != INVALID_HANDLE_VALUE) CloseHandle(pair.client);
    if (pair.server != INVALID_HANDLE_VALUE) CloseHandle(pair.server);
    pair.client = pair.server = INVALID_HANDLE_VALUE;
}

std::string ReadClient(const PipePair& pair, size_t count, int timeoutMs)
{
    std::string got;
    double deadline = NowMs() + timeoutMs;
    while (got.size() < count && NowMs() < deadline) {
        DWORD available = 0;
        if (!PeekNamedPipe(pair.client, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available == 0) {
            Sleep(1);   // polling a condition against a deadline
            continue;
        }
        char chunk[256];
        DWORD want = static_cast<DWORD>(count - got.size());
        if (want > sizeof chunk) want = sizeof chunk;
        if (want > available) want = available;
        DWORD read = 0;
        if (!ReadFile(pair.client, chunk, want, &read, nullptr)) break;
        got.append(chunk, read);
    }
    return got;
}

void WriteClient(const PipePair& pair, const std::string& bytes)
{
    DWORD written = 0;
    WriteFile(pair.client, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void UseAsLinkPort(HANDLE port)
{
    linkState.port = port;
    ZeroMemory(&linkState.readOverlapped, sizeof linkState.readOverlapped);
    ZeroMemory(&linkState.writeOverlapped, sizeof linkState.writeOverlapped);
    linkState.writeOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    linkState.readOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void ReleaseLink(bool closePort)
{
    StopReceiveThread();
    if (linkState.writeOverlapped.hEvent) CloseHandle(linkState.writeOverlapped.hEvent);
    if (linkState.readOverlapped.hEvent) CloseHandle(linkState.readOverlapped.hEvent);
    ZeroMemory(&linkState.readOverlapped, sizeof linkState.readOverlapped);
    ZeroMemory(&linkState.writeOverlapped, sizeof linkState.writeOverlapped);
    if (closePort && linkState.port && linkState.port != INVALID_HANDLE_VALUE) CloseHandle(linkState.port);
    linkState.port = nullptr;
    ZeroMemory(&linkState.dcb, sizeof linkState.dcb);
}

double NowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

int TestComPort()
{
    const char* text = std::getenv("VARNOLT_TEST_COM");
    if (!text) return 0;
    int number = std::atoi(text);
    return number >= 1 && number <= 255 ? number : 0;
}

}  // namespace linktest
