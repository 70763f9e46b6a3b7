// Keyboard emulation through the platform seam: which events TypeRecord
// sends, in which order, with which fields, and how it paces them.
#include "session/keyboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "session/keyboard_io.h"

namespace {

struct Recorded {
    std::vector<INPUT> events;
    std::vector<DWORD> sleeps;
    std::vector<int> sendCounts;     // count argument of each SendInput
    int capsReads = 0;
    bool capsLock = false;
    LPARAM extraInfo = 0x5A5A;
} recorded;

UINT RecordSendInput(UINT count, LPINPUT inputs, int size)
{
    EXPECT_EQ(static_cast<int>(sizeof(INPUT)), size);
    recorded.sendCounts.push_back(static_cast<int>(count));
    for (UINT i = 0; i < count; ++i) recorded.events.push_back(inputs[i]);
    return count;
}

// A small US-like layout: letters, digits, CR; '@' with Shift, '~' with
// Ctrl+Alt (as an AltGr layout gives), '#' with Shift+Ctrl+Alt, '$' no key,
// '%' a zero virtual key.
SHORT FakeVkKeyScan(CHAR character)
{
    const unsigned char c = static_cast<unsigned char>(character);
    if (c >= 'a' && c <= 'z') return static_cast<SHORT>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<SHORT>(0x0100 | c);
    if (c >= '0' && c <= '9') return static_cast<SHORT>(c);
    if (c == '\r') return 0x000D;
    if (c == '@') return 0x0132;
    if (c == '~') return 0x06C0;
    if (c == '#') return 0x0733;
    if (c == '%') return 0x0100;
    return -1;
}

SHORT FakeGetKeyState(int key)
{
    EXPECT_EQ(VK_CAPITAL, key);
    ++recorded.capsReads;
    return recorded.capsLock ? 1 : 0;
}

LPARAM FakeExtraInfo() { return recorded.extraInfo; }
void RecordSleep(DWORD milliseconds) { recorded.sleeps.push_back(milliseconds); }

// An event as compact text: "v41d" virtual key 0x41 down, "v41u" up,
// "uE9d" Unicode 0xE9 down.
std::string Describe(const INPUT& input)
{
    char text[16];
    const bool up = (input.ki.dwFlags & KEYEVENTF_KEYUP) != 0;
    if (input.ki.dwFlags & KEYEVENTF_UNICODE)
        std::snprintf(text, sizeof text, "u%02X%c", input.ki.wScan, up ? 'u' : 'd');
    else
        std::snprintf(text, sizeof text, "v%02X%c", input.ki.wVk, up ? 'u' : 'd');
    return text;
}

std::vector<std::string> Sequence()
{
    std::vector<std::string> out;
    for (const INPUT& input : recorded.events) out.push_back(Describe(input));
    return out;
}

class TypeRecordTest : public testing::Test {
protected:
    void SetUp() override
    {
        recorded = Recorded{};
        keyboardIo = KeyboardIo{RecordSendInput, FakeVkKeyScan, FakeGetKeyState, FakeExtraInfo, RecordSleep};
        savedDelay = settings.interCharDelay;
        settings.interCharDelay = 2;
    }
    void TearDown() override
    {
        keyboardIo = PLATFORM_KEYBOARD_IO;
        settings.interCharDelay = savedDelay;
    }
    void Type(const std::string& bytes)
    {
        TypeRecord(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    }
    int32_t savedDelay = 0;
};

using Events = std::vector<std::string>;

TEST_F(TypeRecordTest, TypesTheWorkedExampleWithShiftCrAndNoLineFeed)
{
    Type("Ab\r\n");
    EXPECT_EQ((Events{"v10d", "v41d", "v41u", "v10u", "v42d", "v42u", "v0Dd", "v0Du"}), Sequence());
    // One per typed character, none for the LF, then 2 ms for each of the 4 bytes.
    EXPECT_EQ((std::vector<DWORD>{2, 2, 2, 8}), recorded.sleeps);
    for (int count : recorded.sendCounts) EXPECT_EQ(1, count);
    EXPECT_EQ(8u, recorded.sendCounts.size());
}

TEST_F(TypeRecordTest, VirtualKeyEventsCarryTimeFiveAndNoScanCode)
{
    Type("b");
    ASSERT_EQ(2u, recorded.events.size());
    for (const INPUT& input : recorded.events) {
        EXPECT_EQ(static_cast<DWORD>(INPUT_KEYBOARD), input.type);
        EXPECT_EQ(5u, input.ki.time);
        EXPECT_EQ(0, input.ki.wScan);
        EXPECT_EQ(0u, input.ki.dwExtraInfo);
    }
    EXPECT_EQ(0u, recorded.events[0].ki.dwFlags);
    EXPECT_EQ(static_cast<DWORD>(KEYEVENTF_KEYUP), recorded.events[1].ki.dwFlags);
}

TEST_F(TypeRecordTest, ControlBytesBecomeTheirKeysWithoutModifiers)
{
    Type("\x01\x0F\x1A\x1C\x1B\x08\x09");
    EXPECT_EQ((Events{"v2Dd", "v2Du", "v70d", "v70u", "v7Bd", "v7Bu", "v2Bd", "v2Bu", "v1Bd", "v1Bu",
                      "v08d", "v08u", "v09d", "v09u"}),
              Sequence());
}

TEST_F(TypeRecordTest, HighBytesGoAsUnicodeEventsWithExtraInfo)
{
    Type("\xE9");
    ASSERT_EQ(2u, recorded.events.size());
    const INPUT& down = recorded.events[0];
    const INPUT& up = recorded.events[1];
    EXPECT_EQ(0, down.ki.wVk);
    EXPECT_EQ(0xE9, down.ki.wScan);
    EXPECT_EQ(static_cast<DWORD>(KEYEVENTF_UNICODE), down.ki.dwFlags);
    EXPECT_EQ(static_cast<DWORD>(KEYEVENTF_UNICODE | KEYEVENTF_KEYUP), up.ki.dwFlags);
    EXPECT_EQ(0xE9, up.ki.wScan);
    EXPECT_EQ(0u, down.ki.time);
    EXPECT_EQ(0x5A5Au, down.ki.dwExtraInfo);
    EXPECT_EQ((std::vector<DWORD>{2, 2}), recorded.sleeps);
}

TEST_F(TypeRecordTest, KeyAfterUnicodeEventKeepsNoLeftoverFields)
{
    Type("\xFF" "b");
    ASSERT_EQ(4u, recorded.events.size());
    EXPECT_EQ("uFFd", Describe(recorded.events[0]));
    EXPECT_EQ("v42d", Describe(recorded.events[2]));
    for (int i : {2, 3}) {
        EXPECT_EQ(0, recorded.events[i].ki.wScan);
        EXPECT_EQ(0u, recorded.events[i].ki.dwExtraInfo);
        EXPECT_EQ(5u, recorded.events[i].ki.time);
    }
}

TEST_F(TypeRecordTest, ModifiersAreReleasedInTheOrderTheyWerePressed)
{
    Type("~");
    EXPECT_EQ((Events{"v11d", "v12d", "vC0d", "vC0u", "v11u", "v12u"}), Sequence());
    recorded.events.clear();
    Type("#");
    EXPECT_EQ((Events{"v10d", "v11d", "v12d", "v33d", "v33u", "v10u", "v11u", "v12u"}), Sequence());
}

TEST_F(TypeRecordTest, CapsLockDropsShiftOnlyAndIsReadPerCharacter)
{
    recorded.capsLock = true;
    Type("A@#");
    EXPECT_EQ((Events{"v41d", "v41u", "v32d", "v32u", "v11d", "v12d", "v33d", "v33u", "v11u", "v12u"}),
              Sequence());
    EXPECT_EQ(3, recorded.capsReads);
}

TEST_F(TypeRecordTest, TenDataBytesWithCrLfPause24MsAtTheEnd)
{
    Type("0123456789\r\n");
    EXPECT_EQ(22u, recorded.events.size());
    ASSERT_EQ(12u, recorded.sleeps.size());
    for (size_t i = 0; i < 11; ++i) EXPECT_EQ(2u, recorded.sleeps[i]);
    EXPECT_EQ(24u, recorded.sleeps.back());
}

TEST_F(TypeRecordTest, NoDelayMeansOnlyTheClosingPause)
{
    settings.interCharDelay = 0;
    Type("ab\r\n");
    EXPECT_EQ((std::vector<DWORD>{8}), recorded.sleeps);
    settings.interCharDelay = 255;
    recorded.sleeps.clear();
    Type("a");
    EXPECT_EQ((std::vector<DWORD>{255, 2}), recorded.sleeps);
}

TEST_F(TypeRecordTest, EmptyRecordTypesAndPausesNothing)
{
    Type("");
    EXPECT_TRUE(recorded.events.empty());
    EXPECT_TRUE(recorded.sleeps.empty());
}

TEST_F(TypeRecordTest, ZeroVirtualKeySkipsTheByteWithoutDelay)
{
    Type("%\n\n");
    EXPECT_TRUE(recorded.events.empty());
    EXPECT_EQ((std::vector<DWORD>{6}), recorded.sleeps);
}

TEST_F(TypeRecordTest, PrintableCharacterWithoutKeyGoesAsUnicode)
{
    Type("$");
    EXPECT_EQ((Events{"u24d", "u24u"}), Sequence());
    EXPECT_EQ(0, recorded.events[0].ki.wVk);
    // A control byte the layout cannot type is dropped, not sent as U+001D.
    recorded.events.clear();
    Type("\x1D");
    EXPECT_TRUE(recorded.events.empty());
}

TEST(KeyForChar, TableBeforeLayout)
{
    keyboardIo = KeyboardIo{RecordSendInput, FakeVkKeyScan, FakeGetKeyState, FakeExtraInfo, RecordSleep};
    EXPECT_EQ(0x2D, KeyForChar(0x01));
    EXPECT_EQ(0x0141, KeyForChar('A'));
    EXPECT_EQ(0x000D, KeyForChar('\r'));
    EXPECT_EQ(0xFFFF, KeyForChar('$'));
    keyboardIo = PLATFORM_KEYBOARD_IO;
}

// The real layout look-up of Wine's default US layout.
TEST(KeyForChar, UsesThePlatformLayout)
{
    EXPECT_EQ(0x0141, KeyForChar('A'));
    EXPECT_EQ(0x0042, KeyForChar('b'));
    EXPECT_EQ(0x000D, KeyForChar('\r'));
}

}  // namespace
