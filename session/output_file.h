// The output file of a transfer: opened on the terminal's "ACK\r", written by
// the protocol, closed when the link closes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/settings.h"

// The output file; one process-wide record, written only by the functions
// below.
struct OutputFileState {
    HANDLE file;               // null while no file is open (as every handle of a session)
    // True from an open that created the file or emptied it (OVERWRITE, a
    // new automatic name, APPEND on a missing file) until
    // DeleteOutputFileIfLeftEmpty has looked at it; false when the file held
    // earlier data.
    bool createdThisSession;
    char path[PATH_BUFFER];    // the full path of the file last opened; empty before the first
};
extern OutputFileState outputFileState;

// Opens the file for the save mode. 1, or ERR_FILE_CREATE / ERR_FILE_OPEN.
// A file that is already open (a second "ACK\r" of the same transfer) is kept.
int OpenOutputFile(const char* directory, const char* fileName);

// Appends one record at the file's position and makes it durable before
// the terminal is told it arrived. True when every byte is on the disk; on
// a short write or a failed flush the file is cut back to where the record
// began, so it only ever holds whole records.
bool WriteOutputRecord(const uint8_t* bytes, int count);

// The file calls WriteOutputRecord makes, reached through one table so a
// test can fail them.
struct OutputFileIo {
    BOOL (WINAPI* writeFile)(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL (WINAPI* flushFileBuffers)(HANDLE file);
};
extern OutputFileIo outputFileIo;
extern const OutputFileIo PLATFORM_OUTPUT_FILE_IO;   // the real calls, outputFileIo's default

// Closes the output file if open; harmless when none is. False when the
// system reported a failure closing it.
bool CloseOutputFile();

// A new link opening: the file of an earlier session is no concern of this
// one, in particular not for DeleteOutputFileIfLeftEmpty.
void ForgetOutputFile();

// OpenOutputFile with a given local time for the automatic name.
int OpenOutputFileAt(const char* directory, const char* fileName, const SYSTEMTIME& now);

// At the end of a transfer: deletes the file at path when this session
// created or emptied it and it is still empty (closing it first if it is
// still open). A file that held earlier data always stays. True if deleted.
bool DeleteOutputFileIfLeftEmpty(const char* path);
