// Opening and configuring the COM port: the serial enumerator's list that
// tells an absent port from a refused one, the settings of each interface on
// the pseudo-terminal port of the test runner, and how often each is read.
#include "core/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "errors/error_codes.h"
#include "link/link_kind.h"
#include "link/link_state.h"
#include "link/port_registry.h"
#include "link/serial_port.h"

namespace {

constexpr char ENUMERATOR_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum";

// While alive, HKEY_LOCAL_MACHINE of this process is an empty private key, so
// a test neither depends on nor touches the machine's own port list.
struct PrivateMachineKey {
    std::string path = "Software\\VarnoltLinkTest\\" + std::to_string(GetCurrentProcessId());
    HKEY root = nullptr;
    bool ok = !RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                               nullptr) &&
              !RegOverridePredefKey(HKEY_LOCAL_MACHINE, root);
    ~PrivateMachineKey()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(root);
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
};

// Writes a value under HKEY_LOCAL_MACHINE, creating its key.
void SetValue(const std::string& key, const char* name, DWORD type, const std::string& bytes)
{
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}
void SetCount(DWORD count)
{
    SetValue(ENUMERATOR_KEY, "Count", REG_DWORD, std::string(reinterpret_cast<const char*>(&count), sizeof count));
}
// Entry index of the enumerator: a device instance and the port name it has.
void Entry(int index, const std::string& instance, const std::string& portName, DWORD type = REG_SZ, bool nul = true)
{
    SetValue(ENUMERATOR_KEY, std::to_string(index).c_str(), REG_SZ, instance + '\0');
    SetValue("SYSTEM\\CurrentControlSet\\Enum\\" + instance + "\\Device Parameters", "PortName", type,
             nul ? portName + '\0' : portName);
}
}  // namespace

TEST(PortRegistry, ListedPortsAreFoundAndAnUnlistedOneThatCannotOpenIsAbsent)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.ok);
    const std::string longName(400, 'C');
    // Index 0 missing; entries that cannot be read between good ones.
    SetCount(10);
    Entry(1, "SERENUM\\FIRST", "COM3");
    SetValue(ENUMERATOR_KEY, "2", REG_DWORD, std::string(4, '\0'));              // path is no text
    SetValue(ENUMERATOR_KEY, "3", REG_SZ, std::string("SERENUM\\NOKEY") + '\0');  // no device key
    Entry(4, "SERENUM\\BINARY", "COM5", REG_BINARY);
    Entry(5, "SERENUM\\" + std::string(300, 'X'), "COM5");   // path over 256 bytes
    Entry(6, "SERENUM\\LONG", longName);                     // name over 256 bytes
    Entry(7, "SERENUM\\LOWER", "com5");
    Entry(8, "SERENUM\\RAW", "COM7", REG_SZ, false);         // stored without its NUL
    Entry(9, "SERENUM\\LAST", "COM255");
    const struct { const char* proves; std::string portName; int listed; } rows[] = {
        {"a listed port is found", "COM3", 1},
        {"the walk goes on past entries it cannot read, to the last", "COM255", 1},
        {"a name stored without its NUL still matches", "COM7", 1},
        {"an unlisted port is absent", "COM4", 0},
        {"names match whole, not by prefix", "COM25", 0},
        {"unreadable entries and a lower-case name match nothing", "COM5", 0},
        {"a name longer than its area is not read past it", longName, 0},
    };
    for (const auto& row : rows) EXPECT_EQ(row.listed, IsPortEnumerated(row.portName.c_str())) << row.proves;
    // Wine links no device to COM254: absent unless listed. Every open pauses first.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERR_PORT_ABSENT, OpenSerialPort(254));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
    Entry(0, "SERENUM\\ZERO", "COM254");
    EXPECT_EQ(ERR_PORT_OPEN, OpenSerialPort(254));
    EXPECT_EQ(nullptr, linkState.port);
    // A huge count is walked only to a bound; without the enumerator key
    // nothing is listed.
    SetCount(0xFFFFFFFFu);
    EXPECT_EQ(1, IsPortEnumerated("COM255"));
    EXPECT_EQ(0, IsPortEnumerated("COM4"));
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ENUMERATOR_KEY);
    EXPECT_EQ(0, IsPortEnumerated("COM3"));
}

TEST(ConfigureSerialPort, TelephonyHandleThatIsNoCharacterDeviceIsRefusedUntouched)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::memset(&linkState.dcb, 0x5A, sizeof linkState.dcb);
    EXPECT_EQ(ERR_CONNECTION, ConfigureSerialPort(event, TELEPHONY_PORT, BAUD_INDEX_115200));
    DCB zero{};   // cleared, and nothing read into it from the handle
    EXPECT_EQ(0, std::memcmp(&zero, &linkState.dcb, sizeof zero));
    CloseHandle(event);
}

TEST(ConfigureSerialPort, EachBaudIndexReachesTheTestPortAndTelephonyKeepsTheLineSettings)
{
    const char* number = std::getenv("VARNOLT_TEST_COM");
    if (!number) GTEST_SKIP() << "VARNOLT_TEST_COM is not set: no test COM port";
    ASSERT_EQ(1, SERIAL_LINK.open(LinkSettings{.comPort = std::atoi(number), .baudIndex = BAUD_INDEX_9600},
                                  LinkEvents{}));
    COMMTIMEOUTS t{};
    DCB dcb{};
    ASSERT_TRUE(GetCommTimeouts(linkState.port, &t) && GetCommState(linkState.port, &dcb));
    EXPECT_EQ((std::vector<DWORD>{MAXDWORD, 0, 5, 50}),
              (std::vector<DWORD>{t.ReadIntervalTimeout, t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                  t.WriteTotalTimeoutConstant}));
    EXPECT_EQ((std::vector<DWORD>{8, NOPARITY, ONESTOPBIT, 0, 0}),
              (std::vector<DWORD>{dcb.ByteSize, dcb.Parity, dcb.StopBits, dcb.fOutxCtsFlow, dcb.fOutX}));
    const struct { const char* proves; BaudIndex index; DWORD bitsPerSecond; } speeds[] = {
        {"1 in the settings is 115200", BAUD_INDEX_115200, CBR_115200},
        {"2 is 57600", BAUD_INDEX_57600, CBR_57600},
        {"3 is 38400", BAUD_INDEX_38400, CBR_38400},
        {"4 is 19200", BAUD_INDEX_19200, CBR_19200},
        {"5 is 9600", BAUD_INDEX_9600, CBR_9600},
    };
    for (const auto& row : speeds) {
        EXPECT_EQ(1, ConfigureSerialPort(linkState.port, PLAIN_PORT, row.index));
        EXPECT_TRUE(GetCommState(linkState.port, &dcb));
        EXPECT_EQ(row.bitsPerSecond, dcb.BaudRate) << row.proves;
    }
    // The telephony modem driver owns the line settings: only the time-outs
    // change, and the port keeps the last speed set (9600), whatever the settings name.
    EXPECT_EQ(1, ConfigureSerialPort(linkState.port, TELEPHONY_PORT, BAUD_INDEX_115200));
    ASSERT_TRUE(GetCommTimeouts(linkState.port, &t) && GetCommState(linkState.port, &dcb));
    EXPECT_EQ(CBR_9600, dcb.BaudRate);
    EXPECT_EQ(100u, t.ReadTotalTimeoutConstant);
    for (HANDLE handle : {linkState.port, linkState.writeOverlapped.hEvent, linkState.readOverlapped.hEvent})
        CloseHandle(handle);
    linkState.readOverlapped = linkState.writeOverlapped = OVERLAPPED{};
    linkState.port = nullptr;
}

TEST(LinkKind, APlainLinkIsReadEvery30MsAndAModemEvery250Ms)
{
    const struct { const char* proves; InterfaceKind kind; DWORD windowMs; } rows[] = {
        {"RS232 or IrDA is read often", RS232_IRDA, 30},
        {"the cradle is a plain link", CRADLE_IR, 30},
        {"a COM modem delivers in bursts", MODEM_COM, 250},
        {"so does a telephony modem", MODEM_TAPI, 250},
    };
    for (const auto& row : rows) EXPECT_EQ(LinkKindOf(row.kind).readWindowMs, row.windowMs) << row.proves;
}
