// Which controls of the settings dialog apply to the chosen interface, save
// mode and keep-online state: one table, walked by ApplyEnableRules. What
// applies to an interface is asked of its link kind.
#pragma once

#include "core/settings.h"
#include "link/link_kind.h"
#include "res/resource.h"

enum class EnableWhen {
    ON_COM_PORT,                // COM port and baud rate: a telephony line device has neither
    LINE_DEVICE,                // Modem config: only a telephony line device has a dialog of its own
    NOT_KEYBOARD,               // directory, Browse, line feed: nothing is written to a file
    WRITES_NAMED_FILE,          // file name: neither typed nor automatically named
    KEYBOARD,                   // inter-character delay: only typing is paced
    NOT_APPEND,                 // keep online, polling time
    VIEW_OFFERED,               // view data: a single file, and no unattended polling
};

struct EnableRule {
    int controlId;
    EnableWhen when;
};

// Sized by its rows, so a row cannot be dropped or padded unnoticed.
constexpr EnableRule ENABLE_RULES[] = {
    {IDC_COM_PORT_LABEL, EnableWhen::ON_COM_PORT},
    {IDC_COM_PORT, EnableWhen::ON_COM_PORT},
    {IDC_COM_PORT_RANGE, EnableWhen::ON_COM_PORT},
    {IDC_BAUD_RATE, EnableWhen::ON_COM_PORT},
    {IDC_BAUD_RATE_LABEL, EnableWhen::ON_COM_PORT},
    {IDC_MODEM_CONFIG, EnableWhen::LINE_DEVICE},
    {IDC_DIRECTORY_LABEL, EnableWhen::NOT_KEYBOARD},
    {IDC_DIRECTORY, EnableWhen::NOT_KEYBOARD},
    {IDC_BROWSE, EnableWhen::NOT_KEYBOARD},
    {IDC_ADD_LINE_FEED, EnableWhen::NOT_KEYBOARD},
    {IDC_FILE_NAME_LABEL, EnableWhen::WRITES_NAMED_FILE},
    {IDC_FILE_NAME, EnableWhen::WRITES_NAMED_FILE},
    {IDC_DELAY_LABEL, EnableWhen::KEYBOARD},
    {IDC_CHAR_DELAY, EnableWhen::KEYBOARD},
    {IDC_DELAY_SPIN, EnableWhen::KEYBOARD},
    {IDC_DELAY_RANGE, EnableWhen::KEYBOARD},
    {IDC_KEEP_ONLINE, EnableWhen::NOT_APPEND},
    {IDC_POLLING_LABEL, EnableWhen::NOT_APPEND},
    {IDC_POLLING_TIME, EnableWhen::NOT_APPEND},
    {IDC_POLLING_RANGE, EnableWhen::NOT_APPEND},
    {IDC_VIEW_DATA, EnableWhen::VIEW_OFFERED},
};

inline bool RuleHolds(EnableWhen when, InterfaceKind kind, SaveMode mode, bool keepOnline)
{
    switch (when) {
    case EnableWhen::ON_COM_PORT: return !LinkKindOf(kind).choosesLineDevice;
    case EnableWhen::LINE_DEVICE: return LinkKindOf(kind).choosesLineDevice;
    case EnableWhen::NOT_KEYBOARD: return mode != KEYBOARD_EMULATION;
    case EnableWhen::WRITES_NAMED_FILE: return mode != KEYBOARD_EMULATION && mode != AUTO_FILE_NAME;
    case EnableWhen::KEYBOARD: return mode == KEYBOARD_EMULATION;
    case EnableWhen::NOT_APPEND: return mode != APPEND;
    case EnableWhen::VIEW_OFFERED: return (mode == OVERWRITE || mode == APPEND) && !keepOnline;
    }
    return true;
}
