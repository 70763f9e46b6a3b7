#include "standin_state.h"

StandinState standin;

AppRecord* FindApp(HLINEAPP handle)
{
    for (AppRecord& app : standin.apps)
        if (handle != 0 && app.handle == handle) return &app;
    return nullptr;
}

namespace {

// The line whose `field` (its own handle or its call's) is `handle`.
LineRecord* FindLineBy(DWORD LineRecord::*field, DWORD handle, AppRecord** owner)
{
    if (handle == 0) return nullptr;
    for (AppRecord& app : standin.apps) {
        for (LineRecord& line : app.lines) {
            if (line.*field == handle) {
                if (owner != nullptr) *owner = &app;
                return &line;
            }
        }
    }
    return nullptr;
}

}  // namespace

LineRecord* FindLine(HLINE handle, AppRecord** owner)
{
    return FindLineBy(&LineRecord::handle, handle, owner);
}

LineRecord* FindCallLine(HCALL handle, AppRecord** owner)
{
    return FindLineBy(&LineRecord::call, handle, owner);
}

LineRecord* FindOtherCallLine(HCALL handle, AppRecord** owner)
{
    return FindLineBy(&LineRecord::otherCall, handle, owner);
}

const LineConfig* DeviceConfig(DWORD deviceId)
{
    return deviceId < standin.config.lines.size() ? &standin.config.lines[deviceId] : nullptr;
}
