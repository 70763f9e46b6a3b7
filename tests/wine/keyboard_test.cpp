// Keyboard emulation through the platform seam: which events TypeRecord
// sends, in which order, with which fields, and how it paces them.
#include "session/keyboard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/settings.h"
#include "session/keyboard_io.h"

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

// A small US-like layout: letters, CR; '@' with Shift, '~' with
// Ctrl+Alt (as an AltGr layout gives), '#' with Shift+Ctrl+Alt, '%' a zero
// virtual key; anything else has no key.
SHORT FakeVkKeyScan(CHAR character)
{
    const unsigned char c = static_cast<unsigned char>(character);
    if (c >= 'a' && c <= 'z') return static_cast<SHORT>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<SHORT>(0x0100 | c);
    return c == '\r' ? 0x000D : c == '@' ? 0x0132 : c == '~' ? 0x06C0 : c == '#' ? 0x0733 : c == '%' ? 0x0100 : -1;
}

SHORT FakeGetKeyState(int key) { return key == VK_CAPITAL && capsLock ? 1 : 0; }
LPARAM FakeExtraInfo() { return static_cast<LPARAM>(EXTRA_INFO); }
void RecordSleep(DWORD milliseconds) { sleeps.push_back(milliseconds); }

// Sleeps: the delay after each typed byte, then 2 ms per byte of the record.
struct Case { const char* name; std::string bytes; int delay; bool capsLock; Events events; Sleeps sleeps; };

const Case CASES[] = {
    {"shift, CR key, LF skipped", "Ab\r\n", 2, false,
     {"v10d", "v41d", "v41u", "v10u", "v42d", "v42u", "v0Dd", "v0Du"}, {2, 2, 2, 8}},
    {"control bytes as plain keys", "\x01\x0F\x1A\x1C\x1B\x08\x09", 0, false,
     {"v2Dd", "v2Du", "v70d", "v70u", "v7Bd", "v7Bu", "v2Bd", "v2Bu", "v1Bd", "v1Bu", "v08d", "v08u", "v09d",
      "v09u"},
     {14}},
    {"high byte as Unicode", "\xE9", 2, false, {"uE9d", "uE9u"}, {2, 2}},
    {"key after Unicode has cleared fields", "\xFF" "b", 0, false, {"uFFd", "uFFu", "v42d", "v42u"}, {4}},
    {"modifiers released in pressing order", "~#", 0, false,
     {"v11d", "v12d", "vC0d", "vC0u", "v11u", "v12u", "v10d", "v11d", "v12d", "v33d", "v33u", "v10u", "v11u",
      "v12u"},
     {4}},
    {"Caps Lock drops Shift only", "A@#", 0, true,
     {"v41d", "v41u", "v32d", "v32u", "v11d", "v12d", "v33d", "v33u", "v11u", "v12u"}, {6}},
    {"empty record", "", 2, false, {}, {}},
    {"zero virtual key and LFs type nothing", "%\n\n", 2, false, {}, {6}},
    {"printable without key as Unicode, control byte dropped", "$\x1D", 2, false, {"u24d", "u24u"}, {2, 4}},
};

TEST(TypeRecord, SendsTheEventsAndPausesOfEachRecord)
{
    keyboardIo = KeyboardIo{RecordSendInput, FakeVkKeyScan, FakeGetKeyState, FakeExtraInfo, RecordSleep};
    const int32_t savedDelay = settings.interCharDelay;
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        events.clear();
        sleeps.clear();
        capsLock = c.capsLock;
        settings.interCharDelay = c.delay;
        TypeRecord(reinterpret_cast<const uint8_t*>(c.bytes.data()), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(c.events, events);
        EXPECT_EQ(c.sleeps, sleeps);
    }
    keyboardIo = PLATFORM_KEYBOARD_IO;
    settings.interCharDelay = savedDelay;
}

}  // namespace
