// String rules of the output location, free of platform calls.
#include "app/output_path.h"

#include "app/settings.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view FORBIDDEN_FILE_NAME_CHARS = "\\\"/*:?<>|";
constexpr std::string_view DEFAULT_EXTENSION = ".txt";

// Copies at most PATH_BUFFER - 1 characters. A cut text is always longer
// than any location may be, so the later length check refuses it.
void CopyPath(char* out, std::string_view text)
{
    const size_t length = text.size() < static_cast<size_t>(MAX_PATH_CHARS) ? text.size() : MAX_PATH_CHARS;
    std::memmove(out, text.data(), length);
    out[length] = '\0';
}

// Where a path is cut to leave its directory: after a backslash that follows
// a colon (drive root), else at the backslash.
size_t DirectoryLength(std::string_view path, size_t backslash)
{
    return (backslash > 0 && path[backslash - 1] == ':') ? backslash + 1 : backslash;
}

// The three special forms resolved against the current directory; false
// when the text is none of them.
bool ResolveSpecialForm(std::string_view text, std::string_view current, char* out)
{
    if (text == "\\\\") {
        const size_t last = current.rfind('\\');
        if (last != std::string_view::npos && !(last > 0 && current[last - 1] == ':')) current = current.substr(0, last);
        CopyPath(out, current);
        return true;
    }
    if (text == ".\\") {
        CopyPath(out, current);
        return true;
    }
    if (text == "\\") {
        const size_t first = current.find('\\');
        if (first != std::string_view::npos) current = current.substr(0, first + 1);
        CopyPath(out, current);
        return true;
    }
    return false;
}

}  // namespace

void NormalizeDirectoryText(char* text, const char* currentDirectory)
{
    if (ResolveSpecialForm(text, currentDirectory, text)) return;
    const size_t length = std::strlen(text);
    if (length >= 2 && text[length - 1] == '\\' && text[length - 2] != ':') text[length - 1] = '\0';
}

void CutToDirectory(char* path)
{
    const std::string_view text(path);
    const size_t last = text.rfind('\\');
    if (last != std::string_view::npos) path[DirectoryLength(text, last)] = '\0';
}

void SplitOutputPathText(const char* path, const char* currentDirectory, char* directoryOut, char* fileOut)
{
    if (path[0] == '\0') {
        CopyPath(directoryOut, currentDirectory);
        return;
    }
    char work[PATH_BUFFER];
    if (!ResolveSpecialForm(path, currentDirectory, work)) CopyPath(work, path);
    const std::string_view text(work);
    const size_t last = text.rfind('\\');

    if (fileOut != nullptr) {
        if (last == std::string_view::npos) {
            CopyPath(directoryOut, currentDirectory);
            CopyPath(fileOut, path);
            return;
        }
        CopyPath(fileOut, text.substr(last + 1));
        CopyPath(directoryOut, text.substr(0, DirectoryLength(text, last)));
        return;
    }
    if (!text.empty() && text.back() == '\\') {
        CopyPath(directoryOut, text.substr(0, DirectoryLength(text, text.size() - 1)));
        return;
    }
    CopyPath(directoryOut, text);
}

bool HasForbiddenFileNameChar(const char* name)
{
    return std::string_view(name).find_first_of(FORBIDDEN_FILE_NAME_CHARS) != std::string_view::npos;
}

int CompleteFileNameExtension(char* name)
{
    const size_t length = std::strlen(name);
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr) {
        if (length + DEFAULT_EXTENSION.size() > static_cast<size_t>(MAX_PATH_CHARS)) return 0;
        std::memcpy(name + length, DEFAULT_EXTENSION.data(), DEFAULT_EXTENSION.size());
        name[length + DEFAULT_EXTENSION.size()] = '\0';
        return 1;
    }
    auto isLetter = [](char c, char lower) { return c == lower || c == lower - ('a' - 'A'); };
    // dot[1..3] are read only while the text has not ended before them.
    if (isLetter(dot[1], 't') && isLetter(dot[2], 'x') && isLetter(dot[3], 't')) name[dot - name + 4] = '\0';
    return 1;
}

int CheckOutputFileName(const char* directory, char* fileName)
{
    if (HasForbiddenFileNameChar(fileName)) return 0;
    if (!CompleteFileNameExtension(fileName)) return 0;
    return std::strlen(directory) + std::strlen(fileName) + 1 <= static_cast<size_t>(MAX_PATH_CHARS) ? 1 : 0;
}

void BrowsePresetText(const char* workDirectory, const char* fileName, char* out, size_t fileBufferSize)
{
    out[0] = '\0';
    const std::string_view directory(workDirectory);
    const std::string_view name(fileName);
    if (directory.find('\\') == std::string_view::npos || name.empty() || fileBufferSize == 0) return;
    const bool needsBackslash = directory.back() != '\\';
    const size_t joined = directory.size() + (needsBackslash ? 1 : 0) + name.size();
    if (joined < fileBufferSize) {
        std::memcpy(out, directory.data(), directory.size());
        size_t at = directory.size();
        if (needsBackslash) out[at++] = '\\';
        std::memcpy(out + at, name.data(), name.size());
        out[joined] = '\0';
        return;
    }
    // Too long for the dialog's buffer: the name alone still spares the user
    // typing it, and the dialog opens in the work directory anyway.
    if (name.size() < fileBufferSize) {
        std::memcpy(out, name.data(), name.size());
        out[name.size()] = '\0';
    }
}

int SplitChosenPath(const char* chosen, char* directoryOut, char* fileOut)
{
    const std::string_view text(chosen);
    const size_t last = text.rfind('\\');
    if (last == std::string_view::npos) return 0;
    const size_t directoryLength = DirectoryLength(text, last);
    const size_t nameLength = text.size() - last - 1;
    if (directoryLength > static_cast<size_t>(MAX_PATH_CHARS) || nameLength > static_cast<size_t>(MAX_PATH_CHARS)) {
        return 0;
    }
    CopyPath(fileOut, text.substr(last + 1));
    CopyPath(directoryOut, text.substr(0, directoryLength));
    return 1;
}
