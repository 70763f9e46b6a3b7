// A fresh directory under the temporary directory for one test, removed
// with its files (one level of sub-directories) at the end; and small file
// helpers for the Win32 tests.
#pragma once

#include <windows.h>

#include <string>

class TestDir {
public:
    TestDir()
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        static int counter = 0;
        for (;;) {
            path_ = std::string(base) + "varnolt_t" + std::to_string(GetCurrentProcessId()) + "_" +
                    std::to_string(++counter);
            if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        }
    }
    ~TestDir() { RemoveTree(path_, 2); }
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    static void RemoveTree(const std::string& dir, int depth)
    {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = entry.cFileName;
                if (name == "." || name == "..") continue;
                const std::string full = dir + "\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (depth > 0) RemoveTree(full, depth - 1);
                } else {
                    DeleteFileA(full.c_str());
                }
            } while (FindNextFileA(find, &entry));
            FindClose(find);
        }
        RemoveDirectoryA(dir.c_str());
    }
    std::string path_;
};

inline std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) content.append(chunk, got);
    CloseHandle(file);
    return content;
}

inline void WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

inline bool PathExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string CurrentDirectoryText()
{
    char buffer[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof buffer, buffer);
    return buffer;
}
