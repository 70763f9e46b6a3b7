// The cradle start-up with its wait panel (dialog 3, "Initialize IR
// device...") on screen meanwhile.
#pragma once

#include <windows.h>

#include <cstdint>

// Shows the panel in the middle of owner (showing owner first if it is not
// yet on screen), runs InitIrCradle on port and baudIndex, and removes the
// panel whatever the result. The panel is painted before the first probe:
// the calling thread serves no messages until the cradle is found.
// InitIrCradle's result.
int StartIrCradle(HANDLE port, HWND owner, uint8_t baudIndex);
