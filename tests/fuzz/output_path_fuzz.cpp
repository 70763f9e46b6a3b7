// Feeds any text to the output-location string rules, with a current
// directory taken from the input too, and checks that no result is longer
// than a location may be and that a path that does not fit is refused whole.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/output_path.h"
#include "core/settings.h"

namespace {

bool Fits(const char* text)
{
    return std::strlen(text) <= static_cast<size_t>(MAX_PATH_CHARS);
}

// An exact-size heap copy, NUL-terminated, so a read past it is caught.
std::vector<char> Text(const std::string& bytes)
{
    std::vector<char> text(bytes.begin(), bytes.end());
    text.push_back('\0');
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input is "current directory" NUL "path"; the current directory is
    // what the system gives, so it always fits.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    std::string current = split == std::string::npos ? "C:\\Prog\\Bin" : input.substr(0, split);
    current = current.substr(0, MAX_PATH_CHARS);
    const std::string path = (split == std::string::npos ? input : input.substr(split + 1)).substr(0, 2 * PATH_BUFFER);
    const std::string pathText = path.substr(0, path.find('\0'));
    const std::vector<char> currentText = Text(current.substr(0, current.find('\0')));

    for (bool withFile : {true, false}) {
        char directory[PATH_BUFFER], file[PATH_BUFFER];
        const std::vector<char> stored = Text(pathText);
        const int split_ok = SplitOutputPathText(stored.data(), currentText.data(), directory, withFile ? file : nullptr);
        if (split_ok == 1) {
            if (!Fits(directory) || (withFile && !Fits(file))) std::abort();
        } else if (directory[0] != '\0' || (withFile && file[0] != '\0')) {
            std::abort();   // a refused path leaves nothing to be taken for a location
        }
        if (pathText.size() > static_cast<size_t>(MAX_PATH_CHARS) && split_ok == 1) std::abort();
    }

    if (pathText.size() <= static_cast<size_t>(MAX_PATH_CHARS)) {
        char text[PATH_BUFFER];
        std::memcpy(text, pathText.c_str(), pathText.size() + 1);
        NormalizeDirectoryText(text, currentText.data());
        if (!Fits(text)) std::abort();
        std::memcpy(text, pathText.c_str(), pathText.size() + 1);
        CutToDirectory(text);
        std::memcpy(text, pathText.c_str(), pathText.size() + 1);
        if (CheckOutputFileName(currentText.data(), text) == 1
            && std::strlen(currentText.data()) + 1 + std::strlen(text) > static_cast<size_t>(MAX_PATH_CHARS))
            std::abort();
        char directory[PATH_BUFFER], file[PATH_BUFFER];
        const std::vector<char> chosen = Text(pathText);
        if (SplitChosenPath(chosen.data(), directory, file) == 1 && (!Fits(directory) || !Fits(file))) std::abort();
        for (size_t bufferSize : {size_t{1}, size_t{16}, size_t{PATH_BUFFER}}) {
            std::vector<char> preset(bufferSize);
            BrowsePresetText(currentText.data(), chosen.data(), preset.data(), bufferSize);
            if (std::strlen(preset.data()) >= bufferSize) std::abort();
        }
    }
    return 0;
}
