// The settings record, its defaults and its text form, shared by the
// settings file (lines ended by CR LF) and the command line (commas).
#include "core/settings.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string_view>

Settings settings;
char settingsFilePath[PATH_BUFFER];

namespace {

constexpr size_t WHOLE_TEXT_LIMIT = 311;     // a text this long is taken whole
constexpr size_t CUT_TEXT_LENGTH = 309;      // a longer one is cut to this
constexpr size_t REMAINDER_LIMIT = 260;      // the values after the path
constexpr int TRIM_LIMIT = 261;
constexpr std::string_view VALUE_DELIMITERS = ",\r\n";

constexpr const char PATH_AND_FILE_FORMAT[] =
    "%s\\%s\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n";
constexpr const char PATH_ONLY_FORMAT[] =
    "%s\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n%d\r\n";

void SetCommonDefaults()
{
    settings.interfaceKind = RS232_IRDA;
    settings.comPort = 1;
    settings.baudIndex = BAUD_INDEX_115200;
    settings.saveMode = OVERWRITE;
    settings.addReturn = 1;
    settings.addLineFeed = 1;
    settings.showErrorMessages = 1;
    settings.keepOnline = 0;
    settings.pollingTime = 2;
    settings.interCharDelay = 2;
    settings.storedPath[0] = '\0';
    settings.outputDirectory[0] = '\0';
    settings.outputFileName[0] = '\0';
}

// Splits like strtok (runs of delimiters count as one, no empty tokens) but
// keeps its position in the caller's cursor, so it is re-entrant.
bool NextToken(std::string_view& rest, std::string_view& token)
{
    const size_t start = rest.find_first_not_of(VALUE_DELIMITERS);
    if (start == std::string_view::npos) {
        rest = {};
        return false;
    }
    rest.remove_prefix(start);
    const size_t end = rest.find_first_of(VALUE_DELIMITERS);
    token = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    return true;
}

// The leading white space that atoi skips; tokens are already free of
// blanks, CR and LF, so only tab, vertical tab and form feed remain.
bool IsAtoiSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The number at the start of the text as atoi reads it: white space, an
// optional sign, decimal digits up to the first other character; no digits
// give 0. Values too large to matter saturate instead of overflowing.
long ReadLeadingNumber(const char* text)
{
    constexpr long SATURATION = 1000000000L;
    while (IsAtoiSpace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value < SATURATION) value = value * 10 + (*text - '0');
    }
    return negative ? -value : value;
}

// A one-digit field: its first character must lie in first..last.
bool ReadDigitField(const char* token, char first, char last, uint8_t& field, int offset)
{
    if (token[0] < first || token[0] > last) return false;
    field = static_cast<uint8_t>(token[0] - '0' - offset);
    return true;
}

bool ReadNumberField(const char* token, long low, long high, int32_t& field)
{
    const long value = ReadLeadingNumber(token);
    if (value < low || value > high) return false;
    field = static_cast<int32_t>(value);
    return true;
}

void ApplyValue(int index, const char* token)
{
    uint8_t digit = 0;
    switch (index) {
    case 0:
        if (ReadDigitField(token, '1', '4', digit, 1)) settings.interfaceKind = static_cast<InterfaceKind>(digit);
        break;
    case 1: ReadNumberField(token, 1, 255, settings.comPort); break;
    case 2:
        if (ReadDigitField(token, '1', '5', digit, 1)) settings.baudIndex = static_cast<BaudIndex>(digit);
        break;
    case 3:
        if (ReadDigitField(token, '1', '5', digit, 1)) settings.saveMode = static_cast<SaveMode>(digit);
        break;
    case 4: ReadDigitField(token, '0', '1', settings.addReturn, 0); break;
    case 5: ReadDigitField(token, '0', '1', settings.addLineFeed, 0); break;
    case 6: ReadDigitField(token, '0', '1', settings.showErrorMessages, 0); break;
    case 7: ReadDigitField(token, '0', '1', settings.viewReceivedData, 0); break;
    case 8: ReadDigitField(token, '0', '1', settings.alwaysShowDialog, 0); break;
    case 9: ReadDigitField(token, '0', '1', settings.keepOnline, 0); break;
    case 10: ReadNumberField(token, 1, 999, settings.pollingTime); break;
    case 11: ReadNumberField(token, 0, 255, settings.interCharDelay); break;
    default: break;
    }
}

constexpr int VALUE_FIELD_COUNT = 12;

}  // namespace

void SetSettingsFileDefaults()
{
    SetCommonDefaults();
    settings.viewReceivedData = 1;
    settings.alwaysShowDialog = 1;
    settings.commandLineMode = 0;
}

void SetCommandLineDefaults()
{
    SetCommonDefaults();
    settings.viewReceivedData = 0;
    settings.alwaysShowDialog = 0;
    settings.commandLineMode = 1;
}

void TrimBlanks(const char* source, int limit, char* out)
{
    std::string_view text(source);
    if (limit < 2) limit = 2;
    if (text.size() > static_cast<size_t>(limit)) text = text.substr(0, static_cast<size_t>(limit) - 2);
    if (text.size() > 1) {
        // Trailing blanks go first, but never the first character; then the
        // leading ones, but never the last: a text of blanks keeps one.
        while (text.size() > 1 && text.back() == ' ') text.remove_suffix(1);
        while (text.size() > 1 && text.front() == ' ') text.remove_prefix(1);
    }
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
}

namespace {

// A path is never shortened into another name: one longer than a location
// may be keeps a character more than the limit, and every later check
// refuses it.
void StorePathText(const char* piece)
{
    char trimmed[WHOLE_TEXT_LIMIT + 1];
    TrimBlanks(piece, static_cast<int>(sizeof trimmed), trimmed);
    const size_t length = std::min(std::strlen(trimmed), sizeof settings.storedPath - 1);
    std::memcpy(settings.storedPath, trimmed, length);
    settings.storedPath[length] = '\0';
}

}  // namespace

void ParseSettingsText(const char* text)
{
    std::string_view work(text);
    if (work.size() > WHOLE_TEXT_LIMIT) work = work.substr(0, CUT_TEXT_LENGTH);

    const char separator = settings.commandLineMode ? ',' : '\r';
    const size_t separatorAt = work.find(separator);
    if (separatorAt == std::string_view::npos) return;

    char piece[WHOLE_TEXT_LIMIT + 1];
    const std::string_view path = work.substr(0, separatorAt);
    std::memcpy(piece, path.data(), path.size());
    piece[path.size()] = '\0';
    StorePathText(piece);

    std::string_view rest = work.substr(separatorAt + 1, REMAINDER_LIMIT);
    for (int index = 0; index < VALUE_FIELD_COUNT; ++index) {
        std::string_view token;
        if (!NextToken(rest, token)) return;
        std::memcpy(piece, token.data(), token.size());
        piece[token.size()] = '\0';
        char trimmed[TRIM_LIMIT + 1];
        TrimBlanks(piece, TRIM_LIMIT, trimmed);
        ApplyValue(index, trimmed);
    }
}

int FormatSettingsText(const Settings& record, char* out)
{
    const bool withFileName = record.saveMode == OVERWRITE || record.saveMode == APPEND
                              || record.saveMode == AUTO_APPEND;
    const int values[VALUE_FIELD_COUNT] = {
        record.interfaceKind + 1, record.comPort, record.baudIndex + 1, record.saveMode + 1,
        record.addReturn, record.addLineFeed, record.showErrorMessages, record.viewReceivedData,
        record.alwaysShowDialog, record.keepOnline, record.pollingTime, record.interCharDelay,
    };
    int length;
    if (withFileName) {
        length = std::snprintf(out, SETTINGS_TEXT_CAPACITY, PATH_AND_FILE_FORMAT, record.outputDirectory,
                               record.outputFileName, values[0], values[1], values[2], values[3], values[4],
                               values[5], values[6], values[7], values[8], values[9], values[10], values[11]);
    } else {
        length = std::snprintf(out, SETTINGS_TEXT_CAPACITY, PATH_ONLY_FORMAT, record.outputDirectory, values[0],
                               values[1], values[2], values[3], values[4], values[5], values[6], values[7],
                               values[8], values[9], values[10], values[11]);
    }
    // A validated location keeps the text far below the capacity; should an
    // unchecked record ever overflow it, report what was really written.
    if (length < 0) {
        out[0] = '\0';
        return 0;
    }
    return length < SETTINGS_TEXT_CAPACITY ? length : SETTINGS_TEXT_CAPACITY - 1;
}

PathModeKind PathMode(SaveMode mode)
{
    if (mode == KEYBOARD_EMULATION) return PATH_NONE;
    if (mode == AUTO_FILE_NAME) return PATH_DIRECTORY;
    return PATH_DIRECTORY_AND_FILE;
}

void LoadSettingsCommandLine(const char* commandLine)
{
    SetCommandLineDefaults();
    char copy[COMMAND_LINE_LIMIT];
    std::snprintf(copy, sizeof copy, "%s", commandLine);
    ParseSettingsText(copy);
}

const char* SettingsCommandLine(const char* processCommandLine)
{
    const char* at = processCommandLine;
    if (*at == '"') {
        ++at;
        while (*at != '\0' && *at != '"') ++at;
        if (*at == '"') ++at;
    } else {
        while (static_cast<unsigned char>(*at) > ' ') ++at;
    }
    while (*at != '\0' && static_cast<unsigned char>(*at) <= ' ') ++at;
    return at;
}
