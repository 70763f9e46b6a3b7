// The telephony side of the endurance command: the line our telephony
// stand-in offers the program, the caller's hang-ups, and the check that
// every call, line and telephony session was let go.
#pragma once

#include <cstdint>
#include <string>

namespace soak {

// The stand-in's world after its log line: one data modem whose calls run
// on COM `com`, whose caller hangs up when `hangUpPath` appears.
std::string CallWorld(int com, const std::string& hangUpPath);

// The caller hanging up at a moment the driver picks, through the
// stand-in's hang-up file. The stand-in takes the file away when it hangs up
// a connected call; a file that came after the program had let go of the
// call would hang up the next one, so it is taken away here as soon as the
// log shows telephony shut down after the call was seen.
class CallerHangUp {
public:
    CallerHangUp(std::string path, std::string logPath) : path_(std::move(path)), log_(std::move(logPath)) {}
    // Hang up at dueNs (CLOCK_MONOTONIC_RAW) the call that was up at callSeenNs.
    void At(int64_t dueNs, int64_t callSeenNs);
    // Call often: writes the file when due, takes a leftover away.
    void Step(int64_t nowNs);
    // Nothing more to hang up; a file still there goes.
    void Cancel();

private:
    std::string path_, log_;
    int64_t dueNs_ = -1;
    int64_t callSeenNs_ = -1;   // >= 0 while a written file may still be there
};

// Every call the program answered dropped once, every line closed with its
// comm handle closed, every telephony session shut down with no line open.
struct CallRelease {
    int answered = 0, dropped = 0, lines = 0, sessions = 0;
    int hungUp = 0;          // calls the caller hung up while the program held them
    std::string problem;     // empty when everything was let go
};
CallRelease CheckCallsReleased(const std::string& logText);

}  // namespace soak
