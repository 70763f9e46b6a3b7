// Shared steps of the session-window scenarios: a port with the simulator,
// the command line of a serial session, and reading the host's timing.
#pragma once

#include <algorithm>
#include <dirent.h>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

constexpr int SESSION_STATUS = 201;
constexpr int SESSION_PORT_ICON = 1058;
constexpr int END_CODE_WAIT_MS = 20000;

// A serial session on this port, into the given path, with no boxes of its
// own unless a test asks for them.
inline CommandLine SerialSession(int comPort, const std::string& windowsPath, int saveMode)
{
    CommandLine line;
    line.path = windowsPath;
    line.comPort = comPort;
    line.saveMode = saveMode;
    line.addReturn = 1;
    line.addLineFeed = 1;
    line.showErrorMessages = 1;
    line.viewReceivedData = 0;
    line.keepOnline = 0;
    line.pollingTime = 2;
    return line;
}

// The commands the host sent, as texts in order.
inline std::vector<std::string> CommandTexts(const termsim::TerminalSimulator& sim)
{
    std::vector<std::string> texts;
    for (const auto& command : sim.Commands()) texts.push_back(command.text);
    return texts;
}

// Milliseconds between consecutive commands with this text.
inline std::vector<double> IntervalsMs(const termsim::TerminalSimulator& sim, const std::string& text)
{
    std::vector<double> gaps;
    int64_t previous = -1;
    for (const auto& command : sim.Commands()) {
        if (command.text != text) continue;
        if (previous >= 0) gaps.push_back(static_cast<double>(command.timeNs - previous) / 1e6);
        previous = command.timeNs;
    }
    return gaps;
}

// Names in a directory that start with prefix and end with suffix.
inline std::vector<std::string> FilesLike(const std::string& dir, const std::string& prefix, const std::string& suffix)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name.size() >= prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A message box titled like the session window (the completion boxes): the
// session window itself has the same class and caption but no message text,
// so the wait is on the box's text control.
constexpr int BOX_TEXT = 0xFFFF;
inline bool WaitSessionBox(const std::string& expected, int timeoutMs, std::string* seen)
{
    return WaitControlText(SESSION_CAPTION, BOX_TEXT, expected, timeoutMs, seen);
}

inline bool HasErrorBox()
{
    for (const std::string& window : ListWindows())
        if (window.find(ERROR_CAPTION) != std::string::npos) return true;
    return false;
}

}  // namespace e2e
