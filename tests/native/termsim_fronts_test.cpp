// The cradle and the modem in front of the terminal simulator, driven from
// the host's end of a pseudo-terminal pair the way a program drives a COM
// port: speeds set with tcsetattr, bytes written, answers read.
//
// "Nothing came" is shown by a later step's answer arriving first and
// alone; only where no later answer can exist is an absence waited out.
#include "termsim_host.h"
#include "tools/termsim/line_garble.h"
#include "tools/termsim/record_encoding.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace termsim;

namespace {

const std::string P = "\x0F";
const std::string ACKED = "ACK\r" + EncodeRecordLine(0, "abc");
constexpr int64_t MS = 1000000;

// The test's own reading of the clock the logs must use (Wine's performance
// counter runs on it).
int64_t RawNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Two transfers of one record each, behind the front already set.
void StartTerminal(FakeHost& host)
{
    host.sim.AddTransfer(PlainTransfer({"abc"}));
    host.sim.AddTransfer(PlainTransfer({"abc"}));
    ASSERT_EQ(host.sim.Start(host.pty.master), 0);
}

// The log entries one step added, and the time around the host's writes.
struct StepLog {
    std::vector<FrontEvent> events;
    int64_t before = 0, after = 0;
};

// Sets the host's speed, writes (each byte alone when byteByByte, as cradle
// commands go out), waits until the simulator has acted and reads the answer.
StepLog RunStep(FakeHost& host, int speed, const std::string& send, const std::string& expect, bool byteByByte)
{
    StepLog log;
    EXPECT_TRUE(host.SetSpeed(speed));
    const size_t seen = host.sim.FrontEvents().size();
    log.before = RawNow();
    for (size_t at = 0; at < send.size(); at += byteByByte ? 1 : send.size())
        EXPECT_TRUE(host.SendHandled(send.substr(at, byteByByte ? 1 : send.size())));
    log.after = RawNow();
    EXPECT_EQ(host.Read(expect.size()), expect) << "after " << send << " at " << speed;
    const std::vector<FrontEvent> events = host.sim.FrontEvents();
    log.events.assign(events.begin() + static_cast<std::ptrdiff_t>(seen), events.end());
    return log;
}

// Each "READ\r" step that expects an answer must have reached the terminal,
// and no other.
template <typename Steps>
void ExpectCarriedReads(const TerminalSimulator& sim, const Steps& steps)
{
    int carried = 0;
    for (const auto& step : steps)
        carried += step.send == "READ\r" && !step.expect.empty();
    EXPECT_EQ(sim.CountCommands("READ\r"), carried);
}

TEST(CradleLine, ReceiverAtAnotherSpeedSamplesTheSendersBits)
{
    const struct {
        const char* what;
        std::string bytes;
        int from, to;
        std::string heard;
    } rows[] = {
        {"same speed: unchanged", P + "READ\r", 38400, 38400, P + "READ\r"},
        {"12 times slower sender: its start bit alone samples as zeros", P, 9600, 115200, std::string(2, '\0')},
        {"12 times faster sender: the whole frame falls inside one start bit", P, 115200, 9600, "\xFF"},
        {"half-speed sender: each bit sampled twice", P, 19200, 38400, "\xFE\x80"},
        {"double-speed sender: a low too short for a start bit is passed over", P, 38400, 19200, "\xFE"},
        {"sender 1.5 times faster: samples in mid-bit straddle the sender's bits", P, 57600, 38400, "\xE3"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReceiveAtSpeed(row.bytes, row.from, row.to), row.heard) << row.what;
    // So no cradle can answer a probe made at another of the host's speeds by chance.
    const int speeds[] = {9600, 19200, 38400, 57600, 115200};
    for (int from : speeds) {
        for (int to : speeds) {
            if (from != to) {
                EXPECT_EQ(ReceiveAtSpeed(P, from, to).find('\x0F'), std::string::npos) << from << " to " << to;
            }
        }
    }
}

// The host's port speed, the bytes it writes (each alone, as a program
// writes cradle commands) and what it must read back exactly.
struct LineStep {
    int speed;
    std::string send, expect;
};

CradleOptions CradleAt(int speed)
{
    CradleOptions options;
    options.startSpeed = speed;
    return options;
}

TEST(Cradle, AnswersAndCarriesOnlyAtItsOwnSpeed)
{
    CradleOptions nuls = CradleAt(9600), wrong = CradleAt(9600), absent = CradleAt(9600);
    nuls.nulsBeforeAnswer = 3;
    wrong.answerByte = 0xF0;
    absent.present = false;
    const struct {
        const char* what;
        CradleOptions options;
        std::vector<LineStep> steps;
        int speedAfter = 0;          // the cradle's speed at the end, by its log (0: not checked)
        bool endsInSilence = false;  // no later answer can show that nothing came: wait 100 ms
    } cases[] = {
        {"probes in the host's order: only the one at the cradle's speed is answered", CradleAt(19200),
         {{9600, P, ""}, {115200, P, ""}, {38400, P, ""}, {57600, P, ""}, {19200, P, P}}},
        {"takes commands, not the terminal's data, before a speed change", CradleAt(9600),
         {{9600, "READ\r", ""}, {9600, P, P}}},
        {"digit 2 at 9600: the change is still taken, then the terminal is carried", CradleAt(9600),
         {{9600, P, P}, {9600, "\x07" "2Q", ""}, {9600, "READ\r", ACKED}}, 9600},
        {"digit 3: 19200", CradleAt(9600), {{9600, P, P}, {9600, "\x07" "3Q", ""}, {19200, "READ\r", ACKED}}, 19200},
        {"digit 4: 38400", CradleAt(115200),
         {{115200, P, P}, {115200, "\x07" "4Q", ""}, {38400, "READ\r", ACKED}}, 38400},
        {"digit 5: 57600", CradleAt(9600), {{9600, P, P}, {9600, "\x07" "5Q", ""}, {57600, "READ\r", ACKED}}, 57600},
        {"digit 6: 115200", CradleAt(19200),
         {{19200, P, P}, {19200, "\x07" "6Q", ""}, {115200, "READ\r", ACKED}}, 115200},
        {"a change not ended by 'Q' is not taken", CradleAt(9600),
         {{9600, P, P}, {9600, "\x07" "6X", ""}, {9600, "READ\r", ""}, {9600, P, P}}},
        {"a host left at the old speed reaches neither terminal nor cradle", CradleAt(9600),
         {{9600, P, P}, {9600, "\x07" "6Q", ""}, {9600, "READ\r", ""}, {9600, P, ""}, {115200, P, P}}},
        {"next start-up: found at its new speed, carries again only after a new change", CradleAt(9600),
         {{9600, P, P}, {9600, "\x07" "6Q", ""}, {115200, "READ\r", ACKED}, {115200, "ACK\r", "OVER\r"},
          {9600, P, ""}, {115200, P, P}, {115200, "READ\r", ""}, {115200, P, P},
          {115200, "\x07" "6Q", ""}, {115200, "READ\r", ACKED}}, 115200},
        {"NUL bytes ahead of the answer", nuls, {{9600, P, std::string("\0\0\0\x0F", 4)}}},
        {"a wrong answer byte", wrong, {{9600, P, "\xF0"}}},
        {"no cradle: nothing answers at any speed, nothing reaches the terminal", absent,
         {{9600, P, ""}, {115200, P, ""}, {38400, P, ""}, {57600, P, ""}, {19200, P, ""}, {9600, "READ\r", ""}},
         0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        ASSERT_TRUE(host.ok);
        host.sim.SetCradle(c.options);
        StartTerminal(host);
        for (const LineStep& step : c.steps) {
            // The log stamps what the host sent within the step, with the host's speed.
            const StepLog log = RunStep(host, step.speed, step.send, step.expect, true);
            for (const FrontEvent& event : log.events) {
                EXPECT_TRUE(event.timeNs >= log.before && event.timeNs <= log.after);
                EXPECT_EQ(event.hostSpeed, step.speed);
                if (event.kind == FrontEventKind::CRADLE_PROBE) {
                    EXPECT_EQ(event.answered, !step.expect.empty());
                }
            }
        }
        ExpectCarriedReads(host.sim, c.steps);
        if (c.endsInSilence) {
            EXPECT_EQ(host.Read(1, 100), "");
        }
        int speed = 0;
        for (const FrontEvent& event : host.sim.FrontEvents())
            speed = event.kind == FrontEventKind::CRADLE_SPEED_CHANGE ? event.cradleSpeed : speed;
        if (c.speedAfter != 0) {
            EXPECT_EQ(speed, c.speedAfter);
        }
    }
}

ModemOptions QuickModem()
{
    ModemOptions options;
    options.ringDelayMs = 60;
    options.ringIntervalMs = 40;
    options.answerDelayMs = 30;
    return options;
}

// What the host writes whole (nothing when empty) and must then read exactly.
struct ModemStep {
    std::string send, expect;
};

TEST(Modem, AnswersCommandsRingsConnectsAndCarriesTheTerminal)
{
    const std::string H = "ATH0\r", S = "ATE0S0=1X3\r", OK = "\r\nOK\r\n", RING = "\r\nRING\r\n";
    const std::string CONNECT = "\r\nCONNECT 9600\r\n", ERROR = "\r\nERROR\r\n";
    ModemOptions echo = QuickModem(), error = QuickModem(), silent = QuickModem(), rings = QuickModem(),
                 ringOnly = QuickModem();
    echo.echo = true;
    echo.ringDelayMs = 10000;
    error.answer = ModemAnswer::ERROR;
    silent.answer = ModemAnswer::SILENT;
    rings.rings = 3;
    ringOnly.rings = 2;
    ringOnly.connect = false;
    const struct {
        const char* what;
        ModemOptions options;
        std::vector<ModemStep> steps;
        std::string neverReported = "";  // a result never reported, by 300 ms after the steps
    } cases[] = {
        {"keep-online: two calls, each after both commands; ATH0 ends the call", QuickModem(),
         {{H, OK}, {S, OK}, {"", RING}, {"", CONNECT}, {"READ\r", ACKED}, {"ACK\r", "OVER\r"},
          {H, OK}, {S, OK}, {"", RING}, {"", CONNECT}, {"READ\r", ACKED}, {"ACK\r", "OVER\r"}}},
        {"echo until E0 turns it off", echo, {{H, H + OK}, {S, S + OK}, {H, OK}}},
        {"ERROR to both commands, and no call", error, {{H, ERROR}, {S, ERROR}}, "RING"},
        {"silent: no answer, and no call", silent, {{H, ""}, {S, ""}}, "RING"},
        {"three rings, then CONNECT", rings,
         {{H, OK}, {S, OK}, {"", RING}, {"", RING}, {"", RING}, {"", CONNECT}, {"READ\r", ACKED}}},
        {"ring only: no CONNECT, nothing carried", ringOnly,
         {{H, OK}, {S, OK}, {"", RING}, {"", RING}, {"READ\r", ""}}, "CONNECT 9600"},
        {"unknown command refused; a line before CONNECT is not carried", QuickModem(),
         {{H, OK}, {"ATZ\r", ERROR}, {S, OK}, {"READ\r", ""}, {"", RING}, {"", CONNECT}, {"READ\r", ACKED}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        ASSERT_TRUE(host.ok);
        host.sim.SetModem(c.options);
        StartTerminal(host);
        for (const ModemStep& step : c.steps) {
            const StepLog log = RunStep(host, 9600, step.send, step.expect, false);
            if (step.send.compare(0, 2, "AT") != 0)
                continue;
            // Every command is logged, stamped when it came.
            int logged = 0;
            for (const FrontEvent& event : log.events)
                logged += event.kind == FrontEventKind::MODEM_COMMAND && event.text == step.send &&
                          event.timeNs >= log.before && event.timeNs <= log.after;
            EXPECT_EQ(logged, 1) << step.send;
        }
        ExpectCarriedReads(host.sim, c.steps);
        // The hang-up stands for the drop of DTR: never data for the terminal.
        EXPECT_EQ(host.sim.CountCommands(H), 0);
        if (!c.neverReported.empty()) {
            EXPECT_FALSE(host.sim.WaitFor([&](const TerminalSimulator& sim) {
                for (const FrontEvent& event : sim.FrontEvents())
                    if (event.text == c.neverReported) return true;
                return false;
            }, 300));
            EXPECT_EQ(host.Read(1, 1), "");
        }
        // The reports keep their delays: after the "OK" the ring delay, between
        // rings the ring interval, before "CONNECT" the answer delay.
        int64_t previous = 0;
        std::string previousText;
        for (const FrontEvent& event : host.sim.FrontEvents()) {
            if (event.kind != FrontEventKind::MODEM_RESULT)
                continue;
            const bool ring = event.text == "RING", connect = event.text.rfind("CONNECT", 0) == 0;
            int gapMs = ring ? (previousText == "OK" ? c.options.ringDelayMs : c.options.ringIntervalMs)
                             : c.options.answerDelayMs;
            if (ring || connect) {
                EXPECT_GE(event.timeNs - previous, gapMs * MS) << event.text << " after " << previousText;
                EXPECT_LE(event.timeNs - previous, (gapMs + 250) * MS) << event.text << " after " << previousText;
            }
            previous = event.timeNs;
            previousText = event.text;
        }
    }
}

}  // namespace
