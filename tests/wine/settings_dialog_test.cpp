// The settings dialog driven as a user drives it: the real template and procedure, run
// modally; a script runs in its message loop, boxes are answered from a watcher thread.
#include "app/settings_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/output_location.h"
#include "app/settings_dialog_handlers.h"
#include "box_watcher.h"
#include "core/settings.h"
#include "res/resource.h"
#include "scripted_settings_dialog.h"
#include "test_dir.h"
#include "tests/common/restore_guard.h"

namespace {

using Strings = std::vector<std::string>;

Strings Texts(BoxWatcher& boxes)
{
    Strings texts;
    for (const SeenBox& box : boxes.Boxes()) texts.push_back(box.text);
    return texts;
}

void Select(HWND dialog, int listId, int index)
{
    SendDlgItemMessageA(dialog, listId, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, listId)));
}
void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
void SetChecked(HWND dialog, int id, bool on) { if (Checked(dialog, id) != on) Click(dialog, id); }
void SetText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
void Focus(HWND dialog, int id) { SetFocus(GetDlgItem(dialog, id)); }

// Keystrokes replacing the field's text (so the length limit applies).
void Type(HWND dialog, int id, const std::string& text)
{
    SendDlgItemMessageA(dialog, id, EM_SETSEL, 0, -1);
    for (char c : text) SendDlgItemMessageA(dialog, id, WM_CHAR, static_cast<unsigned char>(c), 1);
}

std::string Text(HWND dialog, int id)
{
    char text[300] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

class SettingsDialogTest : public testing::Test {
protected:
    void SetUp() override { strcpy(settingsFilePath, iniPath.c_str()); Defaults(); }
    void Defaults()
    {
        SetSettingsFileDefaults();
        strcpy(settings.outputDirectory, directory.c_str());
        strcpy(settings.outputFileName, "SCAN.TXT");
    }
    // The settings file's lines; "<missing>" when none was written.
    Strings IniLines()
    {
        const std::string text = ReadWholeFile(iniPath);
        Strings lines;
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        if (start != text.size()) lines.push_back(text.substr(start));
        return lines;
    }

    const Restore<Settings> savedSettings{settings};
    const Restore<char[PATH_BUFFER]> savedFilePath{settingsFilePath};
    TestDir dir;
    const std::string directory = dir.Path();
    const std::string iniPath = dir.File("Varnolt.ini");
};

TEST_F(SettingsDialogTest, ShowsTheSettingsAndEnablesByInterfaceSaveModeAndKeepOnline)
{
    settings.interfaceKind = MODEM_COM;
    settings.comPort = 17;
    settings.baudIndex = BAUD_INDEX_19200;
    settings.saveMode = AUTO_APPEND;
    settings.addReturn = 0;
    settings.pollingTime = 45;
    settings.interCharDelay = 9;
    settings.keepOnline = 1;
    // Each step is a user's change, then controls it must leave enabled and disabled.
    const struct {
        const char* proves;
        std::function<void(HWND)> change;
        std::vector<int> enabled, disabled;
    } steps[] = {
        {"at the start, keep-online takes viewing away", [](HWND) {},
         {IDC_COM_PORT, IDC_FILE_NAME, IDC_POLLING_TIME}, {IDC_VIEW_DATA, IDC_MODEM_CONFIG, IDC_CHAR_DELAY}},
        {"Modem - TAPI has no COM port or speed, but a configuration",
         [](HWND d) { Select(d, IDC_INTERFACE, MODEM_TAPI); }, {IDC_MODEM_CONFIG}, {IDC_COM_PORT, IDC_BAUD_RATE}},
        {"keyboard emulation has no file, no line feed, and the delay",
         [](HWND d) { Select(d, IDC_SAVE_MODE, KEYBOARD_EMULATION); }, {IDC_CHAR_DELAY, IDC_DELAY_SPIN},
         {IDC_DIRECTORY, IDC_BROWSE, IDC_ADD_LINE_FEED, IDC_FILE_NAME}},
        {"an automatic name needs a directory but no file name", [](HWND d) { Select(d, IDC_SAVE_MODE, AUTO_FILE_NAME); },
         {IDC_DIRECTORY, IDC_BROWSE, IDC_ADD_LINE_FEED}, {IDC_FILE_NAME, IDC_CHAR_DELAY}},
        {"append has no keep-online and no polling time", [](HWND d) { Select(d, IDC_SAVE_MODE, APPEND); },
         {IDC_FILE_NAME}, {IDC_KEEP_ONLINE, IDC_POLLING_TIME}},
        {"overwrite without keep-online offers viewing",
         [](HWND d) { Select(d, IDC_SAVE_MODE, OVERWRITE); Click(d, IDC_KEEP_ONLINE); }, {IDC_VIEW_DATA}, {}},
        {"automatic append offers no viewing", [](HWND d) { Select(d, IDC_SAVE_MODE, AUTO_APPEND); },
         {IDC_KEEP_ONLINE}, {IDC_VIEW_DATA}},
        {"checking keep-online takes viewing away at once",
         [](HWND d) { Select(d, IDC_SAVE_MODE, OVERWRITE); Click(d, IDC_KEEP_ONLINE); }, {}, {IDC_VIEW_DATA}},
    };
    RunSettingsDialog([&](HWND dialog) {
        std::string shown;
        for (int id : {IDC_SAVE_MODE, IDC_INTERFACE, IDC_BAUD_RATE})
            shown += std::to_string(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0)) + ",";
        for (int id : {IDC_COM_PORT, IDC_POLLING_TIME, IDC_CHAR_DELAY, IDC_FILE_NAME}) shown += Text(dialog, id) + ",";
        for (int id : {IDC_ADD_RETURN, IDC_ADD_LINE_FEED, IDC_VIEW_DATA, IDC_KEEP_ONLINE})
            shown += Checked(dialog, id) ? "x" : "-";
        EXPECT_EQ("4,3,3,17,45,9,SCAN.TXT,-x-x", shown);    // viewing is never offered to a polling session
        for (const auto& step : steps) {
            step.change(dialog);
            for (int id : step.enabled) EXPECT_TRUE(Enabled(dialog, id)) << step.proves << ": " << id;
            for (int id : step.disabled) EXPECT_FALSE(Enabled(dialog, id)) << step.proves << ": " << id;
        }
        EXPECT_EQ(1, settings.keepOnline);
        // Switching modes back and forth loses no text.
        EXPECT_EQ((Strings{directory, "SCAN.TXT"}), (Strings{Text(dialog, IDC_DIRECTORY), Text(dialog, IDC_FILE_NAME)}));
    });
}

TEST_F(SettingsDialogTest, NumberFieldsAreClampedAsTyped)
{
    settings.saveMode = KEYBOARD_EMULATION;    // all three fields enabled
    const struct { const char* proves; int id; bool typed; const char* input; const char* shown; } rows[] = {
        {"port 0 becomes 1", IDC_COM_PORT, true, "0", "1"},
        {"port 300 becomes 255", IDC_COM_PORT, true, "300", "255"},
        {"a pasted leading zero goes", IDC_COM_PORT, false, "07", "7"},
        {"an empty port is left for the focus check", IDC_COM_PORT, false, "", ""},
        {"a fourth polling digit cannot be typed", IDC_POLLING_TIME, true, "1000", "100"},
        {"polling 0 becomes 1", IDC_POLLING_TIME, true, "0", "1"},
        {"polling 999 is the highest", IDC_POLLING_TIME, true, "999", "999"},
        {"polling drops its leading zeros", IDC_POLLING_TIME, false, "009", "9"},
        {"an emptied delay shows 0 at once", IDC_CHAR_DELAY, false, "", "0"},
        {"delay 300 becomes 255", IDC_CHAR_DELAY, true, "300", "255"},
        {"the delay keeps a leading zero", IDC_CHAR_DELAY, true, "07", "07"},
    };
    RunSettingsDialog([&](HWND dialog) {
        for (const auto& row : rows) {
            row.typed ? Type(dialog, row.id, row.input) : SetText(dialog, row.id, row.input);
            EXPECT_EQ(row.shown, Text(dialog, row.id)) << row.proves;
        }
    });
}

TEST_F(SettingsDialogTest, BadFieldsAreReportedOnFocusLossAndOnOkAndCancelWritesNothing)
{
    BoxWatcher boxes("Error Message", IDOK);
    // Each field is left with a bad text, then with a good one.
    const struct { const char* proves; int id; const char* bad; const char* good; int next; } steps[] = {
        {"a directory may hold a backslash and a colon, not a star", IDC_DIRECTORY, "C:\\a*b", directory.c_str(),
         IDC_FILE_NAME},
        {"a file name holds no colon", IDC_FILE_NAME, "a:b", "fine.txt", IDC_COM_PORT},
        {"a file name holds no backslash", IDC_FILE_NAME, "a\\b", "fine.txt", IDC_COM_PORT},
        {"the COM port needs a number", IDC_COM_PORT, "", "3", IDC_POLLING_TIME},
        {"the polling time needs a number", IDC_POLLING_TIME, "", "5", IDC_ADD_RETURN},
    };
    EXPECT_EQ(2, RunSettingsDialog([&](HWND dialog) {
        for (const auto& step : steps) {
            for (const char* text : {step.bad, step.good}) {
                Focus(dialog, step.id);
                SetText(dialog, step.id, text);
                Focus(dialog, step.next);
                EXPECT_EQ(text == step.bad ? step.id : step.next, GetDlgCtrlID(GetFocus())) << step.proves << ": " << text;
            }
        }
        // Two empty number fields do not hand the error back and forth.
        SetText(dialog, IDC_POLLING_TIME, "");
        SetText(dialog, IDC_COM_PORT, "");
        Focus(dialog, IDC_COM_PORT);
        Focus(dialog, IDC_POLLING_TIME);
        EXPECT_EQ(IDC_COM_PORT, GetDlgCtrlID(GetFocus()));

        // OK refuses an empty or bad file name, and a number field without a number.
        SetText(dialog, IDC_COM_PORT, "3");
        SetText(dialog, IDC_POLLING_TIME, "5");
        for (const char* name : {"", "a?b"}) {
            SetText(dialog, IDC_FILE_NAME, name);
            Click(dialog, IDOK);
        }
        SetText(dialog, IDC_FILE_NAME, "x.txt");
        SetText(dialog, IDC_COM_PORT, "");    // would be stored as port 0
        Select(dialog, IDC_BAUD_RATE, BAUD_INDEX_9600);
        Click(dialog, IDC_ADD_RETURN);
        Click(dialog, IDOK);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);    // Escape: the focus stays in the empty field
    }));
    EXPECT_EQ((Strings{"Invalid directory!!", "Invalid file name or path!!", "Invalid file name or path!!",
                       "Invalid value!!", "Invalid value!!", "Invalid value!!", "Invalid file name or path!!",
                       "Invalid file name or path!!", "Invalid value!!"}),
              Texts(boxes));
    EXPECT_EQ((Strings{"<missing>"}), IniLines());
    // Baud rate and plain check boxes reach the settings only through OK.
    EXPECT_EQ(BAUD_INDEX_115200, settings.baudIndex);
    EXPECT_EQ(1, settings.addReturn);
    EXPECT_STREQ("SCAN.TXT", settings.outputFileName);
}

TEST_F(SettingsDialogTest, OkStoresTheValuesAndKeepsTheInvariantsOfEachMode)
{
    // Every value, and an empty directory meaning the program's own.
    settings.keepOnline = 0;
    EXPECT_EQ(1, RunSettingsDialog([&](HWND d) {
        Select(d, IDC_INTERFACE, CRADLE_IR);
        Type(d, IDC_COM_PORT, "12");
        Select(d, IDC_BAUD_RATE, BAUD_INDEX_38400);
        SetText(d, IDC_DIRECTORY, "");
        SetText(d, IDC_FILE_NAME, "scan");
        for (int box : {IDC_ADD_RETURN, IDC_SHOW_ERRORS, IDC_ALWAYS_SHOW}) Click(d, box);
        Type(d, IDC_POLLING_TIME, "30");
        Click(d, IDOK);
    }));
    char program[PATH_BUFFER] = {};
    ProgramDirectory(program);
    EXPECT_EQ((Strings{std::string(program) + "\\scan.txt", "2", "12", "3", "1", "0", "1", "0", "1", "0", "0",
                       "30", "2"}),
              IniLines());

    Defaults();
    // Append: keep-online is stored 0 though its disabled box still shows a check.
    settings.keepOnline = 1;
    EXPECT_EQ(1, RunSettingsDialog([&](HWND d) { Select(d, IDC_SAVE_MODE, APPEND); Click(d, IDOK); }));
    EXPECT_EQ("0", IniLines().at(10));

    // Keep-online: viewing is stored 0 whatever its box shows.
    settings.keepOnline = 0;
    EXPECT_EQ(1, RunSettingsDialog([&](HWND d) {
        Select(d, IDC_SAVE_MODE, OVERWRITE);
        for (int box : {IDC_VIEW_DATA, IDC_KEEP_ONLINE}) SetChecked(d, box, true);
        Click(d, IDOK);
    }));
    EXPECT_EQ((Strings{"0", "1"}), (Strings{IniLines().at(8), IniLines().at(10)}));

    // Auto file name: only the directory is checked, and normalised.
    settings.saveMode = AUTO_FILE_NAME;
    EXPECT_EQ(1, RunSettingsDialog([&](HWND d) { SetText(d, IDC_DIRECTORY, directory + "\\"); Click(d, IDOK); }));
    EXPECT_EQ((Strings{directory, "4"}), (Strings{IniLines().at(0), IniLines().at(4)}));
    EXPECT_STREQ("SCAN.TXT", settings.outputFileName);    // kept for the named-file modes

    // Keyboard emulation: no line feed is stored, and the directory kept in
    // the settings (its field is empty) is written.
    strcpy(settings.outputDirectory, "C:\\Kept\\Here");
    settings.saveMode = KEYBOARD_EMULATION;
    settings.addLineFeed = 1;
    settings.viewReceivedData = settings.keepOnline = 0;
    EXPECT_EQ(1, RunSettingsDialog([&](HWND d) { Type(d, IDC_CHAR_DELAY, "15"); Click(d, IDOK); }));
    EXPECT_EQ((Strings{"C:\\Kept\\Here", "1", "1", "1", "3", "1", "0", "1", "0", "1", "0", "2", "15"}),
              IniLines());
}

// The browse dialogs are answered by their buttons, as Return and Escape do.
TEST_F(SettingsDialogTest, BrowseOpensSaveAsOrTheFolderBrowserAndOkWaitsForIt)
{
    BoxWatcher saveAs("Save As", IDOK, 0);
    EXPECT_EQ(NOT_ENDED, RunSettingsDialog([&](HWND d) {
        SetText(d, IDC_FILE_NAME, "Chosen.txt");    // Save-As offers the name the field holds
        // Dispatched by Save-As's own message loop while it is open, and ignored.
        PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        Click(d, IDC_BROWSE);
        EXPECT_STREQ("Chosen.txt", settings.outputFileName);    // taken at once
    }));
    EXPECT_EQ(1, saveAs.Count());
    EXPECT_EQ((Strings{"<missing>"}), IniLines());

    settings.saveMode = AUTO_FILE_NAME;
    for (int button : {IDOK, IDCANCEL}) {
        BoxWatcher browser("Browse for Folder", button, 0x3742);    // the title text above the tree
        RunSettingsDialog([&](HWND d) {
            SetText(d, IDC_DIRECTORY, "C:\\before");
            Click(d, IDC_BROWSE);
            // Return puts in its default folder, as a file-system path; Escape leaves the field.
            const std::string shown = Text(d, IDC_DIRECTORY);
            EXPECT_TRUE(button == IDOK ? shown != "C:\\before" && shown.find(":\\") != std::string::npos
                                       : shown == "C:\\before") << shown;
        });
        EXPECT_EQ((Strings{"Select Folder"}), Texts(browser)) << button;
        EXPECT_EQ(directory, settings.outputDirectory) << button;    // settings change only at OK
    }
}

}  // namespace
