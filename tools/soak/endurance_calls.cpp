#include "endurance_calls.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string_view>

#include "harness.h"

namespace soak {

namespace {

constexpr std::string_view FAILED = "-> 0x8";   // results below zero are written in hexadecimal

// The value after `key` ("call=") up to the next blank; empty when absent.
std::string ValueOf(std::string_view line, std::string_view key)
{
    const size_t at = line.find(key);
    if (at == std::string_view::npos) return "";
    const std::string_view rest = line.substr(at + key.size());
    return std::string(rest.substr(0, rest.find(' ')));
}

// The log's lines without their time stamps, each with its stamp.
template <typename Visit>
void ForEachLogLine(const std::string& logText, Visit visit)
{
    std::istringstream log(logText);
    for (std::string line; std::getline(log, line);) {
        const size_t blank = line.find(' ');
        if (blank == std::string::npos) continue;
        visit(std::strtoll(line.c_str(), nullptr, 10), std::string_view(line).substr(blank + 1));
    }
}

bool Starts(std::string_view call, std::string_view function)
{
    return call.substr(0, function.size() + 1) == std::string(function) + " ";
}

}  // namespace

std::string CallWorld(int com, const std::string& hangUpPath)
{
    return "[line]\nname = Standard 56000 bps Modem\ncom = " + std::to_string(com) + "\nhangup_file = " + hangUpPath +
           "\n";
}

void CallerHangUp::At(int64_t dueNs, int64_t callSeenNs)
{
    dueNs_ = dueNs;
    callSeenNs_ = callSeenNs;
}

void CallerHangUp::Step(int64_t nowNs)
{
    if (dueNs_ >= 0 && nowNs >= dueNs_) {
        e2e::WriteFile(path_, "");
        dueNs_ = -1;
    }
    if (dueNs_ >= 0 || callSeenNs_ < 0) return;
    if (!e2e::FileExists(path_)) {
        callSeenNs_ = -1;   // the stand-in hung up
        return;
    }
    bool shutDown = false;
    ForEachLogLine(e2e::ReadFile(log_), [&](int64_t us, std::string_view call) {
        shutDown = shutDown || (Starts(call, "lineShutdown") && us * 1000 > callSeenNs_);
    });
    if (!shutDown) return;
    std::remove(path_.c_str());
    callSeenNs_ = -1;
}

void CallerHangUp::Cancel()
{
    dueNs_ = -1;
    callSeenNs_ = -1;
    std::remove(path_.c_str());
}

CallRelease CheckCallsReleased(const std::string& logText)
{
    CallRelease release;
    std::map<std::string, int> answers, drops;   // by call handle
    int opened = 0, initialised = 0;
    std::string problem;
    auto note = [&](const std::string& what) {
        if (problem.empty()) problem = what;
    };
    ForEachLogLine(logText, [&](int64_t, std::string_view call) {
        const bool failed = call.find(FAILED) != std::string_view::npos;
        if (Starts(call, "callback")) {
            if (call.find("LINE_CALLSTATE ") != std::string_view::npos && call.find(" p1=0x4000 ") != std::string_view::npos)
                ++release.hungUp;
        } else if (Starts(call, "lineInitializeExA")) {
            initialised += failed ? 0 : 1;
        } else if (Starts(call, "lineOpenA")) {
            opened += failed ? 0 : 1;
        } else if (Starts(call, "lineAnswer") && !failed) {
            ++release.answered;
            ++answers[ValueOf(call, "call=")];
        } else if (Starts(call, "lineDrop")) {
            if (failed) note("a failed " + std::string(call));
            ++release.dropped;
            ++drops[ValueOf(call, "call=")];
        } else if (Starts(call, "lineClose")) {
            if (failed || ValueOf(call, "comm=") == "open") note("a line closed with its comm handle open or refused: " + std::string(call));
            ++release.lines;
        } else if (Starts(call, "lineShutdown")) {
            if (failed || ValueOf(call, "open_lines=") != "0") note("telephony shut down with a line open or refused: " + std::string(call));
            ++release.sessions;
        }
    });
    for (const auto& answer : answers) {
        const int dropped = drops[answer.first];
        if (answer.second != 1 || dropped != 1)
            note("call " + answer.first + " answered " + std::to_string(answer.second) + ", dropped " +
                 std::to_string(dropped) + " times");
    }
    for (const auto& [handle, count] : drops)
        if (count > 1) note("call " + handle + " dropped " + std::to_string(count) + " times");
    if (release.lines != opened) note(std::to_string(opened) + " lines opened, " + std::to_string(release.lines) + " closed");
    if (release.sessions != initialised)
        note(std::to_string(initialised) + " telephony sessions begun, " + std::to_string(release.sessions) + " shut down");
    release.problem = problem;
    return release;
}

}  // namespace soak
