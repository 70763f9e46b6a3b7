// The infrared cradle through the real program, against the simulator's
// cradle on the line: the speed it is found at, the speed change on the
// wire with its pauses, the transfer it carries afterwards, and a port with
// no cradle at all.
#include <ostream>
#include <set>

#include "session_support.h"

namespace e2e {
namespace {

constexpr int COM = 6;
constexpr int CRADLE_INTERFACE = 1;
constexpr int WAIT_PANEL = 0;   // the panel is the session window's one child without an id

using termsim::FrontEvent;
using termsim::FrontEventKind;

double GapMs(const FrontEvent& from, const FrontEvent& to)
{
    return static_cast<double>(to.timeNs - from.timeNs) / 1e6;
}

// The cradle's pause (and command time limit) at a speed.
double PauseMs(int speed)
{
    return speed == 9600 ? 200.0 : 100.0;
}

std::vector<FrontEvent> EventsOf(const termsim::TerminalSimulator& sim, FrontEventKind kind)
{
    std::vector<FrontEvent> events;
    for (const FrontEvent& event : sim.FrontEvents())
        if (event.kind == kind) events.push_back(event);
    return events;
}

CommandLine CradleSession(const std::string& windowsPath, int baudIndex)
{
    CommandLine line = SerialSession(COM, windowsPath, 0);
    line.interfaceKind = CRADLE_INTERFACE;
    line.baudIndex = baudIndex;
    return line;
}

struct SpeedRow {
    const char* name;
    int cradleSpeed;   // where the cradle listens at the start
    int probes;        // probes sent until it answered
    int baudIndex;     // the configured speed
    int newSpeed;
};

void PrintTo(const SpeedRow& row, std::ostream* out)
{
    *out << row.name;
}

class CradleSpeedTest : public E2ETest, public ::testing::WithParamInterface<SpeedRow> {};

// Each speed the cradle may be found at, each switched to another
// configured speed (one kept), then two records carried.
TEST_P(CradleSpeedTest, FoundAtItsSpeedSwitchedToTheConfiguredOneAndCarriesTheTransfer)
{
    const SpeedRow& row = GetParam();
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    termsim::CradleOptions cradle;
    cradle.startSpeed = row.cradleSpeed;
    sim.SetCradle(cradle);
    ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"c1", "c2"})}));
    Program& program = Launch(CradleSession(WinDir() + "\\cradle.txt", row.baudIndex).Text());
    int code = -1;
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS, &code));
    EXPECT_EQ(ReadFile(Dir() + "/cradle.txt"), "c1\r\nc2\r\n");
    EXPECT_EQ(port.LineSpeed(), row.newSpeed);

    const std::vector<FrontEvent> probes = EventsOf(sim, FrontEventKind::CRADLE_PROBE);
    ASSERT_EQ(static_cast<int>(probes.size()), row.probes);
    for (size_t i = 0; i + 1 < probes.size(); ++i) EXPECT_FALSE(probes[i].answered) << "probe " << i;
    const FrontEvent& found = probes.back();
    EXPECT_TRUE(found.answered);
    EXPECT_EQ(found.hostSpeed, row.cradleSpeed);

    // The speed change, whole even when the speed stays: 0x07, the digit,
    // 'Q', all at the speed found, with the pause of the speed found.
    std::vector<FrontEvent> change;
    for (const FrontEvent& event : EventsOf(sim, FrontEventKind::CRADLE_BYTE))
        if (event.timeNs > found.timeNs) change.push_back(event);
    ASSERT_EQ(change.size(), 3u);
    EXPECT_EQ(change[0].text, "\x07");
    EXPECT_EQ(change[2].text, "Q");
    for (const FrontEvent& event : change) EXPECT_EQ(event.hostSpeed, row.cradleSpeed);
    const std::vector<FrontEvent> switched = EventsOf(sim, FrontEventKind::CRADLE_SPEED_CHANGE);
    ASSERT_EQ(switched.size(), 1u);
    EXPECT_EQ(switched[0].cradleSpeed, row.newSpeed);

    // After the answer: the wait for it (one pause, the answer is there at
    // once), then the pause after raising RTS. Measured within 2 ms of the
    // pauses; the margins allow for a late reading of one byte on a busy
    // machine and still tell 100 ms from 200 ms.
    const double pause = PauseMs(row.cradleSpeed);
    const auto expectGap = [](double gap, double pauses) {
        EXPECT_GE(gap, pauses - 15.0);
        EXPECT_LE(gap, pauses + 60.0);
    };
    expectGap(GapMs(found, change[0]), 2 * pause);
    expectGap(GapMs(change[0], change[1]), pause);
    expectGap(GapMs(change[1], change[2]), pause);
}

INSTANTIATE_TEST_SUITE_P(
    CradleSpeeds, CradleSpeedTest,
    ::testing::Values(SpeedRow{"at9600_firstProbe_to115200", 9600, 1, 0, 115200},
                      SpeedRow{"at115200_secondProbe_to9600", 115200, 2, 4, 9600},
                      SpeedRow{"at38400_thirdProbe_kept", 38400, 3, 2, 38400},
                      SpeedRow{"at57600_fourthProbe_to19200", 57600, 4, 3, 19200},
                      SpeedRow{"at19200_fifthProbe_to57600", 19200, 5, 1, 57600}),
    [](const ::testing::TestParamInfo<SpeedRow>& info) { return std::string(info.param.name); });

class CradleTest : public E2ETest {};

TEST_F(CradleTest, NoCradleIsFiveProbesUnderTheWaitPanelThenUnableToConfigure)
{
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    termsim::CradleOptions none;
    none.present = false;
    sim.SetCradle(none);
    ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"never"})}));
    Program& program = Launch(CradleSession(WinDir() + "\\none.txt", 0).Text());

    // On screen in the session window while the speeds are tried.
    bool panelShown = false;
    for (const int64_t end = NowNs() + 10'000'000'000LL; !panelShown && !WindowExists(ERROR_CAPTION) && NowNs() < end;)
        panelShown = ControlVisible(SESSION_CAPTION, WAIT_PANEL) == 1;
    EXPECT_TRUE(panelShown);
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Unable to configure the IR device!!");
    EXPECT_EQ(ControlVisible(SESSION_CAPTION, WAIT_PANEL), -1) << "the panel is gone";

    const std::vector<FrontEvent> probes = EventsOf(sim, FrontEventKind::CRADLE_PROBE);
    ASSERT_EQ(probes.size(), 5u);
    std::set<int> speeds;
    for (const FrontEvent& probe : probes) speeds.insert(probe.hostSpeed);
    EXPECT_EQ(speeds, (std::set<int>{9600, 19200, 38400, 57600, 115200}));
    // Before each probe the pause of its speed; after it the wait for an
    // answer, the same pause (at most once more where the port holds an
    // empty read until its limit, as Wine does).
    for (size_t i = 0; i + 1 < probes.size(); ++i) {
        const double before = PauseMs(probes[i + 1].hostSpeed), wait = PauseMs(probes[i].hostSpeed);
        EXPECT_GE(GapMs(probes[i], probes[i + 1]), wait + before - 15.0) << "probe " << i;
        EXPECT_LE(GapMs(probes[i], probes[i + 1]), 2 * wait + before + 80.0) << "probe " << i;
    }
    EXPECT_TRUE(EventsOf(sim, FrontEventKind::CRADLE_SPEED_CHANGE).empty());
    EXPECT_EQ(sim.CountCommands("READ\r"), 0);
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

}  // namespace
}  // namespace e2e
