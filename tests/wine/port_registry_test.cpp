// Telling an absent COM port from one that exists: the serial enumerator's
// registry list, walked exactly and read defensively.
#include <gtest/gtest.h>

#include <string>

#include "link/link_state.h"
#include "tests/wine/link_test_support.h"

using linktest::ListPorts;
using linktest::PrivateMachineKey;

TEST(PortRegistry, FindsAListedPortAmongOthers)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    ListPorts(machine, {"COM3", "COM12", "COM255"});
    EXPECT_EQ(1, IsPortEnumerated("COM3"));
    EXPECT_EQ(1, IsPortEnumerated("COM12"));
    EXPECT_EQ(1, IsPortEnumerated("COM255"));
}

TEST(PortRegistry, PortNotListedIsNotFound)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    ListPorts(machine, {"COM3", "COM12"});
    EXPECT_EQ(0, IsPortEnumerated("COM4"));
    // Whole names only: neither a prefix nor an extension matches.
    EXPECT_EQ(0, IsPortEnumerated("COM1"));
    EXPECT_EQ(0, IsPortEnumerated("COM123"));
    EXPECT_EQ(0, IsPortEnumerated(""));
}

TEST(PortRegistry, NameComparisonIsCaseSensitive)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    ListPorts(machine, {"com5"});
    EXPECT_EQ(0, IsPortEnumerated("COM5"));
}

TEST(PortRegistry, MissingEnumeratorKeyListsNothing)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    // A device key alone, with nothing pointing at it.
    machine.SetPortName("SERENUM\\TESTDEV\\1&0&0000", "COM5");
    EXPECT_EQ(0, IsPortEnumerated("COM5"));
}

TEST(PortRegistry, CountOfZeroOrUnreadableListsNothing)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    ListPorts(machine, {"COM5"});
    machine.SetCount(0);
    EXPECT_EQ(0, IsPortEnumerated("COM5"));

    // A Count that is not a 32-bit number counts as none.
    const char text[] = "1";
    machine.SetEntryRaw(0, REG_SZ, "SERENUM\\TESTDEV\\1&0&0000", 25);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\serenum\\Enum",
                                           0, KEY_ALL_ACCESS, &key));
    RegSetValueExA(key, "Count", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(key);
    EXPECT_EQ(0, IsPortEnumerated("COM5"));
}

TEST(PortRegistry, CountLargerThanEntriesStillFindsTheListedOnes)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    ListPorts(machine, {"COM7"});
    machine.SetCount(5);
    EXPECT_EQ(1, IsPortEnumerated("COM7"));
    EXPECT_EQ(0, IsPortEnumerated("COM8"));
}

TEST(PortRegistry, EntriesAfterAGapAreStillWalked)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    machine.SetCount(3);
    machine.SetEntry(2, "SERENUM\\TESTDEV\\LATE");
    machine.SetPortName("SERENUM\\TESTDEV\\LATE", "COM9");
    EXPECT_EQ(1, IsPortEnumerated("COM9"));
}

TEST(PortRegistry, HugeCountEndsQuickly)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    machine.SetCount(0xFFFFFFFFu);
    machine.SetEntry(0, "SERENUM\\TESTDEV\\FIRST");
    machine.SetPortName("SERENUM\\TESTDEV\\FIRST", "COM2");
    EXPECT_EQ(1, IsPortEnumerated("COM2"));
    // A port not listed walks to the end of the bounded count and returns.
    EXPECT_EQ(0, IsPortEnumerated("COM3"));
}

TEST(PortRegistry, UnreadableEntriesMatchNothingAndDoNotStopTheWalk)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    machine.SetCount(6);
    // 0: the instance path is a number, not text.
    DWORD number = 5;
    machine.SetEntryRaw(0, REG_DWORD, &number, sizeof number);
    // 1: the instance has no Device Parameters key.
    machine.SetEntry(1, "SERENUM\\TESTDEV\\NOKEY");
    // 2: PortName is binary data spelling the name.
    machine.SetEntry(2, "SERENUM\\TESTDEV\\BINARY");
    machine.SetPortNameRaw("SERENUM\\TESTDEV\\BINARY", REG_BINARY, "COM5", 5);
    // 3: PortName longer than the 256-byte area.
    std::string longName(400, 'C');
    machine.SetEntry(3, "SERENUM\\TESTDEV\\LONG");
    machine.SetPortName("SERENUM\\TESTDEV\\LONG", longName);
    // 4: an instance path too long for the 256-byte area.
    std::string longPath = "SERENUM\\" + std::string(300, 'X');
    machine.SetEntry(4, longPath);
    machine.SetPortName(longPath, "COM5");
    // 5: a good entry after all of them.
    machine.SetEntry(5, "SERENUM\\TESTDEV\\GOOD");
    machine.SetPortName("SERENUM\\TESTDEV\\GOOD", "COM6");

    EXPECT_EQ(0, IsPortEnumerated("COM5"));
    EXPECT_EQ(0, IsPortEnumerated(longName.c_str()));
    EXPECT_EQ(1, IsPortEnumerated("COM6"));
}

TEST(PortRegistry, PortNameWithoutTerminatorIsReadSafely)
{
    PrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    machine.SetCount(1);
    machine.SetEntry(0, "SERENUM\\TESTDEV\\RAW");
    // Stored without its NUL: still "COM4", nothing read past it.
    machine.SetPortNameRaw("SERENUM\\TESTDEV\\RAW", REG_SZ, "COM4", 4);
    EXPECT_EQ(1, IsPortEnumerated("COM4"));
    EXPECT_EQ(0, IsPortEnumerated("COM"));
}
