// A fresh directory under the temporary directory for one test, removed with
// its files and sub-directories (two levels) at the end; small file helpers.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

class TestDir {
public:
    TestDir()
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        static int counter = 0;
        do path_ = std::string(base) + "varnolt_t" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        while (!CreateDirectoryA(path_.c_str(), nullptr));
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
        for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry)) {
            const std::string name = entry.cFileName, full = dir + "\\" + name;
            if (name == "." || name == "..") continue;
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(full.c_str());
            else if (depth > 0) RemoveTree(full, depth - 1);
        }
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        RemoveDirectoryA(dir.c_str());
    }
    std::string path_;
};

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

inline void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string CurrentDirectoryText()
{
    char buffer[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof buffer, buffer);
    return buffer;
}
