// A fresh directory under the temporary directory for one test, removed with
// everything in it at the end; small file helpers.
#pragma once

#include <windows.h>

#include <filesystem>
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
    ~TestDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
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
