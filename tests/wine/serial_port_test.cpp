// Opening and configuring the COM port: absent and refused ports, the line
// settings and time-outs of each interface, and commands on a real port.
#include <gtest/gtest.h>

#include <cstring>

#include "app/settings.h"
#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/serial_port.h"
#include "session/session_window.h"
#include "tests/wine/link_test_support.h"

using linktest::PrivateMachineKey;

namespace {

// A port number Wine never links (it maps com1.. to the machine's ttyS).
constexpr int UNLINKED_PORT = 254;

class TempFile {
public:
    TempFile()
    {
        char directory[MAX_PATH];
        GetTempPathA(MAX_PATH, directory);
        GetTempFileNameA(directory, "vlt", 0, path_);
        handle_ = CreateFileA(path_, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_OVERLAPPED, nullptr);
    }
    ~TempFile()
    {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        DeleteFileA(path_);
    }
    HANDLE Handle() const { return handle_; }

private:
    char path_[MAX_PATH] = {};
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// BaudIndex values by number: windows.h has macros of the enumerators' names.
constexpr uint8_t INDEX_115200 = 0;
constexpr uint8_t INDEX_19200 = 3;
constexpr uint8_t INDEX_9600 = 4;

void UseSettings(InterfaceKind kind, int comPort, uint8_t baudIndex)
{
    settings.interfaceKind = kind;
    settings.comPort = comPort;
    settings.baudIndex = static_cast<BaudIndex>(baudIndex);
}

}  // namespace

TEST(ConfigureSerialPort, TelephonyHandleThatIsNoCharacterDeviceIsRefused)
{
    TempFile file;
    ASSERT_NE(INVALID_HANDLE_VALUE, file.Handle());
    std::memset(&linkState.dcb, 0x5A, sizeof linkState.dcb);
    EXPECT_EQ(ERR_CONNECTION, ConfigureSerialPort(file.Handle(), MODEM_TAPI));
    // The record was cleared and nothing was read into it from the handle.
    DCB zero{};
    EXPECT_EQ(0, std::memcmp(&zero, &linkState.dcb, sizeof zero));
    // The handle is still an ordinary, usable file.
    EXPECT_EQ(static_cast<DWORD>(FILE_TYPE_DISK), GetFileType(file.Handle()));
}

TEST(OpenSerialPort, AbsentPortNotListedIsAbsent)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    linktest::ListPorts(machine, {"COM3"});
    UseSettings(RS232_IRDA, UNLINKED_PORT, INDEX_115200);
    EXPECT_EQ(ERR_PORT_ABSENT, OpenSerialPort());
    EXPECT_EQ(nullptr, linkState.port);
    EXPECT_EQ(nullptr, linkState.writeOverlapped.hEvent);
    linktest::ReleaseLink(true);
}

TEST(OpenSerialPort, PortThatCannotBeOpenedButIsListedIsRefused)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    // The look-up uses the device name less its "\\.\" head.
    linktest::ListPorts(machine, {"COM3", "COM" + std::to_string(UNLINKED_PORT)});
    UseSettings(RS232_IRDA, UNLINKED_PORT, INDEX_115200);
    EXPECT_EQ(ERR_PORT_OPEN, OpenSerialPort());
    EXPECT_EQ(nullptr, linkState.port);
    linktest::ReleaseLink(true);
}

TEST(OpenSerialPort, OpeningPausesFirst)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    UseSettings(RS232_IRDA, UNLINKED_PORT, INDEX_115200);
    double start = linktest::NowMs();
    EXPECT_EQ(ERR_PORT_ABSENT, OpenSerialPort());
    EXPECT_GE(linktest::NowMs() - start, 95.0);
}

// ---- On the pseudo-terminal port the test wrapper provides ----------------

class OnTestPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        number_ = linktest::TestComPort();
        if (!number_) GTEST_SKIP() << "VARNOLT_TEST_COM is not set: no test COM port";
    }
    void TearDown() override { linktest::ReleaseLink(true); }

    int number_ = 0;
};

TEST_F(OnTestPort, PlainLinkGetsItsTimeoutsAndFrame)
{
    for (uint8_t baud : {INDEX_9600, INDEX_115200}) {
        UseSettings(RS232_IRDA, number_, baud);
        ASSERT_EQ(1, OpenSerialPort());
        ASSERT_NE(nullptr, linkState.port);
        ASSERT_NE(nullptr, linkState.writeOverlapped.hEvent);
        ASSERT_NE(nullptr, linkState.readOverlapped.hEvent);
        EXPECT_NE(linkState.writeOverlapped.hEvent, linkState.readOverlapped.hEvent);

        COMMTIMEOUTS t{};
        ASSERT_TRUE(GetCommTimeouts(linkState.port, &t));
        EXPECT_EQ(MAXDWORD, t.ReadIntervalTimeout);
        EXPECT_EQ(0u, t.ReadTotalTimeoutConstant);
        EXPECT_EQ(5u, t.WriteTotalTimeoutMultiplier);
        EXPECT_EQ(50u, t.WriteTotalTimeoutConstant);

        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(linkState.port, &dcb));
        EXPECT_EQ(BaudRateOf(baud), dcb.BaudRate);
        EXPECT_EQ(8, dcb.ByteSize);
        EXPECT_EQ(NOPARITY, dcb.Parity);
        EXPECT_EQ(ONESTOPBIT, dcb.StopBits);
        EXPECT_EQ(0u, dcb.fOutxCtsFlow);
        EXPECT_EQ(0u, dcb.fOutX);
        // The record keeps what was written.
        EXPECT_EQ(BaudRateOf(baud), linkState.dcb.BaudRate);
        linktest::ReleaseLink(true);
    }
}

TEST_F(OnTestPort, ModemOnComPortWaitsForReads)
{
    UseSettings(MODEM_COM, number_, INDEX_19200);
    ASSERT_EQ(1, OpenSerialPort());
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(linkState.port, &t));
    EXPECT_EQ(100u, t.ReadTotalTimeoutConstant);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(linkState.port, &dcb));
    EXPECT_EQ(19200u, dcb.BaudRate);
    EXPECT_EQ(0u, dcb.fAbortOnError);
}

TEST_F(OnTestPort, TelephonyModemKeepsTheDriversLineSettings)
{
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", number_);
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, port);
    linkState.port = port;
    DCB before{};
    before.DCBlength = sizeof before;
    ASSERT_TRUE(GetCommState(port, &before));
    before.BaudRate = 38400;
    ASSERT_TRUE(SetCommState(port, &before));
    ASSERT_TRUE(GetCommState(port, &before));

    EXPECT_EQ(1, ConfigureSerialPort(port, MODEM_TAPI));
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(port, &t));
    EXPECT_EQ(100u, t.ReadTotalTimeoutConstant);
    EXPECT_EQ(50u, t.WriteTotalTimeoutConstant);
    DCB after{};
    after.DCBlength = sizeof after;
    ASSERT_TRUE(GetCommState(port, &after));
    EXPECT_EQ(38400u, after.BaudRate);
    EXPECT_EQ(before.ByteSize, after.ByteSize);
    EXPECT_EQ(before.Parity, after.Parity);
    EXPECT_EQ(before.StopBits, after.StopBits);
}

TEST_F(OnTestPort, CommandsGoOutAndTransactWithoutAnswerIsBounded)
{
    UseSettings(RS232_IRDA, number_, INDEX_115200);
    ASSERT_EQ(1, OpenSerialPort());

    EXPECT_EQ(1u, SendCommand("READ\r", 1000, 5));
    EXPECT_STREQ("READ\r", linkState.lastCommand);

    EXPECT_EQ(1, Transact(linkState.port, "\x0f", 1, 100, nullptr));
    EXPECT_STREQ("\x0f", linkState.lastCommand);

    // Nothing answers on the other side: the write, the pause and the read
    // each take at most about the limit.
    char reply[REPLY_CAPACITY];
    double start = linktest::NowMs();
    EXPECT_EQ(0, Transact(linkState.port, "AT\r", 3, 100, reply));
    double took = linktest::NowMs() - start;
    EXPECT_GE(took, 95.0);
    EXPECT_LT(took, 3 * 100.0 + 150.0);
    // Nothing was left pending on the records.
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.readOverlapped));
    EXPECT_TRUE(HasOverlappedIoCompleted(&linkState.writeOverlapped));
}
