// Reading the stand-in's world from its text file.
#include "standin_config.h"

#include <cerrno>
#include <cstdlib>

namespace {

std::string_view Trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Decimal or 0x-hexadecimal, possibly negative; telephony error codes such
// as 0x80000048 are taken as their 32-bit signed value.
bool ParseNumber(std::string_view text, int64_t* value)
{
    const std::string copy(text);
    if (copy.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(copy.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || number < -0x80000000LL || number > 0xFFFFFFFFLL) return false;
    *value = number;
    return true;
}

bool SetInt32(std::string_view text, int32_t* field)
{
    int64_t value = 0;
    if (!ParseNumber(text, &value)) return false;
    *field = static_cast<int32_t>(static_cast<uint32_t>(value));
    return true;
}

bool SetUint32(std::string_view text, uint32_t* field)
{
    int64_t value = 0;
    if (!ParseNumber(text, &value) || value < 0) return false;
    *field = static_cast<uint32_t>(value);
    return true;
}

// A delay in milliseconds, or -1 / "never".
bool SetDelay(std::string_view text, int* field)
{
    int64_t value = 0;
    if (text == "never") value = -1;
    else if (!ParseNumber(text, &value) || value < -1 || value > 600000) return false;
    *field = static_cast<int>(value);
    return true;
}

template <typename Enum, size_t N>
bool SetChoice(std::string_view text, const std::pair<std::string_view, Enum> (&choices)[N], Enum* field)
{
    for (const auto& [word, value] : choices) {
        if (text == word) {
            *field = value;
            return true;
        }
    }
    return false;
}

constexpr std::pair<std::string_view, ShortAnswer> SHORT_ANSWERS[] = {
    {"partial", ShortAnswer::PARTIAL}, {"error", ShortAnswer::REFUSED}, {"error_no_size", ShortAnswer::REFUSED_NO_SIZE}};
constexpr std::pair<std::string_view, CapsReads> CAPS_READS[] = {
    {"ok", CapsReads::OK}, {"fail", CapsReads::FAIL}, {"name_fails", CapsReads::NAME_FAILS}};
constexpr std::pair<std::string_view, CommHandle> COMM_HANDLES[] = {
    {"port", CommHandle::PORT}, {"file", CommHandle::FILE}, {"none", CommHandle::NONE},
    {"invalid", CommHandle::INVALID}};
constexpr std::pair<std::string_view, bool> NEGOTIATIONS[] = {{"ok", true}, {"fail", false}};
constexpr std::pair<std::string_view, bool> NEGOTIATIONS_YES_NO[] = {{"yes", true}, {"no", false}};

bool SetServiceKey(StandinConfig& config, std::string_view key, std::string_view value)
{
    if (key == "log") {
        config.logPath = ToWindowsPath(value);
        return true;
    }
    if (key == "tapi_version") return SetUint32(value, &config.tapiVersion);
    if (key == "init_result") return SetInt32(value, &config.initResult);
    if (key == "config_dialog_result") return SetInt32(value, &config.configDialogResult);
    return false;
}

bool SetLineKey(LineConfig& line, std::string_view key, std::string_view value)
{
    if (key == "name") {
        line.name = std::string(value);
        return true;
    }
    if (key == "media") return SetUint32(value, &line.mediaModes);
    if (key == "negotiate") return SetChoice(value, NEGOTIATIONS, &line.negotiates);
    if (key == "caps") return SetChoice(value, CAPS_READS, &line.caps);
    if (key == "short_answer") return SetChoice(value, SHORT_ANSWERS, &line.shortAnswer);
    if (key == "open_result") return SetInt32(value, &line.openResult);
    if (key == "offer_after") return SetDelay(value, &line.offerAfterMs);
    if (key == "answer_result") return SetInt32(value, &line.answerResult);
    if (key == "answer_refusals") {
        int64_t number = 0;
        if (!ParseNumber(value, &number) || number < -1 || number > 1000000) return false;
        line.answerRefusals = static_cast<int>(number);
        return true;
    }
    if (key == "hangup_file") {
        line.hangupFile = ToWindowsPath(value);
        return !line.hangupFile.empty();
    }
    if (key == "second_call_after") return SetDelay(value, &line.secondCallAfterMs);
    if (key == "connected_twice") return SetChoice(value, NEGOTIATIONS_YES_NO, &line.connectedTwice);
    if (key == "answer_reply") return SetInt32(value, &line.answerReply);
    if (key == "connect_after") return SetDelay(value, &line.connectAfterMs);
    if (key == "hangup_after") return SetDelay(value, &line.hangupAfterMs);
    if (key == "com") {
        int64_t number = 0;
        if (!ParseNumber(value, &number) || number < 1 || number > 255) return false;
        line.comPort = static_cast<int>(number);
        return true;
    }
    if (key == "comm_handle") return SetChoice(value, COMM_HANDLES, &line.commHandle);
    if (key == "getid_result") return SetInt32(value, &line.getIdResult);
    return false;
}

}  // namespace

StandinConfig ParseStandinConfig(std::string_view text)
{
    StandinConfig config;
    int lineNumber = 0;
    while (!text.empty() && config.problem.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line == "[line]") {
            config.lines.emplace_back();
            continue;
        }
        const size_t equals = line.find('=');
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = equals == std::string_view::npos ? "" : Trim(line.substr(equals + 1));
        const bool known = equals != std::string_view::npos &&
                           (config.lines.empty() ? SetServiceKey(config, key, value)
                                                 : SetLineKey(config.lines.back(), key, value));
        if (!known) config.problem = "line " + std::to_string(lineNumber) + ": '" + std::string(line) + "'";
    }
    return config;
}

std::string ToWindowsPath(std::string_view path)
{
    if (path.empty() || path[0] != '/') return std::string(path);
    std::string windows = "Z:";
    for (const char c : path)
        windows += c == '/' ? '\\' : c;
    return windows;
}
