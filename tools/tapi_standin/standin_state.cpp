#include "standin_state.h"

StandinState standin;

AppRecord* FindApp(HLINEAPP handle)
{
    for (AppRecord& app : standin.apps)
        if (handle != 0 && app.handle == handle) return &app;
    return nullptr;
}

LineRecord* FindLine(HLINE handle, AppRecord** owner)
{
    for (AppRecord& app : standin.apps) {
        for (LineRecord& line : app.lines) {
            if (handle != 0 && line.handle == handle) {
                if (owner != nullptr) *owner = &app;
                return &line;
            }
        }
    }
    return nullptr;
}

LineRecord* FindCallLine(HCALL handle, AppRecord** owner)
{
    for (AppRecord& app : standin.apps) {
        for (LineRecord& line : app.lines) {
            if (handle != 0 && line.call == handle) {
                if (owner != nullptr) *owner = &app;
                return &line;
            }
        }
    }
    return nullptr;
}

const LineConfig* DeviceConfig(DWORD deviceId)
{
    return deviceId < standin.config.lines.size() ? &standin.config.lines[deviceId] : nullptr;
}
