#include "process_stats.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

namespace e2e {

namespace {

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

long StatusField(const std::string& status, const char* name)
{
    const size_t at = status.find(std::string("\n") + name + ":");
    if (at == std::string::npos) return -1;
    return std::atol(status.c_str() + at + std::strlen(name) + 2);
}

}  // namespace

ProcessSample SampleProcess(pid_t pid)
{
    ProcessSample sample;
    const std::string base = "/proc/" + std::to_string(pid);
    const std::string status = "\n" + ReadWhole(base + "/status");
    sample.threads = static_cast<int>(StatusField(status, "Threads"));
    sample.residentKiB = StatusField(status, "VmRSS");
    sample.peakKiB = StatusField(status, "VmHWM");
    if (DIR* dir = opendir((base + "/fd").c_str())) {
        int count = 0;
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
        sample.descriptors = count;
    }
    // Fields after the command name, which may hold blanks: utime is the 14th field, stime the 15th.
    const std::string stat = ReadWhole(base + "/stat");
    const size_t close = stat.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        long long utime = -1, stime = -1;
        for (int index = 3; fields >> field && index <= 15; ++index) {
            if (index == 14) utime = std::atoll(field.c_str());
            if (index == 15) stime = std::atoll(field.c_str());
        }
        if (utime >= 0 && stime >= 0)
            sample.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return sample;
}

bool HoldsFile(pid_t pid, const std::string& path)
{
    const std::string base = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(base.c_str());
    if (dir == nullptr) return false;
    bool held = false;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        char target[512];
        const ssize_t length = readlink((base + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (length > 0 && path.compare(0, std::string::npos, target, static_cast<size_t>(length)) == 0) {
            held = true;
            break;
        }
    }
    closedir(dir);
    return held;
}

}  // namespace e2e
