// Tells a COM port that is absent from one that exists but cannot be
// opened: the serial enumerator lists every port the system knows.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "link/port_registry.h"

namespace {

constexpr char ENUMERATOR_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum";
constexpr char DEVICE_KEY_HEAD[] = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr char DEVICE_KEY_TAIL[] = "\\Device Parameters";
constexpr DWORD NAME_AREA = 256;
// A damaged Count must not keep the opening walking the registry for hours;
// no machine lists more serial ports than this.
constexpr DWORD MAX_LISTED_PORTS = 1024;

// Reads a text value into area (NAME_AREA bytes), always NUL-terminated.
// False when the value is missing, is not text, or does not fit.
bool ReadText(HKEY key, const char* name, char* area)
{
    DWORD type = 0;
    DWORD size = NAME_AREA - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(area), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    area[size < NAME_AREA ? size : NAME_AREA - 1] = '\0';
    return true;
}

DWORD ListedCount(HKEY enumerator)
{
    DWORD type = 0;
    DWORD count = 0;
    DWORD size = sizeof count;
    if (RegQueryValueExA(enumerator, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof count)
        return 0;
    return count < MAX_LISTED_PORTS ? count : MAX_LISTED_PORTS;
}

// True when entry index of the enumerator names a device whose port name is
// exactly portName. An entry that cannot be read matches nothing.
bool EntryNamesPort(HKEY enumerator, DWORD index, const char* portName)
{
    char valueName[16];
    std::snprintf(valueName, sizeof valueName, "%lu", static_cast<unsigned long>(index));
    char instancePath[NAME_AREA];
    if (!ReadText(enumerator, valueName, instancePath)) return false;

    char deviceKeyPath[sizeof DEVICE_KEY_HEAD + NAME_AREA + sizeof DEVICE_KEY_TAIL];
    std::snprintf(deviceKeyPath, sizeof deviceKeyPath, "%s%s%s", DEVICE_KEY_HEAD, instancePath, DEVICE_KEY_TAIL);
    HKEY device = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, deviceKeyPath, 0, KEY_READ, &device) != ERROR_SUCCESS) return false;
    char listedName[NAME_AREA];
    bool readable = ReadText(device, "PortName", listedName);
    RegCloseKey(device);
    // Byte for byte and whole: "com5" is not "COM5".
    return readable && std::strcmp(listedName, portName) == 0;
}

}  // namespace

int IsPortEnumerated(const char* portName)
{
    HKEY enumerator = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ENUMERATOR_KEY, 0, KEY_READ, &enumerator) != ERROR_SUCCESS) return 0;
    DWORD count = ListedCount(enumerator);
    int listed = 0;
    for (DWORD index = 0; index < count && !listed; ++index) {
        if (EntryNamesPort(enumerator, index, portName)) listed = 1;
    }
    RegCloseKey(enumerator);
    return listed;
}
