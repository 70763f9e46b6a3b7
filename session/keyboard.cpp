// Types the bytes of an accepted record as synthetic key events: control
// bytes as navigation and function keys, the rest through the keyboard
// layout, bytes from 0x80 up as Unicode characters.
#include "session/keyboard.h"

#include "core/key_table.h"
#include "core/settings.h"
#include "session/keyboard_io.h"

namespace {

UINT PlatformSendInput(UINT count, LPINPUT inputs, int size) { return SendInput(count, inputs, size); }
SHORT PlatformVkKeyScan(CHAR character) { return VkKeyScanA(character); }
SHORT PlatformGetKeyState(int key) { return GetKeyState(key); }
LPARAM PlatformGetMessageExtraInfo() { return GetMessageExtraInfo(); }
void PlatformSleep(DWORD milliseconds) { Sleep(milliseconds); }

constexpr uint16_t NO_KEY = 0xFFFF;         // the layout has no key for the character
constexpr uint16_t SHIFT_BIT = 0x0100;
constexpr uint16_t CTRL_BIT = 0x0200;
constexpr uint16_t ALT_BIT = 0x0400;
constexpr DWORD KEY_EVENT_TIME = 5;         // fixed time stamp of virtual-key events
constexpr uint8_t LINE_FEED = 0x0A;
constexpr DWORD PAUSE_SLICE_MS = 50;        // how long a stop may wait during the closing pause

// One event per call, as a real keyboard delivers them.
void Send(INPUT& input)
{
    keyboardIo.sendInput(1, &input, static_cast<int>(sizeof(INPUT)));
}

void SendUnicode(INPUT& input, uint8_t byte)
{
    input.ki.wVk = 0;
    input.ki.wScan = byte;                  // U+0080..U+00FF, the Latin-1 reading of the byte
    input.ki.time = 0;
    input.ki.dwExtraInfo = static_cast<ULONG_PTR>(keyboardIo.getMessageExtraInfo());
    input.ki.dwFlags = KEYEVENTF_UNICODE;
    Send(input);
    input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    Send(input);
}

void SendKey(INPUT& input, WORD key, DWORD flags)
{
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    Send(input);
}

// Modifiers are pressed Shift, Ctrl, Alt and released in that same order.
void SendKeyWithModifiers(INPUT& input, uint16_t keyAndShift)
{
    // A Unicode event may have come before in this record; its scan code and
    // extra information do not belong to a virtual-key event.
    input.ki.wScan = 0;
    input.ki.dwExtraInfo = 0;
    input.ki.time = KEY_EVENT_TIME;
    const bool capsLock = (keyboardIo.getKeyState(VK_CAPITAL) & 1) != 0;
    // With Caps Lock on the layout already gives the capital letter.
    const bool shift = (keyAndShift & SHIFT_BIT) != 0 && !capsLock;
    const bool ctrl = (keyAndShift & CTRL_BIT) != 0;
    const bool alt = (keyAndShift & ALT_BIT) != 0;
    const WORD key = keyAndShift & 0xFF;
    if (shift) SendKey(input, VK_SHIFT, 0);
    if (ctrl) SendKey(input, VK_CONTROL, 0);
    if (alt) SendKey(input, VK_MENU, 0);
    SendKey(input, key, 0);
    SendKey(input, key, KEYEVENTF_KEYUP);
    if (shift) SendKey(input, VK_SHIFT, KEYEVENTF_KEYUP);
    if (ctrl) SendKey(input, VK_CONTROL, KEYEVENTF_KEYUP);
    if (alt) SendKey(input, VK_MENU, KEYEVENTF_KEYUP);
}

}  // namespace

const KeyboardIo PLATFORM_KEYBOARD_IO = {
    .sendInput = PlatformSendInput,
    .vkKeyScan = PlatformVkKeyScan,
    .getKeyState = PlatformGetKeyState,
    .getMessageExtraInfo = PlatformGetMessageExtraInfo,
    .sleep = PlatformSleep,
};

KeyboardIo keyboardIo = PLATFORM_KEYBOARD_IO;

uint16_t KeyForChar(uint8_t byte)
{
    const uint8_t control = ControlByteKey(byte);
    if (control != 0) return control;
    return static_cast<uint16_t>(keyboardIo.vkKeyScan(static_cast<CHAR>(byte)));
}

bool TypeRecord(const uint8_t* bytes, int length, const std::atomic<bool>* stop)
{
    auto stopped = [stop] { return stop != nullptr && stop->load(); };
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    const int delay = settings.interCharDelay;
    for (int i = 0; i < length; ++i) {
        if (stopped()) return false;
        const uint8_t byte = bytes[i];
        if (byte == LINE_FEED) continue;
        if (byte >= 0x80) {
            SendUnicode(input, byte);
        } else {
            const uint16_t keyAndShift = KeyForChar(byte);
            if ((keyAndShift & 0xFF) == 0) continue;
            if (keyAndShift == NO_KEY) {
                // No key on this layout: a printable character still arrives
                // as itself; a control character has nothing to become.
                if (byte < 0x20) continue;
                SendUnicode(input, byte);
            } else {
                SendKeyWithModifiers(input, keyAndShift);
            }
        }
        if (delay > 0) keyboardIo.sleep(static_cast<DWORD>(delay));
    }
    // The target application needs time to take in what was typed before the
    // terminal's next record arrives. Sliced, so a stop need not wait it out.
    for (DWORD pause = static_cast<DWORD>(2 * length); pause > 0;) {
        if (stopped()) return false;
        const DWORD slice = pause < PAUSE_SLICE_MS ? pause : PAUSE_SLICE_MS;
        keyboardIo.sleep(slice);
        pause -= slice;
    }
    return !stopped();
}
