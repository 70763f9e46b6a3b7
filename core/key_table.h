// The control bytes that a terminal record may carry for navigation and
// function keys, and the virtual key each one is typed as.
// Portable: the key codes are the platform's virtual-key values, written out.
#pragma once

#include <cstdint>

// The virtual key for a control byte, or 0 when the byte is not in the table
// (LF and CR are deliberately absent: LF is never typed, CR goes through the
// keyboard layout like a printable character).
uint8_t ControlByteKey(uint8_t byte);
