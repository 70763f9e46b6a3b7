// The output file of a transfer, opened on the terminal's first "ACK\r".
#include "session/output_file.h"

#include "core/auto_name.h"
#include "core/settings.h"
#include "errors/error_codes.h"

#include <cstdio>

OutputFileState outputFileState{};
const OutputFileIo PLATFORM_OUTPUT_FILE_IO = {.writeFile = WriteFile, .flushFileBuffers = FlushFileBuffers};
OutputFileIo outputFileIo = PLATFORM_OUTPUT_FILE_IO;

namespace {


// "%s\\%s": at a drive root the directory already ends in a backslash and
// the path holds two in a row, which the file system accepts.
bool FormPath(const char* directory, const char* fileName, char* path)
{
    char joined[2 * PATH_BUFFER + 2];
    const int length = std::snprintf(joined, sizeof joined, "%s\\%s", directory, fileName);
    if (length < 0 || length > MAX_PATH_CHARS) return false;
    std::snprintf(path, PATH_BUFFER, "%s", joined);
    return true;
}

// One open with the shared access rules; null when it fails, and for a path
// too long.
HANDLE OpenPath(const char* directory, const char* fileName, DWORD disposition, char* path)
{
    if (!FormPath(directory, fileName, path)) return nullptr;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

void KeepOpenedFile(HANDLE file, const char* path, DWORD moveMethod, bool created)
{
    SetFilePointer(file, 0, nullptr, moveMethod);
    outputFileState.file = file;
    outputFileState.createdThisSession = created;
    std::snprintf(outputFileState.path, sizeof outputFileState.path, "%s", path);
}

int OpenAutoNamedFile(const char* directory, const SYSTEMTIME& now)
{
    const AutoNameTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
    for (int attempt = 0; attempt < AUTO_NAME_ATTEMPTS; ++attempt) {
        char name[AUTO_NAME_BUFFER];
        AutoNameCandidate(time, attempt, name, sizeof name);
        char path[PATH_BUFFER];
        HANDLE file = OpenPath(directory, name, CREATE_NEW, path);
        if (file) {
            std::snprintf(settings.outputFileName, sizeof settings.outputFileName, "%s", name);
            KeepOpenedFile(file, path, FILE_BEGIN, true);
            return 1;
        }
    }
    return ERR_FILE_CREATE;
}

}  // namespace

int OpenOutputFileAt(const char* directory, const char* fileName, const SYSTEMTIME& now)
{
    if (settings.saveMode == KEYBOARD_EMULATION) return 1;
    // The terminal may answer "ACK\r" again after a repeated "READ\r": the
    // file of this transfer stays as it is, neither emptied nor doubled.
    if (outputFileState.file) return 1;

    char path[PATH_BUFFER];
    switch (settings.saveMode) {
    case OVERWRITE: {
        HANDLE file = OpenPath(directory, fileName, CREATE_ALWAYS, path);
        if (!file) return ERR_FILE_CREATE;
        KeepOpenedFile(file, path, FILE_BEGIN, true);
        return 1;
    }
    case APPEND:
    case AUTO_APPEND: {
        HANDLE file = OpenPath(directory, fileName, OPEN_ALWAYS, path);
        if (!file) return ERR_FILE_OPEN;
        const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
        KeepOpenedFile(file, path, FILE_END, created);
        return 1;
    }
    case AUTO_FILE_NAME:
        return OpenAutoNamedFile(directory, now);
    default:
        return ERR_FILE_CREATE;
    }
}

int OpenOutputFile(const char* directory, const char* fileName)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return OpenOutputFileAt(directory, fileName, now);
}

bool WriteOutputRecord(const uint8_t* bytes, int count)
{
    if (!outputFileState.file || count < 0) return false;
    LARGE_INTEGER start{};
    const LARGE_INTEGER here{};
    if (!SetFilePointerEx(outputFileState.file, here, &start, FILE_CURRENT)) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(count);
    // A record the terminal is told arrived must still be there after a
    // crash or a power cut: it reaches the disk before its "ACK\r".
    if (outputFileIo.writeFile(outputFileState.file, bytes, size, &written, nullptr) && written == size
        && outputFileIo.flushFileBuffers(outputFileState.file)) {
        return true;
    }
    // The terminal sends the record again; what part of it came through
    // must not stay in front of that (or of the next transfer's records).
    SetFilePointerEx(outputFileState.file, start, nullptr, FILE_BEGIN);
    SetEndOfFile(outputFileState.file);
    return false;
}

bool CloseOutputFile()
{
    if (!outputFileState.file) return true;
    const bool closed = CloseHandle(outputFileState.file) != 0;
    outputFileState.file = nullptr;
    return closed;
}

void ForgetOutputFile()
{
    outputFileState.createdThisSession = false;
    outputFileState.path[0] = '\0';
}

bool DeleteOutputFileIfLeftEmpty(const char* path)
{
    if (!outputFileState.createdThisSession || lstrcmpiA(path, outputFileState.path) != 0) return false;
    outputFileState.createdThisSession = false;
    CloseOutputFile();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    if (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0) return false;
    return DeleteFileA(path) != 0;
}
