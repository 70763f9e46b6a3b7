// The telephony line and the Modem config button in-process, against our
// telephony stand-in (tools/tapi_standin). Its tapi32.dll is built beside
// this program, and Wine takes it instead of its own stub only when told to
// at start (WINEDLLOVERRIDES=tapi32=n): CTest wine.unit runs the
// Win32 tests so.
#include "link/telephony.h"

#include <gtest/gtest.h>

#include "scripted_settings_dialog.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/settings_dialog.h"
#include "app/settings_dialog_handlers.h"
#include "box_watcher.h"
#include "core/settings.h"
#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "res/resource.h"
#include "session/receive_thread.h"
#include "standin_world.h"
#include "test_dir.h"
#include "tools/tapi_standin/standin_calls.h"

namespace {

using Strings = std::vector<std::string>;

// The value of key=value in a logged call; "" when absent.
std::string Field(const std::string& call, const std::string& key)
{
    const size_t at = call.find(" " + key + "=");
    if (at == std::string::npos) return "";
    const size_t start = at + key.size() + 2;
    return call.substr(start, call.find(' ', start) - start);
}

std::string Line(const std::string& name, const std::string& extra = "")
{
    return "[line]\nname = " + name + "\n" + extra;
}

class TelephonyTest : public StandinTest {
protected:
    Strings Calls(const std::string& function = "") const { return StandinCalls(ReadWholeFile(log), function); }
    // One field of each logged call of function (of device, when given).
    Strings Fields(const std::string& function, const std::string& key, const std::string& device = "") const
    {
        Strings values;
        for (const std::string& call : Calls(function))
            if (device.empty() || Field(call, "device") == device) values.push_back(Field(call, key));
        return values;
    }
};

std::vector<DWORD> ListedDevices()
{
    return {telephonyState.modemDevices, telephonyState.modemDevices + telephonyState.modemCount};
}

TEST_F(TelephonyTest, ListsTheFirstSixDataModemLinesAsTelephonyIsAskedForThem)
{
    std::string world = Line("Voice", "media = 0x4\n") + Line("Old modem", "negotiate = fail\n");
    for (int i = 0; i < 7; ++i) world += Line("Modem " + std::to_string(i));
    World(world);
    EXPECT_EQ(1, TapiInitialize());
    EXPECT_EQ((std::vector<DWORD>{2, 3, 4, 5, 6, 7}), ListedDevices());

    // Events through the hidden window; the records as large as this
    // build's own declarations.
    const Strings init = Calls("lineInitializeExA");
    ASSERT_EQ(1u, init.size());
    EXPECT_EQ((Strings{"Varnolt", "0x20002", std::to_string(sizeof(LINEINITIALIZEEXPARAMS)), "0x1"}),
              (Strings{Field(init[0], "name"), Field(init[0], "version"), Field(init[0], "total"),
                       Field(init[0], "options")}));
    for (const std::string& call : Calls("lineNegotiateAPIVersion"))
        EXPECT_EQ("0x10004-0x20002", Field(call, "low") + "-" + Field(call, "high"));
}

TEST_F(TelephonyTest, ADeviceWhoseCapabilitiesCannotBeReadIsSkipped)
{
    const struct {
        const char* name;
        std::string world;
        int result;
        std::vector<DWORD> listed;
    } rows[] = {
        {"between two modems", Line("A") + Line("Broken", "caps = fail\n") + Line("C"), 1, {0, 2}},
        {"before any modem", Line("Broken", "caps = fail\n") + Line("B"), 1, {1}},
        {"the only device", Line("Broken", "caps = fail\n"), ERR_LINE_INIT, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        World(row.world);
        ClearTelephonyState();
        EXPECT_EQ(row.result, TapiInitialize());
        EXPECT_EQ(row.listed, ListedDevices());
        // Telephony stays initialised for the caller to end.
        EXPECT_NE(0u, telephonyState.lineApp);
        TapiShutdown();
        EXPECT_EQ(1u, Calls("lineShutdown").size());
    }
}

TEST_F(TelephonyTest, CapabilityAnswersGrowUntilTheyFit)
{
    const std::string name40(40, 'n');     // 268 + 41 bytes in all
    const std::string name150(150, 'n');   // 268 + 151
    const std::string huge(70000, 'n');
    const struct {
        const char* name;
        std::string world;
        int result;
        Strings totals;
    } rows[] = {
        {"a refusal naming the size: that size next", Line(name40, "short_answer = error\n"), 1, {"268", "309"}},
        {"a fixed part without the name: the size it names", Line(name40), 1, {"268", "309"}},
        {"a refusal naming no size: 100 bytes more each time", Line(name150, "short_answer = error_no_size\n"), 1,
         {"268", "368", "468"}},
        {"more than a record can need: given up", Line(huge), ERR_LINE_INIT, {"268"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        World(row.world);
        ClearTelephonyState();
        EXPECT_EQ(row.result, TapiInitialize());
        EXPECT_EQ(row.totals, Fields("lineGetDevCapsA", "total"));
        TapiShutdown();
    }
}

TEST_F(TelephonyTest, LineNamesAreCopiedWholeOrCutToTheirArea)
{
    const std::string fits(LINE_NAME_AREA - 1, 'f');
    const struct {
        const char* name;
        std::string lineName;
        std::string copied;
    } rows[] = {
        {"empty", "", ""},
        {"exactly the area", fits, fits},
        {"one byte more", fits + "x", fits},
        {"far longer", std::string(5000, 'f'), fits},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        World(Line(row.lineName));
        ClearTelephonyState();
        ASSERT_EQ(1, TapiInitialize());
        char area[LINE_NAME_AREA + 16];
        std::memset(area, 0x5A, sizeof area);
        ASSERT_EQ(1, TapiGetLineName(0, area));
        EXPECT_EQ(row.copied, std::string(area));
        EXPECT_EQ(std::string(16, 0x5A), std::string(area + LINE_NAME_AREA, 16)) << "written past the area";
        TapiShutdown();
    }
}

TEST_F(TelephonyTest, OpensTheChosenLineOrElseTheFirstListed)
{
    const std::string three = Line("A") + Line("B") + Line("C");
    const struct {
        const char* name;
        std::string world;
        int modemIndex;
        std::string opened;
    } rows[] = {
        {"the chosen line", three, 2, "2"},
        {"the chosen line's name cannot be read", Line("A") + Line("B") + Line("C", "caps = name_fails\n"), 2, "0"},
        {"the choice is no longer listed", Line("A") + Line("Voice", "media = 0x4\n"), 3, "0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        World(row.world);
        ClearTelephonyState();
        telephonyState.modemIndex = row.modemIndex;
        telephonyState.modemDevices[3] = 1;   // left from an earlier, longer list
        EXPECT_EQ(1, TapiOpenLine(LinkEvents{}));
        const Strings opens = Calls("lineOpenA");
        ASSERT_EQ(1u, opens.size());
        // As owner of data-modem calls, the call parameters sized by this build.
        EXPECT_EQ((Strings{row.opened, "0x4", "0x10", std::to_string(sizeof(LINECALLPARAMS)), "1", row.opened}),
                  (Strings{Field(opens[0], "device"), Field(opens[0], "privileges"), Field(opens[0], "media"),
                           Field(opens[0], "params_total"), Field(opens[0], "params_address_mode"),
                           Field(opens[0], "params_address")}));
        TapiShutdown();
    }
}

// A hang-up reaches the session once, as the link's connectionEnded with
// its call; a report that comes after the call was let go, or of another
// call, must not end the session of the call held now.
TEST(TelephonyHangUp, IsToldOnceAndOnlyTheCallHeldNowCountsAsEnded)
{
    const HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    constexpr UINT ENDED = WM_APP + 3;
    ClearTelephonyState();
    telephonyState.events = {.window = window, .connected = WM_APP + 1, .failed = WM_APP + 2, .connectionEnded = ENDED};
    const HCALL held = 0x51, other = 0x52;
    telephonyState.call = held;
    TapiLineCallback(held, LINE_CALLSTATE, 0, LINECALLSTATE_DISCONNECTED, 0, 0);
    TapiLineCallback(held, LINE_CALLSTATE, 0, LINECALLSTATE_IDLE, 0, 0);
    TapiLineCallback(other, LINE_CALLSTATE, 0, LINECALLSTATE_DISCONNECTED, 0, 0);
    std::vector<WPARAM> told;
    for (MSG message; PeekMessageA(&message, window, ENDED, ENDED, PM_REMOVE);) told.push_back(message.wParam);
    EXPECT_EQ(std::vector<WPARAM>{held}, told);

    const LinkKind& link = LinkKindOf(MODEM_TAPI);
    EXPECT_TRUE(link.isCurrentConnection(held));
    EXPECT_FALSE(link.isCurrentConnection(other));
    ClearTelephonyState();   // the call let go, as telephony's end leaves it
    EXPECT_FALSE(link.isCurrentConnection(held));
    EXPECT_FALSE(link.isCurrentConnection(0));
    EXPECT_FALSE(LinkKindOf(MODEM_COM).isCurrentConnection(held));
    DestroyWindow(window);
}

// ---- Modem config, through the settings dialog ------------------------------

constexpr char CHOOSER_CAPTION[] = "Choose the active device";

// Answers the device chooser from another thread as a user would: notes the
// names it offers and the one selected, then picks an entry and presses OK,
// or closes it with its close box (pick -1) or the Esc key (pick -2; a
// chooser still up two seconds later is closed and noted). Read the notes
// after Stop().
class ChooserDriver {
public:
    explicit ChooserDriver(int pick) : pick_(pick), thread_([this] { Watch(); }) {}
    ~ChooserDriver() { Stop(); }
    ChooserDriver(const ChooserDriver&) = delete;
    ChooserDriver& operator=(const ChooserDriver&) = delete;

    void Stop()
    {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

    int shown = 0;
    Strings offered;
    int selected = -2;
    bool escapeIgnored = false;

private:
    void Watch()
    {
        DWORD escapedAt = 0;
        for (HWND answered = nullptr; running_; Sleep(5)) {
            const HWND box = FindWindowA("#32770", CHOOSER_CAPTION);
            if (box != nullptr && box == answered && escapedAt != 0 && GetTickCount() - escapedAt > 2000) {
                escapeIgnored = true;
                escapedAt = 0;
                PostMessageA(box, WM_CLOSE, 0, 0);
            }
            if (box == nullptr || box == answered || !IsWindowVisible(box)) continue;
            const HWND list = GetDlgItem(box, IDC_DEVICE_LIST);
            const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                char name[LINE_NAME_AREA] = {};
                SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
                offered.push_back(name);
            }
            selected = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
            ++shown;
            answered = box;
            if (pick_ == -2) {
                escapedAt = GetTickCount();
                PostMessageA(list, WM_KEYDOWN, VK_ESCAPE, 0);
                PostMessageA(list, WM_KEYUP, VK_ESCAPE, 0);
            } else if (pick_ < 0) {
                PostMessageA(box, WM_CLOSE, 0, 0);
            } else {
                SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(pick_), 0);
                PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            }
        }
    }

    const int pick_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

class ModemConfigTest : public TelephonyTest {
protected:
    void SetUp() override
    {
        TelephonyTest::SetUp();
        if (IsSkipped()) return;
        SetSettingsFileDefaults();
        settings.interfaceKind = MODEM_TAPI;   // the button is enabled only then
        strcpy(settings.outputDirectory, dir.Path().c_str());
        strcpy(settings.outputFileName, "SCAN.TXT");
    }
    void TearDown() override
    {
        settings = savedSettings;
        TelephonyTest::TearDown();
    }
    const Settings savedSettings = settings;
};

TEST_F(ModemConfigTest, ConfiguresThePickedLineAndEndsTelephonyInEveryCase)
{
    const std::string voice = Line("Voice", "media = 0x4\n");
    const struct {
        const char* name;
        std::string world;
        int indexBefore;
        int pick;              // the chooser's answer (-1: closed)
        Strings offered;       // empty: no chooser
        int selected;          // the entry selected when the chooser came up
        std::string configured; // the device configured; "" none
        int indexAfter;
        Strings told;
    } rows[] = {
        {"no data-modem line: told", voice, 0, 0, {}, 0, "", 0, {"Failed to initialize line!"}},
        {"one line: straight to its configuration", voice + Line("A"), 0, 0, {}, 0, "1", 0, {}},
        {"several lines: the pick is configured and kept", voice + Line("A") + Line("B") + Line("C"), 0, 2,
         {"A", "B", "C"}, 0, "3", 2, {}},
        {"an unreadable name: each entry keeps its device", Line("A") + Line("B", "caps = name_fails\n") + Line("C"),
         2, 1, {"A", "C"}, 1, "2", 2, {}},
        {"the chooser closed: nothing configured", Line("A") + Line("B"), 1, -1, {"A", "B"}, 1, "", 1, {}},
        {"the chooser left with Esc: nothing configured", Line("A") + Line("B"), 1, -2, {"A", "B"}, 1, "", 1, {}},
        {"the configuration fails: told", "config_dialog_result = 0x80000048\n" + Line("A"), 0, 0, {}, 0, "0", 0,
         {"Failed to configure device!"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        World(row.world);
        telephonyState.modemIndex = row.indexBefore;
        BoxWatcher boxes("Error Message", IDOK);
        ChooserDriver chooser(row.pick);
        HWND settingsDialog = nullptr;
        RunSettingsDialog([&](HWND dialog) {
            settingsDialog = dialog;
            SendDlgItemMessageA(dialog, IDC_MODEM_CONFIG, BM_CLICK, 0, 0);
        });
        chooser.Stop();
        EXPECT_FALSE(chooser.escapeIgnored);
        EXPECT_EQ(row.offered.empty() ? 0 : 1, chooser.shown);
        EXPECT_EQ(row.offered, chooser.offered);
        if (!row.offered.empty()) {
            EXPECT_EQ(row.selected, chooser.selected);
        }
        const Strings configs = Calls("lineConfigDialogA");
        ASSERT_EQ(row.configured.empty() ? 0u : 1u, configs.size());
        if (!configs.empty()) {
            EXPECT_EQ((Strings{row.configured, "0x0", "comm/datamodem"}),
                      (Strings{Field(configs[0], "device"), Field(configs[0], "owner"), Field(configs[0], "class")}));
        }
        EXPECT_EQ(row.indexAfter, telephonyState.modemIndex);
        Strings told;
        for (const SeenBox& box : boxes.Boxes()) {
            told.push_back(box.text);
            EXPECT_EQ(settingsDialog, box.owner);
        }
        EXPECT_EQ(row.told, told);
        EXPECT_EQ(1u, Calls("lineShutdown").size());
        EXPECT_EQ(0u, telephonyState.lineApp);
    }
}

}  // namespace
