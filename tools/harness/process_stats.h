// What Linux shows of a running Wine program: its threads, open descriptors,
// memory and processor time, read from /proc. Wine runs each Windows thread
// as a Linux thread, so the thread count is the program's own threads plus
// Wine's few service threads in that process.
#pragma once

#include <sys/types.h>

#include <string>

namespace e2e {

struct ProcessSample {
    int threads = -1;          // Threads of /proc/<pid>/status
    int descriptors = -1;      // entries of /proc/<pid>/fd
    long residentKiB = -1;     // VmRSS
    long peakKiB = -1;         // VmHWM, the resident peak
    double cpuSeconds = -1;    // utime + stime
};

// Fields that cannot be read stay -1.
ProcessSample SampleProcess(pid_t pid);

// Whether the process has this file (a pseudo-terminal's slave, say) open:
// Wine keeps a descriptor for every open file or port of a program.
bool HoldsFile(pid_t pid, const std::string& path);

}  // namespace e2e
