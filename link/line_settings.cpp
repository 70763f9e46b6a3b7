#include "link/line_settings.h"

const LineIo PLATFORM_LINE_IO = {.getCommState = GetCommState,
                                 .setCommState = SetCommState,
                                 .getCommTimeouts = GetCommTimeouts,
                                 .setCommTimeouts = SetCommTimeouts,
                                 .setupComm = SetupComm};
LineIo lineIo = PLATFORM_LINE_IO;
