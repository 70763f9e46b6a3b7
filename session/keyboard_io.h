// The platform calls of keyboard emulation, reached through one table so a
// test can record the events instead of typing them.
#pragma once

#include <windows.h>

struct KeyboardIo {
    UINT (*sendInput)(UINT count, LPINPUT inputs, int size);
    SHORT (*vkKeyScan)(CHAR character);
    SHORT (*getKeyState)(int key);
    LPARAM (*getMessageExtraInfo)();
    void (*sleep)(DWORD milliseconds);
};

// Defaults to the real functions.
extern KeyboardIo keyboardIo;

// The platform calls themselves, for a test that swaps only some of them.
extern const KeyboardIo PLATFORM_KEYBOARD_IO;
