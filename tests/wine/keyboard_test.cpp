// Keyboard emulation through the platform seam: which events TypeRecord
// sends, in which order, with which fields, and how it paces them.
#include "session/keyboard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/settings.h"
#include "session/keyboard_io.h"
#include "tests/common/restore_guard.h"

namespace {

using Events = std::vector<std::string>;
using Sleeps = std::vector<DWORD>;

Events events;
Sleeps sleeps;
bool capsLock = false;
constexpr ULONG_PTR EXTRA_INFO = 0x5A5A;

// An event as compact text: "v41d" virtual key 0x41 down, "uE9u" Unicode
// 0xE9 up. A field a key event must not carry is shown with a "!".
std::string Describe(const INPUT& in)
{
    char text[16];
    const bool up = (in.ki.dwFlags & KEYEVENTF_KEYUP) != 0;
    const bool unicode = (in.ki.dwFlags & KEYEVENTF_UNICODE) != 0;
    const bool sound = in.type == INPUT_KEYBOARD &&
                       (unicode ? in.ki.wVk == 0 && in.ki.time == 0 && in.ki.dwExtraInfo == EXTRA_INFO
                                : in.ki.wScan == 0 && in.ki.time == 5 && in.ki.dwExtraInfo == 0);
    std::snprintf(text, sizeof text, "%c%02X%c%s", unicode ? 'u' : 'v', unicode ? in.ki.wScan : in.ki.wVk,
                  up ? 'u' : 'd', sound ? "" : "!");
    return text;
}

UINT RecordSendInput(UINT count, LPINPUT inputs, int size)
{
    EXPECT_EQ(1u, count);    // one event per call, as a keyboard delivers them
    EXPECT_EQ(static_cast<int>(sizeof(INPUT)), size);
    for (UINT i = 0; i < count; ++i) events.push_back(Describe(inputs[i]));
    return count;
}

// A small US-like layout: letters; CR as Return and LF as Ctrl+Return, as
// the US layout gives them; '@' with Shift, '~' with Ctrl+Alt (as an AltGr
// layout gives), '#' with Shift+Ctrl+Alt, '%' a zero virtual key; anything
// else has no key.
SHORT FakeVkKeyScan(CHAR character)
{
    const unsigned char c = static_cast<unsigned char>(character);
    if (c >= 'a' && c <= 'z') return static_cast<SHORT>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<SHORT>(0x0100 | c);
    return c == '\r' ? 0x000D : c == '\n' ? 0x020D : c == '@' ? 0x0132 : c == '~' ? 0x06C0 : c == '#' ? 0x0733
         : c == '%' ? 0x0100 : -1;
}

SHORT FakeGetKeyState(int key) { return key == VK_CAPITAL && capsLock ? 1 : 0; }
LPARAM FakeExtraInfo() { return static_cast<LPARAM>(EXTRA_INFO); }
void RecordSleep(DWORD milliseconds) { sleeps.push_back(milliseconds); }

const KeyboardIo FAKE_IO{RecordSendInput, FakeVkKeyScan, FakeGetKeyState, FakeExtraInfo, RecordSleep};

// Sleeps: the delay after each typed byte, then 2 ms per byte of the record.
struct Case { const char* proves; std::string bytes; int delay; bool capsLock; Events events; Sleeps sleeps; };

const Case CASES[] = {
    {"Shift around a capital, CR as its key, LF never typed", "Ab\r\n", 2, false,
     {"v10d", "v41d", "v41u", "v10u", "v42d", "v42u", "v0Dd", "v0Du"}, {2, 2, 2, 8}},
    {"a high byte is a Unicode event", "\xE9", 2, false, {"uE9d", "uE9u"}, {2, 2}},
    {"a key after a Unicode event has its fields cleared", "\xFF" "b", 0, false, {"uFFd", "uFFu", "v42d", "v42u"}, {4}},
    {"modifiers are released in pressing order", "~#", 0, false,
     {"v11d", "v12d", "vC0d", "vC0u", "v11u", "v12u", "v10d", "v11d", "v12d", "v33d", "v33u", "v10u", "v11u",
      "v12u"},
     {4}},
    {"Caps Lock drops Shift only", "A@#", 0, true,
     {"v41d", "v41u", "v32d", "v32u", "v11d", "v12d", "v33d", "v33u", "v11u", "v12u"}, {6}},
    {"an empty record types nothing and pauses not at all", "", 2, false, {}, {}},
    {"a zero virtual key and LFs type nothing, but count in the pause", "%\n\n", 2, false, {}, {6}},
    {"a printable without key comes as Unicode, a control byte without key not at all", "$\x1D", 2, false,
     {"u24d", "u24u"}, {2, 4}},
};

}  // namespace

TEST(TypeRecord, SendsTheEventsAndPausesOfEachRecord)
{
    const Restore io(keyboardIo, FAKE_IO);
    const Restore keep(settings);
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.proves);
        events.clear();
        sleeps.clear();
        capsLock = c.capsLock;
        settings.interCharDelay = c.delay;
        TypeRecord(reinterpret_cast<const uint8_t*>(c.bytes.data()), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(c.events, events);
        EXPECT_EQ(c.sleeps, sleeps);
    }
}

// Every control byte the terminal may send, by the name of its key; bytes
// outside the table (LF, CR, 0x1D...) go to the layout.
TEST(KeyForChar, EachControlByteIsItsNamedKeyAndNoOtherByteIsTaken)
{
    const Restore io(keyboardIo, FAKE_IO);
    const struct { const char* key; uint8_t byte; int virtualKey; } rows[] = {
        {"Insert", 0x01, VK_INSERT}, {"Delete", 0x02, VK_DELETE}, {"Home", 0x03, VK_HOME}, {"End", 0x04, VK_END},
        {"Up", 0x05, VK_UP}, {"Down", 0x06, VK_DOWN}, {"Left", 0x07, VK_LEFT}, {"Backspace", 0x08, VK_BACK},
        {"Tab", 0x09, VK_TAB}, {"Right", 0x0B, VK_RIGHT}, {"Page Up", 0x0C, VK_PRIOR}, {"Page Down", 0x0E, VK_NEXT},
        {"Escape", 0x1B, VK_ESCAPE}, {"Execute", 0x1C, VK_EXECUTE},
    };
    bool inTable[0x20] = {};
    for (const auto& row : rows) {
        EXPECT_EQ(KeyForChar(row.byte), row.virtualKey) << row.key;
        inTable[row.byte] = true;
    }
    for (int f = 0; f < 12; ++f) {   // 0x0F is F1 ... 0x1A is F12
        EXPECT_EQ(KeyForChar(static_cast<uint8_t>(0x0F + f)), VK_F1 + f) << "F" << f + 1;
        inTable[0x0F + f] = true;
    }
    for (int byte = 0; byte < 0x20; ++byte) {
        if (inTable[byte]) continue;
        EXPECT_EQ(KeyForChar(static_cast<uint8_t>(byte)), static_cast<uint16_t>(FakeVkKeyScan(char(byte))))
            << "byte " << byte << " is for the layout";
    }
}
