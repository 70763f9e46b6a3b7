// The hidden window and the events it delivers. An event is a change of the
// telephony world at a given time (a call arriving, connecting, hanging up);
// the state is checked again when it falls due, so an event outlived by its
// line or call is dropped, as the real service does.
#include "standin_events.h"

#include <algorithm>

#include "standin_log.h"

namespace {

constexpr char WINDOW_CLASS[] = "TelephonyEventWindow";
constexpr UINT MSG_ARM_TIMER = WM_APP + 1;
constexpr UINT_PTR EVENT_TIMER = 1;
constexpr int WATCH_PERIOD_MS = 5;   // how often a hang-up file is looked for

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

const char* MessageName(DWORD message)
{
    switch (message) {
    case LINE_APPNEWCALL: return "LINE_APPNEWCALL";
    case LINE_CALLSTATE: return "LINE_CALLSTATE";
    case LINE_REPLY: return "LINE_REPLY";
    default: return "LINE_?";
    }
}

// One callback to make once the lock is released.
struct Delivery {
    LINECALLBACK callback = nullptr;
    DWORD device = 0;
    DWORD message = 0;
    DWORD_PTR instance = 0, param1 = 0, param2 = 0, param3 = 0;
};

void Deliver(const Delivery& d)
{
    if (d.callback == nullptr) return;
    LogLine("callback %s device=0x%lX p1=0x%llX p2=0x%llX p3=0x%llX", MessageName(d.message),
            static_cast<unsigned long>(d.device), static_cast<unsigned long long>(d.param1),
            static_cast<unsigned long long>(d.param2), static_cast<unsigned long long>(d.param3));
    d.callback(d.device, d.message, d.instance, d.param1, d.param2, d.param3);
}

// The callback for a state change of the call on `line`.
Delivery CallState(const AppRecord& app, const LineRecord& line, DWORD state, DWORD detail, DWORD privilege)
{
    return {app.callback, line.call, LINE_CALLSTATE, line.callbackInstance, state, detail, privilege};
}

void OfferCall(const PendingEvent& event)
{
    Delivery newCall, offering;
    {
        StateLock lock;
        AppRecord* app = nullptr;
        LineRecord* line = FindLine(event.handle, &app);
        if (line == nullptr || line->call != 0) return;
        line->call = standin.nextCall++;
        line->callState = LINECALLSTATE_OFFERING;
        newCall = {app->callback, line->handle, LINE_APPNEWCALL, line->callbackInstance,
                   0, line->call, LINECALLPRIVILEGE_OWNER};
        offering = CallState(*app, *line, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_OWNER);
    }
    Deliver(newCall);
    // The program may have answered, closed or shut down inside that callback.
    {
        StateLock lock;
        if (FindCallLine(static_cast<HCALL>(offering.device)) == nullptr) return;
    }
    Deliver(offering);
}

void ChangeCallState(const PendingEvent& event)
{
    Delivery delivery;
    {
        StateLock lock;
        AppRecord* app = nullptr;
        LineRecord* line = FindCallLine(event.handle, &app);
        if (line == nullptr) return;
        if (event.kind == EventKind::CONNECT) {
            if (line->callState != LINECALLSTATE_ACCEPTED) return;
            line->callState = LINECALLSTATE_CONNECTED;
            delivery = CallState(*app, *line, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE, 0);
            // Timed from the connection, not from the end of the program's
            // handling of it (which may take seconds inside the callback).
            const LineConfig* config = DeviceConfig(line->deviceId);
            const auto later = [&](EventKind kind, int delayMs) {
                PendingEvent next;
                next.kind = kind;
                next.handle = line->call;
                Schedule(*app, next, delayMs);
            };
            if (config != nullptr && config->hangupAfterMs >= 0) later(EventKind::HANGUP, config->hangupAfterMs);
            if (config != nullptr && !config->hangupFile.empty()) later(EventKind::WATCH, WATCH_PERIOD_MS);
            if (config != nullptr && config->secondCallAfterMs >= 0)
                later(EventKind::OTHER_OFFER, config->secondCallAfterMs);
            if (config != nullptr && config->connectedTwice) later(EventKind::RECONNECT, 50);
        } else if (event.kind == EventKind::RECONNECT) {
            if (line->callState != LINECALLSTATE_CONNECTED) return;
            delivery = CallState(*app, *line, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE, 0);
        } else if (event.kind == EventKind::WATCH) {
            if (line->callState != LINECALLSTATE_CONNECTED) return;
            const LineConfig* config = DeviceConfig(line->deviceId);
            if (config == nullptr) return;
            if (GetFileAttributesA(config->hangupFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
                PendingEvent watch = event;
                Schedule(*app, watch, WATCH_PERIOD_MS);
                return;
            }
            DeleteFileA(config->hangupFile.c_str());
            line->callState = LINECALLSTATE_DISCONNECTED;
            delivery = CallState(*app, *line, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, 0);
        } else if (event.kind == EventKind::HANGUP) {
            if (line->callState == LINECALLSTATE_IDLE || line->callState == LINECALLSTATE_DISCONNECTED) return;
            line->callState = LINECALLSTATE_DISCONNECTED;
            delivery = CallState(*app, *line, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, 0);
        } else {
            if (line->callState != LINECALLSTATE_IDLE) return;
            delivery = CallState(*app, *line, LINECALLSTATE_IDLE, 0, 0);
        }
    }
    Deliver(delivery);
}

// A second call on the line whose call is `event.handle`, while that call
// is held.
void OfferOtherCall(const PendingEvent& event)
{
    Delivery newCall, offering;
    {
        StateLock lock;
        AppRecord* app = nullptr;
        LineRecord* line = FindCallLine(event.handle, &app);
        if (line == nullptr || line->otherCall != 0) return;
        line->otherCall = standin.nextCall++;
        line->otherState = LINECALLSTATE_OFFERING;
        newCall = {app->callback, line->handle, LINE_APPNEWCALL, line->callbackInstance,
                   0, line->otherCall, LINECALLPRIVILEGE_OWNER};
        offering = {app->callback, line->otherCall, LINE_CALLSTATE, line->callbackInstance,
                    LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_OWNER};
    }
    Deliver(newCall);
    {
        StateLock lock;
        if (FindOtherCallLine(static_cast<HCALL>(offering.device)) == nullptr) return;
    }
    Deliver(offering);
}

void Reply(const PendingEvent& event)
{
    Delivery delivery;
    {
        StateLock lock;
        const AppRecord* app = FindApp(event.app);
        if (app == nullptr) return;
        delivery = {app->callback, 0, LINE_REPLY, event.instance,
                    static_cast<DWORD>(event.requestId), static_cast<DWORD>(event.result), 0};
    }
    Deliver(delivery);
}

// The earliest event of `app` (lock held), or end().
std::vector<PendingEvent>::iterator EarliestEvent(HLINEAPP app)
{
    auto earliest = standin.events.end();
    for (auto it = standin.events.begin(); it != standin.events.end(); ++it) {
        if (it->app != app) continue;
        if (earliest == standin.events.end() || it->due < earliest->due ||
            (it->due == earliest->due && it->order < earliest->order))
            earliest = it;
    }
    return earliest;
}

// Sets the window's timer for its next event (lock held, window's thread).
void ArmTimer(HWND window, HLINEAPP app)
{
    const auto next = EarliestEvent(app);
    if (next == standin.events.end()) {
        KillTimer(window, EVENT_TIMER);
        return;
    }
    const ULONGLONG now = NowMs();
    SetTimer(window, EVENT_TIMER, next->due > now ? static_cast<UINT>(next->due - now) : 0, nullptr);
}

void RunDueEvents(HWND window, HLINEAPP app)
{
    for (;;) {
        PendingEvent event;
        {
            StateLock lock;
            const auto next = EarliestEvent(app);
            if (next == standin.events.end() || next->due > NowMs() || FindApp(app) == nullptr) break;
            event = *next;
            standin.events.erase(next);
        }
        switch (event.kind) {
        case EventKind::OFFER: OfferCall(event); break;
        case EventKind::REPLY: Reply(event); break;
        case EventKind::OTHER_OFFER: OfferOtherCall(event); break;
        default: ChangeCallState(event); break;
        }
    }
    StateLock lock;
    if (FindApp(app) != nullptr) ArmTimer(window, app);
}

LRESULT CALLBACK EventWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HLINEAPP app = static_cast<HLINEAPP>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case MSG_ARM_TIMER: {
        StateLock lock;
        if (FindApp(app) != nullptr) ArmTimer(window, app);
        return 0;
    }
    case WM_TIMER:
        if (wParam == EVENT_TIMER) RunDueEvents(window, app);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

bool CreateEventWindow(AppRecord& app)
{
    static ATOM windowClass = 0;
    if (windowClass == 0) {
        WNDCLASSA description{};
        description.lpfnWndProc = EventWindowProc;
        description.hInstance = ThisModule();
        description.lpszClassName = WINDOW_CLASS;
        windowClass = RegisterClassA(&description);
        if (windowClass == 0) return false;
    }
    app.window = CreateWindowExA(0, WINDOW_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
    if (app.window == nullptr) return false;
    SetWindowLongPtrA(app.window, GWLP_USERDATA, static_cast<LONG_PTR>(app.handle));
    return true;
}

void DestroyEventWindow(HWND window)
{
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) DestroyWindow(window);
    else PostMessageA(window, WM_CLOSE, 0, 0);
}

void Schedule(const AppRecord& app, PendingEvent event, int delayMs)
{
    event.app = app.handle;
    event.due = NowMs() + static_cast<ULONGLONG>(delayMs < 0 ? 0 : delayMs);
    event.order = standin.nextOrder++;
    standin.events.push_back(event);
    // The timer belongs to the window's thread: let that thread set it.
    PostMessageA(app.window, MSG_ARM_TIMER, 0, 0);
}
