// procstat.exe IMAGE: the number of handles a running program with this
// image name (e.g. Varnolt.exe) holds, as the endurance run samples it:
//   pid=N handles=N
// Exit code 0, or 1 when no such process runs.
//
// GetProcessHandleCount of another process answers 0 under Wine, so the
// handles are counted in the system's handle table instead (the server's
// own list, which both Windows and Wine give through NtQuerySystemInformation).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

namespace {

constexpr ULONG SYSTEM_HANDLE_INFORMATION = 16;

// One entry of the handle table (the layout both systems use).
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

DWORD FindProcess(const char* image)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, image) == 0) found = entry.th32ProcessID;
    CloseHandle(snapshot);
    return found;
}

// -1 when the table cannot be read.
long CountHandles(DWORD pid)
{
    auto query = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<char> buffer(1 << 16);
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        const LONG status = query(SYSTEM_HANDLE_INFORMATION, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
            long count = 0;
            for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].ownerPid == pid ? 1 : 0;
            return count;
        }
        buffer.resize(buffer.size() * 4);   // the table did not fit
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: procstat IMAGE\n");
        return 2;
    }
    const DWORD pid = FindProcess(argv[1]);
    if (pid == 0) return 1;
    std::printf("pid=%lu handles=%ld\n", static_cast<unsigned long>(pid), CountHandles(pid));
    return 0;
}
