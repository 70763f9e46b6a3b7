// The stand-in's process-wide record: the configuration in force, the
// programs' telephony sessions (usage handles) with their open lines and
// calls, and the events waiting for delivery. Every access holds `lock`;
// no program callback is ever made while it is held.
#pragma once

#include <windows.h>
#include <tapi.h>

#include <vector>

#include "standin_config.h"

// A line opened by lineOpenA, with its one call (0 when none).
struct LineRecord {
    HLINE handle = 0;
    DWORD deviceId = 0;
    DWORD_PTR callbackInstance = 0;
    HCALL call = 0;
    DWORD callState = 0;         // LINECALLSTATE_*; meaningful while call != 0
    HANDLE commHanded = nullptr; // the last comm handle given to the program
    HCALL otherCall = 0;         // a second call offered while `call` is held; 0 when none
    DWORD otherState = 0;
};

// One lineInitializeExA: its callback, its hidden window and its lines.
struct AppRecord {
    HLINEAPP handle = 0;
    LINECALLBACK callback = nullptr;
    HWND window = nullptr;
    std::vector<LineRecord> lines;
    std::vector<int> completeCapsReads;  // per device id, since this initialisation
};

enum class EventKind {
    OFFER,     // a call arrives on `handle` (a line)
    CONNECT,   // the answered call `handle` is connected
    HANGUP,    // the caller hangs up call `handle`
    IDLE,      // the dropped call `handle` has become idle
    REPLY,     // LINE_REPLY for `requestId` with `result`
    RECONNECT, // the connected state of call `handle` is reported again
    WATCH,     // look whether the hang-up file of call `handle` exists
    OTHER_OFFER, // a second call arrives on the line of call `handle`
};

struct PendingEvent {
    ULONGLONG due = 0;
    unsigned long order = 0;  // ties on `due` keep the order of scheduling
    EventKind kind = EventKind::OFFER;
    HLINEAPP app = 0;
    DWORD handle = 0;
    LONG requestId = 0;
    LONG result = 0;
    DWORD_PTR instance = 0;
};

struct StandinState {
    CRITICAL_SECTION lock;
    StandinConfig config;
    std::vector<AppRecord> apps;
    std::vector<PendingEvent> events;
    // Handles are never reused, so a stale one is always recognised; the
    // three kinds lie in separate ranges, so one passed for another is too.
    DWORD nextApp = 0x10001;
    DWORD nextLine = 0x20001;
    DWORD nextCall = 0x30001;
    LONG nextRequest = 1;
    unsigned long nextOrder = 0;
    int answersRefused = 0;   // lineAnswer calls refused so far in this process
};

extern StandinState standin;

// Holds standin.lock for its scope.
struct StateLock {
    StateLock() { EnterCriticalSection(&standin.lock); }
    ~StateLock() { LeaveCriticalSection(&standin.lock); }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
};

// Look-ups (lock held); null when the handle is unknown.
AppRecord* FindApp(HLINEAPP handle);
LineRecord* FindLine(HLINE handle, AppRecord** app = nullptr);
LineRecord* FindCallLine(HCALL handle, AppRecord** app = nullptr);
LineRecord* FindOtherCallLine(HCALL handle, AppRecord** app = nullptr);
// The configuration of a device id, or null (lock held).
const LineConfig* DeviceConfig(DWORD deviceId);
