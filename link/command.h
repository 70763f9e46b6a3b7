// Writing one command to the device on the link's port.
#pragma once

#include <windows.h>

// Records the command as linkState.lastCommand (command may be that text
// itself), drops output still queued for an earlier command, and writes the
// command from the link's own buffer within timeLimit ms. 1 when it went
// out (a write still running at the limit counts as sent); 0 when the write
// failed or length is not 1..MAX_COMMAND_LENGTH.
int WriteCommand(HANDLE port, const char* command, int length, DWORD timeLimit);
