// Keyboard emulation: types a record into the window that has the focus.
#pragma once

#include <cstdint>

void TypeRecord(const uint8_t* bytes, int length);

// Key and shift state for a byte below 0x80: low byte the virtual key, high
// byte bit 0 Shift, bit 1 Ctrl, bit 2 Alt.
uint16_t KeyForChar(uint8_t byte);
