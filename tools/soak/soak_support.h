// What the soak and endurance commands share: a Wine environment (the test
// fixture's when CTest runs them, else one of their own), a work directory
// with a private copy of the program, the error logs the program leaves when
// its messages are off, and its message boxes, which would hold it up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"

namespace soak {

struct Workspace {
    std::string dir;         // Linux path, private to this command
    std::string exe;         // the program's copy in it
    std::string envDir;      // the environment started here, or empty
};

// Uses the environment named by VARNOLT_E2E_ENV when that file exists, else
// starts one in stateDir with this process's id appended (stopped and
// removed again by CloseWorkspace). False with a
// message on stderr when nothing can run.
bool OpenWorkspace(const std::string& stateDir, Workspace* workspace);
void CloseWorkspace(Workspace& workspace);

// The messages of the Err*.log files in dir; the files are removed.
std::vector<std::string> TakeErrorLogs(const std::string& dir);

// Whole file, and whether it exists at all.
bool ReadIfPresent(const std::string& path, std::string* content);

// A message box the program shows ("Error Message"): its text, after it was
// answered with OK so that the program goes on; empty when there is none.
std::string AnswerErrorBox();

// Bytes as text, non-printable ones as \xNN, cut after limit characters.
std::string Printable(const std::string& bytes, size_t limit = 80);

// CLOCK_MONOTONIC_RAW in seconds, for time stamps in the report.
double Seconds();

}  // namespace soak
