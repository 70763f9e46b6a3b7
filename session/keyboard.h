// Keyboard emulation: types a record into the window that has the focus.
#pragma once

#include <cstdint>

void TypeRecord(const uint8_t* bytes, int length);
