// String rules of the output location, free of platform calls.
#include "core/output_path.h"

#include "core/settings.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view FORBIDDEN_FILE_NAME_CHARS = "\\\"/*:?<>|";
constexpr std::string_view DEFAULT_EXTENSION = ".txt";

// Copies a text that fits a location (at most 260 characters); one that does
// not is not copied, and the caller refuses the whole path.
bool CopyPath(char* out, std::string_view text)
{
    if (text.size() > static_cast<size_t>(MAX_PATH_CHARS)) return false;
    std::memmove(out, text.data(), text.size());
    out[text.size()] = '\0';
    return true;
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
    } else if (text == "\\") {
        const size_t first = current.find('\\');
        if (first != std::string_view::npos) current = current.substr(0, first + 1);
    } else if (text != ".\\") {
        return false;
    }
    // The current directory always fits; should it not, the result is empty
    // and no location.
    if (!CopyPath(out, current)) out[0] = '\0';
    return true;
}

// The split of a path whose special forms are resolved; false when a part
// does not fit.
bool SplitResolvedPath(std::string_view text, const char* path, const char* currentDirectory, char* directoryOut,
                       char* fileOut)
{
    const size_t last = text.rfind('\\');
    if (fileOut != nullptr) {
        if (last == std::string_view::npos) return CopyPath(directoryOut, currentDirectory) && CopyPath(fileOut, path);
        return CopyPath(fileOut, text.substr(last + 1))
               && CopyPath(directoryOut, text.substr(0, DirectoryLength(text, last)));
    }
    if (!text.empty() && text.back() == '\\')
        return CopyPath(directoryOut, text.substr(0, DirectoryLength(text, text.size() - 1)));
    return CopyPath(directoryOut, text);
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

int SplitOutputPathText(const char* path, const char* currentDirectory, char* directoryOut, char* fileOut)
{
    if (path[0] == '\0') return CopyPath(directoryOut, currentDirectory) ? 1 : 0;
    char work[PATH_BUFFER];
    const bool fits = (ResolveSpecialForm(path, currentDirectory, work) || CopyPath(work, path))
                      && SplitResolvedPath(work, path, currentDirectory, directoryOut, fileOut);
    if (fits) return 1;
    directoryOut[0] = '\0';
    if (fileOut != nullptr) fileOut[0] = '\0';
    return 0;
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
