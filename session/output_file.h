// The output file of a transfer: opened on the terminal's "ACK\r", written by
// the protocol, closed when the link closes.
#pragma once

#include <windows.h>

// The one output-file handle; INVALID_HANDLE_VALUE while no file is open.
extern HANDLE outputFile;

// Opens the file for the save mode. 1, or ERR_FILE_CREATE / ERR_FILE_OPEN.
// A file that is already open (a second "ACK\r" of the same transfer) is kept.
int OpenOutputFile(const char* directory, const char* fileName);

// Closes the output file if open; harmless when none is.
void CloseOutputFile();
