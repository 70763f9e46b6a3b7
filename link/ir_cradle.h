// The infrared cradle's start-up on an open COM port.
#pragma once

#include <windows.h>

// 1 when the cradle answered and now runs at the configured speed, 0 when
// it answered at no speed. The port must be open with both records ready.
int InitIrCradle(HANDLE port);
