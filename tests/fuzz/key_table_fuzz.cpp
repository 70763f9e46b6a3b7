// Feeds bytes to the control-byte key table and checks what typing relies
// on: LF and CR and every printable byte go to the layout, no control byte
// becomes a modifier, and no two bytes share a key.
#include <cstdint>
#include <cstdlib>

#include "core/key_table.h"

namespace {
constexpr uint8_t MODIFIERS[] = {0x10, 0x11, 0x12, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0x5B, 0x5C};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        const uint8_t key = ControlByteKey(byte);
        const bool control = byte >= 0x01 && byte <= 0x1C && byte != 0x0A && byte != 0x0D;
        if ((key != 0) != control) std::abort();
        for (uint8_t modifier : MODIFIERS)
            if (key == modifier) std::abort();
        if (i > 0 && key != 0 && data[i - 1] != byte && ControlByteKey(data[i - 1]) == key) std::abort();
    }
    return 0;
}
