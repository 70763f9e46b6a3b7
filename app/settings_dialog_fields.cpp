// The settings dialog's text fields: the checks when a field loses the focus
// and the clamps applied as numbers are typed.
#include "app/settings_dialog_fields.h"

#include "app/output_location.h"
#include "app/settings_dialog_handlers.h"
#include "core/settings.h"
#include "errors/error_codes.h"
#include "errors/report_error.h"
#include "res/resource.h"

namespace {

constexpr int FIELD_TEXT_READ = 260;    // up to 259 characters and the NUL

// A field is checked when the user moves on to another control of the
// dialog. The focus leaving the dialog (another program, a message box, the
// window system taking it away) is no moving on, and checking then would
// raise a box whose own closing takes the focus away again.
bool FocusLossIsChecked(HWND dialog)
{
    if (settingsDialogState.reportingField || settingsDialogState.ending) return false;
    HWND focus = GetFocus();    // the window receiving the focus
    return focus != nullptr && IsChild(dialog, focus);
}

}  // namespace

// The focus goes back to the field before the error is shown, so that the
// dialog gives it back to that field, not to the one the user went to, when
// the box closes. Meanwhile the focus losses of the fields are not checked:
// two faulty fields would otherwise hand the focus, and an error box, back
// and forth without end.
void RejectField(HWND dialog, int fieldId, int code)
{
    settingsDialogState.reportingField = true;
    HWND field = GetDlgItem(dialog, fieldId);
    SetFocus(field);
    ReportError(dialog, code);
    if (GetFocus() != field) SetFocus(field);
    settingsDialogState.reportingField = false;
}

namespace {

void CheckTextField(HWND dialog, int fieldId, const char* forbidden, int code)
{
    if (!FocusLossIsChecked(dialog)) return;
    char text[FIELD_TEXT_READ] = {};
    GetDlgItemTextA(dialog, fieldId, text, FIELD_TEXT_READ);
    if (HoldsAnyOf(text, forbidden)) RejectField(dialog, fieldId, code);
}

}  // namespace

bool ReadFieldNumber(HWND dialog, int fieldId, unsigned* value)
{
    BOOL translated = FALSE;
    *value = GetDlgItemInt(dialog, fieldId, &translated, FALSE);
    return translated != FALSE;
}

void ReadDirectoryField(HWND dialog, char* directory)
{
    directory[0] = '\0';
    GetDlgItemTextA(dialog, IDC_DIRECTORY, directory, FIELD_TEXT_READ);
    if (directory[0] == '\0')
        ProgramDirectory(directory);
    else
        NormalizeDirectory(directory);
}

void OnDirectoryKillFocus(HWND dialog)
{
    CheckTextField(dialog, IDC_DIRECTORY, DIRECTORY_FORBIDDEN, ERR_DIRECTORY);
}

void OnFileNameKillFocus(HWND dialog)
{
    CheckTextField(dialog, IDC_FILE_NAME, FILE_NAME_FORBIDDEN, ERR_FILE_NAME);
}

void OnNumberKillFocus(HWND dialog, int fieldId)
{
    if (!FocusLossIsChecked(dialog)) return;
    unsigned value = 0;
    if (!ReadFieldNumber(dialog, fieldId, &value)) RejectField(dialog, fieldId, ERR_INVALID_VALUE);
}

void ClampCountFieldText(HWND dialog, int fieldId, unsigned maximum)
{
    char text[4] = {};    // the clamp looks at the first three characters only
    GetDlgItemTextA(dialog, fieldId, text, sizeof text);
    unsigned value = 0;
    const bool hasNumber = ReadFieldNumber(dialog, fieldId, &value);
    const int replacement = ClampCountField(text, hasNumber, value, maximum);
    if (replacement != LEAVE_FIELD) SetDlgItemInt(dialog, fieldId, static_cast<UINT>(replacement), FALSE);
}

void ClampDelayFieldText(HWND dialog)
{
    unsigned value = 0;
    const bool hasNumber = ReadFieldNumber(dialog, IDC_CHAR_DELAY, &value);
    const int replacement = ClampDelayField(hasNumber, value);
    if (replacement != LEAVE_FIELD) SetDlgItemInt(dialog, IDC_CHAR_DELAY, static_cast<UINT>(replacement), FALSE);
}
