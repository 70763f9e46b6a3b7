// Feeds arbitrary bytes to the settings text parser in both modes and to
// TrimBlanks, and checks what must always hold afterwards.
#include "core/settings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void CheckRecord()
{
    if (settings.interfaceKind > MODEM_COM || settings.baudIndex > BAUD_INDEX_9600 || settings.saveMode > AUTO_APPEND
        || settings.comPort < 1 || settings.comPort > 255 || settings.pollingTime < 1 || settings.pollingTime > 999
        || settings.interCharDelay < 0 || settings.interCharDelay > 255 || settings.addReturn > 1
        || settings.addLineFeed > 1 || settings.showErrorMessages > 1 || settings.viewReceivedData > 1
        || settings.alwaysShowDialog > 1 || settings.keepOnline > 1
        || std::strlen(settings.storedPath) > static_cast<size_t>(PATH_BUFFER)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exact-size heap copy so that any read past the text's end is caught.
    std::vector<char> text(data, data + size);
    text.push_back('\0');

    SetSettingsFileDefaults();
    ParseSettingsText(text.data());
    CheckRecord();

    // Start-up never passes 360 characters or more, but the copy is bounded.
    LoadSettingsCommandLine(text.data());
    CheckRecord();
    SettingsCommandLine(text.data());

    // The first byte picks a limit, as small as 0, so the cut itself is tested.
    const int limit = size > 0 ? data[0] % 300 : 261;
    std::vector<char> trimmed(static_cast<size_t>(limit < 2 ? 2 : limit) + 1);
    TrimBlanks(text.data(), limit, trimmed.data());
    if (std::strlen(trimmed.data()) > static_cast<size_t>(limit < 2 ? 2 : limit)) std::abort();

    char formatted[SETTINGS_TEXT_CAPACITY];
    FormatSettingsText(settings, formatted);
    return 0;
}
