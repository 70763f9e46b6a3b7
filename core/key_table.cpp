// Control bytes typed as navigation and function keys, never with a modifier.
#include "core/key_table.h"

#include <array>
#include <cstddef>

namespace {

struct ControlKey {
    uint8_t byte;
    uint8_t key;
};

constexpr std::array<ControlKey, 26> CONTROL_KEYS{{
    {0x01, 0x2D},   // Insert
    {0x02, 0x2E},   // Delete
    {0x03, 0x24},   // Home
    {0x04, 0x23},   // End
    {0x05, 0x26},   // Up
    {0x06, 0x28},   // Down
    {0x07, 0x25},   // Left
    {0x08, 0x08},   // Backspace
    {0x09, 0x09},   // Tab
    {0x0B, 0x27},   // Right
    {0x0C, 0x21},   // Page Up
    {0x0E, 0x22},   // Page Down
    {0x0F, 0x70},   // F1
    {0x10, 0x71},   // F2
    {0x11, 0x72},   // F3
    {0x12, 0x73},   // F4
    {0x13, 0x74},   // F5
    {0x14, 0x75},   // F6
    {0x15, 0x76},   // F7
    {0x16, 0x77},   // F8
    {0x17, 0x78},   // F9
    {0x18, 0x79},   // F10
    {0x19, 0x7A},   // F11
    {0x1A, 0x7B},   // F12
    {0x1B, 0x1B},   // Escape
    {0x1C, 0x2B},   // Execute
}};

constexpr bool EachByteOnce()
{
    for (std::size_t i = 0; i < CONTROL_KEYS.size(); ++i)
        for (std::size_t j = i + 1; j < CONTROL_KEYS.size(); ++j)
            if (CONTROL_KEYS[i].byte == CONTROL_KEYS[j].byte) return false;
    return true;
}
static_assert(EachByteOnce(), "a control byte may map to one key only");

}  // namespace

uint8_t ControlByteKey(uint8_t byte)
{
    for (const ControlKey& entry : CONTROL_KEYS)
        if (entry.byte == byte) return entry.key;
    return 0;
}
