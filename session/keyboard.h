// Keyboard emulation: types a record into the window that has the focus.
#pragma once

#include <atomic>
#include <cstdint>

// Types the record and pauses 2 ms a byte after it. With a stop flag, it
// ends early (within one inter-character delay) once the flag is set.
// True when the whole record was typed.
bool TypeRecord(const uint8_t* bytes, int length, const std::atomic<bool>* stop = nullptr);

// Key and shift state for a byte below 0x80: low byte the virtual key, high
// byte bit 0 Shift, bit 1 Ctrl, bit 2 Alt.
uint16_t KeyForChar(uint8_t byte);
