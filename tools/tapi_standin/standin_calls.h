// Reading the stand-in's call log (format in README.md): shared by its check
// under Wine and by the end-to-end harness on the Linux side.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The logged telephony calls of `logText`, time stamps removed, of one
// function or of all ("").
inline std::vector<std::string> StandinCalls(std::string_view logText, std::string_view function = "")
{
    std::vector<std::string> calls;
    while (!logText.empty()) {
        const size_t end = logText.find('\n');
        const std::string_view line = logText.substr(0, end);
        logText = end == std::string_view::npos ? std::string_view{} : logText.substr(end + 1);
        const size_t blank = line.find(' ');
        const std::string_view call = blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1);
        const bool named = function.empty() ? call.substr(0, 4) == "line"
                                            : call.substr(0, function.size() + 1) == std::string(function) + " ";
        if (named) calls.emplace_back(call);
    }
    return calls;
}
