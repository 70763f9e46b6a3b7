// Shared steps of the session-window scenarios.
#pragma once

#include <glob.h>

#include "harness.h"

namespace e2e {

constexpr int SESSION_STATUS = 201;
constexpr int END_CODE_WAIT_MS = 20000;
constexpr int BOX_TEXT = 0xFFFF;   // tells a box from the session window of the same caption

inline CommandLine SerialSession(int comPort, const std::string& windowsPath, int saveMode)
{
    CommandLine line;
    line.path = windowsPath;
    line.comPort = comPort;
    line.saveMode = saveMode;
    return line;
}

// Serves the port with these transfers; false when the port is not usable.
inline bool Serve(ComPort& port, const std::vector<termsim::TransferPlan>& plans)
{
    for (const auto& plan : plans) port.Simulator().AddTransfer(plan);
    port.StartSimulator();
    return port.Ok();
}

inline std::vector<std::string> CommandTexts(const termsim::TerminalSimulator& sim)
{
    std::vector<std::string> texts;
    for (const auto& command : sim.Commands()) texts.push_back(command.text);
    return texts;
}

// Milliseconds between consecutive commands with this text sent after fromNs.
inline std::vector<double> IntervalsMs(const termsim::TerminalSimulator& sim, const std::string& text, int64_t fromNs = 0)
{
    std::vector<double> gaps;
    int64_t previous = -1;
    for (const auto& command : sim.Commands()) {
        if (command.text != text || command.timeNs < fromNs) continue;
        if (previous >= 0) gaps.push_back(static_cast<double>(command.timeNs - previous) / 1e6);
        previous = command.timeNs;
    }
    return gaps;
}

// Names in a directory that start with prefix and end with suffix.
inline std::vector<std::string> FilesLike(const std::string& dir, const std::string& prefix, const std::string& suffix)
{
    std::vector<std::string> names;
    glob_t found{};
    if (glob((dir + "/" + prefix + "*" + suffix).c_str(), 0, nullptr, &found) == 0)
        for (size_t i = 0; i < found.gl_pathc; ++i) names.push_back(std::string(found.gl_pathv[i]).substr(dir.size() + 1));
    globfree(&found);
    return names;
}

}  // namespace e2e
