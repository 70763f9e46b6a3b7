// The terminal simulator's faults for the soak: each plan puts its fault on
// the wire (and in the simulator's own log) exactly as intended, answers are
// matched to the terminal's lines in order, and the list of acknowledged
// records says what the host read.
#include "termsim_host.h"
#include "tools/termsim/line_faults.h"
#include "tools/termsim/record_encoding.h"
#include "tools/termsim/terminal_simulator.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace termsim;

namespace {

std::string E(int sequence, const std::string& data)
{
    return EncodeRecordLine(static_cast<uint8_t>(sequence), data);
}

// What the host sends (nothing when empty), then what it must receive
// (nothing at all within 150 ms when empty).
struct Step {
    std::string send, expect;
};

struct FaultCase {
    const char* what;
    TransferPlan plan;
    std::vector<Step> steps;
    std::vector<FaultKind> logged;            // the faults the simulator says it injected, in order
    std::vector<std::string> hostData = {};   // per acknowledged record: the data the host read,
                                              // "!" when the answered line could not pass the checks
};

TransferPlan Plan(const std::vector<std::string>& records, void (*change)(TransferPlan&))
{
    TransferPlan plan = PlainTransfer(records);
    change(plan);
    return plan;
}

TEST(TerminalSimulatorFaults, EachFaultPutsItsBytesOnTheLineAndInTheLog)
{
    using K = FaultKind;
    const std::string abc = E(0, "abc");
    const std::string cut = E(0, "aMc");
    std::string flipped = abc, cutFlipped = cut, hidden = E(0, "\x05\x08"), hiddenFlipped = hidden;
    flipped[2] ^= 0x01;                    // 'b' becomes 'c': the sum changes
    cutFlipped[2] ^= 0x40;                 // 'M' becomes a CR
    hiddenFlipped[2] ^= 0x01;              // the sum 13 (sent as 14) becomes 14
    const FaultCase cases[] = {
        {"noise on the first send only", Plan({"abc"}, [](TransferPlan& p) { p.records[0].noise = {{0, 2, 0x01}}; }),
         {{"READ\r", "ACK\r" + flipped}, {"NAK\r", abc}, {"ACK\r", "OVER\r"}}, {K::NOISE}, {"abc"}},
        {"noise making a CR inside the line",
         Plan({"aMc"}, [](TransferPlan& p) { p.records[0].noise = {{0, 2, 0x40}}; }),
         {{"READ\r", "ACK\r" + cutFlipped}, {"NAK\r", cut}}, {K::NOISE_CUT}},
        {"noise the checksum cannot see",
         Plan({"\x05\x08"}, [](TransferPlan& p) { p.records[0].noise = {{0, 2, 0x01}}; }),
         {{"READ\r", "ACK\r" + hiddenFlipped}, {"ACK\r", "OVER\r"}}, {K::NOISE_UNDETECTED}, {"\x05\x09"}},
        {"data changed under its checksum", Plan({"ab"}, [](TransferPlan& p) { p.records[0].disguisedData = "ba"; }),
         {{"READ\r", "ACK\r" + std::string("\0ba", 3) + E(0, "ab").substr(3)}, {"ACK\r", "OVER\r"}},
         {K::DISGUISED}, {"ba"}},
        {"lost ACK, sent again by the terminal's own time-out",
         Plan({"abc"}, [](TransferPlan& p) { p.records[0].droppedAcks = 1; p.records[0].resendAfterMs = 300; }),
         {{"READ\r", "ACK\r" + abc}, {"ACK\r", ""}, {"", abc}, {"ACK\r", "OVER\r"}}, {K::DROPPED_ACK}, {"abc"}},
        {"lost ACK, sent again when the host asks",
         Plan({"abc"}, [](TransferPlan& p) { p.records[0].droppedAcks = 1; }),
         {{"READ\r", "ACK\r" + abc}, {"ACK\r", ""}, {"NAK\r", abc}, {"ACK\r", "OVER\r"}}, {K::DROPPED_ACK}, {"abc"}},
        {"over-long line", Plan({"abc"}, [](TransferPlan& p) { p.records[0].overlongAttempts = 1; }),
         {{"READ\r", "ACK\r" + MakeOverlong(abc)}, {"NAK\r", abc}}, {K::OVERLONG}},
        {"short line", Plan({"abc"}, [](TransferPlan& p) { p.records[0].shortAttempts = 1; }),
         {{"READ\r", "ACK\r" + std::string("\0a\r", 3)}, {"NAK\r", abc}}, {K::SHORT}},
        {"sequence value three past",
         Plan({"abc"}, [](TransferPlan& p) { p.records[0].wrongSequenceAttempts = 1; p.records[0].wrongSequenceOffset = 3; }),
         {{"READ\r", "ACK\r" + E(3, "abc")}, {"NAK\r", abc}}, {K::WRONG_SEQUENCE}},
        {"pause before a line: an answer meanwhile answers nothing",
         Plan({"abc", "def"}, [](TransferPlan& p) { p.records[1].pauseBeforeMs = 400; }),
         {{"READ\r", "ACK\r" + abc}, {"ACK\r", ""}, {"NAK\r", ""}, {"", E(1, "def")}, {"ACK\r", "OVER\r"}},
         {K::PAUSE_BEFORE}, {"abc", "def"}},
        {"pause inside a line: an answer meanwhile answers nothing",
         Plan({"abc"}, [](TransferPlan& p) { p.records[0].pauseInsideMs = 400; p.records[0].pauseInsideAt = 2; }),
         {{"READ\r", "ACK\r" + abc.substr(0, 2)}, {"NAK\r", ""}, {"", abc.substr(2)}, {"ACK\r", "OVER\r"}},
         {K::PAUSE_INSIDE}, {"abc"}},
        {"a READ resumes with the first record not acknowledged, from sequence 0",
         Plan({"abc", "def"}, [](TransferPlan& p) { p.resumeOnRead = true; }),
         {{"READ\r", "ACK\r" + abc}, {"ACK\r", E(1, "def")}, {"READ\r", "ACK\r" + E(0, "def")}, {"ACK\r", "OVER\r"}},
         {}, {"abc", "def"}},
        {"noise on the terminal's own ACK and OVER",
         Plan({"abc"}, [](TransferPlan& p) { p.startNoise = {{0, 0, 0x02}}; p.endNoise = {{0, 1, 0x01}}; }),
         {{"READ\r", "CCK\r" + abc}, {"ACK\r", "OWER\r"}}, {K::ANSWER_NOISE, K::ANSWER_NOISE}},
        {"the answer to a line sent past a refused one is dropped with it",
         Plan({"a", "b", "c"}, [](TransferPlan& p) { p.records[0].joinWithNext = true; p.records[0].badChecksumAttempts = 1; }),
         {{"READ\r", "ACK\r" + EncodeRecordLine(0, "a", true) + E(1, "b")}, {"NAK\r", E(0, "a") + E(1, "b")},
          {"NAK\r", ""}, {"ACK\r", ""}, {"ACK\r", E(2, "c")}, {"ACK\r", "OVER\r"}},
         {K::BAD_CHECKSUM, K::JOINED, K::JOINED}, {"a", "b", "c"}},
        {"an ACK for a line the checks refuse is marked as meant for another",
         Plan({"abc"}, [](TransferPlan& p) { p.records[0].badChecksumAttempts = 1; }),
         {{"READ\r", "ACK\r" + EncodeRecordLine(0, "abc", true)}, {"ACK\r", "OVER\r"}}, {K::BAD_CHECKSUM}, {"!"}},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        ASSERT_TRUE(host.ok);
        host.sim.AddTransfer(c.plan);
        ASSERT_EQ(host.sim.Start(host.pty.master), 0);
        for (const Step& step : c.steps) {
            EXPECT_TRUE(step.send.empty() || host.Send(step.send));
            const size_t size = step.expect.empty() ? 1 : step.expect.size();
            EXPECT_EQ(host.Read(size, step.expect.empty() ? 150 : 2000), step.expect) << "after " << step.send;
        }
        std::vector<FaultKind> logged;
        for (const InjectedFault& fault : host.sim.Injected()) logged.push_back(fault.kind);
        EXPECT_EQ(logged, c.logged);
        std::vector<std::string> hostData;
        for (const AcknowledgedRecord& record : host.sim.Acknowledged())
            hostData.push_back(record.lineIntact ? record.hostData : "!");
        if (!c.hostData.empty()) {
            EXPECT_EQ(hostData, c.hostData);
        }
    }
}

TEST(TerminalSimulatorFaults, PausesAndTheOwnTimeOutKeepTheirLengths)
{
    FakeHost host;
    ASSERT_TRUE(host.ok);
    TransferPlan plan = PlainTransfer({"abc", "def"});
    plan.records[0].droppedAcks = 1;
    plan.records[0].resendAfterMs = 300;
    plan.records[1].pauseBeforeMs = 250;
    host.sim.AddTransfer(plan);
    ASSERT_EQ(host.sim.Start(host.pty.master), 0);
    ASSERT_TRUE(host.Send("READ\r"));
    ASSERT_EQ(host.Read(4 + 7), "ACK\r" + E(0, "abc"));
    const int64_t lost = MonotonicRawNs();
    ASSERT_TRUE(host.Send("ACK\r"));
    ASSERT_EQ(host.Read(7), E(0, "abc"));
    const int64_t resent = MonotonicRawNs();
    ASSERT_TRUE(host.Send("ACK\r"));
    ASSERT_EQ(host.Read(7), E(1, "def"));
    const int64_t late = MonotonicRawNs();
    // A poll wakes within a millisecond of its time; the host side reads at once.
    EXPECT_NEAR((resent - lost) / 1e6, 300.0, 40.0);
    EXPECT_NEAR((late - resent) / 1e6, 250.0, 40.0);
}

// Paced, each byte leaves when the one before has crossed the line: 10 bit
// times a byte at the host's speed; a pseudo-terminal alone would pass the
// line in one go.
TEST(TerminalSimulatorFaults, PacedLinesTakeTheirLineTime)
{
    FakeHost host;
    ASSERT_TRUE(host.ok);
    ASSERT_TRUE(host.SetSpeed(9600));
    const std::string data(96, 'p');   // 100 bytes on the line with sequence, checksum and CR
    host.sim.AddTransfer(PlainTransfer({data}));
    host.sim.SetLinePacing(true);
    ASSERT_EQ(host.sim.Start(host.pty.master), 0);
    const int64_t asked = MonotonicRawNs();
    ASSERT_TRUE(host.Send("READ\r"));
    const std::string expected = "ACK\r" + E(0, data);
    ASSERT_EQ(host.Read(expected.size(), 3000), expected);
    const double ms = (MonotonicRawNs() - asked) / 1e6;
    // READ (5 bytes) in, then 104 bytes out: 109 byte times of 1.0417 ms.
    EXPECT_GE(ms, 109 * 1.0417 - 1.0);
    EXPECT_LE(ms, 109 * 1.0417 + 25.0);
}

// The hook sees each "READ\r" before the terminal answers it, so a test can
// add the next plan there. The pending record is the one a kill would catch
// written but unanswered, in every version the host could have stored: here
// a first send changed under its checksum, then (its ACK lost) the true one.
TEST(TerminalSimulatorFaults, ReadHookRunsBeforeTheAnswerAndThePendingRecordKeepsEveryStorableVersion)
{
    FakeHost host;
    ASSERT_TRUE(host.ok);
    std::atomic<int> reads{0};
    host.sim.SetReadHook([&] {
        if (reads++ != 0) return;
        TransferPlan plan = PlainTransfer({"first", "second"});
        plan.records[0].disguisedData = "fisrt";
        plan.records[0].droppedAcks = 1;
        plan.records[0].resendAfterMs = 100;
        host.sim.AddTransfer(plan);
    });
    ASSERT_EQ(host.sim.Start(host.pty.master), 0);
    std::string data;
    std::vector<std::string> versions;
    EXPECT_FALSE(host.sim.PendingRecord(&data, &versions));
    ASSERT_TRUE(host.Send("READ\r"));
    ASSERT_EQ(host.Read(4 + 9), "ACK\r" + DisguisedLine(0, "first", "fisrt"));
    EXPECT_TRUE(host.sim.PendingRecord(&data, &versions));
    EXPECT_EQ(data, "first");
    EXPECT_EQ(versions, std::vector<std::string>{"fisrt"});
    ASSERT_TRUE(host.Send("ACK\r"));   // lost on the way
    ASSERT_EQ(host.Read(9), E(0, "first"));
    EXPECT_TRUE(host.sim.PendingRecord(&data, &versions));
    EXPECT_EQ(versions, (std::vector<std::string>{"fisrt", "first"}));
    ASSERT_TRUE(host.SendHandled("ACK\r"));
    ASSERT_EQ(host.Read(10), E(1, "second"));
    EXPECT_TRUE(host.sim.PendingRecord(&data, &versions));
    EXPECT_EQ(versions, std::vector<std::string>{"second"});
    ASSERT_TRUE(host.SendHandled("ACK\r"));
    ASSERT_EQ(host.Read(5), "OVER\r");
    EXPECT_FALSE(host.sim.PendingRecord(&data, &versions));
    EXPECT_EQ(reads, 1);
}

}  // namespace
