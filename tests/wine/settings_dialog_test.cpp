// The settings dialog driven the way a user drives it: the real template and
// procedure, run modally on the test thread. A script runs inside the
// dialog's message loop once the dialog is visible; message boxes and the
// Browse dialogs are found and answered from a watcher thread.
#include "app/settings_dialog.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/output_location.h"
#include "app/settings.h"
#include "app/settings_dialog_handlers.h"
#include "res/resource.h"

namespace {

// ---- Watching for the process's own boxes and dialogs ---------------------

struct Found {
    HWND window;
    DWORD process;
    const std::function<bool(HWND)>* match;
    HWND result;
};

std::string WindowText(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM parameter)
{
    Found& found = *reinterpret_cast<Found*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != found.process || !IsWindowVisible(window)) return TRUE;
    if (!(*found.match)(window)) return TRUE;
    found.result = window;
    return FALSE;
}

// Watches for visible top-level windows of this process that match, and
// answers each one once. Runs on its own thread while the dialog's thread is
// inside the window's modal loop.
class WindowWatcher {
public:
    WindowWatcher(std::function<bool(HWND)> match, std::function<void(HWND)> answer)
        : match_(std::move(match)), answer_(std::move(answer)), thread_([this] { Run(); })
    {
    }
    ~WindowWatcher()
    {
        stop_ = true;
        thread_.join();
    }
    int Answered() const { return answered_; }

private:
    void Run()
    {
        HWND last = nullptr;
        while (!stop_) {
            Found found{nullptr, GetCurrentProcessId(), &match_, nullptr};
            EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&found));
            if (found.result != nullptr && found.result != last) {
                last = found.result;
                answer_(found.result);
                ++answered_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::function<bool(HWND)> match_;
    std::function<void(HWND)> answer_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

// Every "Error Message" box: its text is kept and it is answered with OK.
class ErrorBoxes {
public:
    ErrorBoxes()
        : watcher_([](HWND w) { return ClassName(w) == "#32770" && WindowText(w) == "Error Message"; },
                   [this](HWND box) {
                       char text[256] = {};
                       GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                       {
                           std::lock_guard<std::mutex> lock(mutex_);
                           texts_.push_back(text);
                       }
                       PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                   })
    {
    }
    std::vector<std::string> Texts()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
    WindowWatcher watcher_;
};

using Strings = std::vector<std::string>;

// ---- Running the dialog with a script ---------------------------------------

constexpr UINT MSG_RUN_SCRIPT = WM_APP + 40;
constexpr INT_PTR NOT_ENDED = 99;

std::function<void(HWND)> dialogScript;

INT_PTR CALLBACK ScriptedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MSG_RUN_SCRIPT) {
        // The modal loop shows the dialog once its queue is first empty; the
        // script runs as the user would see it, so it shows it now.
        if (!IsWindowVisible(dialog)) ShowWindow(dialog, SW_SHOWNORMAL);
        std::function<void(HWND)> script = std::move(dialogScript);
        script(dialog);
        // A script that leaves the dialog open ends it with a result of its own.
        if (!settingsDialogState.ending) EndDialog(dialog, NOT_ENDED);
        return TRUE;
    }
    const INT_PTR result = SettingsDialogProc(dialog, message, wParam, lParam);
    // Posted now, it runs once the dialog is shown and its loop runs.
    if (message == WM_INITDIALOG) PostMessageA(dialog, MSG_RUN_SCRIPT, 0, 0);
    return result;
}

INT_PTR RunDialog(std::function<void(HWND)> script)
{
    dialogScript = std::move(script);
    RegisterSettingsDialogControls();
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                           ScriptedDialogProc, 0);
}

// ---- Driving controls as a user would ---------------------------------------

void Select(HWND dialog, int listId, int index)
{
    SendDlgItemMessageA(dialog, listId, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, listId)));
}

void Click(HWND dialog, int controlId)
{
    SendDlgItemMessageA(dialog, controlId, BM_CLICK, 0, 0);
}

bool Checked(HWND dialog, int boxId)
{
    return IsDlgButtonChecked(dialog, boxId) == BST_CHECKED;
}

void SetChecked(HWND dialog, int boxId, bool checked)
{
    if (Checked(dialog, boxId) != checked) Click(dialog, boxId);
}

void SetText(HWND dialog, int fieldId, const std::string& text)
{
    SetDlgItemTextA(dialog, fieldId, text.c_str());
}

// Keystrokes into the field, one character at a time (the length limit applies).
void Type(HWND dialog, int fieldId, const std::string& text)
{
    SendDlgItemMessageA(dialog, fieldId, EM_SETSEL, 0, -1);    // typing replaces the selection
    for (char c : text) SendDlgItemMessageA(dialog, fieldId, WM_CHAR, static_cast<unsigned char>(c), 1);
}

std::string Text(HWND dialog, int fieldId)
{
    char text[300] = {};
    GetDlgItemTextA(dialog, fieldId, text, sizeof text);
    return text;
}

bool Enabled(HWND dialog, int controlId)
{
    return IsWindowEnabled(GetDlgItem(dialog, controlId)) != FALSE;
}

void Focus(HWND dialog, int controlId)
{
    SetFocus(GetDlgItem(dialog, controlId));
}

int FocusId()
{
    return GetDlgCtrlID(GetFocus());
}

// ---- Files --------------------------------------------------------------------

std::string TempDirectory()
{
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    std::string directory = std::string(path) + "varnolt_dialog_test";
    CreateDirectoryA(directory.c_str(), nullptr);
    return directory;
}

std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    char buffer[1024];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

Strings Lines(const std::string& text)
{
    Strings lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start != text.size()) lines.push_back("<unterminated>" + text.substr(start));
    return lines;
}

std::string ProgramDir()
{
    char directory[PATH_BUFFER] = {};
    ProgramDirectory(directory);
    return directory;
}

class SettingsDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedSettings = settings;
        strcpy(savedFilePath, settingsFilePath);
        SetSettingsFileDefaults();
        directory = TempDirectory();
        iniPath = directory + "\\Varnolt.ini";
        DeleteFileA(iniPath.c_str());
        strcpy(settingsFilePath, iniPath.c_str());
        strcpy(settings.outputDirectory, directory.c_str());
        strcpy(settings.outputFileName, "SCAN.TXT");
    }
    void TearDown() override
    {
        DeleteFileA(iniPath.c_str());
        settings = savedSettings;
        strcpy(settingsFilePath, savedFilePath);
    }
    bool IniWritten() { return GetFileAttributesA(iniPath.c_str()) != INVALID_FILE_ATTRIBUTES; }
    Strings IniLines() { return Lines(ReadWholeFile(iniPath)); }

    std::string directory;
    std::string iniPath;
    Settings savedSettings;
    char savedFilePath[PATH_BUFFER];
};

// ---- Initialisation ---------------------------------------------------------

TEST_F(SettingsDialogTest, ShowsTheSettingsWithTitleListsAndFields)
{
    settings.interfaceKind = MODEM_COM;
    settings.comPort = 17;
    settings.baudIndex = static_cast<BaudIndex>(3);
    settings.saveMode = AUTO_APPEND;
    settings.addReturn = 0;
    settings.pollingTime = 45;
    settings.interCharDelay = 9;
    settings.viewReceivedData = 1;
    settings.keepOnline = 1;
    RunDialog([&](HWND dialog) {
        EXPECT_EQ("Varnolt  Ver 1.12", WindowText(dialog));
        EXPECT_EQ(5, SendDlgItemMessageA(dialog, IDC_SAVE_MODE, CB_GETCOUNT, 0, 0));
        EXPECT_EQ(4, SendDlgItemMessageA(dialog, IDC_INTERFACE, CB_GETCOUNT, 0, 0));
        EXPECT_EQ(5, SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_GETCOUNT, 0, 0));
        char item[64] = {};
        SendDlgItemMessageA(dialog, IDC_SAVE_MODE, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(item));
        EXPECT_STREQ("Keyboard emulation", item);
        SendDlgItemMessageA(dialog, IDC_INTERFACE, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(item));
        EXPECT_STREQ("Modem - TAPI", item);
        SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(item));
        EXPECT_STREQ("9600 bps", item);
        EXPECT_EQ(AUTO_APPEND, SendDlgItemMessageA(dialog, IDC_SAVE_MODE, CB_GETCURSEL, 0, 0));
        EXPECT_EQ(MODEM_COM, SendDlgItemMessageA(dialog, IDC_INTERFACE, CB_GETCURSEL, 0, 0));
        EXPECT_EQ(3, SendDlgItemMessageA(dialog, IDC_BAUD_RATE, CB_GETCURSEL, 0, 0));
        EXPECT_EQ("17", Text(dialog, IDC_COM_PORT));
        EXPECT_EQ("45", Text(dialog, IDC_POLLING_TIME));
        EXPECT_EQ("9", Text(dialog, IDC_CHAR_DELAY));
        EXPECT_EQ(directory, Text(dialog, IDC_DIRECTORY));
        EXPECT_EQ("SCAN.TXT", Text(dialog, IDC_FILE_NAME));
        EXPECT_FALSE(Checked(dialog, IDC_ADD_RETURN));
        EXPECT_TRUE(Checked(dialog, IDC_ADD_LINE_FEED));
        // Viewing is never offered to a polling session.
        EXPECT_FALSE(Checked(dialog, IDC_VIEW_DATA));
        EXPECT_TRUE(Checked(dialog, IDC_KEEP_ONLINE));
        // Spin ranges: 1..255, 1..999, 0..255.
        EXPECT_EQ(MAKELONG(255, 1), SendDlgItemMessageA(dialog, IDC_COM_PORT_SPIN, UDM_GETRANGE, 0, 0));
        EXPECT_EQ(MAKELONG(999, 1), SendDlgItemMessageA(dialog, IDC_POLLING_SPIN, UDM_GETRANGE, 0, 0));
        EXPECT_EQ(MAKELONG(255, 0), SendDlgItemMessageA(dialog, IDC_DELAY_SPIN, UDM_GETRANGE, 0, 0));
    });
}

TEST_F(SettingsDialogTest, FillsTheLocationFieldsBySaveMode)
{
    settings.saveMode = KEYBOARD_EMULATION;
    RunDialog([&](HWND dialog) {
        EXPECT_EQ("", Text(dialog, IDC_DIRECTORY));
        EXPECT_EQ("", Text(dialog, IDC_FILE_NAME));
    });
    settings.saveMode = AUTO_FILE_NAME;
    RunDialog([&](HWND dialog) {
        EXPECT_EQ(directory, Text(dialog, IDC_DIRECTORY));
        EXPECT_EQ("", Text(dialog, IDC_FILE_NAME));
    });
}

// ---- Enable rules -----------------------------------------------------------

struct Expected {
    bool comPort, modemConfig, directory, fileName, delay, keepOnline, view;
};

// Written out from the rules as a user sees them, independently of the table.
Expected ExpectedFor(int kind, int mode, bool keepOnline)
{
    Expected e{};
    e.comPort = kind != MODEM_TAPI;
    e.modemConfig = kind == MODEM_TAPI;
    e.directory = mode != KEYBOARD_EMULATION;
    e.fileName = mode == OVERWRITE || mode == APPEND || mode == AUTO_APPEND;
    e.delay = mode == KEYBOARD_EMULATION;
    e.keepOnline = mode != APPEND;
    e.view = (mode == OVERWRITE || mode == APPEND) && !keepOnline;
    return e;
}

void ExpectEnabled(HWND dialog, const Expected& e, const std::string& where)
{
    for (int id : {IDC_COM_PORT_LABEL, IDC_COM_PORT, IDC_COM_PORT_RANGE, IDC_BAUD_RATE, IDC_BAUD_RATE_LABEL})
        EXPECT_EQ(e.comPort, Enabled(dialog, id)) << where << " control " << id;
    EXPECT_EQ(e.modemConfig, Enabled(dialog, IDC_MODEM_CONFIG)) << where;
    for (int id : {IDC_DIRECTORY_LABEL, IDC_DIRECTORY, IDC_BROWSE, IDC_ADD_LINE_FEED})
        EXPECT_EQ(e.directory, Enabled(dialog, id)) << where << " control " << id;
    for (int id : {IDC_FILE_NAME_LABEL, IDC_FILE_NAME})
        EXPECT_EQ(e.fileName, Enabled(dialog, id)) << where << " control " << id;
    for (int id : {IDC_DELAY_LABEL, IDC_CHAR_DELAY, IDC_DELAY_SPIN, IDC_DELAY_RANGE})
        EXPECT_EQ(e.delay, Enabled(dialog, id)) << where << " control " << id;
    for (int id : {IDC_KEEP_ONLINE, IDC_POLLING_LABEL, IDC_POLLING_TIME, IDC_POLLING_RANGE})
        EXPECT_EQ(e.keepOnline, Enabled(dialog, id)) << where << " control " << id;
    EXPECT_EQ(e.view, Enabled(dialog, IDC_VIEW_DATA)) << where;
    for (int id : {IDC_INTERFACE, IDC_SAVE_MODE, IDC_ADD_RETURN, IDC_SHOW_ERRORS, IDC_ALWAYS_SHOW,
                   IDC_COM_PORT_SPIN, IDC_POLLING_SPIN, IDOK, IDCANCEL})
        EXPECT_TRUE(Enabled(dialog, id)) << where << " control " << id;
}

TEST_F(SettingsDialogTest, EnableRulesFollowInterfaceSaveModeAndKeepOnline)
{
    RunDialog([&](HWND dialog) {
        ExpectEnabled(dialog, ExpectedFor(RS232_IRDA, OVERWRITE, false), "initial");
        for (int kind = 0; kind < 4; ++kind) {
            Select(dialog, IDC_INTERFACE, kind);
            EXPECT_EQ(kind, settings.interfaceKind);
            for (int mode = 0; mode < 5; ++mode) {
                Select(dialog, IDC_SAVE_MODE, mode);
                EXPECT_EQ(mode, settings.saveMode);
                for (bool keepOnline : {false, true}) {
                    if (mode == APPEND) continue;    // 606 is disabled there
                    SetChecked(dialog, IDC_KEEP_ONLINE, keepOnline);
                    EXPECT_EQ(keepOnline ? 1 : 0, settings.keepOnline);
                    const std::string where = "kind " + std::to_string(kind) + " mode " +
                                              std::to_string(mode) + " keep " + std::to_string(keepOnline);
                    ExpectEnabled(dialog, ExpectedFor(kind, mode, keepOnline), where);
                }
            }
        }
    });
}

TEST_F(SettingsDialogTest, DisablingKeepsContentAndModeSwitchKeepsTexts)
{
    RunDialog([&](HWND dialog) {
        SetChecked(dialog, IDC_VIEW_DATA, true);
        SetChecked(dialog, IDC_KEEP_ONLINE, true);
        // Checking 606 disables 604 at once; its check mark stays as it was.
        EXPECT_FALSE(Enabled(dialog, IDC_VIEW_DATA));
        EXPECT_TRUE(Checked(dialog, IDC_VIEW_DATA));
        SetText(dialog, IDC_FILE_NAME, "OTHER.TXT");
        Select(dialog, IDC_SAVE_MODE, KEYBOARD_EMULATION);
        Select(dialog, IDC_SAVE_MODE, OVERWRITE);
        EXPECT_EQ("OTHER.TXT", Text(dialog, IDC_FILE_NAME));
        EXPECT_EQ(directory, Text(dialog, IDC_DIRECTORY));
        // Baud rate and plain check boxes change Settings only at OK.
        Select(dialog, IDC_BAUD_RATE, 4);
        Click(dialog, IDC_ADD_RETURN);
        EXPECT_EQ(0, settings.baudIndex);
        EXPECT_EQ(1, settings.addReturn);
    });
    EXPECT_EQ(1, settings.keepOnline);    // followed 606 at once
}

// ---- Clamps -------------------------------------------------------------------

TEST_F(SettingsDialogTest, ComPortAndPollingFieldsAreClampedAsTyped)
{
    RunDialog([&](HWND dialog) {
        Type(dialog, IDC_COM_PORT, "0");
        EXPECT_EQ("1", Text(dialog, IDC_COM_PORT));
        Type(dialog, IDC_COM_PORT, "300");
        EXPECT_EQ("255", Text(dialog, IDC_COM_PORT));
        SetText(dialog, IDC_COM_PORT, "07");    // pasted
        EXPECT_EQ("7", Text(dialog, IDC_COM_PORT));
        Type(dialog, IDC_COM_PORT, "42");
        EXPECT_EQ("42", Text(dialog, IDC_COM_PORT));
        SetText(dialog, IDC_COM_PORT, "");
        EXPECT_EQ("", Text(dialog, IDC_COM_PORT));    // reported on focus loss, not here
        Type(dialog, IDC_POLLING_TIME, "1000");
        EXPECT_EQ("100", Text(dialog, IDC_POLLING_TIME));    // a fourth digit cannot be typed
        Type(dialog, IDC_POLLING_TIME, "0");
        EXPECT_EQ("1", Text(dialog, IDC_POLLING_TIME));
        Type(dialog, IDC_POLLING_TIME, "999");
        EXPECT_EQ("999", Text(dialog, IDC_POLLING_TIME));
        SetText(dialog, IDC_POLLING_TIME, "009");
        EXPECT_EQ("9", Text(dialog, IDC_POLLING_TIME));
    });
}

TEST_F(SettingsDialogTest, CountFieldsAreNotClampedWhileTheDialogIsHidden)
{
    RunDialog([&](HWND dialog) {
        ShowWindow(dialog, SW_HIDE);
        SetText(dialog, IDC_COM_PORT, "0");
        SetText(dialog, IDC_POLLING_TIME, "07");
        SetText(dialog, IDC_CHAR_DELAY, "");
        EXPECT_EQ("0", Text(dialog, IDC_COM_PORT));
        EXPECT_EQ("07", Text(dialog, IDC_POLLING_TIME));
        EXPECT_EQ("0", Text(dialog, IDC_CHAR_DELAY));    // the delay is clamped all the same
        ShowWindow(dialog, SW_SHOWNORMAL);
        SetText(dialog, IDC_COM_PORT, "0");
        EXPECT_EQ("1", Text(dialog, IDC_COM_PORT));
    });
}

TEST_F(SettingsDialogTest, DelayFieldShowsZeroWhenEmptiedAndStopsAt255)
{
    settings.saveMode = KEYBOARD_EMULATION;
    RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_CHAR_DELAY, "");
        EXPECT_EQ("0", Text(dialog, IDC_CHAR_DELAY));
        Type(dialog, IDC_CHAR_DELAY, "300");
        EXPECT_EQ("255", Text(dialog, IDC_CHAR_DELAY));
        SetText(dialog, IDC_CHAR_DELAY, "x");
        EXPECT_EQ("0", Text(dialog, IDC_CHAR_DELAY));
        Type(dialog, IDC_CHAR_DELAY, "07");
        EXPECT_EQ("07", Text(dialog, IDC_CHAR_DELAY));    // no leading-zero rule here
    });
}

// ---- Focus-loss checks ----------------------------------------------------------

TEST_F(SettingsDialogTest, FieldsLeftWithBadTextReportAndTakeTheFocusBack)
{
    ErrorBoxes boxes;
    RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_DIRECTORY, "C:\\a*b");
        Focus(dialog, IDC_DIRECTORY);
        Focus(dialog, IDC_FILE_NAME);
        EXPECT_EQ(IDC_DIRECTORY, FocusId());
        SetText(dialog, IDC_DIRECTORY, "C:\\ok dir");    // backslash and colon belong in a directory
        Focus(dialog, IDC_FILE_NAME);
        EXPECT_EQ(IDC_FILE_NAME, FocusId());
        SetText(dialog, IDC_FILE_NAME, "a:b");
        Focus(dialog, IDC_COM_PORT);
        EXPECT_EQ(IDC_FILE_NAME, FocusId());
        SetText(dialog, IDC_FILE_NAME, "a\\b");
        Focus(dialog, IDC_COM_PORT);
        EXPECT_EQ(IDC_FILE_NAME, FocusId());
        SetText(dialog, IDC_FILE_NAME, "fine.txt");
        Focus(dialog, IDC_COM_PORT);
        SetText(dialog, IDC_COM_PORT, "");
        Focus(dialog, IDC_POLLING_TIME);
        EXPECT_EQ(IDC_COM_PORT, FocusId());
        SetText(dialog, IDC_COM_PORT, "3");
        Focus(dialog, IDC_POLLING_TIME);
        SetText(dialog, IDC_POLLING_TIME, "");
        Focus(dialog, IDC_ADD_RETURN);
        EXPECT_EQ(IDC_POLLING_TIME, FocusId());
        SetText(dialog, IDC_POLLING_TIME, "5");
        Focus(dialog, IDC_ADD_RETURN);
        EXPECT_EQ(IDC_ADD_RETURN, FocusId());
    });
    EXPECT_EQ((Strings{"Invalid directory!!", "Invalid file name or path!!", "Invalid file name or path!!",
                       "Invalid value!!", "Invalid value!!"}),
              boxes.Texts());
    EXPECT_FALSE(IniWritten());
}

TEST_F(SettingsDialogTest, TwoEmptyNumberFieldsDoNotPassTheErrorBackAndForth)
{
    ErrorBoxes boxes;
    RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_POLLING_TIME, "");
        SetText(dialog, IDC_COM_PORT, "");
        Focus(dialog, IDC_COM_PORT);
        Focus(dialog, IDC_POLLING_TIME);
        EXPECT_EQ(IDC_COM_PORT, FocusId());
    });
    EXPECT_EQ((Strings{"Invalid value!!"}), boxes.Texts());
}

// ---- OK and Cancel ------------------------------------------------------------

TEST_F(SettingsDialogTest, OkStoresEveryValueAndWritesThe13Lines)
{
    settings.keepOnline = 0;
    EXPECT_EQ(1, RunDialog([&](HWND dialog) {
        Select(dialog, IDC_INTERFACE, CRADLE_IR);
        Type(dialog, IDC_COM_PORT, "12");
        Select(dialog, IDC_BAUD_RATE, 2);
        SetText(dialog, IDC_FILE_NAME, "scan");
        SetChecked(dialog, IDC_ADD_RETURN, false);
        SetChecked(dialog, IDC_SHOW_ERRORS, false);
        SetChecked(dialog, IDC_ALWAYS_SHOW, false);
        Type(dialog, IDC_POLLING_TIME, "30");
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(CRADLE_IR, settings.interfaceKind);
    EXPECT_EQ(12, settings.comPort);
    EXPECT_EQ(2, settings.baudIndex);
    EXPECT_EQ(30, settings.pollingTime);
    EXPECT_EQ(directory, settings.outputDirectory);
    EXPECT_STREQ("scan.txt", settings.outputFileName);
    EXPECT_EQ((Strings{directory + "\\scan.txt", "2", "12", "3", "1", "0", "1", "0", "1", "0", "0", "30", "2"}),
              IniLines());
}

TEST_F(SettingsDialogTest, OkKeepsTheInvariantsBetweenOptions)
{
    // Append: keep-online is stored 0 even though 606 shows a check.
    settings.keepOnline = 1;
    EXPECT_EQ(1, RunDialog([&](HWND dialog) {
        Select(dialog, IDC_SAVE_MODE, APPEND);
        EXPECT_TRUE(Checked(dialog, IDC_KEEP_ONLINE));
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(0, settings.keepOnline);
    EXPECT_EQ("0", IniLines().at(10));

    // Keep-online: viewing is stored 0 whatever 604 shows.
    settings.keepOnline = 0;
    EXPECT_EQ(1, RunDialog([&](HWND dialog) {
        Select(dialog, IDC_SAVE_MODE, OVERWRITE);
        SetChecked(dialog, IDC_VIEW_DATA, true);
        SetChecked(dialog, IDC_KEEP_ONLINE, true);
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(1, settings.keepOnline);
    EXPECT_EQ(0, settings.viewReceivedData);
    EXPECT_EQ("0", IniLines().at(8));
    EXPECT_EQ("1", IniLines().at(10));
}

TEST_F(SettingsDialogTest, KeyboardEmulationStoresNoLineFeedAndKeepsTheDirectory)
{
    strcpy(settings.outputDirectory, "C:\\Kept\\Here");
    settings.saveMode = KEYBOARD_EMULATION;
    settings.addLineFeed = 1;
    EXPECT_EQ(1, RunDialog([&](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_ADD_LINE_FEED));
        Type(dialog, IDC_CHAR_DELAY, "15");
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(0, settings.addLineFeed);
    EXPECT_EQ(15, settings.interCharDelay);
    EXPECT_STREQ("C:\\Kept\\Here", settings.outputDirectory);
    EXPECT_STREQ("SCAN.TXT", settings.outputFileName);
    const Strings lines = IniLines();
    ASSERT_EQ(13u, lines.size());
    EXPECT_EQ("C:\\Kept\\Here", lines[0]);
    EXPECT_EQ("3", lines[4]);
    EXPECT_EQ("0", lines[6]);
    EXPECT_EQ("15", lines[12]);
}

TEST_F(SettingsDialogTest, OkWithAnEmptyDirectoryUsesTheProgramsDirectory)
{
    EXPECT_EQ(1, RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_DIRECTORY, "");
        SetText(dialog, IDC_FILE_NAME, "OUT.csv");
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(ProgramDir(), settings.outputDirectory);
    EXPECT_STREQ("OUT.csv", settings.outputFileName);
    EXPECT_EQ(ProgramDir() + "\\OUT.csv", IniLines().at(0));
}

TEST_F(SettingsDialogTest, AutoFileNameValidatesTheDirectoryOnly)
{
    settings.saveMode = AUTO_FILE_NAME;
    strcpy(settings.outputFileName, "Kept.txt");
    EXPECT_EQ(1, RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_DIRECTORY, directory + "\\");    // normalised on OK
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(directory, settings.outputDirectory);
    EXPECT_STREQ("Kept.txt", settings.outputFileName);
    EXPECT_EQ(directory, IniLines().at(0));
    EXPECT_EQ("4", IniLines().at(4));
}

TEST_F(SettingsDialogTest, FailedOkReportsAndKeepsTheDialogOpenWithoutWriting)
{
    ErrorBoxes boxes;
    EXPECT_EQ(NOT_ENDED, RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_FILE_NAME, "");
        Click(dialog, IDOK);
        EXPECT_TRUE(IsWindowVisible(dialog));
        Select(dialog, IDC_SAVE_MODE, APPEND);
        SetText(dialog, IDC_FILE_NAME, "a?b");    // refused by the check, not only on focus loss
        Click(dialog, IDOK);
        SetText(dialog, IDC_FILE_NAME, "x.txt");
        SetText(dialog, IDC_COM_PORT, "");             // would be stored as port 0
        Click(dialog, IDOK);
    }));
    EXPECT_EQ((Strings{"Invalid file name or path!!", "Invalid file name or path!!", "Invalid value!!"}),
              boxes.Texts());
    EXPECT_FALSE(IniWritten());
    EXPECT_EQ(APPEND, settings.saveMode);    // the values read by the failed OK stay
}

TEST_F(SettingsDialogTest, CancelAndCloseWriteNothing)
{
    EXPECT_EQ(2, RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_FILE_NAME, "changed.txt");
        Click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(2, RunDialog([&](HWND dialog) { SendMessageA(dialog, WM_CLOSE, 0, 0); }));
    EXPECT_FALSE(IniWritten());
    EXPECT_STREQ("SCAN.TXT", settings.outputFileName);
}

// ---- Browse -------------------------------------------------------------------

bool HasChildText(HWND window, const char* text)
{
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if (WindowText(child) == text) return true;
    return false;
}

bool IsFolderBrowser(HWND window)
{
    return ClassName(window) == "#32770" && WindowText(window) != "Varnolt  Ver 1.12" &&
           HasChildText(window, "Select Folder");
}

TEST(FolderBrowserSetUp, OwnedRootedAtTheTopWithAnEditBoxOnly)
{
    // Wine's folder browser shows no edit box, so the flag is checked here.
    char displayName[MAX_PATH];
    BROWSEINFOA browse;
    std::memset(&browse, 0x5A, sizeof browse);
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    PrepareFolderBrowser(&browse, owner, displayName);
    EXPECT_EQ(owner, browse.hwndOwner);
    EXPECT_EQ(nullptr, browse.pidlRoot);
    EXPECT_EQ(displayName, browse.pszDisplayName);
    EXPECT_STREQ("Select Folder", browse.lpszTitle);
    EXPECT_EQ(static_cast<UINT>(BIF_EDITBOX), browse.ulFlags);
    EXPECT_EQ(nullptr, browse.lpfn);
    EXPECT_EQ(0, browse.lParam);
}

TEST_F(SettingsDialogTest, FolderBrowserTitledSelectFolderFillsOnlyTheField)
{
    settings.saveMode = AUTO_FILE_NAME;
    const std::string before = settings.outputDirectory;
    {
        WindowWatcher browser(IsFolderBrowser, [](HWND window) {
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        EXPECT_EQ(NOT_ENDED, RunDialog([&](HWND dialog) {
            SetText(dialog, IDC_DIRECTORY, "");
            Click(dialog, IDC_BROWSE);
            // Its default folder, as a file-system path.
            const std::string chosen = Text(dialog, IDC_DIRECTORY);
            EXPECT_NE(chosen.find(":\\"), std::string::npos) << chosen;
        }));
        EXPECT_EQ(1, browser.Answered());
    }
    EXPECT_EQ(before, settings.outputDirectory);

    WindowWatcher browser(IsFolderBrowser, [](HWND window) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    RunDialog([&](HWND dialog) {
        SetText(dialog, IDC_DIRECTORY, "C:\\unchanged");
        Click(dialog, IDC_BROWSE);
        EXPECT_EQ("C:\\unchanged", Text(dialog, IDC_DIRECTORY));
    });
    EXPECT_EQ(1, browser.Answered());
    EXPECT_EQ(before, settings.outputDirectory);
}

bool IsSaveAs(HWND window)
{
    return ClassName(window) == "#32770" && WindowText(window) == "Save As";
}

// The Save-As dialog's file-name field: the edit of its combo box in the
// explorer-style dialog, or the plain edit of the older one.
void SetSaveAsFileName(HWND window, const std::string& path)
{
    for (int id : {0x47C, 0x480}) {
        HWND field = GetDlgItem(window, id);
        if (field != nullptr) SetWindowTextA(field, path.c_str());
    }
}

TEST_F(SettingsDialogTest, SaveAsChoiceTakesEffectAtOnceAndGuardsOk)
{
    const std::string chosenDirectory = directory + "\\picked";
    CreateDirectoryA(chosenDirectory.c_str(), nullptr);
    std::atomic<HWND> settingsWindow{nullptr};
    WindowWatcher saveAs(IsSaveAs, [&](HWND window) {
        // A posted OK reaches the settings dialog while Save-As is still open.
        PostMessageA(settingsWindow, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        SetSaveAsFileName(window, chosenDirectory + "\\Chosen.txt");
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(NOT_ENDED, RunDialog([&](HWND dialog) {
        settingsWindow = dialog;
        Click(dialog, IDC_BROWSE);
        EXPECT_EQ(chosenDirectory, Text(dialog, IDC_DIRECTORY));
        EXPECT_EQ("Chosen.txt", Text(dialog, IDC_FILE_NAME));
        EXPECT_EQ(chosenDirectory, settings.outputDirectory);
        EXPECT_STREQ("Chosen.txt", settings.outputFileName);
    }));
    EXPECT_EQ(1, saveAs.Answered());
    EXPECT_FALSE(IniWritten());
    RemoveDirectoryA(chosenDirectory.c_str());
}

}  // namespace
